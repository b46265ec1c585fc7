// One record line into one score: the blank-line test, the header and the
// scan of the music data.

#include <cstring>

#include "parser/convert.h"
#include "parser/handlers.h"

static_assert(sizeof(Incipit::incipit_nb) >= sizeof(ScanState::incipit_nb));

ParseStatus parse_incipit(char* buffer, int32_t size, const ConvertOptions& options,
                          const Console& console, ScorePools& pools, Incipit& incipit)
{
    incipit.release();
    incipit.pools = &pools;
    Line line = make_line(buffer, size);
    if (line.at(0) == '\n' || line.at(0) == '\r')
        return ParseStatus::Blank;

    ScanState s(options, console, pools);
    try {
        if (read_header(s, line))
            scan_music(s, line, size);
    } catch (...) {
        // Only the caller's trace throws: the partial score goes back to
        // the pools before the exception leaves.
        destroy_rhythm(s.pools, s.pending_time);
        destroy_measure(s.pools, s.first_measure);
        throw;
    }
    if (!s.record_failed)
        settle_durations(s);

    destroy_rhythm(s.pools, s.pending_time);
    end_pattern(s);
    incipit.incipit_id = s.incipit_id;
    std::memset(incipit.incipit_nb, 0, sizeof incipit.incipit_nb);
    std::memcpy(incipit.incipit_nb, s.incipit_nb, sizeof s.incipit_nb);
    if (s.record_failed) {
        destroy_measure(s.pools, s.first_measure);
        return s.too_large ? ParseStatus::TooLarge : ParseStatus::Failed;
    }
    incipit.first_measure = s.first_measure;
    incipit.divisions = s.divisions;
    incipit.mensural = s.mensural;
    incipit.corrected_key = s.corrected_key;
    return ParseStatus::Parsed;
}
