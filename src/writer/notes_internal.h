// Between the document writer and the note writer.
#pragma once

#include <cstdint>

#include "score/score.h"

namespace tav::detail {

class XmlText;
struct MeasureAccidentals;

// Appends the note elements of one measure: up to `count` notes from
// `first_note` on. Returns the note after the last one written (none at the
// end of the list).
const Note* write_measure_notes(XmlText& xml, const Note* first_note, int64_t count,
                                float divisions, int32_t current_fifths,
                                MeasureAccidentals& measure_accidentals);

// The alteration -2 .. 2 the note sounds with, decided as the note writer
// decides it (its accidental, a tie, the measure's accidentals, the key),
// `memory` moved on as writing the note would move it; 0 for a rest.
int32_t sounded_alter(const Note* note, int32_t current_fifths, MeasureAccidentals& memory);

}  // namespace tav::detail
