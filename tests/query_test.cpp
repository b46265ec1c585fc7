// The search query reader: each kind of query and what it holds, and the
// queries it refuses.

#include <gtest/gtest.h>

#include "catalogue.h"
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

}  // namespace
