// Note elements and measures as the writer renders them, on scores built
// through the model, and two records rendered end to end.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"

using namespace test_support;

namespace {

// Owns a score built in a test.
struct Score {
    Measure* first = nullptr;
    Measure* last = nullptr;
    ~Score() { destroy_measure(test_pools(), first); }

    Measure* add_measure(std::initializer_list<Note*> notes, const Marks& marks = {})
    {
        Measure* m = create_measure(test_pools(), last == nullptr ? 1 : last->number + 1, nullptr);
        (last == nullptr ? first : last->next) = m;
        last = m;
        for (Note* n : notes)
            add_note(n, m);
        for (auto [kind, value] : marks)
            add_measure_attrib(create_attribute(test_pools(), kind, value, nullptr), m);
        return m;
    }
};

// The note elements of a one-measure score.
std::string notes_text(std::initializer_list<Note*> notes, float divisions = 2,
                       int32_t fifths = 0)
{
    Score score;
    const Measure* m = score.add_measure(notes);
    MeasureAccidentals memory;
    return render_notes(m, divisions, fifths, memory);
}

// The value between `open` and the next '<' in every note element, "-"
// for a note without it, joined by commas.
std::string per_note(const std::string& text, const std::string& open)
{
    std::string result;
    size_t start = 0;
    for (size_t end; (end = text.find("</note>", start)) != std::string::npos; start = end + 1) {
        std::string note = text.substr(start, end - start);
        size_t at = note.find(open);
        if (!result.empty())
            result += ',';
        result += at == std::string::npos
                      ? "-"
                      : note.substr(at + open.size(), note.find('<', at + 1) - at - open.size());
    }
    return result;
}

TEST(NoteWriter, AccidentalHoldsForTheMeasure)
{
    Score score;
    const Measure* first = score.add_measure(
        {make_note('F', 1, 1, {{ATTR_DOTS, 1}, {ATTR_ACCIDENTAL, ACC_SHARP}}), make_note('F', 1, 0.5f)});
    const Measure* second = score.add_measure({make_note('F', 1, 0.5f)});
    MeasureAccidentals memory;
    EXPECT_EQ(render_notes(first, 4, 0, memory),
              read_data_file("writer_note_memory.xml"));
    MeasureAccidentals next_measure;
    EXPECT_EQ(per_note(render_notes(second, 4, 0, next_measure), "<alter>"), "-");
}

TEST(NoteWriter, AlterationFromAccidentalMemoryAndKey)
{
    struct Case {
        int32_t fifths;
        std::vector<Note*> notes;
        const char* alters;
        const char* accidentals;
    };
    auto sharp = [](char step) { return make_note(step, 1, 1, {{ATTR_ACCIDENTAL, ACC_SHARP}}); };
    const std::vector<Case> cases = {
        // A natural cancels the key for its letter only.
        {2, {make_note('F', 1, 1, {{ATTR_ACCIDENTAL, ACC_NATURAL}}), make_note('F', 1, 1),
             make_note('C', 1, 1)}, "-,-,1", "natural,-,-"},
        {1, {make_note('G', 1, 1, {{ATTR_ACCIDENTAL, ACC_SHARP}}), make_note('F', 1, 1,
             {{ATTR_ACCIDENTAL, ACC_NATURAL}}), make_note('G', 1, 1), make_note('F', 1, 1)},
         "1,-,1,-", "sharp,natural,-,-"},
        // The memory ignores the octave.
        {0, {make_note('F', 1, 1, {{ATTR_ACCIDENTAL, ACC_SHARP}}), make_note('F', -2, 1)}, "1,1",
         "sharp,-"},
        {0, {make_note('E', 1, 1, {{ATTR_ACCIDENTAL, ACC_DOUBLE_SHARP}}), make_note('D', 1, 1,
             {{ATTR_ACCIDENTAL, ACC_DOUBLE_FLAT}}), make_note('D', 2, 1), make_note('E', 1, 1)},
         "2,-2,-2,2", "double-sharp,double-flat,-,-"},
        // Every explicit accidental is written, even one the key gives.
        {-1, {make_note('B', 1, 1, {{ATTR_ACCIDENTAL, ACC_FLAT}}), make_note('B', 1, 1)}, "-1,-1",
         "flat,-"},
        // Only the first accidental alters the pitch.
        {0, {make_note('C', 1, 1, {{ATTR_ACCIDENTAL, ACC_SHARP}, {ATTR_ACCIDENTAL, ACC_FLAT}})}, "1",
         "sharp"},
        // An accidental of no known value: no key alteration, no element.
        {1, {make_note('F', 1, 1, {{ATTR_ACCIDENTAL, 9}}), make_note('F', 1, 1)}, "-,1", "-,-"},
        // A rest writes its accidental but leaves the memory alone.
        {1, {make_note('R', 1, 1, {{ATTR_ACCIDENTAL, ACC_NATURAL}}), make_note('F', 1, 1)}, "-,1",
         "natural,-"},
        {-3, {make_note('B', 1, 1), make_note('E', 1, 1), make_note('A', 1, 1),
              make_note('D', 1, 1)}, "-1,-1,-1,-", "-,-,-,-"},
        {6, {make_note('E', 1, 1), make_note('B', 1, 1)}, "1,-", "-,-"},
        {9, {make_note('A', 1, 1), make_note('B', 1, 1), make_note('C', 1, 1), make_note('D', 1, 1),
             make_note('E', 1, 1), make_note('F', 1, 1), make_note('G', 1, 1)},
         "1,1,1,1,1,1,1", "-,-,-,-,-,-,-"},
        // The memory holds all seven letters.
        {0, {sharp('A'), sharp('B'), sharp('C'), sharp('D'), sharp('E'), sharp('F'), sharp('G'),
             make_note('G', 1, 1)},
         "1,1,1,1,1,1,1,1", "sharp,sharp,sharp,sharp,sharp,sharp,sharp,-"},
        {-9, {make_note('A', 1, 1), make_note('C', 1, 1), make_note('F', 1, 1)}, "-1,-1,-1",
         "-,-,-"},
    };
    for (const Case& c : cases) {
        Score score;
        Measure* m = score.add_measure({});
        for (Note* n : c.notes)
            add_note(n, m);
        MeasureAccidentals memory;
        std::string text = render_notes(m, 2, c.fifths, memory);
        EXPECT_EQ(per_note(text, "<alter>"), c.alters) << c.fifths << "\n" << text;
        EXPECT_EQ(per_note(text, "<accidental>"), c.accidentals) << c.fifths << "\n" << text;
    }
}

TEST(NoteWriter, DurationAndType)
{
    struct Case {
        Note* note;
        float divisions;
        const char* duration;  // "-" for none
        const char* type;
    };
    const std::vector<Case> cases = {
        {make_note('R', 1, 4), 2, "8", "-"},
        {make_note('R', 1, 1), 2, "2", "quarter"},
        {make_note('C', 1, 4), 2, "8", "whole"},
        {make_note('C', 1, 8), 2, "16", "breve"},
        {make_note('C', 1, 0.125f), 8, "1", "32nd"},
        {make_note('C', 1, 0.03125f), 32, "1", "128th"},
        {make_note('C', 1, 3), 2, "6", "-"},
        // Products that are not whole are truncated.
        {make_note('C', 1, 0.25f, {{ATTR_DOTS, 1}}), 2, "0", "16th"},
        {make_note('C', 1, 0.5f, {{ATTR_DOTS, 2}}), 2, "1", "eighth"},
        {make_note('C', 1, 1, {{ATTR_DOTS, 3}}), 2, "2", "quarter"},
        // The first dots mark and the first tuplet mark both give their factor.
        {make_note('C', 1, 0.5f, {{ATTR_TUPLET_START, 3}}), 6, "2", "eighth"},
        {make_note('C', 1, 0.5f, {{ATTR_DOTS, 1}, {ATTR_TUPLET_START, 3}}), 6, "3", "eighth"},
        {make_note('C', 1, 0.5f, {{ATTR_DOTS, 3}, {ATTR_TUPLET_STOP, 3}}), 6, "2", "eighth"},
        {make_note('C', 1, 0.5f, {{ATTR_TUPLET_CONTINUE, 3}, {ATTR_DOTS, 1}}), 6, "3", "eighth"},
        {make_note('R', 1, 3, {{ATTR_MEASURE_REST, 0}}), 2, "6", "-"},
        {make_note('C', 1, 0.25f, {{ATTR_TUPLET_START, 5}}), 20, "4", "16th"},
        // Exact past 32 bits.
        {make_note('C', 1, 16), 134217728.0f, "2147483648", "long"},
        {make_note('C', 1, 16, {{ATTR_DOTS, 2}}), 268435456.0f, "7516192768", "long"},
        // Grace notes: no duration; an acciaccatura is an eighth.
        {make_note('C', 1, 0.25f, {{ATTR_ACCIACCATURA, 0}}), 2, "-", "eighth"},
        {make_note('C', 1, 4, {{ATTR_ACCIACCATURA, 0}}), 2, "-", "eighth"},
        {make_note('R', 1, 1, {{ATTR_ACCIACCATURA, 0}}), 2, "-", "eighth"},
        {make_note('R', 1, 4, {{ATTR_ACCIACCATURA, 0}}), 2, "-", "-"},
        {make_note('C', 1, 0.25f, {{ATTR_APPOGGIATURA, 0}}), 2, "-", "16th"},
        {make_note('C', 1, 4, {{ATTR_APPOGGIATURA, 0}}), 2, "-", "whole"},
    };
    for (const Case& c : cases) {
        std::string text = notes_text({c.note}, c.divisions);
        EXPECT_EQ(per_note(text, "<duration>"), c.duration) << text;
        EXPECT_EQ(per_note(text, "<type>"), c.type) << text;
    }
}

TEST(NoteWriter, DotLines)
{
    const std::pair<int32_t, size_t> cases[] = {{1, 1}, {2, 2}, {3, 1}, {5, 1}};
    for (auto [dots, lines] : cases) {
        std::string text = notes_text({make_note('R', 1, 1, {{ATTR_DOTS, dots}})});
        size_t count = 0;
        for (size_t at = 0; (at = text.find("<dot/>", at)) != std::string::npos; ++at)
            ++count;
        EXPECT_EQ(count, lines) << dots;
    }
}

TEST(NoteWriter, TupletNormalNotes)
{
    const std::pair<int32_t, const char*> cases[] = {
        {1, "1"}, {2, "2"}, {3, "2"}, {4, "4"}, {5, "4"}, {7, "4"}, {8, "8"},
        {12, "8"}, {15, "8"}, {16, "16"}, {31, "16"},
    };
    for (auto [n, normal] : cases) {
        std::string text = notes_text({make_note('C', 1, 1, {{ATTR_TUPLET_CONTINUE, n}})}, 240);
        EXPECT_EQ(per_note(text, "<normal-notes>"), normal) << n;
        EXPECT_EQ(per_note(text, "<actual-notes>"), std::to_string(n)) << n;
    }
}

// Marks come out by group in a fixed order; inside a group, in list order.
TEST(NoteWriter, MarkGroupsAndNotationsOrder)
{
    EXPECT_EQ(notes_text({make_note('C', 1, 1, {{ATTR_SLUR_START, 0}, {ATTR_BEAM_END, 0},
                                                {ATTR_FERMATA, 0}, {ATTR_TUPLET_STOP, 3},
                                                {ATTR_TRILL, 0}, {ATTR_ACCIDENTAL, ACC_SHARP},
                                                {ATTR_TRILL, 0}, {ATTR_DOTS, 1},
                                                {ATTR_SLUR_STOP, 0}})}),
              read_data_file("writer_note_marks.xml"));
}

// The part's measures with their note elements left out.
std::string measures_without_notes(const std::string& document)
{
    const std::string open = "\t<part id=\"P1\">\n";
    size_t from = document.find(open) + open.size();
    std::string body = document.substr(from, document.rfind("\t</part>\n") - from);
    for (size_t at; (at = body.find("\t\t\t<note>")) != std::string::npos;)
        body.erase(at, body.find("</note>\n", at) + 8 - at);
    return body;
}

TEST(MeasureWriter, AttributesBarlinesAndKeyAcrossMeasures)
{
    Score score;
    score.add_measure({make_note('B', 1, 1)}, {{ATTR_CLEF_G8, 2}, {ATTR_KEY, -1}, {ATTR_KEY, 3}});
    score.first->rhythm = create_rhythm(test_pools(), 2, 2, 1, 0);
    score.add_measure({make_note('F', 1, 1, {{ATTR_ACCIDENTAL, ACC_SHARP}}), make_note('B', 1, 1)});
    score.add_measure({make_note('F', 1, 1), make_note('B', 1, 1)},
                      {{ATTR_REPEAT_END, 0}, {ATTR_BAR_FINAL, 0}, {ATTR_MULTIPLE_REST, 4},
                       {ATTR_REPEAT_START, 0}, {ATTR_CLEF_F, 4}, {ATTR_KEY, 0}});
    score.add_measure({}, {{ATTR_BAR_DOUBLE, 0}, {ATTR_REPEAT_START, 0}, {ATTR_REPEAT_START, 0}});
    score.last->rhythm = create_rhythm(test_pools(), 3, 8, 0, 0);
    std::string document;
    render_score(score.first, 6.0f, 1, "1", 0, 0, document);

    // The key holds across measures; the accidental memory does not.
    EXPECT_EQ(per_note(document, "<alter>"), "-1,1,-1,-,-");
    EXPECT_EQ(measures_without_notes(document),
              read_data_file("writer_measures.xml"));
}

// Records rendered end to end, compared with files written by hand.
TEST(RecordRendering, MatchesTheExpectedFiles)
{
    const std::pair<const char*, const char*> cases[] = {
        {"123456789\t1.1.1\tG-2\t3/4\t\t$bBE 8.6'ABCD/4-2G//", "worked_example.xml"},
        {"000000042\t2\tF-4\tc\t\t$xF '8{ABC}(6DEF)/(4G)t {8A+B}C gD qE/''qq6ABr 2C//",
         "groupings_example.xml"},
    };
    for (auto [record, file] : cases) {
        Parsed p;
        parse_into(p, record);
        ASSERT_TRUE(p.ok()) << record;
        EXPECT_EQ(p.err, "") << record;
        std::string document;
        render_score(p.first(), p.incipit.divisions, p.incipit.incipit_id, p.incipit.incipit_nb,
                     p.incipit.mensural, p.incipit.corrected_key, document);
        std::vector<std::string> actual = split_lines(document);
        std::vector<std::string> expected = split_lines(read_data_file(file));
        ASSERT_FALSE(expected.empty()) << file;
        for (size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
            ASSERT_EQ(i < actual.size() ? actual[i] : "<missing>",
                      i < expected.size() ? expected[i] : "<missing>")
                << file << " line " << i + 1;
        }
        EXPECT_EQ(document.back(), '\n');
    }
}

}  // namespace
