// The catalogue database: one SQLite file holding every incipit of a run
// with its document, its melodic keys and an index of its interval
// trigrams, and the search over it.
//
//     tav::db::CatalogueWriter w;
//     if (!w.open("catalogue.sqlite", error)) ...
//     w.add(incipit, error); ...
//     w.commit(error);            // nothing is kept without it
//
//     tav::db::Catalogue c;
//     c.open("catalogue.sqlite", error);
//     c.search(query, options, hits, error);
//     c.document(identifier, number, file_name, document, error);
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "query.h"
#include "tav/melody.h"

namespace tav::db {

// False when this build has no SQLite: every open then fails saying so.
bool available();

// One incipit as the database holds it.
struct Incipit {
    std::string identifier;
    std::string number;
    std::string control_number;   // a catalogue record's 001; empty for a record line
    int occurrence = 0;           // which 031 of its record
    std::string composer;
    std::string work_title;
    std::string movement_title;
    std::string siglum;
    std::string shelfmark;
    std::string clef;
    std::string key;              // the key signature as written
    std::string key_or_mode;      // the catalogue's key or mode (031 $r)
    std::string time;
    std::string music;            // the music as written
    std::string status;           // "converted", "failed", ...
    std::string messages;         // one per line
    std::string document;         // the chosen format's document; empty: none
    bool deflated = false;        // `document` is deflated with the writer's dictionary()
    std::string file_name;        // the document's name
    Melody melody;
};

// Writes incipits into a database in one transaction: an incipit replaces
// the one of the same identifier and number. Until commit() succeeds the
// file stays as it was, also when the process dies on the way.
class CatalogueWriter {
public:
    CatalogueWriter();
    ~CatalogueWriter();   // without commit(): everything added is undone
    CatalogueWriter(const CatalogueWriter&) = delete;
    CatalogueWriter& operator=(const CatalogueWriter&) = delete;

    bool open(const std::string& path, std::string& error);
    bool add(const Incipit& incipit, std::string& error);
    bool commit(std::string& error);
    // The dictionary documents are deflated with (document_codec.h), so
    // that other threads may deflate them before add(); null until the
    // first documents have made it.
    const std::string* dictionary() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// An incipit found, with where the melody starts in it.
struct Hit {
    std::string identifier;
    std::string number;
    std::string control_number;
    int occurrence = 0;
    std::string composer;
    std::string work_title;
    std::string movement_title;
    std::string siglum;
    std::string shelfmark;
    int note = 0;          // the note (1 the first, rests not counted) the match starts on
    bool exact = false;    // the whole query is found there
    double score = 0;      // the share of the query's trigrams it holds; 1 when exact
};

class Catalogue {
public:
    Catalogue();
    ~Catalogue();
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    // Opens a database for reading; false when it is missing or not one.
    bool open(const std::string& path, std::string& error);
    // The best hits for `query`, exact matches of the whole query first
    // (by identifier and number), then by score.
    bool search(const Query& query, const SearchOptions& options, std::vector<Hit>& hits,
                std::string& error);
    // The document of the incipit `identifier` `number`, byte for byte as
    // the run wrote it, and its file name; false, saying why, when the
    // database holds none.
    bool document(const std::string& identifier, const std::string& number,
                  std::string& file_name, std::string& document, std::string& error);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tav::db
