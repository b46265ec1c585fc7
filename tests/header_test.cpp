// The record header: time-signature texts, key signatures, and
// parse_incipit's reading of identifiers, numbers, clefs, time-signature
// fields and the key-signature preamble, with its console texts.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "parser/convert.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;
using Attrs = std::vector<std::pair<int32_t, int32_t>>;
using Time = std::tuple<int32_t, int32_t, int32_t, int32_t>;  // beats, type, symbol, mensural

// ---------------------------------------------------------------- rhythm_convert

struct RhythmCase {
    const char* text;  // up to five characters
    Time expected;
};

TEST(RhythmConvert, EveryRow)
{
    const RhythmCase cases[] = {
        {"o", {0, 0, 0, 1}},        {"o3/2", {0, 0, 0, 1}},     // o
        {"c3", {0, 0, 0, 1}},       {"c3/2", {0, 0, 0, 1}},     // c3
        {"c/", {2, 2, 1, 0}},       {"c/2", {2, 2, 1, 0}},      // cut time
        {"c", {4, 4, 1, 0}},        {"c4", {4, 4, 1, 0}},       // common time
        {"3", {0, 0, 0, 1}},        {"3 ", {0, 0, 0, 1}},       // no numeric reading
        {"3.", {0, 0, 0, 1}},       {"3-4", {0, 0, 0, 1}},
        {"3\xC3\xBC", {0, 0, 0, 1}}, {"", {0, 0, 0, 1}},
        {"3/4", {3, 4, 0, 0}},      {"3/1a", {3, 1, 0, 0}},     // one-digit type
        {"3/", {3, 0, 0, 0}},       {"x/4", {0, 4, 0, 0}},
        {"3/16", {3, 16, 0, 0}},    {"9/12x", {9, 12, 0, 0}},   // two-digit type
        {"12/8", {12, 8, 0, 0}},    {"12/8x", {12, 8, 0, 0}},   // two-digit beats
        {"12x8", {12, 8, 0, 0}},    {"12", {12, 0, 0, 0}},
        {"12/16", {12, 16, 0, 0}},  {"12x16", {12, 16, 0, 0}},
        {"6a/4", {6 * 10 + ('a' - '0'), 4, 0, 0}},              // characters not tested
    };
    for (const RhythmCase& c : cases) {
        char text[5] = {};
        for (int i = 0; i < 5 && c.text[i] != '\0'; ++i)
            text[i] = c.text[i];
        Rhythm* r = rhythm_convert(text);
        EXPECT_EQ(Time(r->beats, r->beat_type, r->symbol, r->mensural), c.expected)
            << "text \"" << c.text << "\"";
        for (char ch : text)
            EXPECT_EQ(ch, '\0') << "text \"" << c.text << "\" not cleared";
        destroy_rhythm(r);
    }
}

// ---------------------------------------------------------- key signatures

TEST(KeySignature, PlainAndBracketed)
{
    struct Case {
        std::string text;
        int32_t position;
        int32_t plain;
        int32_t bracketed;
    };
    const Case cases[] = {
        {"xFCG", 0, 3, 3},
        {"bBE", 0, -2, -2},
        {"bBBB", 0, -3, -3},      // repeats count
        {"bB[E]", 0, -1, -2},
        {"x[F]", 0, 0, 1},
        {"b[B]E", 0, 0, -2},
        {"bB]]E", 0, -1, -1},     // one bracket is passed over, not two
        {"xFzC", 0, 1, 1},
        {"$bBEA 4C", 1, -3, -3},
        {"nBE", 0, 0, 0},
        {"b", 0, 0, 0},
        {"bB\nE", 0, -1, -1},     // the line ends at its terminator
        {"xF\0C"s, 0, 1, 1},
    };
    for (const Case& c : cases) {
        std::string bytes = c.text;
        Line line = make_line(bytes.data(), static_cast<int32_t>(bytes.size()));
        EXPECT_EQ(get_keysig(line, c.position), c.plain) << c.text;
        EXPECT_EQ(get_alt_keysig(line, c.position), c.bracketed) << c.text;
    }
}

// ------------------------------------------------------------ parse_incipit

struct Parsed {
    ParseStatus status = ParseStatus::Failed;
    Incipit incipit;
    std::string out, err, log;

    Parsed() = default;
    Parsed(const Parsed&) = delete;
    ~Parsed() { destroy_measure(incipit.first_measure); }

    const Measure& m1() const { return *incipit.first_measure; }
    Attrs attributes() const
    {
        Attrs list;
        for (const Attribute* a = m1().first_attribute; a != nullptr; a = a->next)
            list.emplace_back(a->kind, a->value);
        return list;
    }
    std::optional<Time> time() const
    {
        const Rhythm* r = m1().rhythm;
        if (r == nullptr)
            return std::nullopt;
        return Time(r->beats, r->beat_type, r->symbol, r->mensural);
    }
    std::string steps() const
    {
        std::string s;
        for (const Note* n = m1().first_note; n != nullptr; n = n->next)
            s += n->step;
        return s;
    }
};

// Parses `line` in a buffer padded with `tail` (what a longer earlier line
// may have left there is not visible to the parser: the driver zeroes it,
// but the parser must not look past the line's end either).
void parse(Parsed& p, const std::string& line, ConvertOptions options = {},
           const std::string& tail = std::string(8, '\0'))
{
    std::string buffer = line + tail;
    test_support::CapturedStream out, err, log;
    Console console{out.file(), err.file(), log.file()};
    p.status = parse_incipit(buffer.data(), static_cast<int32_t>(buffer.size()), options, console,
                             p.incipit);
    p.out = out.text();
    p.err = err.text();
    p.log = log.text();
}

std::string record(const std::string& number, const std::string& clef, const std::string& time1,
                   const std::string& time2, const std::string& music)
{
    return "000000123\t" + number + "\t" + clef + "\t" + time1 + "\t" + time2 + "\t" + music +
           "\n";
}

std::string warning_err(int32_t id, const std::string& nb, const std::string& text)
{
    return "\nWARNING,\n incipit: " + std::to_string(id) + "-" + nb + ", " + text +
           "\n...outputting to log file\n\n";
}

std::string warning_log(int32_t id, const std::string& nb, const std::string& text)
{
    return "\nWARNING,\n incipit: " + std::to_string(id) + "-" + nb + ", " + text + "\n";
}

TEST(ParseIncipit, BlankLinesEndTheRun)
{
    for (const char* line : {"\n", "\r\n", "\r", "\n000000123\t1\tG-2\t3/4\t\t4C\n"}) {
        Parsed p;
        parse(p, line);
        EXPECT_EQ(p.status, ParseStatus::Blank);
        EXPECT_EQ(p.out, "\nEOF, quitting\n");
        EXPECT_EQ(p.err, "");
        EXPECT_EQ(p.incipit.first_measure, nullptr);
    }
}

TEST(ParseIncipit, IdentifierAndNumber)
{
    struct Case {
        std::string line;
        int32_t id;
        std::string nb;
    };
    const Case cases[] = {
        {"000012345\t1\tG-2\t3/4\t\t4C\n", 12345, "1"},
        {"ab \t000012345\t1\tG-2\t3/4\t\t4C\n", 12345, "1"},
        {"123456789\t1.1.1\tG-2\t3/4\t\t4C\n", 123456789, "1.1.1"},
        {"123456789\t12345678\tG-2\t3/4\t\t4C\n", 123456789, "12345678"},
        {"123456789\tx 7a\tG-2\t3/4\t\t4C\n", 123456789, "7a"},
        {"123456789\t123456789A\tG-2\t\t\t\n", 123456789, "12345678"},
        // Nine bytes weighed as digits, whatever they are, wrap to 32 bits.
        {"9\xff\xff\xff\xff\xff\xff\xff\xff\t1\tG-2\t\t\t\n", -1094967319, "1"},
        {"999999999\t1\tG-2\t\t\t\n", 999999999, "1"},
    };
    for (const Case& c : cases) {
        Parsed p;
        parse(p, c.line);
        ASSERT_EQ(p.status, ParseStatus::Parsed) << c.line;
        EXPECT_EQ(p.incipit.incipit_id, c.id) << c.line;
        EXPECT_EQ(std::string(p.incipit.incipit_nb), c.nb) << c.line;
    }
}

TEST(ParseIncipit, MissingIdentifierOrNumberFailsTheRecord)
{
    struct Case {
        std::string line;
        int32_t id;
        std::string reason;
    };
    const Case cases[] = {
        {"abc\n", 0, "no incipit identifier found"},
        {" \t\n", 0, "no incipit identifier found"},
        {std::string(1, '\0'), 0, "no incipit identifier found"},
        {"abc\n123456789\t1\tG-2\t3/4\t\t4C\n", 0, "no incipit identifier found"},
        {"000000123\n", 123, "no incipit number found"},
        {"000000123\tabc\n", 123, "no incipit number found"},
        {"000000123\tab\r1\tG-2\n", 123, "no incipit number found"},
    };
    for (const Case& c : cases) {
        Parsed p;
        parse(p, c.line);
        EXPECT_EQ(p.status, ParseStatus::Failed) << c.line;
        EXPECT_EQ(p.incipit.first_measure, nullptr);
        std::string entry = "\nERROR,\n incipit: " + std::to_string(c.id) + "-, " + c.reason + "\n";
        EXPECT_EQ(p.err, entry + "...outputting to log file\n\n") << c.line;
        EXPECT_EQ(p.log, entry) << c.line;
        EXPECT_EQ(p.out, "");
    }
}

TEST(ParseIncipit, ClefCodes)
{
    struct Case {
        std::string clef;
        Attrs attributes;
        int mensural;
    };
    const Case cases[] = {
        {"G-2", {{ATTR_CLEF_G, 2}}, 0},
        {"C+3", {{ATTR_CLEF_C, 3}}, 1},
        {"g-2", {{ATTR_CLEF_G8, 2}}, 0},
        {"F-4", {{ATTR_CLEF_F, 4}}, 0},
        {"G-x", {{ATTR_CLEF_G, 0}}, 0},
        {"X-1", {}, 0},
        {"X+1", {}, 1},
        {"\\-", {}, 0},   // a null field: two characters and the TAB
    };
    for (const Case& c : cases) {
        Parsed p;
        parse(p, record("1", c.clef, "c", "", "4C"));
        ASSERT_EQ(p.status, ParseStatus::Parsed) << c.clef;
        EXPECT_EQ(p.attributes(), c.attributes) << c.clef;
        EXPECT_EQ(p.incipit.mensural, c.mensural) << c.clef;
        if (c.mensural == 0) {  // the time-signature fields are read next
            EXPECT_EQ(p.time(), Time(4, 4, 1, 0)) << c.clef;
        }
        EXPECT_EQ(p.steps(), "C") << c.clef;
    }
}

TEST(ParseIncipit, TimeSignatureFields)
{
    struct Case {
        std::string clef, field4, field5;
        int remove_mensural;
        std::optional<Time> time;
        int mensural;
    };
    const std::optional<Time> none;
    const Case cases[] = {
        // Modern sign in field 4: field 5 is not read.
        {"G-2", "3/4", "", 0, Time(3, 4, 0, 0), 0},
        {"G-2", "12/8", "3/2", 0, Time(12, 8, 0, 0), 0},
        {"G-2", "c", "o", 0, Time(4, 4, 1, 0), 0},
        {"G-2", "c/", "", 0, Time(2, 2, 1, 0), 0},
        {"G-2", "3/4", "", 1, Time(3, 4, 0, 0), 0},
        {"C+3", "3/4", "", 0, none, 1},
        // Mensural sign with a numeric field 5.
        {"G-2", "c3", "3/2", 0, Time(3, 2, 0, 1), 1},
        {"G-2", "o", "c", 0, Time(4, 4, 1, 1), 1},
        {"G-2", "c3", "3/2", 1, none, 1},
        {"C+3", "c3", "3/2", 0, none, 1},
        // Mensural sign with a null field 5 or one starting with 0.
        {"G-2", "c3", "\\-", 0, none, 1},
        {"G-2", "o", "0", 0, none, 1},
        {"C+3", "o", "\\-", 0, none, 1},
        // Mensural sign with anything else after it.
        {"G-2", "c3", "", 0, Time(0, 0, 0, 1), 1},
        {"G-2", "c3", "", 1, none, 1},
        {"C+3", "c3", "", 0, none, 1},
        // A null field 4: field 5 is passed over, whatever it holds.
        {"G-2", "\\-", "3/4", 0, none, 0},
        {"G-2", "\\-", "[$bB]", 0, none, 0},
        {"C+3", "\\-", "3/4", 0, none, 1},
        // Longer fields: their first five characters count.
        {"G-2", "12/16x", "", 0, Time(12, 16, 0, 0), 0},
        {"G-2", "c3xxxxx", "3/2yyyy", 0, Time(3, 2, 0, 1), 1},
    };
    for (const Case& c : cases) {
        std::string line = record("1", c.clef, c.field4, c.field5, "$bB 4C");
        Parsed p;
        parse(p, line, ConvertOptions{c.remove_mensural, 0, 0, 0});
        ASSERT_EQ(p.status, ParseStatus::Parsed) << line;
        EXPECT_EQ(p.time(), c.time) << line;
        EXPECT_EQ(p.incipit.mensural, c.mensural) << line;
        // The music after the fields is found where it starts.
        EXPECT_EQ(p.attributes().back(), std::make_pair(int32_t{ATTR_KEY}, -1)) << line;
        EXPECT_EQ(p.steps(), "C") << line;
        EXPECT_EQ(p.out + p.err, "") << line;
    }
}

TEST(ParseIncipit, NoTimeFields)
{
    // The music follows the clef directly: no time signature.
    for (const char* clef : {"G-2", "C+3"}) {
        Parsed p;
        parse(p, std::string("000000123\t1\t") + clef + "\t$bB 4C\n");
        ASSERT_EQ(p.status, ParseStatus::Parsed);
        EXPECT_EQ(p.time(), std::nullopt);
        EXPECT_EQ(p.incipit.mensural, clef[1] == '+' ? 1 : 0);
        EXPECT_EQ(p.attributes().back(), std::make_pair(int32_t{ATTR_KEY}, -1));
        EXPECT_EQ(p.steps(), "C");
    }
}

TEST(ParseIncipit, KeyPreamble)
{
    struct Case {
        std::string music;
        std::optional<int32_t> key;  // ATTR_KEY of measure 1
        int corrected;
        bool warned;
        std::string out;
        std::string steps;           // notes after the preamble
    };
    const std::optional<int32_t> none;
    const Case cases[] = {
        {"$bBE 4C", -2, 0, false, "", "C"},
        {"$xFCG 4C", 3, 0, false, "", "C"},
        {"$bB[E] 4C", -1, -2, true, "", "C"},
        {"$x[F] 4C", none, 1, true, "", "C"},
        {"[$bB] 4C", none, -1, true, "poop\n", "C"},
        {"[bBE]4C", none, -2, true, "poop\n", "C"},
        {"$[bB] 4C", none, -1, true, "", "C"},
        {"$?4C", none, 0, false, "", "C"},          // the sign position is passed over
        {"$b 4C", none, 0, false, "", "C"},
        {"$bB &\xFC\xC3\xBC 4C", -1, 0, false, "", "C"},
        {"4C", none, 0, false, "", "C"},
        // No "]" before the end of the line: the music is empty.
        {"[$bB 4C", none, -1, true, "poop\n", ""},
        {"$bB[E 4C", -1, -2, true, "", ""},
    };
    for (const Case& c : cases) {
        Parsed p;
        parse(p, record("1", "G-2", "3/4", "", c.music));
        ASSERT_EQ(p.status, ParseStatus::Parsed) << c.music;
        Attrs expected{{ATTR_CLEF_G, 2}};  // clef first, then key
        if (c.key)
            expected.emplace_back(ATTR_KEY, *c.key);
        EXPECT_EQ(p.attributes(), expected) << c.music;
        EXPECT_EQ(p.incipit.corrected_key, c.corrected) << c.music;
        const char* text = "removing time signature within []";
        EXPECT_EQ(p.err, c.warned ? warning_err(123, "1", text) : "") << c.music;
        EXPECT_EQ(p.log, c.warned ? warning_log(123, "1", text) : "") << c.music;
        EXPECT_EQ(p.out, c.out) << c.music;
        EXPECT_EQ(p.steps(), c.steps) << c.music;
    }
}

TEST(ParseIncipit, HeaderStopsAtTheEndOfTheLine)
{
    // Whatever follows the line's terminator in the buffer is never read.
    const std::string tail = "]\t4D\t]4E]\n";
    struct Case {
        std::string line;
        std::optional<Time> time;
        int corrected;
    };
    const Case cases[] = {
        {"000000123\t1\tG-2\t3/4\n", Time(3, 4, 0, 0), 0},
        {"000000123\t1\tG-2\t3/4\r", Time(3, 4, 0, 0), 0},
        {"000000123\t1\tG-2\t3/4\t3/2\n", Time(3, 4, 0, 0), 0},
        {"000000123\t1\tG-2\tc3\n", Time(0, 0, 0, 1), 0},
        {"000000123\t1\tG-2\tc3\t\\-\n", std::nullopt, 0},
        {"000000123\t1\tG-2\t\\-\t3/4\n", std::nullopt, 0},
        {"000000123\t1\tG-2\t3/4\t\t[$bB\n", Time(3, 4, 0, 0), -1},
        {"000000123\t1\tG-2\t3/4\t\t$bB[E\r", Time(3, 4, 0, 0), -2},
        {"000000123\t1\tG-2\t3/4\t\t$[bB\0"s, Time(3, 4, 0, 0), -1},
        {"000000123\t1\tG-2\n", std::nullopt, 0},
    };
    for (const Case& c : cases) {
        Parsed p;
        parse(p, c.line, {}, tail);
        ASSERT_EQ(p.status, ParseStatus::Parsed) << c.line;
        EXPECT_EQ(p.time(), c.time) << c.line;
        EXPECT_EQ(p.incipit.corrected_key, c.corrected) << c.line;
        EXPECT_EQ(p.steps(), "") << c.line;
        EXPECT_EQ(p.m1().next, nullptr) << c.line;
    }
}

}  // namespace
