// Barlines, repeats, measure repeats, measure rests, clef, time and key
// changes within the music, and the per-record limits on measures.

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

using namespace test_support;

namespace {

const std::string kTooLarge = log_entry("ERROR", "123456789-1", "incipit too large");

struct BarsCase {
    const char* music;
    const char* score;       // dump_score, or "!" and the reason the record fails
    int remove_measure_rests;
};

// Checks one row, naming it in any failure.
void check(const BarsCase& c)
{
    SCOPED_TRACE(c.music);
    Parsed p;
    parse_into(p, std::string(kBareHeader) + c.music,
               ConvertOptions{0, c.remove_measure_rests, 0, 0});
    if (c.score[0] == '!') {
        EXPECT_EQ(p.log, log_entry("ERROR", "123456789-1", c.score + 1));
        return;
    }
    ASSERT_TRUE(p.ok()) << c.music << "\n" << p.err;
    EXPECT_EQ(dump_score(p.first()), c.score) << c.music;
}

TEST(Bars, Barlines)
{
    for (const BarsCase& c : {
        BarsCase{"4C/4D", "1:C1:1 | 2:D1:1", 0},
        BarsCase{"4C/", "1:C1:1", 0},
        // After a single barline a blank does not end the music.
        BarsCase{"4C/ D", "1:C1:1 | 2:D1:1", 0},
        BarsCase{"4C//", "1{51}:C1:1", 0},
        BarsCase{"4C//4D", "1{50}:C1:1 | 2:D1:1", 0},
        BarsCase{"4C// D", "1{50}:C1:1", 0},
        BarsCase{"4C//:4D", "1:C1:1 | 2{53}:D1:1", 0},
        BarsCase{"4C//: D", "1:C1:1 | 2{53}:", 0},
        BarsCase{"4C://4D", "1{52}:C1:1 | 2:D1:1", 0},
        BarsCase{"4C:// D", "1{52}:C1:1", 0},
        BarsCase{"4C://:4D", "1{52}:C1:1 | 2{53}:D1:1", 0},
        BarsCase{"4C://:", "1{52}:C1:1 | 2{53}:", 0},
        // The colon waits for its barline, past notes and other signs.
        BarsCase{"4C:D//E", "1{52}:C1:1 D1:1 | 2:E1:1", 0},
        // A single barline takes a repeat sign too, and passes nothing after it.
        BarsCase{"4C:/8DE", "1{52}:C1:1 | 2:D1:0.5 E1:0.5", 0},
        BarsCase{"4C/:8D:/:E/: F", "1:C1:1 | 2{53,52}:D1:0.5 | 3{53}:E1:0.5 | 4{53}:F1:0.5", 0},
        BarsCase{"4C:/ D/:", "1{52}:C1:1 | 2:D1:1", 0}})
        check(c);
}

TEST(Bars, MeasureRepeats)
{
    for (const BarsCase& c : {
        BarsCase{"4C/i/4D", "1:C1:1 | 2:C1:1 | 3:D1:1", 0},
        BarsCase{"x8{CD}/i/i", "1:C1:0.5[21=2,40] D1:0.5[42] | 2:C1:0.5[21=2,40] D1:0.5[42] | "
                               "3:C1:0.5[21=2,40] D1:0.5[42]", 0},
        BarsCase{"4C//i4D", "1{50}:C1:1 | 2{50}:C1:1 D1:1", 0},
        BarsCase{"4C://i4D", "1{52}:C1:1 | 2{52}:C1:1 D1:1", 0},
        // «/i» keeps a colon pending for the next barline.
        BarsCase{"4C:/i/D", "1:C1:1 | 2{52}:C1:1 | 3:D1:1", 0},
        // The copy takes the measure attributes but not the time.
        BarsCase{"@3/4%F-4C/i", "1{11=4}@3/4:C1:1 | 2{11=4}:C1:1", 0}})
        check(c);
}

TEST(Bars, MeasureRests)
{
    for (const BarsCase& c : {
        BarsCase{"4C/=3/4D", "1:C1:1 | 2{3=3}:R1:4[28] | 3:R1:4[28] | 4:R1:4[28] | 5:D1:1", 0},
        BarsCase{"4C/=3/4D", "1:C1:1 | 2:D1:1", 1},
        BarsCase{"=3/4C", "1{3=3}:R1:4[28] | 2:R1:4[28] | 3:R1:4[28] | 4:C1:1", 0},
        BarsCase{"=3/4C", "1: | 2:C1:1", 1},
        BarsCase{"=/4C", "1:R1:4[28] | 2:C1:1", 0},
        BarsCase{"=/4C", "1:R1:4[28] | 2:C1:1", 1},
        BarsCase{"=1/4C", "1:R1:4[28] | 2:C1:1", 1},
        BarsCase{"=0/4C", "1:R1:4[28] | 2:C1:1", 0},
        BarsCase{"''=2/", "1{3=2}:R2:4[28] | 2:R2:4[28]", 0},
        BarsCase{"=12/", "1{3=12}:R1:4[28] | 2:R1:4[28] | 3:R1:4[28] | 4:R1:4[28] | 5:R1:4[28] | 6:R1:4[28] | "
                         "7:R1:4[28] | 8:R1:4[28] | 9:R1:4[28] | 10:R1:4[28] | 11:R1:4[28] | 12:R1:4[28]", 0},
        // No '/' after it: the count runs to the line end, and so does the data.
        BarsCase{"4C/=3", "1:C1:1 | 2{3=3}:R1:4[28] | 3:R1:4[28] | 4:R1:4[28]", 0},
        BarsCase{"4C/=3", "1:C1:1 | 2:", 1},
        BarsCase{"4C/=", "1:C1:1 | 2:R1:4[28]", 0},
        // A count holds digits only, and no number past the measure limit.
        BarsCase{"=5x/4C", "!measure rest count is not a number", 0},
        BarsCase{"=5 /4C", "!measure rest count is not a number", 0},
        BarsCase{"=5x/4C", "1: | 2:C1:1", 1},
        BarsCase{"=4294967298/4C", "!incipit too large", 0},
        BarsCase{"=2147483648/4C", "!incipit too large", 0},
        BarsCase{"=000000000000002/", "1{3=2}:R1:4[28] | 2:R1:4[28]", 0},
        // A colon before the '/' is the repeat sign's, not part of the count.
        BarsCase{"=:/4C", "1{52}:R1:4[28] | 2:C1:1", 0},
        BarsCase{"=3://4C", "1{3=3}:R1:4[28] | 2:R1:4[28] | 3{52}:R1:4[28] | 4:C1:1", 0},
        BarsCase{"=3:x/", "!measure rest count is not a number", 0},
        // A measure rest lasts the measure of the time in force.
        BarsCase{"@3/4=2/4C/@3/8=/@5/16=/@c/=/@7/3=", "1{3=2}@3/4:R1:3[28] | 2:R1:3[28] | "
                 "3:C1:1 | 4@3/8:R1:1.5[28] | 5@5/16:R1:1.25[28] | 6@2/2:R1:4[28] | "
                 "7@7/3:R1:4[28]", 0},
        BarsCase{"4C/@2/4=", "1:C1:1 | 2@2/4:R1:2[28]", 1}})
        check(c);
}

TEST(Bars, Changes)
{
    for (const BarsCase& c : {
        BarsCase{"4C/%C-1D%F-4E", "1:C1:1 | 2{12=1,11=4}:D1:1 E1:1", 0},
        BarsCase{"4C/%g-2D%G+xE%X-1F", "1:C1:1 | 2{13=2,10}:D1:1 E1:1 F1:1", 0},
        BarsCase{"4C/@3/4D", "1:C1:1 | 2@3/4:D1:1", 0},
        BarsCase{"4C/@12/8D@c/E", "1:C1:1 | 2@2/2:D1:1 E1:1", 0},
        BarsCase{"4C/@c3D", "1:C1:1 | 2@4/4:D1:0.125", 0},
        BarsCase{"4C/@xD", "1:C1:1 | 2:D1:1[21=2]", 0},
        BarsCase{"4C/$xFC D/$bB E/F", "1:C1:1 | 2{1=2}:D1:1 | 3{1=-1}:E1:1 | 4:F1:1", 0},
        BarsCase{"8C/$4D", "1:C1:0.5 | 2:D1:0.5", 0}})
        check(c);
}

TEST(Bars, TimeChangeSymbols)
{
    Parsed p;
    parse_into(p, std::string(kBareHeader) + "4C@c/D/@cE/@12/8F");
    ASSERT_TRUE(p.ok());
    std::string symbols;
    for (const Measure* m = p.first(); m != nullptr; m = m->next)
        symbols += std::to_string(m->rhythm->beats) + "s" + std::to_string(m->rhythm->symbol) + " ";
    EXPECT_EQ(symbols, "2s1 4s1 12s0 ");
}

// Measures are capped at 100000; the cap is checked before a measure is
// made, so huge counts fail at once.
TEST(Bars, MeasureLimit)
{
    struct Case {
        const char* music;
        bool ok;
    };
    const Case cases[] = {
        {"=100000/", true},   {"4C/=99999/", true},   {"=100001/", false},
        {"4C/=100000/", false}, {"=100000/4C", false}, {"=2000000000/", false},
        {"=99999999999/", false},
    };
    for (const Case& c : cases) {
        Parsed p;
        parse_into(p, std::string(kBareHeader) + c.music);
        EXPECT_EQ(p.ok(), c.ok) << c.music;
        EXPECT_EQ(c.ok ? std::to_string(count_measures(p.first())) : p.log,
                  c.ok ? "100000" : kTooLarge)
            << c.music;
    }

    std::string bars;
    for (int k = 1; k < 100000; ++k)
        bars += "C/";
    Parsed at_limit;
    parse_into(at_limit, std::string(kBareHeader) + bars + "C");
    ASSERT_TRUE(at_limit.ok());
    EXPECT_EQ(count_measures(at_limit.first()), 100000);
    Parsed over;
    parse_into(over, std::string(kBareHeader) + bars + "C/C");
    EXPECT_EQ(over.status, ParseStatus::Failed);
}

// The rests that stay when measure rests are removed count as notes.
TEST(Bars, RemovedMeasureRestsStillCountAgainstTheNoteLimit)
{
    std::string notes(999999, 'C');
    Parsed at_limit;
    parse_into(at_limit, std::string(kBareHeader) + notes + "=/", ConvertOptions{0, 1, 0, 0});
    ASSERT_TRUE(at_limit.ok());
    EXPECT_EQ(at_limit.first()->last_note->step, 'R');

    Parsed over;
    parse_into(over, std::string(kBareHeader) + notes + "=/=/", ConvertOptions{0, 1, 0, 0});
    EXPECT_EQ(over.status, ParseStatus::Failed);
    EXPECT_EQ(over.log, kTooLarge);
}

// At most 1,000,000 measure attributes per record: measure 1 holds the
// header's clef and 999 clef changes, then «/i» copies it.
TEST(Bars, MeasureAttributeLimit)
{
    std::string clefs;
    for (int i = 0; i < 999; ++i)
        clefs += "%G-2";
    for (int i = 0; i < 999; ++i)
        clefs += "/i";
    Parsed at_limit;
    parse_music(at_limit, clefs);
    ASSERT_TRUE(at_limit.ok()) << at_limit.err;
    EXPECT_EQ(count_measures(at_limit.first()), 1000);
    // One copy more; or a repeat barline, which adds a mark and opens a
    // measure: both fail, and the record is reported once.
    for (const char* more : {"/i", ":C//:D"}) {
        Parsed over;
        parse_music(over, clefs + more);
        EXPECT_EQ(over.status, ParseStatus::Failed) << more;
        EXPECT_EQ(over.err, err_entry("ERROR", "123456789-1", "incipit too large")) << more;
        EXPECT_EQ(over.log, kTooLarge) << more;
    }
}

}  // namespace
