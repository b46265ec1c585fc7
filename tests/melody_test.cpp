// Melodies and their keys: what a search reads from each incipit.

#include <string>

#include "tav/melody.h"
#include "tav/tav.h"
#include "test_support.h"

namespace {

using namespace test_support;

// "C4:1 D4:0.5@1 r:1": each note's pitch name, duration in quarters and,
// with a time signature, its place in the measure.
std::string shown(const tav::Melody& m)
{
    std::string text;
    for (const tav::MelodyNote& n : m.notes) {
        char length[32];
        std::snprintf(length, sizeof length, ":%g", n.duration);
        text += (text.empty() ? "" : " ") + tav::pitch_name(n) + length;
        if (n.beat >= 0) {
            std::snprintf(length, sizeof length, "@%g", n.beat);
            text += length;
        }
    }
    return text;
}

std::string joined(const std::vector<int>& values)
{
    std::string text;
    for (int v : values) {
        if (!text.empty())
            text += ' ';
        text += std::to_string(v);
    }
    return text;
}

TEST(Melody, KeysOfEachKindOfNotation)
{
    const struct Row {
        const char* name;
        const char* time;
        const char* music;
        const char* notes;
        const char* intervals;
        const char* steps;
        const char* contour;
        const char* refined;
    } rows[] = {
        {"scale with octave marks", "", "'4CDEF''C", "C4:1 D4:1 E4:1 F4:1 C5:1", "2 2 1 7",
         "1 1 1 4", "UUUU", "uuuU"},
        {"key signature sharpens F, natural undoes it", "", "$xF '4FGnFF", "F#4:1 G4:1 F4:1 F4:1",
         "1 -2 0", "1 -1 0", "UDR", "udr"},
        {"accidental holds for the letter through the measure, not past the bar", "4/4",
         "'4xCD''C,C/'C", "C#4:1@0 D4:1@1 C#5:1@2 C#3:1@3 C4:1@0", "1 11 -24 11",
         "1 6 -14 7", "UUDU", "uUDU"},
        {"a tie joins notes at the same pitch, across a barline, with its accidental", "3/4",
         "'2bB4B+/2B8''CD", "Bb4:2@0 Bb4:3@2 C5:0.5@2 D5:0.5@2.5", "0 2 2", "0 1 1", "RUU",
         "ruu"},
        {"grace notes are left out; rests are kept", "", "'4Cg8D4E-8F", "C4:1 E4:1 r:1 F4:0.5",
         "4 1", "2 1", "UU", "Uu"},
        {"the highest note of a chord is the melody", "", "'4C^E^G4D^,B", "G4:1 D4:1", "-5", "-3",
         "D", "D"},
        {"dotted values and an upbeat counted back from the barline", "3/4", "'8C/4.D8E4F",
         "C4:0.5@2.5 D4:1.5@0 E4:0.5@1.5 F4:1@2", "2 2 1", "1 1 1", "UUU", "uuu"},
        {"a repeated figure is written out", "", "'8!CD!f", "C4:0.5 D4:0.5 C4:0.5 D4:0.5",
         "2 -2 2", "1 -1 1", "UDU", "udu"},
        {"flats in the key, double accidentals", "", "$bBE '4BEbbBxxF", "Bb4:1 Eb4:1 Bbb4:1 Fx4:1",
         "-7 6 -2", "-4 4 -3", "DUD", "DUd"},
    };
    each_row(rows, [](const Row& row) {
        std::string line = std::string("1\t1\tG-2\t") + (*row.time ? row.time : "\\-") + "\t\t" +
                           row.music;
        tav::Melody m = tav::melody(line);
        EXPECT_EQ(shown(m), row.notes);
        EXPECT_EQ(joined(tav::chromatic_intervals(m)), row.intervals);
        EXPECT_EQ(joined(tav::diatonic_intervals(m)), row.steps);
        EXPECT_EQ(tav::gross_contour(m), row.contour);
        EXPECT_EQ(tav::refined_contour(m), row.refined);
    });
}

TEST(Melody, GivenWithTheConversionOnlyWhenAskedFor)
{
    tav::Options options;
    tav::Converter converter;
    const std::string line = "1\t1\tG-2\t\\-\t\t'4CDE";
    EXPECT_TRUE(converter.convert(line, options).melody.notes.empty());
    options.melody = true;
    const tav::Result& r = converter.convert(line, options);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.melody, tav::melody(line));
    EXPECT_TRUE(converter.convert("x\t1\tG-2\t\\-\t\t'4C", options).melody.notes.empty());
}

}  // namespace

namespace {

// The keys as a report line and a search engine's document hold them.
TEST(Melody, KeysAsJsonFields)
{
    const struct Row {
        const char* name;
        const char* time;
        const char* music;
        const char* json;
    } rows[] = {
        {"with a time signature: beats", "3/4", "'8C/4.D8-nE",
         "\"pitches\":[\"C4\",\"D4\",\"r\",\"E4\"],\"midi\":[60,62,64],"
         "\"chromatic_intervals\":[2,2],\"diatonic_intervals\":[1,1],\"gross_contour\":\"UU\","
         "\"refined_contour\":\"uu\",\"durations\":[0.5,1.5,0.5,0.5],\"beats\":[2.5,0,1.5,2]"},
        {"without one: beats null", "", "$bB '4B,C",
         "\"pitches\":[\"Bb4\",\"C3\"],\"midi\":[70,48],\"chromatic_intervals\":[-22],"
         "\"diatonic_intervals\":[-13],\"gross_contour\":\"D\",\"refined_contour\":\"D\","
         "\"durations\":[1,1],\"beats\":null"},
    };
    each_row(rows, [](const Row& row) {
        std::string line = std::string("1\t1\tG-2\t") + (*row.time ? row.time : "\\-") + "\t\t" +
                           row.music;
        std::string json;
        tav::append_keys_json(json, tav::melody(line));
        EXPECT_EQ(json, row.json);
    });
    std::string empty;
    tav::append_keys_json(empty, tav::Melody{});
    EXPECT_EQ(empty, "\"pitches\":[],\"midi\":[],\"chromatic_intervals\":[],"
                     "\"diatonic_intervals\":[],\"gross_contour\":\"\",\"refined_contour\":\"\","
                     "\"durations\":[],\"beats\":[]");
}

}  // namespace
