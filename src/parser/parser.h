// The parser: one record in, one score (an Incipit) out.
#pragma once

#include <cstdint>
#include <string_view>
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

// The bytes a key kept apart from the music takes at the start of the
// music field, as the tab export writes it ("$KEY "): none for no key.
inline std::int64_t key_field_size(std::string_view key)
{
    return key.empty() ? 0 : static_cast<std::int64_t>(key.size()) + (key[0] == '$' ? 1 : 2);
}

// Reads the score of a record whose header was read without error into
// `incipit`, built in `pools` (the score it held before is given back
// first). The music is copied into `scratch`, which the repetition sign
// rewrites and which the caller may keep for the next record. Messages go
// to `console`; the positions they give count from the start of the line
// the record was read from. A key kept apart is read as a key signature,
// before the music.
ParseStatus parse_incipit(const tav::Record& record, std::vector<char>& scratch,
                          const ConvertOptions& options, const MessageSink& console,
                          ScorePools& pools, Incipit& incipit);

}  // namespace tav::detail
