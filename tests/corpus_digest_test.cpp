// A fixed corpus of 2000 generated records, read and converted in process
// through the library's stream reader with one reused converter; every
// document must hash to the digest recorded for its file name. The
// digests were taken from the files the converter wrote before any tuning,
// so a change of one byte of one file fails here.

#include <cinttypes>
#include <cstdio>
#include <string>

#include "tav/batch.h"
#include "tav/tav.h"
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
std::string convert_corpus(const tav::Options& options)
{
    std::string digests;
    std::FILE* input = std::fopen(data_path("corpus_records.txt").c_str(), "r");
    if (input == nullptr)
        return digests;
    CapturedStream err;
    tav::Converter converter;
    tav::convert_stream(input, converter, options, [&](tav::Result& r) {
        tav::print_messages(r, err.file(), nullptr);
        char line[128];
        std::snprintf(line, sizeof line, "%s %016" PRIx64 "\n", r.file_name.c_str(),
                      fnv1a64(r.document.data(), r.document.size()));
        digests += r.ok() ? line : "failed\n";
        return true;
    });
    std::fclose(input);
    EXPECT_EQ(err.text().find("ERROR"), std::string::npos);
    return digests;
}

TEST(CorpusDigest, Plain) { expect_golden("corpus_digests.txt", convert_corpus({})); }

TEST(CorpusDigest, WithoutMensuralAndMeasureRests)
{
    expect_golden("corpus_digests_mr.txt", convert_corpus({.remove_mensural = true, .remove_measure_rests = true, .trace = {}}));
}

}  // namespace
