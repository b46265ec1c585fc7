// Documents deflated by zlib with the database's dictionary.

#include <zlib.h>

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "document_codec.h"

namespace tav::db {

namespace {

constexpr int kMemoryLevel = 8;
// Of zlib's levels 1 to 9: a third of level 1's size over level 6's, at
// nearly level 1's speed (with the dictionary, on catalogue documents).
constexpr int kLevel = 3;

// zlib's allocations kept for the next stream: a document's stream is a
// copy of the primed one, and its buffers are the last document's.
struct Blocks {
    std::vector<std::pair<std::size_t, std::unique_ptr<unsigned char[]>>> spare;
    std::vector<std::pair<void*, std::size_t>> lent;

    static voidpf take(voidpf self, uInt items, uInt size);
    static void give(voidpf self, voidpf block);
};

voidpf Blocks::take(voidpf self, uInt items, uInt size)
{
    auto& b = *static_cast<Blocks*>(self);
    std::size_t bytes = static_cast<std::size_t>(items) * size;
    std::unique_ptr<unsigned char[]> block;
    auto same = std::find_if(b.spare.begin(), b.spare.end(),
                             [bytes](const auto& s) { return s.first == bytes; });
    if (same != b.spare.end()) {
        block = std::move(same->second);
        b.spare.erase(same);
    } else {
        block.reset(new (std::nothrow) unsigned char[bytes]);
        if (block == nullptr)
            return Z_NULL;
    }
    b.lent.emplace_back(block.get(), bytes);
    return block.release();
}

void Blocks::give(voidpf self, voidpf block)
{
    auto& b = *static_cast<Blocks*>(self);
    auto it = std::find_if(b.lent.begin(), b.lent.end(),
                           [block](const auto& l) { return l.first == block; });
    if (it == b.lent.end())
        return;
    b.spare.emplace_back(it->second, static_cast<unsigned char*>(block));
    b.lent.erase(it);
}

}  // namespace

// Setting the dictionary costs as much as deflating a document: it is set
// once, in `primed`, and each document deflated on a copy of that stream
// (the same bytes as a stream reset and given the dictionary).
struct DocumentDeflater::Impl {
    Blocks blocks;
    z_stream primed{};
    z_stream z{};
    bool ready = false;   // `primed` holds the dictionary
    bool copied = false;  // `z` is a copy to end

    ~Impl()
    {
        if (copied)
            deflateEnd(&z);
        if (ready)
            deflateEnd(&primed);
    }
};

DocumentDeflater::DocumentDeflater(std::string dictionary) : impl_(std::make_unique<Impl>())
{
    z_stream& p = impl_->primed;
    p.zalloc = &Blocks::take;
    p.zfree = &Blocks::give;
    p.opaque = &impl_->blocks;
    if (deflateInit2(&p, kLevel, Z_DEFLATED, -kWindowBits, kMemoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    auto* d = reinterpret_cast<Bytef*>(dictionary.data());
    impl_->ready = dictionary.empty() ||
                   deflateSetDictionary(&p, d, static_cast<uInt>(dictionary.size())) == Z_OK;
    if (!impl_->ready)
        deflateEnd(&p);
}

DocumentDeflater::~DocumentDeflater() = default;

bool DocumentDeflater::deflate(std::string_view document, std::string& out)
{
    z_stream& z = impl_->z;
    if (impl_->copied)
        deflateEnd(&z);
    impl_->copied = impl_->ready && deflateCopy(&z, &impl_->primed) == Z_OK;
    if (!impl_->copied)
        return false;
    out.resize(deflateBound(&z, static_cast<uLong>(document.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(document.data()));
    z.avail_in = static_cast<uInt>(document.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    if (::deflate(&z, Z_FINISH) != Z_STREAM_END)
        return false;
    out.resize(z.total_out);
    return true;
}

}  // namespace tav::db
