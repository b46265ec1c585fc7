// Beams, fermatas and tuplets, trills, slurs, grace notes and groups, and
// the repetition of a group between two '!'.

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

using namespace test_support;

namespace {

struct MarksCase {
    const char* music;
    const char* notes;   // dump_all_notes
};

// Checks one row, naming it in any failure.
void check(const MarksCase& c)
{
    SCOPED_TRACE(c.music);
    Parsed p;
    parse_music(p, c.music);
    ASSERT_TRUE(p.ok()) << c.music << "\n" << p.err;
    EXPECT_EQ(dump_all_notes(p.first()), c.notes) << c.music;
}

TEST(GroupingMarks, Beams)
{
    for (const MarksCase& c : {
        MarksCase{"{ABC}D", "A1:1[40] B1:1[41] C1:1[42] D1:1"}, MarksCase{"{8nB}", "B1:0.5[21=1]"},
        // The last note before '}' ends the beam, past its own marks.
        MarksCase{"{AB+}C", "A1:1[40] B1:1[42,26] C1:1[27]"},
        MarksCase{"{ABt}{C}", "A1:1[40] B1:1[42,23] C1:1"},
        MarksCase{"{8A(6BCD)}", "A1:0.5[40] B1:0.25[30=3,41] C1:0.25[31=3,41] D1:0.25[32=3,42]"},
        MarksCase{"{(6ABC;5)}", "A1:0.25[30=5,40] B1:0.25[31=5,41] C1:0.25[32=5,42]"},
        MarksCase{"{AB }C", "A1:1[40] B1:1[41] C1:1"},
        MarksCase{"{AB}+C", "A1:1[40] B1:1[42,26] C1:1[27]"},
        // A slur open at a beam's last note stops at the next note.
        MarksCase{"A+{B}CD", "A1:1[26] B1:1 C1:1[27] D1:1"},
        MarksCase{"{A+B}C", "A1:1[40,26] B1:1[42] C1:1[27]"}})
        check(c);
}

TEST(GroupingMarks, Parentheses)
{
    for (const MarksCase& c : {
        MarksCase{"(C)D", "C1:1[22] D1:1"}, MarksCase{"(4C)", "C1:1[22]"},
        MarksCase{"(4.C)D", "C1:1[20=1,22] D1:1[20=1]"}, MarksCase{"(''x2.-)t", "R2:2[20=1,21=2,22,23]"},
        MarksCase{"(AB)", "A1:1[22] B1:1"}, MarksCase{"(4.CD)", "C1:1[20=1,30=3] D1:1[20=1,32=3]"},
        MarksCase{"(ABC)D", "A1:1[30=3] B1:1[31=3] C1:1[32=3] D1:1"},
        MarksCase{"(6ABCDE;5)F", "A1:0.25[30=5] B1:0.25[31=5] C1:0.25[31=5] D1:0.25[31=5] "
                                 "E1:0.25[32=5] F1:0.25"},
        MarksCase{"({ABC})", "A1:1[30=3,40] B1:1[31=3,41] C1:1[32=3,42]"},
        MarksCase{"({ABC};7)", "A1:1[30=7,40] B1:1[31=7,41] C1:1[32=7,42]"},
        MarksCase{"(ABC;12)", "A1:1[30=12] B1:1[31=12] C1:1[32=12]"},
        MarksCase{"(ABC;25)", "A1:1[30=15] B1:1[31=15] C1:1[32=15]"},
        MarksCase{"(ABC;0)D", "A1:1 B1:1 C1:1 D1:1"},
        // Dots and accidental come before the tuplet mark.
        MarksCase{"(ABxC)", "A1:1[30=3] B1:1[31=3] C1:1[21=2,32=3]"},
        MarksCase{"(C)t", "C1:1[22,23]"}, MarksCase{"(C)t+D", "C1:1[22,23,26] D1:1[27]"},
        MarksCase{"Ct", "C1:1[23]"}, MarksCase{"C+tD", "C1:1[26] D1:1[27]"},
        MarksCase{"A+B+C", "A1:1[26] B1:1[27,26] C1:1[27]"},
        MarksCase{"{A+B}+C", "A1:1[40,26] B1:1[42,27,26] C1:1[27]"},
        // Unclosed signs: the searches stop at the line end.
        MarksCase{"(ABC", "A1:1[30=3] B1:1[31=3] C1:1[31=3]"},
        MarksCase{"(AB;5 CD", "A1:1[30=3] B1:1[32=3]"}})
        check(c);
}

TEST(GroupingMarks, Grace)
{
    for (const MarksCase& c : {
        MarksCase{"gC qD E", "C1:1[24] D1:1[25] E1:1"},
        MarksCase{"qqABCrD", "A1:1[25,40] B1:1[25,41] C1:1[25,42] D1:1"},
        MarksCase{"qqA-Br", "A1:1[25,40] R1:1[25,42] B1:1"},
        MarksCase{"{qqABr}", "A1:1[40,25,40] B1:1[41,25,42]"},
        MarksCase{"qqABC", "A1:1[25,40] B1:1[25,41] C1:1[25,42]"},
        MarksCase{"qqA/BCrD", "A1:1[25,40] | B1:1[25,41] C1:1[25,42] D1:1"}})
        check(c);
}

TEST(GroupingMarks, Repetition)
{
    for (const MarksCase& c : {
        MarksCase{"!AB!fC", "A1:1 B1:1 A1:1 B1:1 C1:1"},
        MarksCase{"!AB!ff", "A1:1 B1:1 A1:1 B1:1 A1:1 B1:1"},
        MarksCase{"!A/B!f", "A1:1 | B1:1 A1:1 | B1:1"},
        MarksCase{"!{AB}!f", "A1:1[40] B1:1[42] A1:1[40] B1:1[42]"}})
        check(c);
}

TEST(Groupings, TupletRaisesDivisions)
{
    const std::pair<const char*, float> cases[] = {
        {"(ABC)", 6}, {"(6ABCDE;5)", 20}, {"(ABC;7)(DEF)", 42}, {"(ABC;0)6D", 0},
    };
    for (auto [music, divisions] : cases) {
        Parsed p;
        parse_music(p, music);
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(p.incipit.divisions, divisions) << music;
    }
}

TEST(Groupings, RepetitionRewritesTheLine)
{
    Parsed p;
    parse_music(p, "!AB!ff");
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(p.line.substr(kMusicStart, 7), "!AB!zz\n");
}

TEST(Groupings, RepetitionWithoutTwoBangsIsAnUnrecognisedSign)
{
    const std::pair<const char*, int> cases[] = {{"ABf", 23}, {"!ABf", 24}, {"f", 21}};
    for (auto [music, position] : cases) {
        Parsed p;
        parse_music(p, music);
        EXPECT_EQ(p.status, ParseStatus::Failed) << music;
        EXPECT_EQ(p.log, log_entry("ERROR", "123456789-1",
                                   "char: f, ascii: 102, i: " + std::to_string(position)))
            << music;
    }
}

TEST(Groupings, NoteLimit)
{
    Parsed at_limit;
    parse_music(at_limit, std::string(1000000, 'C'));
    ASSERT_TRUE(at_limit.ok());
    EXPECT_EQ(at_limit.first()->last_note->step, 'C');

    Parsed over;  // one more through a repetition
    parse_music(over, "!" + std::string(500000, 'C') + "!fC");
    EXPECT_EQ(over.status, ParseStatus::Failed);
    EXPECT_EQ(over.err, err_entry("ERROR", "123456789-1", "incipit too large"));
    EXPECT_EQ(over.log, log_entry("ERROR", "123456789-1", "incipit too large"));
}

// Signs that never close, a megabyte of them: each search reaches the
// line end, and the result is as for a short line.
TEST(Groupings, LongLinesOfUnclosedSigns)
{
    Parsed parens;
    parse_music(parens, std::string(1 << 20, '(') + "C");
    ASSERT_TRUE(parens.ok());
    EXPECT_EQ(dump_notes(parens.first()), "C1:1[30=3]");
    EXPECT_EQ(parens.incipit.divisions, 6);

    Parsed graces;
    parse_music(graces, std::string(1 << 20, 'q') + "CDE");
    ASSERT_TRUE(graces.ok());
    // Every "qq" counts the three letters again; the first note begins
    // the group and the count stays far above the notes left.
    EXPECT_EQ(dump_notes(graces.first()), "C1:1[25,40] D1:1[25,41] E1:1[25,41]");
}

}  // namespace
