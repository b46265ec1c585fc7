// The database written in one transaction: its tables made when missing,
// each incipit put in place of the one of its identifier and number.

#include <sqlite3.h>

#include "catalogue.h"
#include "keys_text.h"
#include "schema.h"
#include "sqlite.h"

namespace tav::db {

namespace {

std::vector<double> note_durations(const Melody& melody)
{
    std::vector<double> lengths;
    for (const MelodyNote& n : melody.notes)
        if (!n.rest())
            lengths.push_back(n.duration);
    return lengths;
}

}  // namespace

bool available() { return true; }

struct CatalogueWriter::Impl {
    Connection db;
    Statement find, drop_grams, drop_incipit, drop_keys, drop_document;
    Statement insert_incipit, insert_keys, insert_document, insert_gram;
    bool open = false;   // a transaction is under way

    bool prepare(std::string& error);
    bool remove(const std::string& identifier, const std::string& number, std::string& error);
    bool insert_melody(long long id, const Melody& melody, std::string& error);
    bool failed(Statement& s, std::string& error)
    {
        if (!s.run()) {
            error = "cannot write the database: " + db.last_error();
            return true;
        }
        return false;
    }
};

bool CatalogueWriter::Impl::prepare(std::string& error)
{
    return find.prepare(db, "SELECT id, intervals FROM incipits LEFT JOIN melodic_keys "
                            "ON incipit = id WHERE identifier = ? AND number = ?", error) &&
           drop_grams.prepare(db, "DELETE FROM ngrams WHERE gram = ? AND incipit = ?", error) &&
           drop_incipit.prepare(db, "DELETE FROM incipits WHERE id = ?", error) &&
           drop_keys.prepare(db, "DELETE FROM melodic_keys WHERE incipit = ?", error) &&
           drop_document.prepare(db, "DELETE FROM documents WHERE incipit = ?", error) &&
           insert_incipit.prepare(db, kInsertIncipit, error) &&
           insert_keys.prepare(db, "INSERT INTO melodic_keys VALUES (?, ?, ?, ?, ?, ?)", error) &&
           insert_document.prepare(db, "INSERT INTO documents VALUES (?, ?, ?)", error) &&
           insert_gram.prepare(db, "INSERT OR IGNORE INTO ngrams VALUES (?, ?, ?)", error);
}

bool CatalogueWriter::Impl::remove(const std::string& identifier, const std::string& number,
                                   std::string& error)
{
    find.bind(1, identifier);
    find.bind(2, number);
    bool held = find.step();
    long long id = held ? find.integer(0) : 0;
    std::vector<int> intervals = held ? integers_of(find.text(1)) : std::vector<int>();
    find.reset();
    if (!held)
        return true;
    for (const Gram& g : trigrams(intervals)) {
        drop_grams.bind(1, g.value);
        drop_grams.bind(2, id);
        if (failed(drop_grams, error))
            return false;
    }
    for (Statement* s : {&drop_keys, &drop_document, &drop_incipit}) {
        s->bind(1, id);
        if (failed(*s, error))
            return false;
    }
    return true;
}

bool CatalogueWriter::Impl::insert_melody(long long id, const Melody& melody, std::string& error)
{
    std::vector<int> intervals = chromatic_intervals(melody);
    std::string json;
    append_keys_json(json, melody);
    insert_keys.bind(1, id);
    insert_keys.bind(2, number_list(midi_keys(melody)));
    insert_keys.bind(3, number_list(intervals));
    insert_keys.bind(4, number_list(note_durations(melody)));
    insert_keys.bind(5, gross_contour(melody));
    insert_keys.bind(6, "{" + json + "}");
    if (failed(insert_keys, error))
        return false;
    for (const Gram& g : trigrams(intervals)) {
        insert_gram.bind(1, g.value);
        insert_gram.bind(2, id);
        insert_gram.bind(3, static_cast<long long>(g.position));
        if (failed(insert_gram, error))
            return false;
    }
    return true;
}

CatalogueWriter::CatalogueWriter() : impl_(std::make_unique<Impl>()) {}

CatalogueWriter::~CatalogueWriter()
{
    if (impl_->open) {
        std::string ignored;
        impl_->db.run("ROLLBACK", ignored);
    }
}

bool CatalogueWriter::open(const std::string& path, std::string& error)
{
    if (!impl_->db.open(path, true, error))
        return false;
    std::string why;
    if (!impl_->db.run("PRAGMA cache_size = -65536; BEGIN IMMEDIATE", why) || !check_schema(impl_->db, why) ||
        !impl_->db.run(kSchema, why) || !impl_->prepare(why)) {
        error = "cannot use the database " + path + ": " + why;
        return false;
    }
    impl_->open = true;
    return true;
}

bool CatalogueWriter::add(const Incipit& in, std::string& error)
{
    if (!impl_->remove(in.identifier, in.number, error))
        return false;
    Statement& s = impl_->insert_incipit;
    const std::string* texts[] = {&in.identifier, &in.number, &in.control_number};
    for (int k = 0; k < 3; ++k)
        s.bind(k + 1, *texts[k]);
    s.bind(4, static_cast<long long>(in.occurrence));
    const std::string* more[] = {&in.composer, &in.work_title, &in.movement_title, &in.siglum,
                                 &in.shelfmark, &in.clef, &in.key, &in.key_or_mode, &in.time,
                                 &in.music, &in.status, &in.messages};
    for (int k = 0; k < 12; ++k)
        s.bind(k + 5, *more[k]);
    if (impl_->failed(s, error))
        return false;
    long long id = sqlite3_last_insert_rowid(impl_->db.handle());
    if (!in.document.empty()) {
        impl_->insert_document.bind(1, id);
        impl_->insert_document.bind(2, in.file_name);
        impl_->insert_document.bind(3, in.document);
        if (impl_->failed(impl_->insert_document, error))
            return false;
    }
    return in.melody.notes.empty() || impl_->insert_melody(id, in.melody, error);
}

bool CatalogueWriter::commit(std::string& error)
{
    if (!impl_->open || !impl_->db.run("COMMIT", error)) {
        error = "cannot write the database: " + error;
        return false;
    }
    impl_->open = false;
    return true;
}

}  // namespace tav::db
