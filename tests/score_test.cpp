// The score model: appending to the three lists, deep copies of measures,
// and releasing long chains.

#include <gtest/gtest.h>

#include <string>

#include "score/score.h"

namespace {

// "kind=value kind=value ..." along an attribute list.
std::string dump(const Attribute* a)
{
    std::string s;
    for (; a != nullptr; a = a->next)
        s += std::to_string(a->kind) + "=" + std::to_string(a->value) + " ";
    return s;
}

// "step octave duration [attributes] ..." along a note list.
std::string dump(const Note* n)
{
    std::string s;
    for (; n != nullptr; n = n->next) {
        s += n->step;
        s += std::to_string(n->octave) + ":" + std::to_string(n->duration);
        s += '[';
        s += dump(n->first_attribute);
        s += "] ";
    }
    return s;
}

// Appends three elements with `add` and checks the first, last and next
// links after each append.
template <typename Element, typename Container, typename Add, typename First, typename Last>
void check_append(Container& container, Element* (&elements)[3], Add add, First first, Last last)
{
    EXPECT_EQ(first(container), nullptr);
    EXPECT_EQ(last(container), nullptr);
    for (int i = 0; i < 3; ++i) {
        add(elements[i], &container);
        EXPECT_EQ(first(container), elements[0]) << "after append " << i;
        EXPECT_EQ(last(container), elements[i]) << "after append " << i;
        if (i > 0) {
            EXPECT_EQ(elements[i - 1]->next, elements[i]);
        }
        EXPECT_EQ(elements[i]->next, nullptr);
    }
}

TEST(Score, AppendKeepsOrderAndTail)
{
    Measure* measure = create_measure(1, nullptr);
    Note* notes[3] = {create_note('C', 1, 1.0f, nullptr), create_note('D', 1, 0.5f, nullptr),
                      create_note('R', -1, 4.0f, nullptr)};
    check_append(*measure, notes, add_note, [](Measure& m) { return m.first_note; },
                 [](Measure& m) { return m.last_note; });

    Attribute* measure_attrs[3] = {create_attribute(ATTR_CLEF_G, 2, nullptr),
                                   create_attribute(ATTR_KEY, -2, nullptr),
                                   create_attribute(ATTR_BAR_FINAL, 0, nullptr)};
    check_append(*measure, measure_attrs, add_measure_attrib,
                 [](Measure& m) { return m.first_attribute; },
                 [](Measure& m) { return m.last_attribute; });

    Attribute* note_attrs[3] = {create_attribute(ATTR_DOTS, 1, nullptr),
                                create_attribute(ATTR_ACCIDENTAL, 4, nullptr),
                                create_attribute(ATTR_BEAM_END, 0, nullptr)};
    check_append(*notes[1], note_attrs, add_note_attrib, [](Note& n) { return n.first_attribute; },
                 [](Note& n) { return n.last_attribute; });

    // Each list stays separate from the others.
    EXPECT_EQ(dump(measure->first_attribute), "10=2 1=-2 51=0 ");
    EXPECT_EQ(dump(measure->first_note), "C1:1.000000[] D1:0.500000[20=1 21=4 42=0 ] R-1:4.000000[] ");
    destroy_measure(measure);
}

// A measure numbered 7 with a time signature, a next measure, two notes
// (the first with two attributes) and three measure attributes.
Measure* sample_measure()
{
    Measure* m = create_measure(7, create_measure(8, nullptr));
    m->rhythm = create_rhythm(3, 4, 0, 0);
    Note* a = create_note('A', 2, 0.5f, nullptr);
    add_note_attrib(create_attribute(ATTR_DOTS, 1, nullptr), a);
    add_note_attrib(create_attribute(ATTR_TUPLET_START, 3, nullptr), a);
    add_note(a, m);
    add_note(create_note('R', 1, 2.0f, nullptr), m);
    add_measure_attrib(create_attribute(ATTR_CLEF_F, 4, nullptr), m);
    add_measure_attrib(create_attribute(ATTR_KEY, 3, nullptr), m);
    add_measure_attrib(create_attribute(ATTR_REPEAT_END, 0, nullptr), m);
    return m;
}

TEST(Score, CopyMeasureIsDeepAndNumberedNext)
{
    Measure* source = sample_measure();
    const std::string notes = dump(source->first_note);
    const std::string attrs = dump(source->first_attribute);

    Measure* copy = copy_measure(source);
    EXPECT_EQ(copy->number, 8);
    EXPECT_EQ(copy->rhythm, nullptr);
    EXPECT_EQ(copy->next, nullptr);
    EXPECT_EQ(dump(copy->first_note), notes);
    EXPECT_EQ(dump(copy->first_attribute), attrs);
    EXPECT_EQ(copy->last_note->step, 'R');
    EXPECT_EQ(copy->last_note->next, nullptr);
    EXPECT_EQ(copy->last_attribute->kind, ATTR_REPEAT_END);
    EXPECT_EQ(copy->first_note->last_attribute->kind, ATTR_TUPLET_START);

    // Changing and extending the copy leaves the source as it was.
    copy->first_note->step = 'B';
    copy->first_note->first_attribute->value = 2;
    copy->first_attribute->value = 3;
    add_note_attrib(create_attribute(ATTR_FERMATA, 0, nullptr), copy->first_note);
    add_note(create_note('G', 1, 1.0f, nullptr), copy);
    add_measure_attrib(create_attribute(ATTR_BAR_DOUBLE, 0, nullptr), copy);
    EXPECT_EQ(dump(source->first_note), notes);
    EXPECT_EQ(dump(source->first_attribute), attrs);
    EXPECT_EQ(source->last_note->next, nullptr);
    EXPECT_EQ(source->last_attribute->next, nullptr);

    // And freeing the source leaves the copy whole.
    destroy_measure(source);
    EXPECT_EQ(dump(copy->first_note),
              "B2:0.500000[20=2 30=3 22=0 ] R1:2.000000[] G1:1.000000[] ");
    destroy_measure(copy);
}

TEST(Score, CopyOfEmptyMeasureIsEmpty)
{
    Measure* source = create_measure(1, nullptr);
    Measure* copy = copy_measure(source);
    EXPECT_EQ(copy->number, 2);
    EXPECT_EQ(copy->first_note, nullptr);
    EXPECT_EQ(copy->last_note, nullptr);
    EXPECT_EQ(copy->first_attribute, nullptr);
    EXPECT_EQ(copy->last_attribute, nullptr);
    destroy_measure(copy);
    destroy_measure(source);
}

TEST(Score, CopyNoteLeavesNextBehind)
{
    Note* second = create_note('E', 1, 1.0f, nullptr);
    Note* first = create_note('D', -2, 0.25f, second);
    add_note_attrib(create_attribute(ATTR_ACCIDENTAL, 2, nullptr), first);
    Note* copy = copy_note(first);
    EXPECT_EQ(copy->next, nullptr);
    EXPECT_EQ(dump(copy), "D-2:0.250000[21=2 ] ");
    EXPECT_NE(copy->first_attribute, first->first_attribute);
    destroy_note(copy);
    destroy_note(first);
}

// Chains far longer than any incipit are released without recursion (a
// recursive release would exhaust the stack here; the sanitizer build also
// checks that nothing leaks).
TEST(Score, DestroysVeryLongChains)
{
    constexpr int kLength = 1000000;

    Measure* first = create_measure(1, nullptr);
    Measure* last = first;
    for (int i = 2; i <= kLength; ++i) {
        last->next = create_measure(i, nullptr);
        last = last->next;
    }
    last->rhythm = create_rhythm(4, 4, 1, 0);
    add_note(create_note('C', 1, 1.0f, nullptr), last);
    add_measure_attrib(create_attribute(ATTR_BAR_FINAL, 0, nullptr), last);
    destroy_measure(first);

    Measure* measure = create_measure(1, nullptr);
    Note* note = nullptr;
    for (int i = 0; i < kLength; ++i) {
        note = create_note('D', 1, 0.5f, nullptr);
        add_note(note, measure);
    }
    for (int i = 0; i < kLength; ++i)
        add_note_attrib(create_attribute(ATTR_BEAM_CONTINUE, 0, nullptr), note);
    destroy_measure(measure);

    destroy_measure(nullptr);
    destroy_note(nullptr);
    destroy_attribute(nullptr);
    destroy_rhythm(nullptr);
}

}  // namespace
