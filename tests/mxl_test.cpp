// The .mxl archive read back with zlib's inflate: every entry's sizes and
// sum, the container naming the document, and the document itself, through
// one writer over documents of every window size and names that need
// escaping (one past a stored block's 64 KiB when escaped), text and bytes
// that do not deflate.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "writer/mxl.h"

#ifdef TAV_HAVE_ZLIB
#include <zlib.h>

namespace {

std::uint32_t get(const std::string& a, std::size_t at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(a.at(at + static_cast<std::size_t>(i)));
    return v;
}

// The entry at `at` (a local header): its name and data, inflated when
// deflated; `at` moves past it.
std::pair<std::string, std::string> entry(const std::string& a, std::size_t& at)
{
    EXPECT_EQ(get(a, at, 4), 0x04034b50u);
    const std::uint32_t method = get(a, at + 8, 2), crc = get(a, at + 14, 4);
    const std::uint32_t packed = get(a, at + 18, 4), size = get(a, at + 22, 4);
    const std::size_t name_size = get(a, at + 26, 2), data = at + 30 + name_size;
    std::string name = a.substr(at + 30, name_size), text(size, '\0');
    at = data + packed;
    if (method == 0) {
        text = a.substr(data, packed);
    } else {
        EXPECT_EQ(method, 8u);
        z_stream z{};
        EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(a.data() + data));
        z.avail_in = packed;
        z.next_out = reinterpret_cast<Bytef*>(text.data());
        z.avail_out = size;
        EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END) << name;
        EXPECT_EQ(z.avail_in, 0u) << name;   // the packed size is the stream's
        inflateEnd(&z);
    }
    EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(text.data()), size), crc) << name;
    return {name, text};
}

TEST(Mxl, ReadsBackThroughInflate)
{
    std::string body;
    for (int i = 0; body.size() < 70000; ++i)
        body += "<note><step>" + std::string(1, static_cast<char>('A' + i * 7 % 7)) +
                "</step><octave>" + std::to_string(i % 9) + "</octave></note>\n";
    // Bytes that do not deflate: the document goes in stored blocks.
    std::string noise;
    for (std::uint32_t x = 1; noise.size() < 140000; x = x * 1103515245u + 12345u)
        noise += static_cast<char>(x >> 24);
    const std::string names[] = {"1-1.1.xml", "Tr&o \"<1>\".xml", "\xC3\x9C" "ber.xml",
                                 std::string(20000, '&') + ".xml"};
    tav::detail::MxlWriter writer;
    std::string archive;
    int k = 0;
    for (std::size_t size : {0, 1, 200, 3000, 9000, 32000, 32600, 70000, 140000, 300})
        for (const std::string& name : names) {
            const std::string document = (k % 3 == 2 ? noise : body).substr(k % 5, size);
            ++k;
            ASSERT_FALSE(writer.write(name, document, archive).has_value());
            std::size_t at = 0;
            EXPECT_EQ(entry(archive, at), std::make_pair(std::string("mimetype"),
                                                         std::string(tav::detail::kMxlMimeType)));
            EXPECT_EQ(entry(archive, at), std::make_pair(std::string("META-INF/container.xml"),
                                                         tav::detail::mxl_container_xml(name)));
            EXPECT_EQ(entry(archive, at), std::make_pair(name, document)) << size;
            EXPECT_EQ(get(archive, at, 4), 0x02014b50u);   // the central directory
            EXPECT_EQ(get(archive, archive.size() - 22, 4), 0x06054b50u);
            EXPECT_EQ(get(archive, archive.size() - 6, 4), at);
        }
}

}  // namespace
#endif
