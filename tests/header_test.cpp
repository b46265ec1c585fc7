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

// The first two fields: a parsed record names its file, a failed one is
// reported with the identifier and number read so far.
TEST(ParseIncipit, IdentifierAndNumber)
{
    const std::string music = "\tG-2\t3/4\t\t4ABC/";
    const std::tuple<std::string, std::string, const char*> cases[] = {
        // line, "ID-NUMBER", record error (none: the file's name)
        {"000012345\t1" + music, "12345-1", nullptr},
        {"ab 000012345\t1" + music, "12345-1", nullptr},
        {"123456789\t1.1.1" + music, "123456789-1.1.1", nullptr},
        {"1001145660\t1.1.1" + music, "1001145660-1.1.1", nullptr},
        {"12345678\t1" + music, "12345678-1", nullptr},
        {"0\t1" + music, "0-1", nullptr},
        {"2147483647\t1" + music, "2147483647-1", nullptr},
        {"123456789\t \t1 a" + music, "123456789-1 a", nullptr},
        {"123456789\t1.1.1.1.1" + music, "123456789-1.1.1.1.1", nullptr},
        {"123456789\t1234567\xc3\xa9" + music, "123456789-1234567\xc3\xa9", nullptr},
        {"123456789\t" + std::string(64, '7') + music, "123456789-" + std::string(64, '7'),
         nullptr},
        {"abc", "0-", "no incipit identifier found"},
        {" \t", "0-", "no incipit identifier found"},
        {"\0"s, "0-", "no incipit identifier found"},
        {"abc\n123456789\t1" + music, "0-", "no incipit identifier found"},
        {"abc\t1\tG-2\t2/4\t\t'4AB/", "0-", "no incipit identifier found"},
        {"ab \t000012345\t1" + music, "0-", "no incipit identifier found"},
        {"00000001:\t1" + music, "0-", "incipit identifier is not a number"},
        {"123456789 \t1" + music, "0-", "incipit identifier is not a number"},
        {"9\xff\xff\t1" + music, "0-", "incipit identifier is not a number"},
        {"00000000001\t1" + music, "0-", "incipit identifier has more than ten digits"},
        {"2147483648\t1" + music, "0-", "incipit identifier is larger than 2147483647"},
        {"000000123", "123-", "no incipit number found"},
        {"000000123\tabc", "123-", "no incipit number found"},
        {"000000123\tab\r1\tG-2", "123-", "no incipit number found"},
        {"123456789\tx 7a" + music, "123456789-", "no incipit number found"},
        {"000000123\t07", "123-07", "line ends after the incipit number"},
        {"123456789\t" + std::string(65, '7') + music, "123456789-", "incipit number too long"},
    };
    for (const auto& [line, incipit, reason] : cases) {
        Parsed p;
        parse_into(p, line);
        if (reason == nullptr) {
            ASSERT_TRUE(p.ok()) << line << p.err;
            EXPECT_EQ(output_file_name(p.incipit.incipit_id, p.incipit.incipit_nb),
                      incipit + ".xml");
            EXPECT_EQ(dump_notes(p.first()), "A1:1 B1:1 C1:1") << line;
            EXPECT_EQ(p.err, "") << line;
            continue;
        }
        EXPECT_EQ(p.status, ParseStatus::Failed) << line;
        EXPECT_EQ(p.err, err_entry("ERROR", incipit, reason)) << line;
        EXPECT_EQ(p.log, log_entry("ERROR", incipit, reason)) << line;
        EXPECT_EQ(p.out, "");
    }
}

// A catalogue export mixing nine- and ten-digit identifiers: every record
// names the file of its own identifier and number.
TEST(ParseIncipit, MixedIdentifierLengths)
{
    auto lines = split_lines(read_data_file("mixed_identifiers.txt"));
    ASSERT_EQ(lines.size(), 240u);
    for (const std::string& line : lines) {
        std::string id = line.substr(0, line.find('\t'));
        std::string nb = line.substr(id.size() + 1, line.find('\t', id.size() + 1) - id.size() - 1);
        Parsed p;
        parse_into(p, line);
        ASSERT_TRUE(p.ok()) << line << p.err;
        EXPECT_EQ(output_file_name(p.incipit.incipit_id, p.incipit.incipit_nb),
                  id.substr(id.find_first_not_of('0')) + "-" + nb + ".xml");
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
        const char* warning = nullptr;
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
        // Each field is read up to its own TAB, never into the next one.
        {"G-2\t\\\t3/4\t", 0, "10=2,1=-1", kNoTime, 0},
        {"G-2\t\\-x\t3/2\t", 0, "10=2,1=-1", kNoTime, 0},
        {"G-2\t3/4\t\t\t", 0, "10=2,1=-1", {3, 4, 0, 0}, 0},
        {"G-2\tc3\t", 0, "10=2,1=-1", mensural, 1},  // no second time field
        {"G-2x\t3/4\t\t", 0, "10=2,1=-1", {3, 4, 0, 0}, 0,
         "found a clef field longer than three characters, using its first three"},
        {"\t3/4\t\t", 0, "1=-1", {3, 4, 0, 0}, 0, "found an empty clef field, using no clef"},
        {"G\t3/4\t\t", 0, "1=-1", {3, 4, 0, 0}, 0,
         "found a clef field of one character, using no clef"},
        {"C+3\t\t\t", 0, "12=3,1=-1", kNoTime, 1,
         "found an empty time signature field, using no time signature"},
        {"G-2\tx/4\t\t", 0, "10=2,1=-1", kNoTime, 0,
         "found an unreadable time signature field, using no time signature"},
        {"G-2\tc3\tx\t", 0, "10=2,1=-1", mensural, 1,
         "found an unreadable second time signature field, passing over it"},
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
        EXPECT_EQ(p.out, "") << line;
        EXPECT_EQ(p.log, c.warning ? log_entry("WARNING", "123-1", c.warning) : "") << line;
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
