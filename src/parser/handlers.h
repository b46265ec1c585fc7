// The parts of parse_incipit, one file each: the record header, the
// scanning loop with its notes, groupings and ornaments, and bars and
// measure-level signs. Each handler starts with `position` on its sign and
// leaves it on the next sign to examine.
#pragma once

#include "parser/line.h"
#include "parser/scan_state.h"
#include "score/note_length.h"
#include "tav/tav.h"

namespace tav::detail {

// The record's clef and time fields, its key signature (the `key` kept
// apart when it has one, which may hold nothing else, else the preamble at
// the start of the music `line`), and measure 1.
void read_header(ScanState& s, const tav::Record& record, const Line& key, const Line& line);

// The scanning loop over the music data, up to its end or a failure.
void scan_music(ScanState& s, Line& line, int32_t size);

// Groupings and ornaments.
void join_chord(ScanState& s);
void open_beam(ScanState& s);
void close_beam(ScanState& s);
void open_parenthesis(ScanState& s, const Line& line);
void close_numbered_tuplet(ScanState& s, const Line& line);
void close_parenthesis(ScanState& s, const Line& line);
void start_acciaccatura(ScanState& s);
void start_appoggiatura(ScanState& s, const Line& line);
void close_grace_group(ScanState& s);
void pass_group_bound(ScanState& s);
void repeat_group(ScanState& s, Line& line);

// The marks that groupings and ornaments put on a note just added, in this
// order: tuplet, beam, fermata, trill, slur, acciaccatura, appoggiatura.
void add_grouping_marks(ScanState& s, const Line& line, Note* note);

// Bars and measure-level signs. read_barline returns true when the music
// data ends at this sign.
bool read_barline(ScanState& s, const Line& line);
void read_colon(ScanState& s);
void read_measure_rest(ScanState& s, const Line& line);
void read_clef_change(ScanState& s, const Line& line);
void read_time_change(ScanState& s, const Line& line);
void read_key_change(ScanState& s, const Line& line);

// The last measure goes when nothing stands in it but a repeat start: no
// empty measure follows the music's last barline.
void drop_empty_last_measures(ScanState& s);

// A '+' after a chord ties each of its notes to the note of the same pitch
// in the next chord or note; run over the whole score once it is read.
void tie_chords(ScanState& s);

// Appends the clef attribute that a three-character clef code names (no
// attribute for an unknown letter), then clears the code.
void add_clef(ScanState& s, Measure* measure);

}  // namespace tav::detail
