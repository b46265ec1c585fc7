// The parser: one record in, one score (an Incipit) out.
#pragma once

#include <cstdint>
#include <vector>

#include "parser/report.h"
#include "score/incipit.h"
#include "tav/tav.h"

namespace tav::detail {

// The option letters that reach the parser.
struct ConvertOptions {
    int remove_mensural = 0;       // m
    int remove_measure_rests = 0;  // r
    int verbose = 0;               // v
};

enum class ParseStatus {
    Parsed,     // `incipit` holds the score
    Failed,     // the record has an error; no score
    TooLarge,   // the record passed a size limit; no score
};

// Reads the score of a record whose header was read without error into
// `incipit`, built in `pools` (the score it held before is given back
// first). The music is copied into `scratch`, which the repetition sign
// rewrites and which the caller may keep for the next record. Messages go
// to `console`; the positions they give count from the start of the line
// the record was read from.
ParseStatus parse_incipit(const tav::Record& record, std::vector<char>& scratch,
                          const ConvertOptions& options, const Console& console,
                          ScorePools& pools, Incipit& incipit);

}  // namespace tav::detail
