// A fixed corpus of 2000 generated records, read and converted in process
// through the library's stream reader; every document must hash to the
// digest recorded for its file name. The digests were taken from the files
// the converter wrote before any tuning of allocation, rendering or line
// reading, so a speed-up that changes one byte of one file fails here.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tav/tav.h"
#include "test_support.h"

namespace {

std::string data_path(const std::string& name)
{
    std::string path = __FILE__;
    return path.substr(0, path.find_last_of("/\\") + 1) + "data/" + name;
}

// FNV-1a, 64 bits.
uint64_t fnv1a64(const std::string& text)
{
    uint64_t hash = 0xcbf29ce484222325u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3u;
    }
    return hash;
}

// "NAME HEX" per line, in input order.
std::vector<std::pair<std::string, uint64_t>> read_digests(const std::string& name)
{
    std::vector<std::pair<std::string, uint64_t>> digests;
    std::FILE* file = std::fopen(data_path(name).c_str(), "r");
    if (file == nullptr)
        return digests;
    char file_name[64];
    unsigned long long hash = 0;
    while (std::fscanf(file, "%63s %llx", file_name, &hash) == 2)
        digests.emplace_back(file_name, static_cast<uint64_t>(hash));
    std::fclose(file);
    return digests;
}

struct CorpusRun {
    std::vector<std::pair<std::string, uint64_t>> documents;  // in input order
    int failed = 0;
    std::string messages;  // what the records wrote to the error streams
};

CorpusRun convert_corpus(const tav::Options& options)
{
    CorpusRun run;
    std::FILE* input = std::fopen(data_path("corpus_records.txt").c_str(), "r");
    if (input == nullptr)
        return run;
    test_support::CapturedStream err;
    tav::Converter converter;
    tav::convert_stream(input, converter, options, [&](tav::Result& r) {
        tav::print_messages(r, err.file(), nullptr);
        if (r.ok())
            run.documents.emplace_back(r.file_name, fnv1a64(r.document));
        else
            ++run.failed;
        return true;
    });
    std::fclose(input);
    run.messages = err.text();
    return run;
}

struct CorpusCase {
    const char* digests;
    tav::Options options;
};

class CorpusDigest : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(CorpusDigest, EveryDocumentMatchesItsRecordedDigest)
{
    const CorpusCase& c = GetParam();
    auto expected = read_digests(c.digests);
    ASSERT_EQ(expected.size(), 2000u) << "cannot read " << c.digests;

    CorpusRun run = convert_corpus(c.options);
    EXPECT_EQ(run.failed, 0);
    EXPECT_EQ(run.messages.find("ERROR"), std::string::npos) << run.messages.substr(0, 400);
    ASSERT_EQ(run.documents.size(), expected.size());

    int mismatches = 0;
    std::ostringstream first;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(run.documents[i].first, expected[i].first) << "record " << i + 1;
        if (run.documents[i].second != expected[i].second && ++mismatches <= 5)
            first << ' ' << expected[i].first;
    }
    EXPECT_EQ(mismatches, 0) << "documents that changed:" << first.str();
}

INSTANTIATE_TEST_SUITE_P(Options, CorpusDigest,
                         ::testing::Values(CorpusCase{"corpus_digests.txt", {}},
                                           CorpusCase{"corpus_digests_mr.txt",
                                                      {.remove_mensural = true,
                                                       .remove_measure_rests = true,
                                                       .trace = {}}}),
                         [](const auto& info) {
                             return std::string(info.index == 0 ? "Plain"
                                                                : "WithoutMensuralAndRests");
                         });

}  // namespace
