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

// A posting's numbers, after a posting of incipit `last`.
void append_posting(std::string& out, std::int64_t last, const Posting& p)
{
    write_number(out, static_cast<std::uint64_t>(p.incipit - last));
    write_number(out, static_cast<std::uint64_t>(p.note));
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
        append_posting(out, last, p);
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
    Added& a = added_[gram];
    Posting p{incipit, note};
    a.ordered = a.ordered && a.last < p;
    append_posting(a.blob, a.last.incipit, p);
    a.last = p;
}

void GramIndex::remove(const std::vector<std::int64_t>& grams, std::int64_t incipit)
{
    std::vector<Posting> p;
    for (std::int64_t g : grams) {
        touched_.insert(g);
        auto it = added_.find(g);
        if (it == added_.end() || !decode_postings(it->second.blob, p))
            continue;
        p.erase(std::remove_if(p.begin(), p.end(),
                               [incipit](const Posting& x) { return x.incipit == incipit; }),
                p.end());
        std::sort(p.begin(), p.end());
        it->second = Added{encode_postings(p), p.empty() ? Posting{0, -1} : p.back(), true};
    }
    removed_.insert(incipit);
}

std::vector<std::int64_t> GramIndex::grams() const
{
    std::vector<std::int64_t> all(touched_.begin(), touched_.end());
    for (const auto& [gram, added] : added_)
        if (touched_.count(gram) == 0)
            all.push_back(gram);
    std::sort(all.begin(), all.end());
    return all;
}

std::string GramIndex::merge(std::int64_t gram, std::string_view stored) const
{
    auto it = added_.find(gram);
    if (stored.empty() && it != added_.end() && it->second.ordered)
        return it->second.blob;
    std::vector<Posting> postings, more;
    if (!stored.empty() && decode_postings(stored, postings) && !removed_.empty())
        postings.erase(std::remove_if(postings.begin(), postings.end(),
                                      [this](const Posting& p) {
                                          return removed_.count(p.incipit) != 0;
                                      }),
                       postings.end());
    if (it != added_.end() && decode_postings(it->second.blob, more))
        postings.insert(postings.end(), more.begin(), more.end());
    std::sort(postings.begin(), postings.end());
    return encode_postings(postings);
}

}  // namespace tav::db
