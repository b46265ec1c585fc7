// A fixed corpus of 2000 generated records, read through the driver's line
// reader, parsed and rendered in process; every document must hash to the
// digest recorded for its file name. The digests were taken from the files
// the converter wrote before any tuning of allocation, rendering or line
// reading, so a speed-up that changes one byte of one file fails here.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "driver/line_reader.h"
#include "parser/convert.h"
#include "test_support.h"
#include "writer/output.h"

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

CorpusRun convert_corpus(const ConvertOptions& options)
{
    CorpusRun run;
    std::FILE* input = std::fopen(data_path("corpus_records.txt").c_str(), "r");
    if (input == nullptr)
        return run;
    test_support::CapturedStream err;
    Console console{nullptr, err.file(), nullptr};
    LineReader reader(input);
    std::string text;
    while (reader.next() == LineReader::Status::Line) {
        Incipit incipit;
        if (parse_incipit(reader.data(), reader.size(), options, console, incipit) !=
            ParseStatus::Parsed) {
            ++run.failed;
            continue;
        }
        text.clear();
        render_score(incipit.first_measure, incipit.divisions, incipit.incipit_id,
                     incipit.incipit_nb, incipit.mensural, incipit.corrected_key, text);
        run.documents.emplace_back(output_file_name(incipit.incipit_id, incipit.incipit_nb),
                                   fnv1a64(text));
        destroy_measure(incipit.first_measure);
    }
    std::fclose(input);
    run.messages = err.text();
    return run;
}

struct CorpusCase {
    const char* digests;
    ConvertOptions options;
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
                         ::testing::Values(CorpusCase{"corpus_digests.txt", ConvertOptions{}},
                                           CorpusCase{"corpus_digests_mr.txt",
                                                      ConvertOptions{1, 1, 0, 0}}),
                         [](const auto& info) {
                             return std::string(info.index == 0 ? "Plain"
                                                                : "WithoutMensuralAndRests");
                         });

}  // namespace
