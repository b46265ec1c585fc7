// The scanning loop: note values, dots, octaves, accidentals, rhythmic
// patterns, divisions, the end of the data, errors and the trace.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

using namespace test_support;

namespace {

struct NotesCase {
    const char* music;
    const char* notes;  // dump_all_notes
    float divisions;
};

// Checks one row, naming it in any failure.
void check(const NotesCase& c)
{
    SCOPED_TRACE(c.music);
    Parsed p;
    parse_music(p, c.music);
    ASSERT_TRUE(p.ok()) << p.err;
    EXPECT_EQ(dump_all_notes(p.first()), c.notes) << c.music;
    EXPECT_EQ(p.incipit.divisions, c.divisions) << c.music;
    EXPECT_EQ(p.err, "");
}

TEST(ScannerNotes, Values)
{
    for (const NotesCase& c : {
        // The value stays with its dots; every digit has its value, and two
        // digits are two values.
        NotesCase{"4.AB", "A1:1[20=1] B1:1[20=1]", 2}, NotesCase{"3...C", "C1:0.125[20=3]", 8},
        NotesCase{"7..C", "C1:0.03125[20=2]", 1152}, NotesCase{"4 C", "C1:1", 2},
        NotesCase{"0A9B1C2D", "A1:16 B1:8 C1:4 D1:2", 2}, NotesCase{"7C", "C1:0.03125", 32},
        NotesCase{"3.C", "C1:0.125[20=1]", 80}, NotesCase{"5.C", "C1:0.0625[20=1]", 160},
        NotesCase{"8.C3..D", "C1:0.5[20=1] D1:0.125[20=2]", 32},
        // Divisions grows by the least factor that makes every length whole.
        NotesCase{"8.A8B4C", "A1:0.5[20=1] B1:0.5 C1:1", 4},
        NotesCase{"8..A6B", "A1:0.5[20=2] B1:0.25", 8},
        NotesCase{"(4.ABC)", "A1:1[20=1,30=3] B1:1[20=1,31=3] C1:1[20=1,32=3]", 6},
        // A note before the first value is a quarter.
        NotesCase{"C8D", "C1:1 D1:0.5", 2},
        // Octaves: runs of marks; the octave stays until the next mark.
        NotesCase{"C''D,E,,,FG'A", "C1:1 D2:1 E-1:1 F-3:1 G-3:1 A1:1", 2},
        // Accidentals; the later sign wins; rests take them too.
        NotesCase{"xxC bbD nE xbF xG bA", "C1:1[21=3] D1:1[21=5] E1:1[21=1] F1:1[21=4] "
                                          "G1:1[21=2] A1:1[21=4]", 2},
        NotesCase{"x4.-B", "R1:1[20=1,21=2] B1:1[20=1]", 2},
        // Rhythmic patterns replay cyclically; the next value ends them and
        // may start a new pattern from its first entry.
        NotesCase{"8.6ABCD4E", "A1:0.5[20=1] B1:0.25 C1:0.5[20=1] D1:0.25 E1:1", 4},
        NotesCase{"8.6AB3.5CD", "A1:0.5[20=1] B1:0.25 C1:0.125[20=1] D1:0.0625", 80},
        NotesCase{"8.6ABC3.5D", "A1:0.5[20=1] B1:0.25 C1:0.5[20=1] D1:0.125[20=1]", 80},
        NotesCase{"46 8ABCD", "A1:1 B1:0.25 C1:0.5 D1:1", 4},
        NotesCase{"46-C-", "R1:1 C1:0.25 R1:1", 4},
        // A grace sign ends a replayed pattern; the grace note keeps the
        // last value, dots included. Before any replay the pattern stays.
        NotesCase{"8.6ABCgDE", "A1:0.5[20=1] B1:0.25 C1:0.5[20=1] D1:0.5[20=1,24] E1:0.5[20=1]", 4},
        NotesCase{"8.6AqBC", "A1:0.5[20=1] B1:0.5[20=1,25] C1:0.5[20=1]", 4},
        NotesCase{"8.6gAB", "A1:0.5[20=1,24] B1:0.25", 4}})
        check(c);
}

TEST(Scanner, NeumaticNoteIsAQuarterWithAWarning)
{
    Parsed p;
    parse_music(p, "7.C7..D");
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(dump_notes(p.first()), "C1:1 D1:0.03125[20=2]");
    const char* text = "found a note in neumatic notation (7.), using quarter note instead";
    EXPECT_EQ(p.err, err_entry("WARNING", "123456789-1", text));
    EXPECT_EQ(p.log, log_entry("WARNING", "123456789-1", text));
    EXPECT_EQ(p.incipit.divisions, 1152);
}

// The data ends quietly at a tab, a control byte, a byte of 128 or more,
// or a last '/'; nothing after it is read.
TEST(Scanner, DataEndsQuietly)
{
    for (const char* music : {"4C\tD[", "4C\x01" "D", "4C\xC3\xA9" "D", "4C\x80[", "4C/",
                              "4C/\t/D"}) {
        Parsed p;
        parse_music(p, music);
        ASSERT_TRUE(p.ok()) << music;
        EXPECT_EQ(dump_score(p.first()), "1{10=2}@4/4:C1:1") << music;
        EXPECT_EQ(p.err + p.log, "") << music;
    }
}

TEST(Scanner, UnrecognisedSignFailsTheRecordNamingItsPosition)
{
    const std::pair<const char*, const char*> cases[] = {
        {"4C[", "char: [, ascii: 91, i: 23"},  {"4C a", "char: a, ascii: 97, i: 24"},
        {"8.6ABH", "char: H, ascii: 72, i: 26"}, {"4C/D#", "char: #, ascii: 35, i: 25"},
        {"@oC", "char: o, ascii: 111, i: 22"},   {"4C\x7F", "char: \\x7F, ascii: 127, i: 23"},
    };
    for (auto [music, error] : cases) {
        Parsed p;
        parse_music(p, music);
        EXPECT_EQ(p.status, ParseStatus::Failed) << music;
        EXPECT_EQ(p.first(), nullptr);
        EXPECT_EQ(p.err, err_entry("ERROR", "123456789-1", error)) << music;
        EXPECT_EQ(p.log, log_entry("ERROR", "123456789-1", error)) << music;
    }
}

TEST(Scanner, VerboseTracesEveryStepThatGoesOn)
{
    Parsed p;
    parse_music(p, "4C\xC3", ConvertOptions{0, 0, 1, 0});
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(p.out, "i: 22, char C, ascii: 67\ni: 23, char \xC3, ascii: -61\n");
    Parsed failed;
    parse_music(failed, "C[", ConvertOptions{0, 0, 1, 0});
    EXPECT_EQ(failed.out, "i: 22, char [, ascii: 91\n");
}

TEST(Scanner, ParseOnlyBuildsNoDocument)
{
    tav::Options options;
    options.parse_only = true;
    tav::Result r = tav::convert_record("555000111\t9/9\tG-2\t4/4\t\t4C\n", options);
    EXPECT_EQ(r.status, tav::Status::Converted);
    EXPECT_EQ(r.document, "");
    EXPECT_TRUE(r.messages.empty());  // nor the checks on the number
}

// A pattern keeps its first 255 values; later digits still raise divisions.
TEST(Scanner, LongPatternKeepsItsFirstValues)
{
    Parsed p;
    parse_music(p, "8" + std::string(254, '4') + std::string(45, '6') + std::string(300, 'C'));
    ASSERT_TRUE(p.ok());
    std::vector<float> durations;
    for (const Note* n = p.first()->first_note; n != nullptr; n = n->next)
        durations.push_back(n->duration);
    ASSERT_EQ(durations.size(), 300u);
    // The cycle is 255 entries long and never reaches the sixteenths.
    EXPECT_EQ(std::vector<float>(durations.begin() + 253, durations.begin() + 258),
              std::vector<float>({1.0f, 1.0f, 0.5f, 1.0f, 1.0f}));
    for (float d : durations)
        ASSERT_NE(d, 0.25f);
    EXPECT_EQ(p.incipit.divisions, 4);
}

// Look-ahead never sees past the line's end: a line that fills its buffer,
// and bytes left after the terminator, read as zero.
TEST(Scanner, LookAheadStopsAtTheLineEnd)
{
    Parsed full;
    parse_into(full, std::string(kHeader) + "{4AB(C", {}, false, 0);
    ASSERT_TRUE(full.ok());
    EXPECT_EQ(dump_notes(full.first()), "A1:1[40] B1:1[41] C1:1[30=3,41]");
    Parsed stale;  // read past the line feed, "(C\n)" would look like a fermata
    parse_into(stale, std::string(kHeader) + "(C\n)t");
    ASSERT_TRUE(stale.ok());
    EXPECT_EQ(dump_notes(stale.first()), "C1:1[30=3]");
}

TEST(Lcm, CountsUpToTheCommonMultiple)
{
    const int32_t cases[][3] = {
        {2, 3, 6},   {6, 4, 12},  {4, 1, 4},     {1, 4, 4},    {1, 1, 1}, {0, 5, 0}, {5, 0, 0},
        {7, 7, 7},   {12, 18, 36}, {4, 16, 16},  {-2, 3, 3},   {-2, -3, 0}, {-2, -2, -2},
        {46340, 46341, 2147441940},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lcm(c[0], c[1]), c[2]) << c[0] << ", " << c[1];
}

}  // namespace
