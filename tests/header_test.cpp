// The record header: time-signature texts, key signatures, and
// parse_incipit's reading of identifiers, numbers, clefs, time-signature
// fields and the key-signature preamble, with its console texts.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

#include "test_support.h"

using namespace test_support;
using namespace std::string_literals;

namespace {

using Time = std::tuple<int32_t, int32_t, int32_t, int32_t>;  // beats, type, symbol, mensural
const Time kNoTime{-1, -1, -1, -1};

Time time_of(const Measure* m)
{
    const Rhythm* r = m->rhythm;
    return r == nullptr ? kNoTime : Time(r->beats, r->beat_type, r->symbol, r->mensural);
}

TEST(RhythmConvert, EveryRow)
{
    const Time mensural{0, 0, 0, 1};
    const std::pair<const char*, Time> cases[] = {
        {"o", mensural},      {"o3/2", mensural},   {"c3", mensural},   {"c3/2", mensural},
        {"c/", {2, 2, 1, 0}}, {"c/2", {2, 2, 1, 0}}, {"c", {4, 4, 1, 0}}, {"c4", {4, 4, 1, 0}},
        // No numeric reading.
        {"3", mensural},      {"3 ", mensural},     {"3.", mensural},   {"3-4", mensural},
        {"3\xC3\xBC", mensural}, {"", mensural},
        // One-digit beats, one- or two-digit type.
        {"3/4", {3, 4, 0, 0}}, {"3/1a", {3, 1, 0, 0}}, {"3/", {3, 0, 0, 0}}, {"x/4", {0, 4, 0, 0}},
        {"3/16", {3, 16, 0, 0}}, {"9/12x", {9, 12, 0, 0}},
        // Two-digit beats: the third character is taken for the slash.
        {"12/8", {12, 8, 0, 0}}, {"12/8x", {12, 8, 0, 0}}, {"12x8", {12, 8, 0, 0}},
        {"12", {12, 0, 0, 0}}, {"12/16", {12, 16, 0, 0}}, {"12x16", {12, 16, 0, 0}},
        {"6a/4", {6 * 10 + ('a' - '0'), 4, 0, 0}},
    };
    for (const auto& [text, expected] : cases) {
        char buffer[5] = {};
        for (int i = 0; i < 5 && text[i] != '\0'; ++i)
            buffer[i] = text[i];
        Rhythm* r = rhythm_convert(test_pools(), buffer);
        EXPECT_EQ(Time(r->beats, r->beat_type, r->symbol, r->mensural), expected) << text;
        EXPECT_EQ(std::string(buffer, 5), std::string(5, '\0')) << text << " not cleared";
        destroy_rhythm(test_pools(), r);
    }
}

TEST(KeySignature, PlainAndBracketed)
{
    const std::tuple<std::string, int32_t, int32_t, int32_t> cases[] = {
        // text, position, get_keysig, get_alt_keysig
        {"xFCG", 0, 3, 3},   {"bBE", 0, -2, -2},  {"bBBB", 0, -3, -3},  {"bB[E]", 0, -1, -2},
        {"x[F]", 0, 0, 1},   {"b[B]E", 0, 0, -2}, {"xFzC", 0, 1, 1},    {"nBE", 0, 0, 0},
        {"b", 0, 0, 0},      {"$bBEA 4C", 1, -3, -3},
        {"bB]]E", 0, -1, -1},  // one bracket is passed over, not two
        {"bB\nE", 0, -1, -1},  // the line ends at its terminator
        {"xF\0C"s, 0, 1, 1},
    };
    for (auto [text, position, plain, bracketed] : cases) {
        Line line = make_line(text.data(), static_cast<int32_t>(text.size()));
        EXPECT_EQ(get_keysig(line, position), plain) << text;
        EXPECT_EQ(get_alt_keysig(line, position), bracketed) << text;
    }
}

TEST(ParseIncipit, BlankLinesEndTheRun)
{
    for (const char* line : {"", "\r\n", "\r", "\n000000123\t1\tG-2\t3/4\t\t4C"}) {
        Parsed p;
        parse_into(p, line);
        EXPECT_EQ(p.status, ParseStatus::Blank) << line;
        EXPECT_EQ(p.out + p.err + p.log, "");
        EXPECT_EQ(p.first(), nullptr);
    }
}

TEST(ParseIncipit, IdentifierAndNumber)
{
    const std::tuple<std::string, int32_t, std::string> cases[] = {
        {"000012345\t1\tG-2\t3/4\t\t4C", 12345, "1"},
        {"ab \t000012345\t1\tG-2\t3/4\t\t4C", 12345, "1"},
        {"123456789\t1.1.1\tG-2\t3/4\t\t4C", 123456789, "1.1.1"},
        {"123456789\tx 7a\tG-2\t3/4\t\t4C", 123456789, "7a"},
        {"123456789\t123456789A\tG-2\t\t\t", 123456789, "12345678"},
        {"999999999\t1\tG-2\t\t\t", 999999999, "1"},
        // Nine bytes weighed as digits, whatever they are, wrap to 32 bits.
        {"9\xff\xff\xff\xff\xff\xff\xff\xff\t1\tG-2\t\t\t", -1094967319, "1"},
        // The line feed after a short number is copied with it.
        {"000000123\t07", 123, "07\n"},
    };
    for (const auto& [line, id, nb] : cases) {
        Parsed p;
        parse_into(p, line);
        ASSERT_TRUE(p.ok()) << line;
        EXPECT_EQ(p.incipit.incipit_id, id) << line;
        EXPECT_EQ(std::string(p.incipit.incipit_nb), nb) << line;
    }
}

TEST(ParseIncipit, MissingIdentifierOrNumberFailsTheRecord)
{
    const std::tuple<std::string, std::string, const char*> cases[] = {
        {"abc", "0-", "no incipit identifier found"},
        {" \t", "0-", "no incipit identifier found"},
        {"\0"s, "0-", "no incipit identifier found"},
        {"abc\n123456789\t1\tG-2\t3/4\t\t4C", "0-", "no incipit identifier found"},
        {"000000123", "123-", "no incipit number found"},
        {"000000123\tabc", "123-", "no incipit number found"},
        {"000000123\tab\r1\tG-2", "123-", "no incipit number found"},
    };
    for (const auto& [line, incipit, reason] : cases) {
        Parsed p;
        parse_into(p, line);
        EXPECT_EQ(p.status, ParseStatus::Failed) << line;
        EXPECT_EQ(p.first(), nullptr);
        EXPECT_EQ(p.err, err_entry("ERROR", incipit, reason)) << line;
        EXPECT_EQ(p.log, log_entry("ERROR", incipit, reason)) << line;
        EXPECT_EQ(p.out, "");
    }
}

// The clef and the two time-signature fields, with the key "$bB 4C" after
// them: measure 1's marks, its time, and whether the incipit is mensural.
TEST(ParseIncipit, ClefAndTimeFields)
{
    struct Case {
        const char* fields;  // the clef field up to the music
        int remove_mensural;
        const char* marks;   // measure 1's attributes
        Time time;
        int mensural;
    };
    const Time mensural{0, 0, 0, 1};
    const Case cases[] = {
        // Clef codes; a null clef gives none.
        {"G-2\tc\t\t", 0, "10=2,1=-1", {4, 4, 1, 0}, 0},
        {"C+3\tc\t\t", 0, "12=3,1=-1", kNoTime, 1},
        {"g-2\tc\t\t", 0, "13=2,1=-1", {4, 4, 1, 0}, 0},
        {"F-4\tc\t\t", 0, "11=4,1=-1", {4, 4, 1, 0}, 0},
        {"G-x\tc\t\t", 0, "10,1=-1", {4, 4, 1, 0}, 0},
        {"X-1\tc\t\t", 0, "1=-1", {4, 4, 1, 0}, 0},
        {"X+1\tc\t\t", 0, "1=-1", kNoTime, 1},
        {"\\-\tc\t\t", 0, "1=-1", {4, 4, 1, 0}, 0},
        // No time fields: the music follows the clef.
        {"G-2\t", 0, "10=2,1=-1", kNoTime, 0},
        {"C+3\t", 0, "12=3,1=-1", kNoTime, 1},
        // A modern sign in field 4: field 5 is not read.
        {"G-2\t3/4\t\t", 0, "10=2,1=-1", {3, 4, 0, 0}, 0},
        {"G-2\t12/8\t3/2\t", 0, "10=2,1=-1", {12, 8, 0, 0}, 0},
        {"G-2\tc\to\t", 0, "10=2,1=-1", {4, 4, 1, 0}, 0},
        {"G-2\tc/\t\t", 0, "10=2,1=-1", {2, 2, 1, 0}, 0},
        {"G-2\t3/4\t\t", 1, "10=2,1=-1", {3, 4, 0, 0}, 0},
        // A mensural sign with a numeric field 5, which gives the time.
        {"G-2\tc3\t3/2\t", 0, "10=2,1=-1", {3, 2, 0, 1}, 1},
        {"G-2\to\tc\t", 0, "10=2,1=-1", {4, 4, 1, 1}, 1},
        {"G-2\tc3\t3/2\t", 1, "10=2,1=-1", kNoTime, 1},
        {"C+3\tc3\t3/2\t", 0, "12=3,1=-1", kNoTime, 1},
        // A mensural sign with a null field 5 or one starting with 0.
        {"G-2\tc3\t\\-\t", 0, "10=2,1=-1", kNoTime, 1},
        {"G-2\to\t0\t", 0, "10=2,1=-1", kNoTime, 1},
        // A mensural sign with anything else after it.
        {"G-2\tc3\t\t", 0, "10=2,1=-1", mensural, 1},
        {"G-2\tc3\t\t", 1, "10=2,1=-1", kNoTime, 1},
        // A null field 4: field 5 is passed over, whatever it holds.
        {"G-2\t\\-\t3/4\t", 0, "10=2,1=-1", kNoTime, 0},
        {"G-2\t\\-\t[$bB]\t", 0, "10=2,1=-1", kNoTime, 0},
        // Fields longer than five characters: their first five count.
        {"G-2\t12/16x\t\t", 0, "10=2,1=-1", {12, 16, 0, 0}, 0},
        {"G-2\tc3xxxxx\t3/2yyyy\t", 0, "10=2,1=-1", {3, 2, 0, 1}, 1},
    };
    for (const Case& c : cases) {
        std::string line = "000000123\t1\t"s + c.fields + "$bB 4C";
        Parsed p;
        parse_into(p, line, ConvertOptions{c.remove_mensural, 0, 0, 0});
        ASSERT_TRUE(p.ok()) << line;
        EXPECT_EQ(dump_attributes(p.first()->first_attribute), c.marks) << line;
        EXPECT_EQ(time_of(p.first()), c.time) << line;
        EXPECT_EQ(p.incipit.mensural, c.mensural) << line;
        EXPECT_EQ(dump_notes(p.first()), "C1:1") << line;
        EXPECT_EQ(p.out + p.err, "") << line;
    }
}

TEST(ParseIncipit, KeyPreamble)
{
    struct Case {
        const char* music;
        const char* marks;  // measure 1's attributes
        int corrected;
        const char* out;
        const char* notes;  // after the preamble
    };
    const Case cases[] = {
        {"$bBE 4C", "10=2,1=-2", 0, "", "C1:1"},
        {"$xFCG 4C", "10=2,1=3", 0, "", "C1:1"},
        {"$bB[E] 4C", "10=2,1=-1", -2, "", "C1:1"},
        {"$x[F] 4C", "10=2", 1, "", "C1:1"},
        {"[$bB] 4C", "10=2", -1, "poop\n", "C1:1"},
        {"[bBE]4C", "10=2", -2, "poop\n", "C1:1"},
        {"$[bB] 4C", "10=2", -1, "", "C1:1"},
        {"$?4C", "10=2", 0, "", "C1:1"},  // the sign position is passed over
        {"$b 4C", "10=2", 0, "", "C1:1"},
        {"$bB &\xFC\xC3\xBC 4C", "10=2,1=-1", 0, "", "C1:1"},
        {"4C", "10=2", 0, "", "C1:1"},
        // No "]" before the end of the line: the music is empty.
        {"[$bB 4C", "10=2", -1, "poop\n", ""},
        {"$bB[E 4C", "10=2,1=-1", -2, "", ""},
    };
    const char* text = "removing time signature within []";
    for (const Case& c : cases) {
        Parsed p;
        parse_into(p, "000000123\t1\tG-2\t3/4\t\t"s + c.music);
        ASSERT_TRUE(p.ok()) << c.music;
        EXPECT_EQ(dump_attributes(p.first()->first_attribute), c.marks) << c.music;
        EXPECT_EQ(p.incipit.corrected_key, c.corrected) << c.music;
        bool warned = c.corrected != 0;
        EXPECT_EQ(p.err, warned ? err_entry("WARNING", "123-1", text) : "") << c.music;
        EXPECT_EQ(p.log, warned ? log_entry("WARNING", "123-1", text) : "") << c.music;
        EXPECT_EQ(p.out, c.out) << c.music;
        EXPECT_EQ(dump_notes(p.first()), c.notes) << c.music;
    }
}

// Whatever follows the line's terminator (LF, CR or a zero byte) in the
// buffer is never read.
TEST(ParseIncipit, HeaderStopsAtTheEndOfTheLine)
{
    const std::tuple<std::string, Time, int> cases[] = {
        {"G-2\t3/4\n", {3, 4, 0, 0}, 0},
        {"G-2\t3/4\r", {3, 4, 0, 0}, 0},
        {"G-2\t3/4\t3/2\n", {3, 4, 0, 0}, 0},
        {"G-2\tc3\n", {0, 0, 0, 1}, 0},
        {"G-2\tc3\t\\-\n", kNoTime, 0},
        {"G-2\t\\-\t3/4\n", kNoTime, 0},
        {"G-2\t3/4\t\t[$bB\n", {3, 4, 0, 0}, -1},
        {"G-2\t3/4\t\t$bB[E\r", {3, 4, 0, 0}, -2},
        {"G-2\t3/4\t\t$[bB\0"s, {3, 4, 0, 0}, -1},
        {"G-2\n", kNoTime, 0},
    };
    for (const auto& [fields, time, corrected] : cases) {
        Parsed p;
        parse_into(p, "000000123\t1\t" + fields + "]\t4D\t]4E]\n", {}, false);
        ASSERT_TRUE(p.ok()) << fields;
        EXPECT_EQ(time_of(p.first()), time) << fields;
        EXPECT_EQ(p.incipit.corrected_key, corrected) << fields;
        EXPECT_EQ(dump_score(p.first(), true), "") << fields;
    }
}

}  // namespace
