// The compressed MusicXML file (.mxl): a zip archive holding "mimetype"
// first and stored, META-INF/container.xml naming the document, and the
// document deflated. zlib deflates and sums (ISA-L, when there is, the
// document in one call, and every sum); the archive's few headers are
// written here. Every entry carries the same fixed date, so the same
// document always gives the same bytes.

#include "writer/mxl.h"
#include "writer/xml_text.h"

#include <algorithm>
#include <cstdint>

#ifdef TAV_HAVE_ZLIB
#include <zlib.h>
#endif
#ifdef TAV_HAVE_ISAL
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#endif

namespace tav::detail {

namespace {

// The container's text before the document's name and after it.
constexpr std::string_view kContainerHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                            "<container>\n"
                                            "\t<rootfiles>\n"
                                            "\t\t<rootfile full-path=\"";

std::string container_tail()
{
    std::string out = "\" media-type=\"";
    out += kMusicXmlMediaType;
    return out + "\"/>\n"
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

// The deflate streams' level: zlib's fastest. On MusicXML it takes 40% fewer
// instructions than the default level for files 10% larger.
constexpr int kLevel = Z_BEST_SPEED;
// Windows from 512 bytes to zlib's largest, 32 KiB, each with as many hash
// entries as bytes of window: a document within its window less zlib's
// lookahead deflates as with the largest window, and a stream is reset by
// clearing a hash table of its size, not of 64 KiB.
constexpr int kMinWindowBits = 9;
constexpr int kWindowSizes = MAX_WBITS - kMinWindowBits + 1;
constexpr std::size_t kLookahead = 262;
// A stored block holds at most this many bytes.
constexpr std::size_t kMaxStoredBlock = 0xFFFF;

// The memory level (zlib's default, 8, at most) whose hash table has an
// entry for each byte of a window of 2^bits.
int memory_level(int bits)
{
    return std::clamp(bits - 7, 1, 8);
}

// The smallest window for `size` bytes.
int window_bits(std::size_t size)
{
    int bits = kMinWindowBits;
    while (bits < MAX_WBITS && (std::size_t{1} << bits) - kLookahead < size)
        ++bits;
    return bits;
}

std::uint32_t crc_of(std::uint32_t crc, std::string_view data)
{
#ifdef TAV_HAVE_ISAL
    return crc32_gzip_refl(crc, reinterpret_cast<const unsigned char*>(data.data()), data.size());
#else
    return static_cast<std::uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
#endif
}

#ifdef TAV_HAVE_ISAL
// ISA-L's fastest level, its Huffman codes made beforehand: on MusicXML
// documents of a few kilobytes it takes about a quarter of the time of the
// fastest level of libdeflate (zlib's takes twice that), for archives about
// a fifth larger, still about a fifth of the document's size.
constexpr int kIsalLevel = 0;
// What a document takes at most deflated: as stored blocks, each with its
// header, and the few bytes ISA-L asks to have free beyond them.
std::size_t stored_bound(std::size_t size)
{
    constexpr std::size_t kStoredHeader = 5, kSlack = 64;
    return size + (size / kMaxStoredBlock + 1) * kStoredHeader + kSlack;
}

// Appends `data` deflated in one call by `z`; false when ISA-L fails.
bool deflate_into(std::string& out, isal_zstream& z, std::string_view data)
{
    const std::size_t begin = out.size();
    const std::size_t bound = stored_bound(data.size());
    out.resize(begin + bound);
    isal_deflate_stateless_init(&z);
    z.level = kIsalLevel;
    z.end_of_stream = 1;
    z.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<std::uint32_t>(data.size());
    z.next_out = reinterpret_cast<std::uint8_t*>(out.data() + begin);
    z.avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(bound, UINT32_MAX));
    const bool ok = isal_deflate_stateless(&z) == COMP_OK && z.avail_in == 0;
    out.resize(begin + (ok ? z.total_out : 0));
    return ok;
}
#endif

// Starts the entry `e` at the end of `out`: its local header, the packed
// size left for end_entry to fill in.
void begin_entry(std::string& out, Entry& e)
{
    e.offset = static_cast<std::uint32_t>(out.size());
    put32(out, kLocalHeader);
    put_common(out, e);
    put16(out, 0);   // extra field
    out += e.name;
}

// Ends the entry begun at e.offset, its data at the end of `out`.
void end_entry(std::string& out, Entry& e)
{
    const std::size_t data = e.offset + 30 + e.name.size();
    const std::size_t sizes = e.offset + 18;   // where the packed size goes
    e.packed = static_cast<std::uint32_t>(out.size() - data);
    for (int i = 0; i < 4; ++i)
        out[sizes + static_cast<std::size_t>(i)] = static_cast<char>((e.packed >> (8 * i)) & 0xFF);
}

// Appends `data` deflated by `z` with `flush`; false when zlib fails.
bool deflate_into(std::string& out, z_stream& z, std::string_view data, int flush)
{
    if (deflateReset(&z) != Z_OK)
        return false;
    const std::size_t begin = out.size();
    const uLong bound = deflateBound(&z, static_cast<uLong>(data.size())) + 8;
    out.resize(begin + bound);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data() + begin);
    z.avail_out = static_cast<uInt>(bound);
    const int status = deflate(&z, flush);
    out.resize(begin + (bound - z.avail_out));
    return flush == Z_FINISH ? status == Z_STREAM_END
                            : status == Z_OK && z.avail_in == 0 && z.avail_out != 0;
}

// Appends `data` as stored deflate blocks that are not the last, after
// deflated bytes that end on a byte.
void append_stored_blocks(std::string& out, std::string_view data)
{
    do {
        const std::size_t n = std::min(data.size(), kMaxStoredBlock);
        out += '\0';   // not the last block, stored
        put16(out, static_cast<std::uint16_t>(n));
        put16(out, static_cast<std::uint16_t>(~n & 0xFFFF));
        out += data.substr(0, n);
        data.remove_prefix(n);
    } while (!data.empty());
}

#endif

}  // namespace

std::string mxl_container_xml(std::string_view document_name)
{
    std::string out(kContainerHead);
    append_escaped(out, document_name, XmlContext::Attribute);
    return out + container_tail();
}

// The deflate streams, one for each window size, each made when a document
// first needs it, and the container's text before and after the name, each
// deflated once: the container entry is the deflated head, the name in
// stored blocks, and the deflated tail (the last block).
struct MxlWriter::Stream {
#ifdef TAV_HAVE_ZLIB
    z_stream z[kWindowSizes]{};
    bool made[kWindowSizes]{};
    std::string head;
    std::string tail;
    std::uint32_t head_crc = 0;
    std::string tail_text;
    std::string name;   // the document's name as the container writes it
    z_stream* current = nullptr;   // the stream prepare() chose
#ifdef TAV_HAVE_ISAL
    isal_zstream isal{};   // the documents' (its state is large: kept, not on the stack)
#endif
    ~Stream()
    {
        for (int i = 0; i < kWindowSizes; ++i)
            if (made[i])
                deflateEnd(&z[i]);
    }
    // The stream for `size` bytes; null when zlib cannot make it.
    z_stream* stream_for(std::size_t size)
    {
        const int i = window_bits(size) - kMinWindowBits;
        if (!made[i]) {
            const int bits = i + kMinWindowBits;
            if (deflateInit2(&z[i], kLevel, Z_DEFLATED, -bits, memory_level(bits),
                             Z_DEFAULT_STRATEGY) != Z_OK)
                return nullptr;
            made[i] = true;
        }
        return &z[i];
    }
    // Makes what a document of `size` bytes needs, and the container's
    // entry; false when it cannot. ISA-L, when there is, deflates every
    // document, and zlib the container's head and tail once.
    bool prepare(std::size_t size)
    {
#ifdef TAV_HAVE_ISAL
        (void)size;   // one stream serves every size
        current = stream_for(0);
#else
        current = stream_for(size);
#endif
        return current != nullptr && deflate_container(*current);
    }
    // Appends the document deflated; false when the library fails.
    bool deflate_document(std::string& out, std::string_view document)
    {
#ifdef TAV_HAVE_ISAL
        return deflate_into(out, isal, document);
#else
        return deflate_into(out, *current, document, Z_FINISH);
#endif
    }
    // The container's head and tail deflated by `z`, once (any window
    // holds them); false when zlib fails.
    bool deflate_container(z_stream& z)
    {
        if (!tail_text.empty())
            return true;
        std::string text = container_tail();
        if (!deflate_into(head, z, kContainerHead, Z_SYNC_FLUSH) ||
            !deflate_into(tail, z, text, Z_FINISH))
            return false;
        head_crc = crc_of(0, kContainerHead);
        tail_text = std::move(text);
        return true;
    }
#endif
};

MxlWriter::MxlWriter() = default;
MxlWriter::~MxlWriter() = default;
MxlWriter::MxlWriter(MxlWriter&& other) noexcept = default;
MxlWriter& MxlWriter::operator=(MxlWriter&& other) noexcept = default;

#ifdef TAV_HAVE_ZLIB
namespace {

// Appends the central directory of `entries` and its end.
void put_directory(std::string& out, const Entry* entries, std::uint16_t count)
{
    const std::uint32_t directory = static_cast<std::uint32_t>(out.size());
    for (const Entry* e = entries; e != entries + count; ++e) {
        put32(out, kCentralHeader);
        put16(out, kVersion);   // made by
        put_common(out, *e);
        put16(out, 0);          // extra field
        put16(out, 0);          // comment
        put16(out, 0);          // disk
        put16(out, 0);          // internal attributes
        put32(out, 0);          // external attributes
        put32(out, e->offset);
        out += e->name;
    }
    const std::uint32_t directory_size = static_cast<std::uint32_t>(out.size()) - directory;
    put32(out, kEndOfCentral);
    put16(out, 0);
    put16(out, 0);
    put16(out, count);
    put16(out, count);
    put32(out, directory_size);
    put32(out, directory);
    put16(out, 0);
}

}  // namespace
#endif

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
    if (!s.prepare(document.size()))
        return MessageCode::CompressionFailed;
    s.name.clear();
    append_escaped(s.name, document_name, XmlContext::Attribute);
    out.reserve(document.size() / 4 + s.head.size() + s.name.size() + s.tail.size() + 512);

    Entry entries[3];
    entries[0] = Entry{"mimetype", kStored, crc_of(0, kMxlMimeType),
                       static_cast<std::uint32_t>(kMxlMimeType.size())};
    begin_entry(out, entries[0]);
    out += kMxlMimeType;
    end_entry(out, entries[0]);

    const std::uint32_t name_crc = crc_of(s.head_crc, s.name);
    entries[1] = Entry{"META-INF/container.xml", kDeflated, crc_of(name_crc, s.tail_text),
                       static_cast<std::uint32_t>(kContainerHead.size() + s.name.size() +
                                                  s.tail_text.size())};
    begin_entry(out, entries[1]);
    out += s.head;
    append_stored_blocks(out, s.name);
    out += s.tail;
    end_entry(out, entries[1]);

    entries[2] = Entry{document_name, kDeflated, crc_of(0, document),
                       static_cast<std::uint32_t>(document.size())};
    begin_entry(out, entries[2]);
    if (!s.deflate_document(out, document))
        return MessageCode::CompressionFailed;
    end_entry(out, entries[2]);
    put_directory(out, entries, 3);
    return std::nullopt;
#else
    (void)document_name;
    (void)document;
    out.clear();
    return MessageCode::NoCompression;
#endif
}

}  // namespace tav::detail
