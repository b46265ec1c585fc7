// The search query reader: each kind of query and what it holds, and the
// queries it refuses; the postings a run holds, merged with those stored.

#include <gtest/gtest.h>

#include "catalogue.h"
#include "postings.h"
#include "query.h"

namespace {

using tav::db::QueryKind;

struct Taken {
    const char* text;
    QueryKind kind;
    std::vector<int> intervals;
    std::string contour;
};

TEST(Query, ReadsEachKind)
{
    const Taken cases[] = {
        {"+2 +2 +1", QueryKind::Intervals, {2, 2, 1}, ""},
        {" 2,-2, 0 ", QueryKind::Intervals, {2, -2, 0}, ""},
        {"UUDR", QueryKind::Contour, {}, "UUDR"},
        {"-3", QueryKind::Intervals, {-3}, ""},   // two notes
        {"U", QueryKind::Contour, {}, "U"},
        // Key signature and accidentals by the letter, ties joined, rests passed by.
        {"$bB '4B8CxC/-4B", QueryKind::Code, {-10, 1, 9}, ""},
        {"'4C+4C8D", QueryKind::Code, {2}, ""},
        {"'4C(4D)", QueryKind::Code, {2}, ""},
        // A comma is an octave mark in music, also at the start.
        {",8CEG'C", QueryKind::Code, {4, 3, 5}, ""},
    };
    for (const Taken& c : cases) {
        tav::db::Query q;
        std::string error;
        ASSERT_TRUE(tav::db::parse_query(c.text, q, error)) << c.text << ": " << error;
        EXPECT_EQ(q.kind, c.kind) << c.text;
        EXPECT_EQ(q.intervals, c.intervals) << c.text;
        EXPECT_EQ(q.contour, c.contour) << c.text;
        if (c.kind == QueryKind::Code) {
            EXPECT_EQ(q.midi.size(), q.intervals.size() + 1) << c.text;
        }
    }
}

TEST(Query, CodeGivesPitchesAndLengths)
{
    tav::db::Query q;
    std::string error;
    ASSERT_TRUE(tav::db::parse_query("'4C8DE/2F", q, error)) << error;
    EXPECT_EQ(q.midi, (std::vector<int>{60, 62, 64, 65}));
    EXPECT_EQ(q.durations, (std::vector<double>{1, 0.5, 0.5, 2}));
}

TEST(Query, RefusesWhatIsNoMelody)
{
    const std::pair<std::string, const char*> cases[] = {
        {"", "empty"},
        {" \t ", "empty"},
        {std::string(5000, '\''), "too long"},
        {"+2 +x", "at least two notes"},
        {"+2 2+", "whole numbers"},
        {"+200 +1", "larger than 127"},
        {"'4C", "at least two notes"},
        {"'4C\"D", "not a melody"},
        {std::string(300, 'U'), "too many notes"},
    };
    for (const auto& [text, why] : cases) {
        tav::db::Query q;
        std::string error;
        EXPECT_FALSE(tav::db::parse_query(text, q, error)) << text.substr(0, 20);
        EXPECT_NE(error.find(why), std::string::npos) << text.substr(0, 20) << ": " << error;
    }
}

TEST(Database, WithoutSqliteSaysSo)
{
    if (tav::db::available())
        GTEST_SKIP() << "built with SQLite";
    std::string error;
    tav::db::CatalogueWriter writer;
    EXPECT_FALSE(writer.open("catalogue.sqlite", error));
    EXPECT_NE(error.find("this build has no SQLite"), std::string::npos) << error;
    tav::db::Catalogue catalogue;
    EXPECT_FALSE(catalogue.open("catalogue.sqlite", error));
}

// Each case: the gram's stored postings, then what the run adds (incipit,
// note) and removes (incipit, as -incipit), and the blob merge() gives.
struct Merged {
    const char* what;
    std::vector<tav::db::Posting> stored;
    std::vector<tav::db::Posting> steps;
    std::vector<tav::db::Posting> merged;
};

TEST(Postings, RunMergedWithStored)
{
    const Merged cases[] = {
        {"added in order", {}, {{3, 0}, {3, 4}, {200, 1}}, {{3, 0}, {3, 4}, {200, 1}}},
        {"added out of order", {}, {{9, 2}, {4, 0}, {9, 1}}, {{4, 0}, {9, 1}, {9, 2}}},
        {"after the stored", {{1, 0}, {2, 5}}, {{7, 1}}, {{1, 0}, {2, 5}, {7, 1}}},
        {"a stored one replaced", {{1, 0}, {2, 5}, {3, 1}}, {{-2, 0}, {2, 3}},
         {{1, 0}, {2, 3}, {3, 1}}},
        {"an added one removed", {}, {{5, 0}, {6, 1}, {-5, 0}, {8, 2}}, {{6, 1}, {8, 2}}},
        {"all removed", {{4, 4}}, {{-4, 0}}, {}},
    };
    for (const Merged& c : cases) {
        tav::db::GramIndex index;
        for (const tav::db::Posting& p : c.steps)
            if (p.incipit < 0)
                index.remove({7}, -p.incipit);
            else
                index.add(7, p.incipit, p.note);
        ASSERT_EQ(index.grams(), std::vector<std::int64_t>{7}) << c.what;
        std::vector<tav::db::Posting> got;
        EXPECT_TRUE(tav::db::decode_postings(
            index.merge(7, tav::db::encode_postings(c.stored)), got)) << c.what;
        ASSERT_EQ(got.size(), c.merged.size()) << c.what;
        for (std::size_t k = 0; k < got.size(); ++k)
            EXPECT_TRUE(!(got[k] < c.merged[k]) && !(c.merged[k] < got[k])) << c.what << " " << k;
    }
}

}  // namespace
