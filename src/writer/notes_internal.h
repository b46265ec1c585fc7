// Between the document writer and the note writer.
#pragma once

#include <cstdint>

#include "score/score.h"

class XmlText;
struct MeasureAccidentals;

// write_notes without cutting the string to the text at the end: for the
// document writer, which goes on writing.
void write_measure_notes(XmlText& xml, const Note* first_note, float divisions,
                         int32_t current_fifths, MeasureAccidentals& measure_accidentals);
