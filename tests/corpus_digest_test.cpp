// A fixed corpus of 2000 generated records, read through the driver's line
// reader, parsed and rendered in process into one reused document buffer;
// every document must hash to the digest recorded for its file name. The
// digests were taken from the files the converter wrote before any tuning,
// so a change of one byte of one file fails here.

#include <cinttypes>
#include <cstdio>
#include <string>

#include "driver/line_reader.h"
#include "test_support.h"

namespace {

using namespace test_support;

// FNV-1a, 64 bits.
uint64_t fnv1a64(const char* text, size_t length)
{
    uint64_t hash = 0xcbf29ce484222325u;
    for (size_t i = 0; i < length; ++i) {
        hash ^= static_cast<unsigned char>(text[i]);
        hash *= 0x100000001b3u;
    }
    return hash;
}

// "NAME HEX" per document, in input order.
std::string convert_corpus(const ConvertOptions& options)
{
    std::string digests;
    std::FILE* input = std::fopen(data_path("corpus_records.txt").c_str(), "r");
    if (input == nullptr)
        return digests;
    CapturedStream err;
    Console console{nullptr, err.file(), nullptr};
    LineReader reader(input);
    DocumentBuffer buffer;
    while (reader.next() == LineReader::Status::Line) {
        Incipit i;
        if (parse_incipit(reader.data(), reader.size(), options, console, i) !=
            ParseStatus::Parsed) {
            digests += "failed\n";
            continue;
        }
        render_score(i.first_measure, i.divisions, i.incipit_id, i.incipit_nb, i.mensural,
                     i.corrected_key, buffer);
        char line[128];
        std::snprintf(line, sizeof line, "%s %016" PRIx64 "\n",
                      output_file_name(i.incipit_id, i.incipit_nb).c_str(),
                      fnv1a64(buffer.bytes.data(), buffer.length));
        digests += line;
        destroy_measure(i.first_measure);
    }
    std::fclose(input);
    EXPECT_EQ(err.text().find("ERROR"), std::string::npos);
    return digests;
}

TEST(CorpusDigest, Plain) { expect_golden("corpus_digests.txt", convert_corpus({})); }

TEST(CorpusDigest, WithoutMensuralAndMeasureRests)
{
    expect_golden("corpus_digests_mr.txt", convert_corpus(ConvertOptions{1, 1, 0, 0}));
}

}  // namespace
