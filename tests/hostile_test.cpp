// Hostile input: whatever the bytes of a line, a record either parses into a
// score that renders as a well-formed document, or is reported on both
// streams and yields nothing; the run goes on, and nothing is read outside
// the buffer (the sanitizer build checks that part).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "batch.h"
#include "record/line_reader.h"
#include "test_support.h"
#include "../fuzz/xml_check.h"

namespace {

using test_support::CapturedStream;
using xml_check::xml_problem;

// The three streams of every conversion here; text() gives what is new.
struct Streams {
    CapturedStream out, err, log;
    ConsoleStreams console() const { return ConsoleStreams{out.file(), err.file(), log.file()}; }
    bool ok() const { return out.file() && err.file() && log.file(); }
};

Streams& streams()
{
    static Streams s;
    return s;
}

std::string remove_all(std::string text, const std::string& piece)
{
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at))
        text.erase(at, piece.size());
    return text;
}

size_t count_of(const std::string& text, const std::string& piece)
{
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
    return n;
}

struct Outcome {
    ParseStatus status;
    std::string err;       // standard error texts
    std::string document;  // the rendered document of a parsed record
};

// Parses `bytes` from a buffer of exactly their size (plus `padding` zero
// bytes) and checks what must hold for any line:
// - a failed record is reported exactly once as an error, on both streams
//   with the same text (standard error adding its log-file note);
// - a parsed record renders a well-formed document when its number is valid
//   UTF-8 and can name a file.
Outcome convert(const std::string& bytes, ConvertOptions options = {}, size_t padding = 8)
{
    size_t size = bytes.size() + padding;
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memcpy(buffer.get(), bytes.data(), bytes.size());
    std::memset(buffer.get() + bytes.size(), 0, padding);

    Incipit incipit;
    Outcome o{};
    test_support::Captured captured;
    o.status = parse_incipit(buffer.get(), static_cast<int32_t>(size), options,
                             captured.console(), test_support::test_pools(), incipit);
    if (o.status == ParseStatus::TooLarge)
        o.status = ParseStatus::Failed;
    std::string log;
    captured.print(incipit.incipit_id, incipit.incipit_nb, o.err, log);
    EXPECT_EQ(remove_all(o.err, "...outputting to log file\n\n"), log)
        << "the two streams differ";
    EXPECT_EQ(count_of(o.err, "\nERROR,\n incipit: "), o.status == ParseStatus::Failed ? 1u : 0u)
        << o.err;
    if (o.status == ParseStatus::Blank) {
        EXPECT_TRUE(!bytes.empty() && (bytes[0] == '\n' || bytes[0] == '\r'));
    }
    if (o.status != ParseStatus::Parsed)
        return o;

    render_score(incipit.first_measure, incipit.divisions, incipit.incipit_id,
                 incipit.incipit_nb, incipit.mensural, incipit.corrected_key, o.document);
    if (is_safe_file_name(incipit.incipit_nb) && xml_check::is_xml_text(incipit.incipit_nb)) {
        EXPECT_EQ(xml_problem(o.document), "") << "number: " << incipit.incipit_nb;
    }
    return o;
}

bool failed_too_large(const Outcome& o)
{
    return o.status == ParseStatus::Failed && o.err.find("incipit too large") != std::string::npos;
}

std::string record(const std::string& music, const std::string& time = "4/4")
{
    return "123456789\t1.1.1\tG-2\t" + time + "\t\t" + music + "\n";
}

class Hostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!streams().ok())
            GTEST_SKIP() << "no temporary files";
    }
};

// Realistic records with a bit of every sign family.
const char* const kRecords[] = {
    "123456789\t1.1.1\tG-2\t3/4\t\t$bBE 8.6'ABCD/4-2G//\n",
    "000012345\t1.2.3\tC+3\tc3\t3/2\t''2.A4B{8CD}/=3/(6ABC;5)//:\n",
    "987654321\t2\tF-4\t\\-\t\\-\t[$bB]@c/,4C+8D'tE(4F)/%C-1qqABr4G:/ //\n",
    "111111111\t12345678\tg-2\tc\t\t$xFCG!8AB!f4gC$bB%F-4/i=12/4-//\n",
    "222222222\t3.1\tG-2\t12/8\t\t$bB[E] 3{xAnBbC}(ABC)(AB;12)@3/4 6..D7.E/=/4C\n",
};

TEST_F(Hostile, EveryPrefixOfARecord)
{
    for (const char* full : kRecords) {
        std::string line(full);
        for (size_t n = 0; n <= line.size(); ++n) {
            std::string prefix = line.substr(0, n);
            SCOPED_TRACE(prefix);
            convert(prefix, {}, 0);  // nothing after the bytes: no terminator
            convert(prefix);
            convert(prefix + "\n");
        }
    }
}

TEST_F(Hostile, EveryByteInEveryField)
{
    // Each field of a good record gets each byte value, in front of the
    // field and in place of its first character.
    const std::vector<std::string> fields = {"123456789", "1.1.1", "G-2", "3/4", "c3",
                                             "$bB8ABC/4-2G//"};
    for (size_t f = 0; f < fields.size(); ++f) {
        for (int b = 0; b < 256; ++b) {
            for (size_t replace = 0; replace < 2; ++replace) {
                std::vector<std::string> copy = fields;
                copy[f].insert(0, 1, static_cast<char>(b)).erase(1, replace);
                std::string line = copy[0];
                for (size_t k = 1; k < copy.size(); ++k)
                    line += '\t' + copy[k];
                SCOPED_TRACE(testing::Message() << "field " << f << " byte " << b);
                Outcome o = convert(line + "\n");
                if (f > 0 || (b != '\n' && b != '\r')) {
                    EXPECT_NE(o.status, ParseStatus::Blank);
                }
            }
        }
    }
}

// One sign repeated hundreds of thousands of times after a good header: nothing
// may take time or memory beyond the record's limits.
TEST_F(Hostile, LongRunsOfOneSign)
{
    const std::string runs[] = {"A", "-", "'", ",", ".", "4", "x", "b", "n", "{", "}", "(",
                                ")", ";", "g", "q", "r", "t", "+", "!", "f", "z", "%", "@",
                                "$", "=", ":", "/", " ", "i", "4A", "(A", "{A", "A+", "qA",
                                "qqA", "//", "/i", "=1/", "$bB", "%G-2", "@3/4", "!A!f",
                                "(4.C)", "\xC3\xBC"};
    for (const std::string& run : runs) {
        // Runs that make a note or a measure per sign pass the limits; the
        // others make a record of bounded size, whose rendering is checked.
        bool past_limits = run == "A" || run == "-" || run == "/" || run == "//" ||
                           run == "/i" || run == "=1/";
        size_t length = past_limits ? 1200000 : 300000;
        std::string music;
        music.reserve(length + run.size());
        while (music.size() < length)
            music += run;
        SCOPED_TRACE(run);
        Outcome o = convert(record(music));
        if (past_limits)
            EXPECT_TRUE(failed_too_large(o)) << o.err.substr(0, 200);
        else
            EXPECT_NE(o.status, ParseStatus::Blank);
    }
}

// Ten-megabyte lines and huge counts, each ending as 'P' parsed, 'F' failed
// on a sign or 'L' failed as too large.
TEST_F(Hostile, LongLinesAndHugeCounts)
{
    const size_t kTen = 10u << 20;
    const std::string million(1000000, 'C'), half(500000, 'C');
    std::string copies = "4C";  // a measure of clef changes, copied over and over
    for (int k = 0; k < 10000; ++k)
        copies += "%G-2";
    for (int k = 0; k < 2000; ++k)
        copies += "/i";
    const std::pair<std::string, char> cases[] = {
        {record(std::string(kTen, 'C')), 'L'},
        {record("4C" + std::string(kTen, ' ')), 'P'},
        {record("=" + std::string(kTen, '0') + "/4C"), 'P'},
        {record("4C" + std::string(kTen, '{')), 'P'},
        {record("4C" + std::string(kTen, '\xE9')), 'P'},
        {record("4C" + std::string(kTen, 'Y')), 'F'},
        {std::string(kTen, '\t') + "x\n", 'F'},  // no identifier
        {record("=99999/4C"), 'P'},
        {record("=4294967296/4C"), 'L'},
        {record("=99999999/4C"), 'L'},
        {record("4" + million), 'P'},
        {record("4" + million + "D"), 'L'},
        {record("4" + half + "/i"), 'P'},
        {record("4" + half + "/i/i"), 'L'},
        {record(copies), 'L'},  // 20 million attributes from a short line
        {record("4" + std::string(100000, '\'') + "C" + std::string(100000, ',') + "D"), 'P'},
        {record("4" + std::string(100000, '.') + "C"), 'P'},
    };
    for (const auto& [line, result] : cases) {
        SCOPED_TRACE(line.substr(0, 40));
        Outcome o = convert(line);
        EXPECT_EQ(o.status, result == 'P' ? ParseStatus::Parsed : ParseStatus::Failed) << o.err;
        EXPECT_EQ(result == 'L', failed_too_large(o)) << o.err;
    }
}

TEST_F(Hostile, UnbalancedGroupingsStillRender)
{
    const char* const music[] = {
        "4((((((ABC", "4))))))ABC", "4{{{{ABC", "4}}}}ABC", "4ABC;5)", "4;;;;ABC", "4(ABC;",
        "4(;)", "4()A", "4(A", "4A)", "4qqqqqqA", "4rrrA", "4qq", "4q", "4g", "4A+++", "4+A",
        "4{A}}+B", "4(({A}))", "4({A)}", "4(A;9)(B;1)C", "4:A:B:C/", "4://:", "4:", "4//:",
        "4/i", "4:/i", "4%", "4@", "4$", "4=", "4%G", "4@1", "4$b", "4$x[", "4'", "4,", "4.",
    };
    for (const char* m : music)
        EXPECT_NE(convert(record(m)).status, ParseStatus::Blank) << m;
}

TEST_F(Hostile, RepetitionArrangements)
{
    const std::pair<std::string, int> cases[] = {
        // The note count; -1: the record fails on the 'f'; -2: too large.
        {"4f", -1},        {"4!f", -1},      {"4f!A!", -1},       {"4!A!f", 2},
        {"4!A!ff", 3},     {"4!A!fff", 4},   {"4!!f", 0},         {"4!AB!fC", 5},
        {"4!A!B!f", 3},    // the group is the one between the last two '!'
        {"4!A!fB!f", 4},   // A A B, then "!zB!" again
        {"4!A!f!B!f", 4},  {"4!A!f/!B!ff", 5},
        {"4!!A!f!f", 2},   // the second group holds only the z
        {"4!A/B!f", 4},    // a group across a barline repeats the barline
        {"4!A!" + std::string(1000, 'f'), 1001},
        {"4!A!" + std::string(100000, 'f'), -2},  // every pass goes over the 'z's before it
        {"4!" + std::string(1000000, '\'') + "A!" + std::string(5000, 'f'), -2},
        {"4!=" + std::string(1000000, '0') + "/A!" + std::string(5000, 'f'), -2},
    };
    for (const auto& [music, notes] : cases) {
        SCOPED_TRACE(music.substr(0, 40));
        Outcome o = convert(record(music));
        if (notes == -1) {
            EXPECT_EQ(o.status, ParseStatus::Failed);
            EXPECT_NE(o.err.find("char: f, ascii: 102"), std::string::npos) << o.err;
        } else if (notes == -2) {
            EXPECT_TRUE(failed_too_large(o)) << o.err;
        } else {
            ASSERT_EQ(o.status, ParseStatus::Parsed) << o.err;
            EXPECT_EQ(count_of(o.document, "<note>"), static_cast<size_t>(notes));
        }
    }
}

// Incipit numbers of every kind of byte render into well-formed documents
// when they can name a file and XML can carry them; the rest are refused.
TEST_F(Hostile, IncipitNumbers)
{
    struct Case {
        const char* number;
        bool safe, xml_text;
    } cases[] = {
        {"1.1.1", true, true},  {"1&2<3>4", true, true}, {"1\"'", true, true},
        {"1\xE9", true, true},  {"1/..", false, true},   {"1\\a", false, true},
        {"1\x01", false, true}, {"1\x7F", true, true},   {"1]]>", true, true},
        {"1&amp;", true, true}, {"12345678", true, true},
        {"1\xC3\xA9", true, true},      // é
        {"1\xEF\xBF\xBD", true, true},  // U+FFFD, the replacement character
        {"1\xEF\xBF\xBE", true, false}, // U+FFFE
        {"1\xEF\xBF\xBF", true, false}, // U+FFFF
        {"1\xEF\xBF", true, true},      // cut short: not the character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        Outcome o = convert("123456789\t" + std::string(c.number) + "\tG-2\t4/4\t\t4C\n");
        ASSERT_EQ(o.status, ParseStatus::Parsed);
        EXPECT_EQ(is_safe_file_name(c.number), c.safe);
        EXPECT_EQ(is_xml_text(c.number), c.xml_text);
    }
}

// ---------------------------------------------------------------------------
// Whole inputs through the line loop: every line is counted, failures are
// reported, and the loop only stops at the end of the input or a blank line.

std::FILE* input_of(const std::string& bytes)
{
    std::FILE* file = std::tmpfile();
    if (file == nullptr)
        return nullptr;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    return file;
}

TEST_F(Hostile, LineLoopGoesOnAfterEveryKindOfBadLine)
{
    const std::string good = record("4C");
    const std::string bad = record("4CY");  // one unrecognised sign
    struct Case {
        std::string input;
        float lines;      // lines handed on and counted
        size_t errors;    // record errors reported
        LoopEnd end;
    } cases[] = {
        {"", 0, 0, LoopEnd::EndOfInput},
        {good, 1, 0, LoopEnd::EndOfInput},
        {good + bad + good, 3, 1, LoopEnd::EndOfInput},
        {good + "no tabs at all\n" + good, 3, 1, LoopEnd::EndOfInput},
        {good + std::string("\0\0\0\n", 4) + good, 3, 1, LoopEnd::EndOfInput},
        {good + std::string(1000, '\x80') + "\n" + good, 3, 1, LoopEnd::EndOfInput},
        {good + record("4!A!" + std::string(100000, 'f')) + good, 3, 1, LoopEnd::EndOfInput},
        {record(std::string(3u << 20, 'A')) + bad + good, 3, 2, LoopEnd::EndOfInput},
        {record("4!A!f") + record("4!B!f"), 2, 0, LoopEnd::EndOfInput},
        {good + good.substr(0, good.size() - 1), 2, 0, LoopEnd::EndOfInput},
        {good + "\n" + bad, 1, 0, LoopEnd::BlankLine},
        {good + "\r\n" + bad, 1, 0, LoopEnd::BlankLine},
        // Only a line feed ends a line; a carriage return ends the record in it.
        {"123456789\t1\tG-2\t4/4\t\t4C\r" + bad, 1, 0, LoopEnd::EndOfInput},
    };
    Streams& s = streams();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 60));
        std::FILE* input = input_of(c.input);
        ASSERT_NE(input, nullptr);
        Progress progress;
        EXPECT_EQ(convert_lines(input, {.parse_only = true, .trace = {}}, s.console(), progress, nullptr),
                  c.end);
        std::fclose(input);
        s.out.text();
        EXPECT_EQ(progress.counter, c.lines);
        EXPECT_EQ(count_of(s.err.text(), "\nERROR,\n"), c.errors);
        EXPECT_EQ(count_of(s.log.text(), "\nERROR,\n"), c.errors);
    }
}

// A line holding the repetition sign is rewritten while it is read; the
// buffer must come back clean for a shorter line after it.
TEST_F(Hostile, LineReaderClearsWhatALongLineLeft)
{
    std::FILE* input = input_of(record("4!A!f" + std::string(5000, 'B')) + "1\n");
    ASSERT_NE(input, nullptr);
    LineReader reader(input);
    ASSERT_EQ(reader.next(), LineReader::Status::Line);
    Incipit incipit;
    Streams& s = streams();
    ASSERT_EQ(parse_incipit(reader.data(), reader.size(), {}, {}, test_support::test_pools(),
                            incipit),
              ParseStatus::Parsed);
    ASSERT_EQ(reader.next(), LineReader::Status::Line);
    EXPECT_EQ(reader.length(), 2u);
    for (int32_t i = 2; i < reader.size(); ++i)
        ASSERT_EQ(reader.data()[i], '\0') << i;
    EXPECT_EQ(reader.next(), LineReader::Status::End);
    std::fclose(input);
    s.out.text();
    s.err.text();
    s.log.text();
}

}  // namespace
