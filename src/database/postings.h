// The n-gram index as the database holds it: one row a trigram, its
// postings one blob. A posting is an incipit's id and the note its trigram
// starts on; a blob holds them ordered by id, then note, each as two
// unsigned LEB128 numbers (seven bits a byte, low first, the top bit set on
// every byte but a number's last): the id less the previous posting's id
// (the first: the id itself), then the note.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tav::db {

struct Posting {
    std::int64_t incipit = 0;
    std::int64_t note = 0;
    friend bool operator<(const Posting& a, const Posting& b)
    {
        return a.incipit != b.incipit ? a.incipit < b.incipit : a.note < b.note;
    }
};

// `postings` (in order) as a blob.
std::string encode_postings(const std::vector<Posting>& postings);
// A blob read back; false when it ends inside a number.
bool decode_postings(std::string_view blob, std::vector<Posting>& postings);

// Calls `each(id)` once for every incipit of a blob, in order; false when
// the blob ends inside a number.
template <typename Each>
bool for_each_incipit(std::string_view blob, Each each);

// The postings a run adds, held until it commits: appending to a blob per
// incipit would rewrite the blobs of its trigrams each time. Each gram's are
// held encoded, as they come (in order, since ids and notes grow).
class GramIndex {
public:
    void add(std::int64_t gram, std::int64_t incipit, std::int64_t note);
    // Forgets what was added for `incipit` under `grams`, and marks the
    // grams' stored postings of it to be dropped at merge().
    void remove(const std::vector<std::int64_t>& grams, std::int64_t incipit);
    // Every gram touched, in order.
    std::vector<std::int64_t> grams() const;
    // A gram's stored postings (`stored`, maybe empty) without the removed
    // incipits, with what was added: the blob to store, empty for none.
    std::string merge(std::int64_t gram, std::string_view stored) const;

private:
    struct Added {
        std::string blob;   // as encode_postings() writes them
        Posting last{0, -1};
        bool ordered = true;   // the blob is in order
    };
    std::unordered_map<std::int64_t, Added> added_;
    std::unordered_set<std::int64_t> touched_;   // grams of removed incipits
    std::unordered_set<std::int64_t> removed_;
};

// --- the template's definition

bool read_number(std::string_view blob, std::size_t& at, std::int64_t& value);

template <typename Each>
bool for_each_incipit(std::string_view blob, Each each)
{
    std::size_t at = 0;
    std::int64_t id = 0, last = -1, delta = 0, note = 0;
    while (at < blob.size()) {
        if (!read_number(blob, at, delta) || !read_number(blob, at, note))
            return false;
        id += delta;
        if (id != last)
            each(id);
        last = id;
    }
    return true;
}

}  // namespace tav::db
