// Postings as blobs, and the ones a run holds until it commits.

#include "postings.h"

#include <algorithm>

namespace tav::db {

namespace {

constexpr unsigned kLowBits = 7;
constexpr unsigned kLowMask = 0x7f;
constexpr unsigned kMore = 0x80;
constexpr unsigned kMaxShift = 63;

void write_number(std::string& out, std::uint64_t value)
{
    while (value >= kMore) {
        out += static_cast<char>((value & kLowMask) | kMore);
        value >>= kLowBits;
    }
    out += static_cast<char>(value);
}

}  // namespace

bool read_number(std::string_view blob, std::size_t& at, std::int64_t& value)
{
    std::uint64_t v = 0;
    for (unsigned shift = 0; at < blob.size() && shift <= kMaxShift; shift += kLowBits) {
        auto byte = static_cast<unsigned char>(blob[at++]);
        v |= static_cast<std::uint64_t>(byte & kLowMask) << shift;
        if ((byte & kMore) == 0) {
            value = static_cast<std::int64_t>(v);
            return true;
        }
    }
    return false;
}

std::string encode_postings(const std::vector<Posting>& postings)
{
    std::string out;
    std::int64_t last = 0;
    for (const Posting& p : postings) {
        write_number(out, static_cast<std::uint64_t>(p.incipit - last));
        write_number(out, static_cast<std::uint64_t>(p.note));
        last = p.incipit;
    }
    return out;
}

bool decode_postings(std::string_view blob, std::vector<Posting>& postings)
{
    postings.clear();
    std::size_t at = 0;
    std::int64_t id = 0, delta = 0, note = 0;
    while (at < blob.size()) {
        if (!read_number(blob, at, delta) || !read_number(blob, at, note))
            return false;
        id += delta;
        postings.push_back({id, note});
    }
    return true;
}

void GramIndex::add(std::int64_t gram, std::int64_t incipit, std::int64_t note)
{
    added_[gram].push_back({incipit, note});
    touched_.insert(gram);
}

void GramIndex::remove(const std::vector<std::int64_t>& grams, std::int64_t incipit)
{
    for (std::int64_t g : grams) {
        touched_.insert(g);
        auto it = added_.find(g);
        if (it == added_.end())
            continue;
        std::vector<Posting>& p = it->second;
        p.erase(std::remove_if(p.begin(), p.end(),
                               [incipit](const Posting& x) { return x.incipit == incipit; }),
                p.end());
    }
    removed_.insert(incipit);
}

std::vector<std::int64_t> GramIndex::grams() const
{
    std::vector<std::int64_t> all(touched_.begin(), touched_.end());
    std::sort(all.begin(), all.end());
    return all;
}

std::string GramIndex::merge(std::int64_t gram, std::string_view stored) const
{
    std::vector<Posting> postings;
    if (!stored.empty() && decode_postings(stored, postings) && !removed_.empty())
        postings.erase(std::remove_if(postings.begin(), postings.end(),
                                      [this](const Posting& p) {
                                          return removed_.count(p.incipit) != 0;
                                      }),
                       postings.end());
    auto it = added_.find(gram);
    if (it != added_.end())
        postings.insert(postings.end(), it->second.begin(), it->second.end());
    std::sort(postings.begin(), postings.end());
    return encode_postings(postings);
}

}  // namespace tav::db
