// The search: candidates by shared interval trigrams, or by a scan of the
// keys for a query too short for trigrams and for a contour; each checked
// for the whole query and placed where it matches best.

#include <algorithm>
#include <set>

#include "catalogue.h"
#include "keys_text.h"
#include "schema.h"
#include "sqlite.h"

namespace tav::db {

namespace {

// Of the incipits sharing trigrams with the query, how many are checked:
// this many times the hits asked for, and at least kMinCandidates.
constexpr int kCandidatesPerHit = 20;
constexpr int kMinCandidates = 1000;

struct Keys {
    std::vector<int> intervals;
    std::vector<int> midi;
    std::vector<double> durations;
};

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
    Statement keys, incipit;

    bool load(long long id, Keys& k);
    bool by_trigrams(const Query& q, const SearchOptions& o, std::vector<Candidate>& found,
                     std::string& error);
    bool by_scan(const Query& q, const SearchOptions& o, std::vector<Candidate>& found,
                 std::string& error);
    bool hit(const Candidate& c, Hit& h, std::string& error);
};

bool Catalogue::Impl::load(long long id, Keys& k)
{
    keys.bind(1, id);
    bool held = keys.step();
    if (held) {
        k.intervals = integers_of(keys.text(0));
        k.midi = integers_of(keys.text(1));
        k.durations = reals_of(keys.text(2));
    }
    keys.reset();
    return held;
}

bool Catalogue::Impl::by_trigrams(const Query& q, const SearchOptions& o,
                                  std::vector<Candidate>& found, std::string& error)
{
    std::set<std::int64_t> grams;
    for (const Gram& g : trigrams(q.intervals))
        grams.insert(g.value);
    std::string sql = "SELECT incipit, count(DISTINCT gram) AS shared FROM ngrams WHERE gram IN (";
    for (std::size_t k = 0; k < grams.size(); ++k)
        sql += k == 0 ? "?" : ", ?";
    sql += ") GROUP BY incipit ORDER BY shared DESC, incipit LIMIT ?";
    Statement s;
    if (!s.prepare(db, sql.c_str(), error))
        return false;
    int index = 1;
    for (std::int64_t g : grams)
        s.bind(index++, static_cast<long long>(g));
    s.bind(index, static_cast<long long>(std::max(kMinCandidates, o.hits * kCandidatesPerHit)));
    while (s.step()) {
        Candidate c;
        c.id = s.integer(0);
        c.score = static_cast<double>(s.integer(1)) / static_cast<double>(grams.size());
        Keys k;
        if (load(c.id, k))
            place(k, q, o, c);
        if (c.exact)
            c.score = 1;
        found.push_back(c);
    }
    if (s.failed())
        error = db.last_error();
    return !s.failed();
}

bool Catalogue::Impl::by_scan(const Query& q, const SearchOptions& o,
                              std::vector<Candidate>& found, std::string& error)
{
    bool contour = q.kind == QueryKind::Contour;
    Statement s;
    if (!s.prepare(db, contour ? "SELECT incipit, instr(contour, ?1) - 1 FROM melodic_keys "
                                 "WHERE instr(contour, ?1) > 0 ORDER BY incipit LIMIT ?2"
                               : "SELECT incipit, intervals, midi, durations FROM melodic_keys "
                                 "WHERE instr(intervals, ?1) > 0 ORDER BY incipit",
                   error))
        return false;
    s.bind(1, contour ? q.contour : number_list(q.intervals));
    s.bind(2, static_cast<long long>(o.hits));
    while (static_cast<int>(found.size()) < o.hits && s.step()) {
        Candidate c;
        c.id = s.integer(0);
        if (contour) {
            c.offset = static_cast<int>(s.integer(1));
            c.exact = true;
        } else {
            Keys k{integers_of(s.text(1)), integers_of(s.text(2)), reals_of(s.text(3))};
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
    if (!check_schema(impl_->db, why) || !any.prepare(impl_->db, "SELECT 1 FROM incipits", why) ||
        !impl_->keys.prepare(impl_->db, "SELECT intervals, midi, durations FROM melodic_keys "
                                        "WHERE incipit = ?", why) ||
        !impl_->incipit.prepare(impl_->db, "SELECT identifier, number, control_number, composer,"
                                           " work_title, movement_title, siglum, shelfmark,"
                                           " occurrence FROM incipits WHERE id = ?", why)) {
        error = "cannot search " + path + ": " + why;
        return false;
    }
    return true;
}

bool Catalogue::search(const Query& q, const SearchOptions& o, std::vector<Hit>& hits,
                       std::string& error)
{
    hits.clear();
    if (!check_options(q, o, error))
        return false;
    std::vector<Candidate> found;
    bool trigram_query = q.kind != QueryKind::Contour && q.intervals.size() >= kGramIntervals;
    if (!(trigram_query ? impl_->by_trigrams(q, o, found, error) : impl_->by_scan(q, o, found, error)))
        return false;
    std::sort(found.begin(), found.end(), by_rank);
    if (found.size() > static_cast<std::size_t>(o.hits))
        found.resize(static_cast<std::size_t>(o.hits));
    hits.resize(found.size());
    for (std::size_t k = 0; k < found.size(); ++k)
        if (!impl_->hit(found[k], hits[k], error))
            return false;
    return true;
}

}  // namespace tav::db
