// Documents deflated with the database's dictionary, and read back.

#include "document_codec.h"

#include <zlib.h>

namespace tav::db {

namespace {

// Raw deflate: negative window bits, the largest window.
constexpr int kRawWindowBits = -15;
constexpr int kMemoryLevel = 8;
// Of zlib's levels 1 to 9: a third of level 1's size over level 6's, at
// nearly level 1's speed (with the dictionary, on catalogue documents).
constexpr int kLevel = 3;
constexpr std::size_t kInflateStep = 16384;

Bytef* bytes(std::string_view text)
{
    return reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
}

}  // namespace

struct DocumentDeflater::Impl {
    z_stream z{};
    std::string dictionary;
    bool ready = false;
};

DocumentDeflater::DocumentDeflater(std::string dictionary) : impl_(std::make_unique<Impl>())
{
    impl_->dictionary = std::move(dictionary);
    impl_->ready = deflateInit2(&impl_->z, kLevel, Z_DEFLATED, kRawWindowBits,
                                kMemoryLevel, Z_DEFAULT_STRATEGY) == Z_OK;
}

DocumentDeflater::~DocumentDeflater()
{
    if (impl_->ready)
        deflateEnd(&impl_->z);
}

bool DocumentDeflater::deflate(std::string_view document, std::string& out)
{
    z_stream& z = impl_->z;
    if (!impl_->ready || deflateReset(&z) != Z_OK)
        return false;
    const std::string& d = impl_->dictionary;
    if (!d.empty() && deflateSetDictionary(&z, bytes(d), static_cast<uInt>(d.size())) != Z_OK)
        return false;
    out.resize(deflateBound(&z, static_cast<uLong>(document.size())));
    z.next_in = bytes(document);
    z.avail_in = static_cast<uInt>(document.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    if (::deflate(&z, Z_FINISH) != Z_STREAM_END)
        return false;
    out.resize(z.total_out);
    return true;
}

bool inflate_document(std::string_view blob, std::string_view dictionary, std::string& document)
{
    z_stream z{};
    if (inflateInit2(&z, kRawWindowBits) != Z_OK)
        return false;
    bool ok = dictionary.empty() ||
              inflateSetDictionary(&z, bytes(dictionary), static_cast<uInt>(dictionary.size())) ==
                  Z_OK;
    z.next_in = bytes(blob);
    z.avail_in = static_cast<uInt>(blob.size());
    document.clear();
    int rc = Z_OK;
    while (ok && rc == Z_OK) {
        std::size_t had = document.size();
        document.resize(had + kInflateStep);
        z.next_out = reinterpret_cast<Bytef*>(document.data() + had);
        z.avail_out = static_cast<uInt>(kInflateStep);
        rc = ::inflate(&z, Z_NO_FLUSH);
        document.resize(had + kInflateStep - z.avail_out);
        ok = rc == Z_OK || rc == Z_STREAM_END;
    }
    ok = ok && rc == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return ok;
}

}  // namespace tav::db
