// The per-record state of the parser. It lives for one call; nothing
// survives from one record to the next.
#pragma once

#include <cstdint>

#include "parser/line.h"
#include "parser/parser.h"
#include "parser/report.h"
#include "parser/search.h"
#include "score/score.h"
#include "score/written_values.h"

namespace tav::detail {

constexpr int32_t PATTERN_CAPACITY = 255;

// Limits that keep one record's score, and the time spent on it, bounded
// whatever the line holds. A record past any of them fails with "incipit
// too large". A build may lower them: the fuzzing build does, so that the
// largest records stay fast under the sanitizers.
#ifndef TAV_MAX_NOTES
#define TAV_MAX_NOTES 1000000
#endif
#ifndef TAV_MAX_MEASURES
#define TAV_MAX_MEASURES 100000
#endif
#ifndef TAV_MAX_MEASURE_ATTRIBUTES
#define TAV_MAX_MEASURE_ATTRIBUTES 1000000
#endif
#ifndef TAV_WORK_BASE
#define TAV_WORK_BASE 50000000
#endif
constexpr int64_t MAX_NOTES = TAV_MAX_NOTES;
constexpr int64_t MAX_MEASURES = TAV_MAX_MEASURES;
// Clefs, keys, barlines and multiple rests on the measures of one score.
constexpr int64_t MAX_MEASURE_ATTRIBUTES = TAV_MAX_MEASURE_ATTRIBUTES;
// Scanning steps, bytes passed over or searched, and records copied, per
// record: this much plus ten per byte of the line.
constexpr int64_t WORK_BASE = TAV_WORK_BASE;

struct ScanState {
    ScanState(const ConvertOptions& o, const MessageSink& c, ScorePools& p)
        : options(o), console(c), pools(p)
    {
    }

    const ConvertOptions& options;
    const MessageSink& console;
    ScorePools& pools;   // where the score is built

    // Record header.
    char clef_code[3] = {};
    char time_text[5] = {};
    int mensural = 0;                 // 1 for mensural notation
    int corrected_key = 0;            // fifths of a bracketed key signature
    int keysig_count = 0;             // fifths of the plain key signature
    TimeSignature* pending_time = nullptr;   // header time signature until measure 1 takes it

    // Position and measures.
    int32_t position = 0;
    int64_t origin = 0;               // where the music began in the record's line
    int32_t measure_number = 0;
    Measure* first_measure = nullptr;    // owns the score
    Measure* current_measure = nullptr;  // always the last measure of the chain
    int64_t notes_in_measure = 0;        // notes of current_measure so far
    const Attribute* last_place = nullptr;  // its last ATTR_AT_NOTE mark, if any

    // Notes.
    int32_t current_octave = 1;
    float current_duration = 1.0f;    // a quarter until the first note value
    int32_t dot_count = 0;
    int32_t pending_accidental = 0;
    WrittenValues written;            // see Incipit::written
    bool record_failed = false;
    bool too_large = false;           // failed at a size limit

    // Rhythmic pattern. The arrays count as existing while a pattern is
    // recorded or replayed; their contents are only read below pattern_length.
    float pattern_durations[PATTERN_CAPACITY];
    int32_t pattern_dots[PATTERN_CAPACITY];
    int32_t pattern_length = 0;
    int32_t pattern_index = 0;
    bool pattern_recording = false;
    bool pattern_replaying = false;

    // Groupings and ornaments.
    bool beam_open = false;
    bool beam_begin_pending = false;
    Note* beam_note = nullptr;          // the note of the open beam's last mark, while
    Attribute* beam_last_mark = nullptr;  // a begin or continue awaits its end
    int32_t tuplet_number = 0;
    bool tuplet_start_pending = false;
    bool fermata_pending = false;
    int32_t fermata_close = -1;       // the ')' of a one-note fermata such as «(4.C)»
    bool slur_open = false;
    bool acciaccatura_pending = false;
    bool appoggiatura_pending = false;
    int32_t grace_group_count = 0;
    bool grace_value = false;         // a value digit read since the last 'g' or 'q'
    bool chord_pending = false;       // '^': the next note joins the one before

    // Repetition: the octave, value and dots in force at each of the last
    // two '!' passed, so that a repeated group is read again as it was.
    struct GroupBound {
        int32_t position = -1;
        int32_t octave = 1;
        float duration = 1.0f;
        int32_t dots = 0;
    };
    GroupBound group_bounds[2];
    int32_t next_group_bound = 0;

    // Bars and measure-level signs.
    int repeat_pending = 0;
    char time_change_text[5] = {};
    const Measure* timed_measure = nullptr;  // the last to change the time; none: measure 1
    // The clef and key in force after the last measure mark added.
    int32_t clef_kind = 0;
    int32_t clef_line = 0;
    int32_t key_fifths = 0;

    // Size of the score built so far, and the work spent on the line.
    int64_t note_count = 0;
    int64_t measure_attribute_count = 0;
    SearchCaches searches;
};

// Starts a note or rest at the end of the current measure, counted against
// the note limit. Fails the record (and returns none) past the limit.
Note* append_note(ScanState& s, char step, int32_t octave, float duration);

// Appends a measure attribute, counted against its limit. Fails the record
// (and returns false) past the limit.
bool add_measure_mark(ScanState& s, Measure* measure, int32_t kind, int32_t value);

// A clef, key or time change after notes of the current measure stands
// where it is written: the mark of its place goes first.
bool mark_place(ScanState& s);

// Opens the measure after the current one (numbered measure_number + 1)
// and makes it current. Fails the record past the measure limit. Before
// the first note of the music nothing opens: measure 1 goes on.
bool open_next_measure(ScanState& s);

// True while measure 1 is current and holds no note yet.
bool at_empty_start(const ScanState& s);

// True for the kinds of clef marks.
constexpr bool is_clef(int32_t kind)
{
    return kind == ATTR_CLEF_G || kind == ATTR_CLEF_F || kind == ATTR_CLEF_C ||
           kind == ATTR_CLEF_G8;
}

// Fails the record with a reason (two-stream record error) and stops the
// scan. A record that has already failed is not reported twice.
void fail_record(ScanState& s, tav::MessageCode reason);
// Fails the record as too large for the converter's limits ("incipit too
// large"): it is then TooLarge, not Failed.
void fail_too_large(ScanState& s);

// Fails the record at the sign under `position`, which the converter
// cannot read (unrecognised-sign error), and stops the scan.
void fail_unrecognised(ScanState& s, unsigned char sign);

// Ends a rhythmic pattern: releases it and resets its counters.
void end_pattern(ScanState& s);

}  // namespace tav::detail
