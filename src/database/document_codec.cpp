// Documents deflated with the database's dictionary (by ISA-L when the build
// has it, else by zlib), and read back by zlib.

#include "document_codec.h"

#include <zlib.h>

#include <cstdint>

#ifdef TAV_HAVE_ISAL
#include <isa-l/igzip_lib.h>

#include <vector>
#endif

namespace tav::db {

namespace {

// Raw deflate: negative window bits, the largest window.
constexpr int kRawWindowBits = -15;
constexpr std::size_t kInflateStep = 16384;

Bytef* bytes(std::string_view text)
{
    return reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
}

}  // namespace

#ifdef TAV_HAVE_ISAL

namespace {

// ISA-L's level 1 with its dictionary prepared once: on catalogue documents
// about a third of zlib's level 3 time, for documents a tenth larger.
constexpr int kIsalLevel = 1;

// What a document takes at most deflated: as stored blocks, each with its
// header, and the few bytes ISA-L asks to have free beyond them.
std::size_t stored_bound(std::size_t size)
{
    constexpr std::size_t kStoredHeader = 5, kStoredBlock = 0xFFFF, kSlack = 64;
    return size + (size / kStoredBlock + 1) * kStoredHeader + kSlack;
}

}  // namespace

// The stream, its level's buffer and the dictionary as ISA-L prepared it
// are large: made once for the deflater.
struct DocumentDeflater::Impl {
    isal_zstream z{};
    std::vector<std::uint8_t> level_buffer = std::vector<std::uint8_t>(ISAL_DEF_LVL1_DEFAULT);
    isal_dict prepared{};
    bool has_dictionary = false;
    bool ready = false;

    void start()
    {
        isal_deflate_init(&z);
        z.level = kIsalLevel;
        z.level_buf = level_buffer.data();
        z.level_buf_size = static_cast<std::uint32_t>(level_buffer.size());
    }
};

DocumentDeflater::DocumentDeflater(std::string dictionary) : impl_(std::make_unique<Impl>())
{
    Impl& m = *impl_;
    m.start();
    m.has_dictionary = !dictionary.empty();
    m.ready = !m.has_dictionary ||
              isal_deflate_process_dict(&m.z, &m.prepared,
                                        reinterpret_cast<std::uint8_t*>(dictionary.data()),
                                        static_cast<std::uint32_t>(dictionary.size())) == COMP_OK;
}

DocumentDeflater::~DocumentDeflater() = default;

bool DocumentDeflater::deflate(std::string_view document, std::string& out)
{
    Impl& m = *impl_;
    if (!m.ready || document.size() > UINT32_MAX - stored_bound(0))
        return false;
    m.start();
    if (m.has_dictionary && isal_deflate_reset_dict(&m.z, &m.prepared) != COMP_OK)
        return false;
    out.resize(stored_bound(document.size()));
    m.z.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(document.data()));
    m.z.avail_in = static_cast<std::uint32_t>(document.size());
    m.z.end_of_stream = 1;
    m.z.flush = NO_FLUSH;
    m.z.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    m.z.avail_out = static_cast<std::uint32_t>(out.size());
    if (isal_deflate(&m.z) != COMP_OK || m.z.internal_state.state != ZSTATE_END)
        return false;
    out.resize(m.z.total_out);
    return true;
}

#else

namespace {

constexpr int kMemoryLevel = 8;
// Of zlib's levels 1 to 9: a third of level 1's size over level 6's, at
// nearly level 1's speed (with the dictionary, on catalogue documents).
constexpr int kLevel = 3;

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

#endif

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
