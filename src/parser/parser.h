// The parser: one record line in, one Incipit out.
#pragma once

#include <cstdint>

#include "parser/report.h"
#include "score/incipit.h"

// The option letters that reach the parser.
struct ConvertOptions {
    int remove_mensural = 0;       // m
    int remove_measure_rests = 0;  // r
    int verbose = 0;               // v
    int no_xml = 0;                // x
};

enum class ParseStatus {
    Parsed,     // `incipit` holds the score
    Failed,     // the record has an error; no score
    TooLarge,   // the record passed a size limit; no score
    Blank,      // a blank line
};

// Reads one record line (`size` bytes of buffer, see parser/line.h) into
// `incipit`, whose score is built in `pools` (the score it held before is
// given back first). Messages go to
// `console`. The line may be rewritten (the repetition sign). The header
// values are set as far as they were read, whatever the outcome.
ParseStatus parse_incipit(char* line, int32_t size, const ConvertOptions& options,
                          const Console& console, ScorePools& pools, Incipit& incipit);
