// The per-record limit on measure attributes, and incipit numbers that no
// XML document can carry.

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

using test_support::Parsed;
using test_support::parse_music;

namespace {

// Measure 1 holds the header's clef and `changes` clef changes; then the
// measure is repeated `copies` times.
std::string clefs_then_copies(int changes, int copies)
{
    std::string music;
    for (int i = 0; i < changes; ++i)
        music += "%G-2";
    for (int i = 0; i < copies; ++i)
        music += "/i";
    return music;
}

TEST(Limits, MeasureAttributesUpToTheLimitAreKept)
{
    // 1000 clefs in measure 1 and 999 copies: exactly 1,000,000.
    Parsed p;
    parse_music(p, clefs_then_copies(999, 999));
    ASSERT_TRUE(p.ok()) << p.err;
    EXPECT_EQ(test_support::count_measures(p.first()), 1000);
}

TEST(Limits, MeasureAttributesPastTheLimitFailTheRecord)
{
    Parsed p;
    parse_music(p, clefs_then_copies(999, 1000));
    EXPECT_EQ(p.status, ParseStatus::Failed);
    EXPECT_EQ(p.err,
              "\nERROR,\n incipit: 123456789-1, incipit too large\n"
              "...outputting to log file\n\n");
    EXPECT_EQ(p.log, "\nERROR,\n incipit: 123456789-1, incipit too large\n");
}

TEST(Limits, OneErrorWhenSeveralLimitsAreReachedInOneStep)
{
    // The repeat barline adds a mark and opens a measure; past the limit
    // both fail, and the record is reported once.
    Parsed p;
    parse_music(p, clefs_then_copies(999, 999) + ":C//:D");
    EXPECT_EQ(p.status, ParseStatus::Failed);
    EXPECT_EQ(p.log, "\nERROR,\n incipit: 123456789-1, incipit too large\n");
}

TEST(Limits, IncipitNumbersThatXmlCannotCarry)
{
    struct Case {
        const char* number;
        bool xml_text;
    } cases[] = {
        {"1.1.1", true},
        {"1\xC3\xA9", true},           // é
        {"1\xEF\xBF\xBD", true},       // U+FFFD, the replacement character
        {"1\xEF\xBF\xBE", false},      // U+FFFE
        {"1\xEF\xBF\xBF", false},      // U+FFFF
        {"1\xEF\xBF", true},           // cut short: not the character
    };
    for (const Case& c : cases)
        EXPECT_EQ(is_xml_text(c.number), c.xml_text) << c.number;
}

}  // namespace
