// Converting one record line into one score, and the score into a file.
#pragma once

#include <cstdint>

#include "parser/line.h"
#include "parser/report.h"
#include "parser/scan_state.h"
#include "score/score.h"

// Time-signature text of up to five characters (zero bytes after a shorter
// one) to a new Rhythm; clears the five characters before it returns.
Rhythm* rhythm_convert(char text[5]);

// Count of fifths of the key signature whose sign ('x' or 'b') stands at
// `position`: the letters B, E, A, D, G, C, F directly after it, negated
// for flats; 0 for any other sign.
int32_t get_keysig(const Line& line, int32_t position);

// The same count with brackets inside the key signature passed over.
int32_t get_alt_keysig(const Line& line, int32_t position);

// Least common multiple of two durations-per-quarter values; 0 when either
// is 0.
int32_t lcm(int32_t a, int32_t b);

// One parsed record, ready for the writer.
struct Incipit {
    Measure* first_measure = nullptr;  // the whole score; owned by the holder
    float divisions = 2.0f;
    int32_t incipit_id = 0;
    char incipit_nb[INCIPIT_NB_MAX + 1] = {};
    int mensural = 0;
    int corrected_key = 0;
};

enum class ParseStatus {
    Parsed,   // `incipit` holds the score
    Failed,   // the record was reported and its score freed
    Blank,    // a blank line: the run ends here
};

// Reads one record line (`size` bytes of buffer) into a score. Messages go
// to `console`. The line may be rewritten (the repetition sign).
ParseStatus parse_incipit(char* line, int32_t size, const ConvertOptions& options,
                          const Console& console, Incipit& incipit);

enum class RecordResult {
    Written,     // the file was written
    Discarded,   // parsed, but files are suppressed
    Failed,      // reported on both streams; no file
    EndOfRun,    // a blank line
};

// Parses one record and writes its file (unless files are suppressed).
RecordResult convert_record(char* line, int32_t size, const ConvertOptions& options,
                            const Console& console);

// The record converter as the batch driver calls it: messages go to the
// console and to `errlog`; a blank line ends the process with status 0.
void convert_incipit(char* line, int32_t size, int remove_mensural, int remove_measure_rests,
                     int verbose, int no_xml);
