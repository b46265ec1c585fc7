// Documents read back.

#include "document_codec.h"

#include <zlib.h>

namespace tav::db {

namespace {

// Raw deflate: negative window bits.
constexpr int kRawWindowBits = -kWindowBits;
constexpr std::size_t kInflateStep = 16384;

Bytef* bytes(std::string_view text)
{
    return reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
}

}  // namespace

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
