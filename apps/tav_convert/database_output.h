// --database: every record of the run, with its document and melodic keys,
// into one catalogue database, kept only when the run ends well.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "catalogue.h"
#include "tav/tav.h"

struct Outcome;

// What the database holds of a record beside its outcome: its fields as
// read, before the converter works on its line.
std::shared_ptr<tav::db::Incipit> incipit_fields(const tav::Record& record);
// The same from a record line.
std::shared_ptr<tav::db::Incipit> incipit_fields(std::string_view line);
// Adds what the conversion gave: the document (or `document`, when the
// result's was moved on) and the melody.
void complete_incipit(tav::db::Incipit& incipit, tav::Result& result, std::string_view document);

class DatabaseOutput {
public:
    bool open(const std::string& path, std::string& error);
    // Adds one reported record; a failure is kept for commit() to give.
    void add(const Outcome& outcome);
    // Keeps what was added when `keep`; else (or when a record could not
    // be added) leaves the file as it was. False, with `error`, then.
    bool finish(bool keep, std::string& error);

private:
    tav::db::CatalogueWriter writer_;
    std::string path_;
    std::string failure_;
};
