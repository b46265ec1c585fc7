// The search: candidates by shared interval trigrams, or by a scan of the
// keys for a query too short for trigrams and for a contour; each checked
// for the whole query and placed where it matches best.

#include <algorithm>
#include <cstdint>

#include "catalogue.h"
#include "document_codec.h"
#include "keys_text.h"
#include "postings.h"
#include "schema.h"
#include "sqlite.h"

namespace tav::db {

namespace {

// Of the incipits sharing trigrams with the query, how many are checked:
// this many times the hits asked for, and at least kMinCandidates.
constexpr int kCandidatesPerHit = 20;
constexpr int kMinCandidates = 1000;
// An incipit id past this in the index is a damaged index, not a reason
// to count over that many ids.
constexpr std::int64_t kMaxIncipitId = std::int64_t{1} << 32;

using Keys = SearchKeys;

struct Candidate {
    long long id = 0;
    int offset = 0;
    bool exact = false;
    double score = 0;
};

bool matches_at(const Keys& keys, const Query& q, const SearchOptions& o, std::size_t at)
{
    if (at + q.intervals.size() > keys.intervals.size())
        return false;
    if (!std::equal(q.intervals.begin(), q.intervals.end(), keys.intervals.begin() + at))
        return false;
    if (o.exact_pitch && (at >= keys.midi.size() || keys.midi[at] != q.midi[0]))
        return false;
    return !o.rhythm || (at + q.durations.size() <= keys.durations.size() &&
                         std::equal(q.durations.begin(), q.durations.end(),
                                    keys.durations.begin() + at));
}

// The exact match furthest to the start, else the place where most of the
// query's intervals agree.
void place(const Keys& keys, const Query& q, const SearchOptions& o, Candidate& c)
{
    int best = -1;
    for (std::size_t at = 0; at < keys.intervals.size(); ++at) {
        if (matches_at(keys, q, o, at)) {
            c.offset = static_cast<int>(at);
            c.exact = true;
            return;
        }
        int agree = 0;
        for (std::size_t k = 0; k < q.intervals.size() && at + k < keys.intervals.size(); ++k)
            agree += q.intervals[k] == keys.intervals[at + k];
        if (agree > best) {
            best = agree;
            c.offset = static_cast<int>(at);
        }
    }
}

KeysWanted wanted_of(const Query& q, const SearchOptions& o)
{
    KeysWanted w;
    w.midi = o.exact_pitch;
    w.durations = o.rhythm;
    w.contour = q.kind == QueryKind::Contour;
    return w;
}

bool by_rank(const Candidate& a, const Candidate& b)
{
    if (a.exact != b.exact)
        return a.exact;
    if (a.score != b.score)
        return a.score > b.score;
    return a.id < b.id;
}

}  // namespace

struct Catalogue::Impl {
    Connection db;
    Statement keys, incipit, postings, document, dictionary;
    std::vector<std::uint16_t> shared;   // per incipit id, the query's trigrams it holds
    std::vector<long long> touched;      // the ids of `shared` not 0

    bool load(long long id, const KeysWanted& wanted, Keys& k);
    bool count_shared(const std::vector<std::int64_t>& grams, std::string& error);
    bool by_trigrams(const Query& q, const SearchOptions& o, std::vector<Candidate>& found,
                     std::string& error);
    bool by_scan(const Query& q, const SearchOptions& o, std::vector<Candidate>& found,
                 std::string& error);
    bool hit(const Candidate& c, Hit& h, std::string& error);
    bool find(const Query& q, const SearchOptions& o, std::vector<Hit>& hits, std::string& error);
};

bool Catalogue::Impl::load(long long id, const KeysWanted& wanted, Keys& k)
{
    keys.bind(1, id);
    bool held = keys.step() && search_keys_of(keys.bytes(0), wanted, k);
    keys.reset();
    return held;
}

// For each incipit holding some of `grams`, how many.
bool Catalogue::Impl::count_shared(const std::vector<std::int64_t>& grams, std::string& error)
{
    touched.clear();
    for (std::int64_t g : grams) {
        postings.bind(1, static_cast<long long>(g));
        bool ok = true, in_range = true;
        if (postings.step())
            ok = for_each_incipit(postings.bytes(0), [this, &in_range](std::int64_t id) {
                in_range = in_range && id > 0 && id <= kMaxIncipitId;
                if (!in_range)
                    return;
                auto at = static_cast<std::size_t>(id);
                if (at >= shared.size())
                    shared.resize(at + 1 + at / 2);
                if (shared[at]++ == 0)
                    touched.push_back(id);
            });
        ok = ok && in_range && !postings.failed();
        if (!ok)
            error = postings.failed() ? db.last_error() : "the index of trigrams is damaged";
        postings.reset();
        if (!ok)
            return false;
    }
    return true;
}

bool Catalogue::Impl::by_trigrams(const Query& q, const SearchOptions& o,
                                  std::vector<Candidate>& found, std::string& error)
{
    std::vector<std::int64_t> grams = distinct_trigrams(q.intervals);
    bool ok = count_shared(grams, error);
    auto more = [this](long long a, long long b) {
        auto sa = shared[static_cast<std::size_t>(a)], sb = shared[static_cast<std::size_t>(b)];
        return sa != sb ? sa > sb : a < b;
    };
    auto wanted = static_cast<std::size_t>(std::max(kMinCandidates, o.hits * kCandidatesPerHit));
    std::size_t kept = std::min(wanted, touched.size());
    if (ok) {
        std::partial_sort(touched.begin(), touched.begin() + static_cast<std::ptrdiff_t>(kept),
                          touched.end(), more);
        for (std::size_t k = 0; k < kept; ++k) {
            Candidate c;
            c.id = touched[k];
            c.score = static_cast<double>(shared[static_cast<std::size_t>(c.id)]) /
                      static_cast<double>(grams.size());
            Keys keys;
            if (load(c.id, wanted_of(q, o), keys))
                place(keys, q, o, c);
            if (c.exact)
                c.score = 1;
            found.push_back(c);
        }
    }
    for (long long id : touched)
        shared[static_cast<std::size_t>(id)] = 0;
    return ok;
}

// A contour, or intervals too few for a trigram: every incipit's keys
// read, in the order they were written, until there are hits enough.
bool Catalogue::Impl::by_scan(const Query& q, const SearchOptions& o,
                              std::vector<Candidate>& found, std::string& error)
{
    bool contour = q.kind == QueryKind::Contour;
    Statement s;
    if (!s.prepare(db, "SELECT incipit, keys FROM melodic_keys ORDER BY incipit", error))
        return false;
    while (static_cast<int>(found.size()) < o.hits && s.step()) {
        Candidate c;
        c.id = s.integer(0);
        Keys k;
        if (!search_keys_of(s.bytes(1), wanted_of(q, o), k))
            continue;
        if (contour) {
            std::size_t at = k.contour.find(q.contour);
            c.exact = at != std::string::npos;
            c.offset = static_cast<int>(at);
        } else {
            place(k, q, o, c);
        }
        c.score = 1;
        if (c.exact)
            found.push_back(c);
    }
    if (s.failed())
        error = db.last_error();
    return !s.failed();
}

bool Catalogue::Impl::hit(const Candidate& c, Hit& h, std::string& error)
{
    incipit.bind(1, c.id);
    if (!incipit.step()) {
        error = incipit.failed() ? db.last_error() : "an incipit of the index is missing";
        incipit.reset();
        return false;
    }
    std::string* texts[] = {&h.identifier, &h.number, &h.control_number, &h.composer,
                            &h.work_title, &h.movement_title, &h.siglum, &h.shelfmark};
    for (int k = 0; k < 8; ++k)
        *texts[k] = incipit.text(k);
    h.occurrence = static_cast<int>(incipit.integer(8));
    incipit.reset();
    h.note = c.offset + 1;
    h.exact = c.exact;
    h.score = c.score;
    return true;
}

Catalogue::Catalogue() : impl_(std::make_unique<Impl>()) {}
Catalogue::~Catalogue() = default;

bool Catalogue::open(const std::string& path, std::string& error)
{
    std::string why;
    Statement any;
    if (!impl_->db.open(path, false, error))
        return false;
    bool empty = false;
    Impl& m = *impl_;
    // Read through a map of the file rather than a copy of each page.
    if (!m.db.run("PRAGMA mmap_size = 1099511627776", why) || !check_schema(m.db, empty, why) || !any.prepare(m.db, "SELECT 1 FROM incipits", why) ||
        !m.keys.prepare(m.db, "SELECT keys FROM melodic_keys WHERE incipit = ?", why) ||
        !m.postings.prepare(m.db, "SELECT postings FROM ngrams WHERE gram = ?", why) ||
        !m.document.prepare(m.db, "SELECT file_name, document FROM documents JOIN incipits ON "
                                  "incipit = id WHERE identifier = ? AND number = ?", why) ||
        !m.dictionary.prepare(m.db, "SELECT dictionary FROM document_dictionary", why) ||
        !impl_->incipit.prepare(impl_->db, "SELECT identifier, number, control_number, composer,"
                                           " work_title, movement_title, siglum, shelfmark,"
                                           " occurrence FROM incipits WHERE id = ?", why)) {
        error = "cannot search " + path + ": " + why;
        return false;
    }
    return true;
}

bool Catalogue::Impl::find(const Query& q, const SearchOptions& o, std::vector<Hit>& hits,
                           std::string& error)
{
    std::vector<Candidate> found;
    bool trigram_query = q.kind != QueryKind::Contour && q.intervals.size() >= kGramIntervals;
    if (!(trigram_query ? by_trigrams(q, o, found, error) : by_scan(q, o, found, error)))
        return false;
    std::sort(found.begin(), found.end(), by_rank);
    if (found.size() > static_cast<std::size_t>(o.hits))
        found.resize(static_cast<std::size_t>(o.hits));
    hits.resize(found.size());
    for (std::size_t k = 0; k < found.size(); ++k)
        if (!hit(found[k], hits[k], error))
            return false;
    return true;
}

// One read transaction for the whole search: the file is locked once, not
// at every statement.
bool Catalogue::search(const Query& q, const SearchOptions& o, std::vector<Hit>& hits,
                       std::string& error)
{
    hits.clear();
    if (!check_options(q, o, error) || !impl_->db.run("BEGIN", error))
        return false;
    bool ok = impl_->find(q, o, hits, error);
    std::string ignored;
    impl_->db.run("COMMIT", ignored);
    return ok;
}

bool Catalogue::document(const std::string& identifier, const std::string& number,
                         std::string& file_name, std::string& document, std::string& error)
{
    Impl& m = *impl_;
    std::string dictionary;
    if (m.dictionary.step())
        dictionary = m.dictionary.text(0);
    m.dictionary.reset();
    m.document.bind(1, identifier);
    m.document.bind(2, number);
    bool held = m.document.step();
    bool ok = held && inflate_document(m.document.bytes(1), dictionary, document);
    if (held)
        file_name = m.document.text(0);
    if (!ok)
        error = m.document.failed() ? m.db.last_error()
                : held              ? "the document of " + identifier + " " + number + " is damaged"
                                    : "the database holds no document of " + identifier + " " + number;
    m.document.reset();
    return ok;
}

}  // namespace tav::db
