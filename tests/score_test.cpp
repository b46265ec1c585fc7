// The score model: appending to the three lists, deep copies of measures,
// and releasing long chains.

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "test_support.h"

using test_support::dump_attributes;
using test_support::dump_notes;
using test_support::make_note;
using test_support::test_pools;

namespace {

// Appends three elements with `add`, checking the first, last and next
// links after each append.
template <typename Element, typename Container, typename Add, typename Ends>
void check_append(Container& container, Element* (&elements)[3], Add add, Ends ends)
{
    EXPECT_EQ(ends(container), (std::pair<Element*, Element*>(nullptr, nullptr)));
    for (int i = 0; i < 3; ++i) {
        add(elements[i], &container);
        EXPECT_EQ(ends(container), std::make_pair(elements[0], elements[i])) << i;
        if (i > 0) {
            EXPECT_EQ(elements[i - 1]->next, elements[i]);
        }
        EXPECT_EQ(elements[i]->next, nullptr);
    }
}

TEST(Score, AppendKeepsOrderAndTail)
{
    Measure* m = create_measure(test_pools(), 1, nullptr);
    Note* notes[3] = {make_note('C', 1, 1), make_note('D', 1, 0.5f), make_note('R', -1, 4)};
    check_append(*m, notes, add_note,
                 [](Measure& x) { return std::make_pair(x.first_note, x.last_note); });
    Attribute* bars[3] = {create_attribute(test_pools(), ATTR_CLEF_G, 2, nullptr),
                          create_attribute(test_pools(), ATTR_KEY, -2, nullptr),
                          create_attribute(test_pools(), ATTR_BAR_FINAL, 0, nullptr)};
    check_append(*m, bars, add_measure_attrib,
                 [](Measure& x) { return std::make_pair(x.first_attribute, x.last_attribute); });
    Attribute* marks[3] = {create_attribute(test_pools(), ATTR_DOTS, 1, nullptr),
                           create_attribute(test_pools(), ATTR_ACCIDENTAL, ACC_FLAT, nullptr),
                           create_attribute(test_pools(), ATTR_BEAM_END, 0, nullptr)};
    check_append(*notes[1], marks, add_note_attrib,
                 [](Note& x) { return std::make_pair(x.first_attribute, x.last_attribute); });
    // Each list stays separate from the others.
    EXPECT_EQ(dump_attributes(m->first_attribute), "10=2,1=-2,51");
    EXPECT_EQ(dump_notes(m), "C1:1 D1:0.5[20=1,21=4,42] R-1:4");
    destroy_measure(test_pools(), m);
}

TEST(Score, CopyMeasureIsDeepIndependentAndNumberedNext)
{
    Measure* source = create_measure(test_pools(), 7, create_measure(test_pools(), 8, nullptr));
    source->rhythm = create_rhythm(test_pools(), 3, 4, 0, 0);
    add_note(make_note('A', 2, 0.5f, {{ATTR_DOTS, 1}, {ATTR_TUPLET_START, 3}}), source);
    add_note(make_note('R', 1, 2), source);
    for (int32_t kind : {ATTR_CLEF_F, ATTR_KEY, ATTR_REPEAT_END})
        add_measure_attrib(create_attribute(test_pools(), kind, 4, nullptr), source);
    const std::string notes = dump_notes(source), marks = dump_attributes(source->first_attribute);

    Measure* copy = copy_measure(test_pools(), source);
    EXPECT_EQ(copy->number, 8);
    EXPECT_EQ(copy->rhythm, nullptr);
    EXPECT_EQ(copy->next, nullptr);
    EXPECT_EQ(dump_notes(copy), notes);
    EXPECT_EQ(dump_attributes(copy->first_attribute), marks);
    EXPECT_EQ(copy->last_note->step, 'R');
    EXPECT_EQ(copy->last_attribute->kind, ATTR_REPEAT_END);
    EXPECT_EQ(copy->first_note->last_attribute->kind, ATTR_TUPLET_START);

    // Changing and extending the copy leaves the source as it was, and
    // freeing the source leaves the copy whole.
    copy->first_note->step = 'B';
    copy->first_note->first_attribute->value = 2;
    copy->first_attribute->value = 3;
    add_note_attrib(create_attribute(test_pools(), ATTR_FERMATA, 0, nullptr), copy->first_note);
    add_note(make_note('G', 1, 1), copy);
    add_measure_attrib(create_attribute(test_pools(), ATTR_BAR_DOUBLE, 0, nullptr), copy);
    EXPECT_EQ(dump_notes(source), notes);
    EXPECT_EQ(dump_attributes(source->first_attribute), marks);
    EXPECT_EQ(source->last_attribute->next, nullptr);
    destroy_measure(test_pools(), source);
    EXPECT_EQ(dump_notes(copy), "B2:0.5[20=2,30=3,22] R1:2 G1:1");
    destroy_measure(test_pools(), copy);

    Measure* empty = create_measure(test_pools(), 1, nullptr);
    Measure* empty_copy = copy_measure(test_pools(), empty);
    EXPECT_EQ(empty_copy->number, 2);
    EXPECT_EQ(empty_copy->first_note, nullptr);
    EXPECT_EQ(empty_copy->last_note, nullptr);
    EXPECT_EQ(empty_copy->first_attribute, nullptr);
    EXPECT_EQ(empty_copy->last_attribute, nullptr);
    destroy_measure(test_pools(), empty_copy);
    destroy_measure(test_pools(), empty);
}

// Chains far longer than any incipit are released without recursion (a
// recursive release would exhaust the stack; the sanitizer build also
// checks that nothing leaks).
TEST(Score, DestroysVeryLongChains)
{
    constexpr int kLength = 1000000;
    Measure* first = create_measure(test_pools(), 1, nullptr);
    Measure* last = first;
    for (int i = 2; i <= kLength; ++i)
        last = last->next = create_measure(test_pools(), i, nullptr);
    last->rhythm = create_rhythm(test_pools(), 4, 4, 1, 0);
    add_note(make_note('C', 1, 1, {{ATTR_BEAM_END, 0}}), last);
    destroy_measure(test_pools(), first);

    Measure* measure = create_measure(test_pools(), 1, nullptr);
    Note* note = nullptr;
    for (int i = 0; i < kLength; ++i)
        add_note(note = make_note('D', 1, 0.5f), measure);
    for (int i = 0; i < kLength; ++i)
        add_note_attrib(create_attribute(test_pools(), ATTR_BEAM_CONTINUE, 0, nullptr), note);
    destroy_measure(test_pools(), measure);
    destroy_measure(test_pools(), nullptr);
}

// A converter's pools take a finished score back at once and build the next
// one in the same slots, across several blocks, records released singly in
// between included.
TEST(Score, PoolsTakeALastScoreBackAtOnce)
{
    ScorePools pools;
    auto build = [&pools] {
        Measure* m = create_measure(pools, 1, nullptr);
        for (int i = 0; i < 700; ++i) {
            Note* n = create_note(pools, 'C', i % 3 + 1, 1, nullptr);
            add_note_attrib(create_attribute(pools, ATTR_DOTS, i, nullptr), n);
            add_note(n, m);
            destroy_rhythm(pools, create_rhythm(pools, i, 4, 0, 0));
        }
        return m;
    };
    Measure* first = build();
    const std::string dump = dump_notes(first);
    destroy_last_score(pools, first);
    Measure* second = build();
    EXPECT_EQ(dump_notes(second), dump);
    if (score_pools::kPooled) {
        EXPECT_EQ(second, first);
    }
    destroy_last_score(pools, second);
}

}  // namespace
