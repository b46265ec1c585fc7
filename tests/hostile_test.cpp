// Hostile input, in generated families: a record parses into a score that
// renders as a well-formed document, or is reported once and yields nothing;
// nothing is read outside the buffer (checked under the sanitizers), and the
// per-record limits hold.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../fuzz/xml_check.h"
#include "test_support.h"

namespace {

using namespace test_support;

struct Outcome {
    ParseStatus status;
    std::string err;
    char kind;  // 'P' parsed, 'F' failed, 'L' failed as too large, 'B' blank
};

// Parses `bytes` from a buffer of exactly their size plus `padding` zero
// bytes, and checks what must hold for any line.
Outcome convert(const std::string& bytes, ConvertOptions options = {}, size_t padding = 8)
{
    std::unique_ptr<char[]> buffer(new char[bytes.size() + padding]);
    std::memcpy(buffer.get(), bytes.data(), bytes.size());
    std::memset(buffer.get() + bytes.size(), 0, padding);
    Captured captured;
    Incipit incipit;
    tav::RecordReading reading;
    Outcome o{};
    o.status = read_and_parse(std::string_view(buffer.get(), bytes.size() + padding), options,
                              captured, reading, incipit);
    const tav::Record& record = reading.record;
    std::string log;
    captured.print(identifier_of(record), record.number.c_str(), o.err, log);
    const bool too_large = o.status == ParseStatus::TooLarge;
    if (too_large)
        o.status = ParseStatus::Failed;
    size_t errors = 0;
    for (size_t at = 0; (at = o.err.find("\nERROR,\n", at)) != std::string::npos; ++at)
        ++errors;
    EXPECT_EQ(errors, o.status == ParseStatus::Failed && !reading.blank ? 1u : 0u) << o.err;
    o.kind = reading.blank                     ? 'B'
             : o.status == ParseStatus::Parsed ? 'P'
             : too_large ? 'L'
                         : 'F';
    if (reading.blank) {
        EXPECT_TRUE(bytes[0] == '\n' || bytes[0] == '\r');
    }
    if (o.status != ParseStatus::Parsed)
        return o;
    std::string document = document_of(record, incipit);
    const char* number = record.number.c_str();
    if (is_safe_file_name(number) && xml_check::is_xml_text(number)) {
        EXPECT_EQ(xml_check::xml_problem(document), "") << "number: " << number;
    }
    return o;
}

std::string record(const std::string& music, const std::string& number = "1.1.1")
{
    return "123456789\t" + number + "\tG-2\t4/4\t\t" + music + "\n";
}

std::string times(const std::string& piece, size_t count)
{
    std::string s;
    s.reserve(piece.size() * count);
    while (count-- > 0)
        s += piece;
    return s;
}

const char* const kRecords[] = {
    "123456789\t1.1.1\tG-2\t3/4\t\t$bBE 8.6'ABCD/4-2G//\n",
    "000012345\t1.2.3\tC+3\tc3\t3/2\t''2.A4B{8CD}/=3/(6ABC;5)//:\n",
    "987654321\t2\tF-4\t\\-\t\\-\t[$bB]@c/,4C+8D'tE(4F)/%C-1qqABr4G:/ //\n",
    "111111111\t12345678\tg-2\tc\t\t$xFCG!8AB!f4gC$bB%F-4/i=12/4-//\n",
    "222222222\t3.1\tG-2\t12/8\t\t$bB[E] 3{xAnBbC}(ABC)(AB;12)@3/4 6..D7.E/=/4C\n",
};

TEST(Hostile, EveryPrefixOfARecordWithAndWithoutItsEnd)
{
    for (std::string line : kRecords)
        for (size_t n = 0; n <= line.size(); ++n)
            convert(line.substr(0, n), {}, 0), convert(line.substr(0, n) + "\n");
}

TEST(Hostile, EveryByteInEveryField)
{
    // Each byte value in front of each field, and in place of its first byte.
    const std::vector<std::string> fields = {"123456789", "1.1.1", "G-2", "3/4", "c3",
                                             "$bB8ABC/4-2G//"};
    for (size_t f = 0; f < fields.size(); ++f)
        for (int b = 0; b < 256; ++b)
            for (size_t replace = 0; replace < 2; ++replace) {
                std::vector<std::string> copy = fields;
                copy[f].insert(0, 1, static_cast<char>(b)).erase(1, replace);
                std::string line = copy[0];
                for (size_t k = 1; k < copy.size(); ++k)
                    line += '\t' + copy[k];
                SCOPED_TRACE(testing::Message() << "field " << f << " byte " << b);
                EXPECT_EQ(convert(line + "\n").kind == 'B', f == 0 && (b == '\n' || b == '\r'));
            }
}

// One sign repeated over a long line: a sign that makes a note or a measure
// each time passes a limit; any other makes a record of bounded size.
TEST(Hostile, LongRunsOfOneSign)
{
    for (const char* run : {"'", ",", ".", "4", "x", "b", "n", "{", "}", "(", ")", ";", "g", "q",
                            "r", "t", "+", "!", "f", "z", "%", "@", "$", ":", " ", "i", "4A",
                            "(A", "{A", "A+", "qA", "qqA", "$bB", "%G-2", "@3/4", "!A!f", "(4.C)",
                            "\xC3\xBC", "4((ABC", "4))ABC", "4;;ABC", "4(;)", "4()A", "4:A:B/",
                            "4://:", "4:/i", "4rrrA", "4$x[", "4({A)}", "4(A;9)(B;1)C", "="}) {
        SCOPED_TRACE(run);
        EXPECT_NE(convert(record(times(run, 300000 / std::strlen(run)))).kind, 'L');
    }
    // After a note: barlines before the first note open no measure.
    for (const char* run : {"A", "-", "/", "//", "/i", "=1/"}) {
        SCOPED_TRACE(run);
        EXPECT_EQ(convert(record("C" + times(run, 1200000 / std::strlen(run)))).kind, 'L');
    }
}

// Limits: 1,000,000 notes, 100,000 measures, 1,000,000 measure attributes,
// and the work budget; huge counts fail before anything is made.
TEST(Hostile, LimitsAndHugeCounts)
{
    const size_t kTen = 10u << 20;
    // Each clef changes the one before, so that every copy keeps them all.
    const std::string clefs = times("%F-4%G-2", 499) + "%F-4" + times("/i", 999);
    struct Row {
        std::string name, music;
        char kind;
        ConvertOptions options = {};
    } rows[] = {
        {"ten megabytes of notes", std::string(kTen, 'C'), 'L'},
        {"blanks", "4C" + std::string(kTen, ' '), 'P'},
        {"zeros of a count", "=" + std::string(kTen, '0') + "/4C", 'P'},
        {"open beams", "4C" + std::string(kTen, '{'), 'P'},
        {"high bytes", "4C" + std::string(kTen, '\xE9'), 'P'},
        {"unknown sign", "4C" + std::string(kTen, 'Y'), 'F'},
        {"a million notes", "4" + std::string(1000000, 'C'), 'P'},
        {"one note more", "4" + std::string(1000000, 'C') + "D", 'L'},
        {"one more by repetition", "!" + std::string(500000, 'C') + "!fC", 'L'},
        {"copies at the note limit", "4" + std::string(500000, 'C') + "/i", 'P'},
        {"one copy more", "4" + std::string(500000, 'C') + "/i/i", 'L'},
        {"rests kept with r", std::string(999999, 'C') + "=/", 'P', {0, 1, 0}},
        {"one rest more with r", std::string(999999, 'C') + "=/=/", 'L', {0, 1, 0}},
        {"measure rests at the limit", "=100000/", 'P'},
        {"measure rests after one", "4C/=99999/", 'P'},
        {"one measure rest more", "=100001/", 'L'},
        {"one measure more", "4C/=100000/", 'L'},
        {"a measure after the rests", "=100000/4C", 'L'},
        {"huge count", "=99999999999/", 'L'},
        {"count past 32 bits", "=4294967296/4C", 'L'},
        {"barlines at the limit", times("C/", 99999) + "C", 'P'},
        {"one barline more", times("C/", 99999) + "C/C", 'L'},
        {"measure attributes at the limit", clefs, 'P'},
        {"one copy of attributes more", clefs + "/i", 'L'},
        {"one repeat mark more", clefs + ":C//:D", 'L'},
        {"20 million attributes", "4C" + times("%F-4%G-2", 5000) + times("/i", 2000), 'L'},
        {"long octave marks", "4" + std::string(100000, '\'') + "C" + std::string(100000, ','), 'P'},
        {"long dots", "4" + std::string(100000, '.') + "C", 'P'},
        {"a thousand repetitions", "4!A!" + std::string(1000, 'f'), 'P'},
        {"repetitions rescanning z", "4!A!" + std::string(100000, 'f'), 'L'},
        {"repetitions of octave marks", "4!" + std::string(1000000, '\'') + "A!" + times("f", 5000), 'L'},
        {"repetitions of a count", "4!=" + std::string(1000000, '0') + "/A!" + times("f", 5000), 'L'},
    };
    each_row(rows, [](const Row& r) { EXPECT_EQ(convert(record(r.music), r.options).kind, r.kind); });
    EXPECT_EQ(convert(std::string(kTen, '\t') + "x\n").kind, 'F');  // no identifier
}

}  // namespace
