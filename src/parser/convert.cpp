// One record into one score: the header values, then the scan of the
// music data.

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "parser/convert.h"
#include "parser/handlers.h"
#include "parser/parser.h"

namespace tav::detail {

namespace {

// Zero bytes after the copied music: the parser reads none of them, but
// the music ends at one.
constexpr size_t kMusicPadding = 8;

// `text` into `scratch` from `at`, followed by zero bytes. Returns the
// bytes readable.
int32_t copy_text(std::string_view text, std::vector<char>& scratch, size_t at)
{
    size_t size = text.size() + kMusicPadding;
    if (scratch.size() < at + size)
        scratch.resize(at + size);
    char* p = std::copy(text.begin(), text.end(), scratch.data() + at);
    std::memset(p, 0, kMusicPadding);
    return static_cast<int32_t>(size);
}

}  // namespace

ParseStatus parse_incipit(const tav::Record& record, std::vector<char>& scratch,
                          const ConvertOptions& options, const MessageSink& console,
                          ScorePools& pools, Incipit& incipit)
{
    incipit.release();
    incipit.pools = &pools;
    // The music, and after it a key kept apart, each read on its own.
    int32_t size = copy_text(record.music, scratch, 0);
    Line key{nullptr, 0, 0};
    if (!record.key.empty()) {
        int32_t key_size = copy_text(record.key, scratch, static_cast<size_t>(size));
        key = make_line(scratch.data() + size, key_size);
    }
    Line line = make_line(scratch.data(), size);

    ScanState s(options, console, pools);
    // Positions count as if the key stood at the start of the music field.
    s.origin = record.music_position + key_field_size(record.key);
    try {
        read_header(s, record, key, line);
        scan_music(s, line, size);
        if (!s.record_failed) {
            drop_empty_last_measures(s);
            tie_chords(s);
        }
    } catch (...) {
        // Only the caller's trace throws: the partial score goes back to
        // the pools before the exception leaves.
        destroy_time_signature(s.pools, s.pending_time);
        destroy_measure(s.pools, s.first_measure);
        throw;
    }

    destroy_time_signature(s.pools, s.pending_time);
    end_pattern(s);
    if (s.record_failed) {
        destroy_measure(s.pools, s.first_measure);
        return s.too_large ? ParseStatus::TooLarge : ParseStatus::Failed;
    }
    incipit.first_measure = s.first_measure;
    incipit.written = s.written;
    incipit.mensural = s.mensural;
    incipit.corrected_key = s.corrected_key;
    return ParseStatus::Parsed;
}

}  // namespace tav::detail
