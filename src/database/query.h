// A melody to look for, as a user writes it: in the code ("'4C8DE/2F"),
// as chromatic intervals ("+2 +2 +1") or as a gross contour ("UUD").
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tav::db {

enum class QueryKind { Code, Intervals, Contour };

// The longest query read, in bytes, and the most notes it may hold.
inline constexpr std::size_t kMaxQueryBytes = 4096;
inline constexpr std::size_t kMaxQueryNotes = 256;

struct Query {
    QueryKind kind = QueryKind::Code;
    std::vector<int> intervals;      // semitones between its notes (all kinds but Contour)
    std::vector<int> midi;           // Code: the MIDI keys of its notes
    std::vector<double> durations;   // Code: the notes' lengths in quarters
    std::string contour;             // Contour: U, D and R
};

// Reads `text` as a query: a contour when it holds only the letters U, D
// and R; intervals when it holds only signed or unsigned whole numbers
// apart by spaces or commas; else music in the code (its rests passed by,
// ties joined, the highest note of a chord). False, with `error` saying
// why, for an empty, overlong or unreadable query, or one of fewer than two
// notes (one interval, one contour letter).
bool parse_query(std::string_view text, Query& query, std::string& error);

struct SearchOptions {
    bool exact_pitch = false;   // the notes' pitches, not only their intervals
    bool rhythm = false;        // the notes' lengths too (a query in the code)
    int hits = 10;              // the most hits given
};

// False, saying why, when the options do not go with the query: pitch or
// rhythm without music in the code, or fewer than one hit.
bool check_options(const Query& query, const SearchOptions& options, std::string& error);

}  // namespace tav::db
