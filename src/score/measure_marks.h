// What a measure's attribute list says, as a writer reads it: its barlines,
// where the time signature stands, and the changes of key, clef and
// multiple rest at its start and before given notes within it.
#pragma once

#include <cstddef>

#include "score/score.h"

namespace tav::detail {

// What one walk over a measure's attribute list finds.
struct MeasureMarks {
    size_t count = 0;
    bool repeat_start = false;
    const Attribute* right_bar = nullptr;    // the first double, final or repeat bar
    const Attribute* first_place = nullptr;  // the first ATTR_AT_NOTE: a change within
    const Attribute* time_place = nullptr;   // the last ATTR_TIME_HERE
};

MeasureMarks read_measure_marks(const Measure* measure);

// The marks of one place of changes: from `from` up to the next
// ATTR_AT_NOTE or the end of the list.
struct Changes {
    const Attribute* key = nullptr;    // the first key signature
    const Attribute* clef = nullptr;   // the last clef: one clef per place
    const Attribute* rest = nullptr;   // the first multiple rest
    bool time = false;                 // the time signature stands here
    const Attribute* next_place = nullptr;  // the ATTR_AT_NOTE of the next place
};

// The changes from `from` on: at_start for the measure's first attribute,
// where the time signature stands unless a mark places it within.
Changes changes_from(const Attribute* from, const MeasureMarks& marks, bool at_start);

}  // namespace tav::detail
