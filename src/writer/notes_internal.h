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

}  // namespace tav::detail
