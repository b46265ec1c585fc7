// The database written in one transaction: its tables made when missing,
// each incipit put in place of the one of its identifier and number. The
// first documents wait until they make the dictionary the rest are
// deflated with; the trigrams' postings are held until the commit and each
// trigram's blob written once then.

#include <sqlite3.h>

#include <algorithm>

#include "catalogue.h"
#include "document_codec.h"
#include "keys_text.h"
#include "postings.h"
#include "schema.h"
#include "sqlite.h"

namespace tav::db {

bool available() { return true; }

struct CatalogueWriter::Impl {
    Connection db;
    Statement find, drop_incipit, drop_keys, drop_document;
    Statement insert_incipit, insert_keys, insert_document;
    Statement read_gram, write_gram, drop_gram, read_dictionary, write_dictionary;
    bool open = false;    // a transaction is under way
    bool empty = false;   // the database held nothing: no postings stored
    GramIndex grams;
    std::unique_ptr<DocumentDeflater> deflater;   // null until the dictionary is made
    std::string made_dictionary;
    std::vector<Incipit> waiting;                 // added before that
    std::size_t waiting_bytes = 0;
    std::string deflated, json;

    bool prepare(std::string& error);
    bool load_dictionary(std::string& error);
    bool make_dictionary(std::string& error);
    bool remove(const std::string& identifier, const std::string& number, std::string& error);
    bool write(const Incipit& incipit, std::string& error);
    bool write_melody(long long id, const Melody& melody, std::string& error);
    bool write_grams(std::string& error);
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
    return find.prepare(db, "SELECT id, keys FROM incipits LEFT JOIN melodic_keys "
                            "ON incipit = id WHERE identifier = ? AND number = ?", error) &&
           drop_incipit.prepare(db, "DELETE FROM incipits WHERE id = ?", error) &&
           drop_keys.prepare(db, "DELETE FROM melodic_keys WHERE incipit = ?", error) &&
           drop_document.prepare(db, "DELETE FROM documents WHERE incipit = ?", error) &&
           insert_incipit.prepare(db, kInsertIncipit, error) &&
           insert_keys.prepare(db, "INSERT INTO melodic_keys VALUES (?, ?)", error) &&
           insert_document.prepare(db, "INSERT INTO documents VALUES (?, ?, ?)", error) &&
           read_gram.prepare(db, "SELECT postings FROM ngrams WHERE gram = ?", error) &&
           write_gram.prepare(db, "INSERT OR REPLACE INTO ngrams VALUES (?, ?)", error) &&
           drop_gram.prepare(db, "DELETE FROM ngrams WHERE gram = ?", error) &&
           read_dictionary.prepare(db, "SELECT dictionary FROM document_dictionary", error) &&
           write_dictionary.prepare(db, "INSERT INTO document_dictionary VALUES (1, ?)", error);
}

bool CatalogueWriter::Impl::load_dictionary(std::string& error)
{
    if (read_dictionary.step()) {
        made_dictionary = read_dictionary.text(0);
        deflater = std::make_unique<DocumentDeflater>(made_dictionary);
    }
    bool ok = !read_dictionary.failed();
    read_dictionary.reset();
    if (!ok)
        error = db.last_error();
    return ok;
}

// The dictionary: the end of the first documents (the music, written the
// same way in every document), then the start of the first (the markup
// every document opens with), nearest to the documents deflated with it.
// The incipits that waited for it are written then.
bool CatalogueWriter::Impl::make_dictionary(std::string& error)
{
    std::string all;
    for (const Incipit& in : waiting)
        all += in.document;
    std::size_t head = 0;
    for (const Incipit& in : waiting)
        if (!in.document.empty()) {
            head = std::min(in.document.size(), kDictionaryHeadBytes);
            break;
        }
    std::size_t tail = std::min(all.size(), kDictionaryBytes - head);
    std::string dictionary = all.substr(all.size() - tail) + all.substr(0, head);
    write_dictionary.bind_blob(1, dictionary);
    if (failed(write_dictionary, error))
        return false;
    deflater = std::make_unique<DocumentDeflater>(dictionary);
    made_dictionary = std::move(dictionary);
    std::vector<Incipit> held = std::move(waiting);
    waiting.clear();
    for (const Incipit& in : held)
        if (!write(in, error))
            return false;
    return true;
}

bool CatalogueWriter::Impl::remove(const std::string& identifier, const std::string& number,
                                   std::string& error)
{
    find.bind(1, identifier);
    find.bind(2, number);
    bool held = find.step();
    long long id = held ? find.integer(0) : 0;
    SearchKeys keys;
    if (held && search_keys_of(find.bytes(1), {}, keys))
        grams.remove(distinct_trigrams(keys.intervals), id);
    else if (held)
        grams.remove({}, id);
    find.reset();
    if (!held)
        return true;
    for (Statement* s : {&drop_keys, &drop_document, &drop_incipit}) {
        s->bind(1, id);
        if (failed(*s, error))
            return false;
    }
    return true;
}

bool CatalogueWriter::Impl::write_melody(long long id, const Melody& melody, std::string& error)
{
    json = "{";
    append_keys_json(json, melody);
    json += '}';
    insert_keys.bind(1, id);
    insert_keys.bind(2, json);
    if (failed(insert_keys, error))
        return false;
    for (const Gram& g : trigrams(chromatic_intervals(melody)))
        grams.add(g.value, id, g.position);
    return true;
}

bool CatalogueWriter::Impl::write(const Incipit& in, std::string& error)
{
    if (!remove(in.identifier, in.number, error))
        return false;
    Statement& s = insert_incipit;
    const std::string* texts[] = {&in.identifier, &in.number, &in.control_number};
    for (int k = 0; k < 3; ++k)
        s.bind(k + 1, *texts[k]);
    s.bind(4, static_cast<long long>(in.occurrence));
    const std::string* more[] = {&in.composer, &in.work_title, &in.movement_title, &in.siglum,
                                 &in.shelfmark, &in.clef, &in.key, &in.key_or_mode, &in.time,
                                 &in.music, &in.status, &in.messages};
    for (int k = 0; k < 12; ++k)
        s.bind(k + 5, *more[k]);
    if (failed(s, error))
        return false;
    long long id = sqlite3_last_insert_rowid(db.handle());
    if (!in.deflated && !in.document.empty() && !deflater->deflate(in.document, deflated)) {
        error = "cannot compress the document " + in.file_name;
        return false;
    }
    if (!in.document.empty()) {
        insert_document.bind(1, id);
        insert_document.bind(2, in.file_name);
        insert_document.bind_blob(3, in.deflated ? in.document : deflated);
        if (failed(insert_document, error))
            return false;
    }
    return in.melody.notes.empty() || write_melody(id, in.melody, error);
}

// Each trigram touched: its stored postings (none in a database that was
// empty) less the incipits replaced, with those added.
bool CatalogueWriter::Impl::write_grams(std::string& error)
{
    for (std::int64_t g : grams.grams()) {
        std::string stored;
        if (!empty) {
            read_gram.bind(1, static_cast<long long>(g));
            if (read_gram.step())
                stored = read_gram.text(0);
            bool ok = !read_gram.failed();
            read_gram.reset();
            if (!ok) {
                error = "cannot read the database: " + db.last_error();
                return false;
            }
        }
        std::string blob = grams.merge(g, stored);
        Statement& s = blob.empty() ? drop_gram : write_gram;
        s.bind(1, static_cast<long long>(g));
        if (!blob.empty())
            s.bind_blob(2, blob);
        if (failed(s, error))
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
    if (!impl_->db.run("PRAGMA cache_size = -65536; BEGIN IMMEDIATE", why) ||
        !check_schema(impl_->db, impl_->empty, why) || !impl_->db.run(kSchema, why) ||
        !impl_->prepare(why) || !impl_->load_dictionary(why)) {
        error = "cannot use the database " + path + ": " + why;
        return false;
    }
    impl_->open = true;
    return true;
}

bool CatalogueWriter::add(const Incipit& in, std::string& error)
{
    if (impl_->deflater != nullptr)
        return impl_->write(in, error);
    impl_->waiting.push_back(in);
    impl_->waiting_bytes += in.document.size();
    return impl_->waiting_bytes < kDictionaryBytes || impl_->make_dictionary(error);
}

const std::string* CatalogueWriter::dictionary() const
{
    return impl_->deflater != nullptr ? &impl_->made_dictionary : nullptr;
}

bool CatalogueWriter::commit(std::string& error)
{
    if (!impl_->open)
        return false;
    if ((impl_->deflater == nullptr && !impl_->make_dictionary(error)) ||
        !impl_->write_grams(error))
        return false;
    if (!impl_->db.run("COMMIT", error)) {
        error = "cannot write the database: " + error;
        return false;
    }
    impl_->open = false;
    return true;
}

}  // namespace tav::db
