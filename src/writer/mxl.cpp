// The compressed MusicXML file (.mxl): a zip archive holding "mimetype"
// first and stored, META-INF/container.xml naming the document, and the
// document deflated. zlib deflates and sums; the archive's few headers are
// written here. Every entry carries the same fixed date, so the same
// document always gives the same bytes.

#include "writer/mxl.h"
#include "writer/xml_text.h"

#include <cstdint>

#ifdef TAV_HAVE_ZLIB
#include <zlib.h>
#endif

namespace tav::detail {

namespace {

void append_container_xml(std::string& out, std::string_view document_name)
{
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<container>\n"
           "\t<rootfiles>\n"
           "\t\t<rootfile full-path=\"";
    append_escaped(out, document_name, XmlContext::Attribute);
    out += "\" media-type=\"";
    out += kMusicXmlMediaType;
    out += "\"/>\n"
           "\t</rootfiles>\n"
           "</container>\n";
}

#ifdef TAV_HAVE_ZLIB

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kEndOfCentral = 0x06054b50;
constexpr std::uint16_t kVersion = 20;     // 2.0: deflate
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint16_t kUtf8Name = 1 << 11;
constexpr std::uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;  // 1980-01-01
constexpr std::uint16_t kDosTime = 0;
// Zip without its 64-bit extension holds entries below 4 GiB.
constexpr std::size_t kMaxEntry = 0xFFFFFFFFu;

void put16(std::string& out, std::uint16_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void put32(std::string& out, std::uint32_t v)
{
    put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}

struct Entry {
    std::string_view name;
    std::uint16_t method = kStored;
    std::uint32_t crc = 0;
    std::uint32_t size = 0;
    std::uint32_t packed = 0;
    std::uint32_t offset = 0;
};

// The UTF-8 flag, for a name past ASCII (names are UTF-8: see
// mxl_container).
std::uint16_t name_flags(std::string_view name)
{
    return check_utf8(name).past_ascii ? kUtf8Name : 0;
}

// The fields the local and the central header share, from "version
// needed" to the name's length.
void put_common(std::string& out, const Entry& e)
{
    put16(out, kVersion);
    put16(out, name_flags(e.name));
    put16(out, e.method);
    put16(out, kDosTime);
    put16(out, kDosDate);
    put32(out, e.crc);
    put32(out, e.packed);
    put32(out, e.size);
    put16(out, static_cast<std::uint16_t>(e.name.size()));
}

// Appends one entry, deflated with `z` (null: stored); false when zlib
// fails.
bool add(std::string& out, Entry& e, std::string_view name, std::string_view data, z_stream* z)
{
    const bool compress = z != nullptr;
    e = Entry{};
    e.name = name;
    e.method = compress ? kDeflated : kStored;
    e.size = static_cast<std::uint32_t>(data.size());
    e.crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    e.offset = static_cast<std::uint32_t>(out.size());
    put32(out, kLocalHeader);
    std::size_t sizes = out.size() + 14;   // where the packed size goes
    put_common(out, e);
    put16(out, 0);   // extra field
    out += name;
    std::size_t begin = out.size();
    if (!compress) {
        out += data;
    } else {
        if (deflateReset(z) != Z_OK)
            return false;
        uLong bound = deflateBound(z, static_cast<uLong>(data.size()));
        out.resize(begin + bound);
        z->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z->avail_in = static_cast<uInt>(data.size());
        z->next_out = reinterpret_cast<Bytef*>(out.data() + begin);
        z->avail_out = static_cast<uInt>(bound);
        int status = deflate(z, Z_FINISH);
        out.resize(begin + z->total_out);
        if (status != Z_STREAM_END)
            return false;
    }
    e.packed = static_cast<std::uint32_t>(out.size() - begin);
    for (int i = 0; i < 4; ++i)
        out[sizes + static_cast<std::size_t>(i)] = static_cast<char>((e.packed >> (8 * i)) & 0xFF);
    return true;
}

#endif

}  // namespace

std::string mxl_container_xml(std::string_view document_name)
{
    std::string out;
    append_container_xml(out, document_name);
    return out;
}

// The deflate stream (made once: raw deflate, the default level, a 32 KiB
// window and the default memory level, the parameters of every archive)
// and the container's text.
struct MxlWriter::Stream {
#ifdef TAV_HAVE_ZLIB
    z_stream z{};
    bool made = false;
    ~Stream()
    {
        if (made)
            deflateEnd(&z);
    }
#endif
    std::string container;
};

MxlWriter::MxlWriter() = default;
MxlWriter::~MxlWriter() = default;
MxlWriter::MxlWriter(MxlWriter&& other) noexcept = default;
MxlWriter& MxlWriter::operator=(MxlWriter&& other) noexcept = default;

std::optional<MessageCode> MxlWriter::write(std::string_view document_name,
                                            std::string_view document, std::string& out)
{
#ifdef TAV_HAVE_ZLIB
    out.clear();
    if (document.size() >= kMaxEntry || document_name.size() > 0xFFFF)
        return MessageCode::TooLargeToCompress;
    if (stream_ == nullptr)
        stream_ = std::make_unique<Stream>();
    Stream& s = *stream_;
    if (!s.made) {
        if (deflateInit2(&s.z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                         Z_DEFAULT_STRATEGY) != Z_OK)
            return MessageCode::CompressionFailed;
        s.made = true;
    }
    s.container.clear();
    append_container_xml(s.container, document_name);
    Entry entries[3];
    out.reserve(document.size() / 4 + s.container.size() + 512);
    if (!add(out, entries[0], "mimetype", kMxlMimeType, nullptr) ||
        !add(out, entries[1], "META-INF/container.xml", s.container, &s.z) ||
        !add(out, entries[2], document_name, document, &s.z))
        return MessageCode::CompressionFailed;
    std::uint32_t directory = static_cast<std::uint32_t>(out.size());
    for (const Entry& e : entries) {
        put32(out, kCentralHeader);
        put16(out, kVersion);   // made by
        put_common(out, e);
        put16(out, 0);          // extra field
        put16(out, 0);          // comment
        put16(out, 0);          // disk
        put16(out, 0);          // internal attributes
        put32(out, 0);          // external attributes
        put32(out, e.offset);
        out += e.name;
    }
    std::uint32_t directory_size = static_cast<std::uint32_t>(out.size()) - directory;
    put32(out, kEndOfCentral);
    put16(out, 0);
    put16(out, 0);
    put16(out, 3);
    put16(out, 3);
    put32(out, directory_size);
    put32(out, directory);
    put16(out, 0);
    return std::nullopt;
#else
    (void)document_name;
    (void)document;
    out.clear();
    return MessageCode::NoCompression;
#endif
}

}  // namespace tav::detail
