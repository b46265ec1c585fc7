// Between the document writer and the note writer.
#pragma once

#include <cstdint>

#include "score/score.h"

class XmlText;
struct MeasureAccidentals;

// Appends the note elements of one measure, from `first_note` along `next`.
void write_measure_notes(XmlText& xml, const Note* first_note, float divisions,
                         int32_t current_fifths, MeasureAccidentals& measure_accidentals);
