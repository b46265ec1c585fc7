// One record into one score: the header values, then the scan of the
// music data.

#include <cstring>

#include "parser/convert.h"
#include "parser/handlers.h"

namespace tav::detail {

namespace {

// Zero bytes after the copied music: the parser reads none of them, but
// the music ends at one.
constexpr size_t kMusicPadding = 8;

// The music as the parser reads it, into `scratch`: a key signature kept
// apart comes first, as the music would write it. Returns the bytes
// readable.
int32_t copy_music(const tav::Record& record, std::vector<char>& scratch)
{
    size_t prefix = record.key.empty() ? 0 : record.key.size() + (record.key[0] == '$' ? 1 : 2);
    size_t size = prefix + record.music.size() + kMusicPadding;
    if (scratch.size() < size)
        scratch.resize(size);
    char* p = scratch.data();
    if (prefix != 0) {
        if (record.key[0] != '$')
            *p++ = '$';
        p = std::copy(record.key.begin(), record.key.end(), p);
        *p++ = ' ';
    }
    p = std::copy(record.music.begin(), record.music.end(), p);
    std::memset(p, 0, kMusicPadding);
    return static_cast<int32_t>(size);
}

}  // namespace

ParseStatus parse_incipit(const tav::Record& record, std::vector<char>& scratch,
                          const ConvertOptions& options, const Console& console,
                          ScorePools& pools, Incipit& incipit)
{
    incipit.release();
    incipit.pools = &pools;
    int32_t size = copy_music(record, scratch);
    Line line = make_line(scratch.data(), size);

    ScanState s(options, console, pools);
    s.incipit_nb = record.number.c_str();
    // A key kept apart stands at the start of the music field.
    s.origin = record.music_position;
    try {
        read_header(s, record, line);
        scan_music(s, line, size);
        if (!s.record_failed) {
            drop_empty_last_measures(s);
            tie_chords(s);
        }
    } catch (...) {
        // Only the caller's trace throws: the partial score goes back to
        // the pools before the exception leaves.
        destroy_rhythm(s.pools, s.pending_time);
        destroy_measure(s.pools, s.first_measure);
        throw;
    }

    destroy_rhythm(s.pools, s.pending_time);
    end_pattern(s);
    if (s.record_failed) {
        destroy_measure(s.pools, s.first_measure);
        return s.too_large ? ParseStatus::TooLarge : ParseStatus::Failed;
    }
    incipit.first_measure = s.first_measure;
    incipit.quarter_units = s.quarter_units;
    incipit.plain_lengths = !s.length_marks;
    incipit.mensural = s.mensural;
    incipit.corrected_key = s.corrected_key;
    return ParseStatus::Parsed;
}

}  // namespace tav::detail
