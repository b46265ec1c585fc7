// Queries read from what a user writes.

#include "query.h"

#include <cctype>
#include <cstdlib>

#include "tav/melody.h"
#include "tav/tav.h"

namespace tav::db {

namespace {

constexpr int kMaxInterval = 127;   // semitones; a MIDI key's whole range

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
// What stands between intervals: a blank or a comma. In music a comma is
// an octave mark, and stays.
bool is_space(char c) { return is_blank(c) || c == ','; }

std::string_view trimmed(std::string_view text, bool (*space)(char))
{
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    return text;
}

bool is_contour(std::string_view text)
{
    for (char c : text)
        if (c != 'U' && c != 'D' && c != 'R')
            return false;
    return true;
}

bool is_interval_list(std::string_view text)
{
    for (char c : text)
        if (!is_space(c) && c != '+' && c != '-' && !std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

bool read_intervals(std::string_view text, Query& q, std::string& error)
{
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && is_space(text[i]))
            ++i;
        std::size_t start = i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        std::size_t digits = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && i - digits < 4)
            ++i;
        if (i == digits || (i < text.size() && !is_space(text[i]))) {
            error = "the query's intervals are whole numbers of semitones apart by spaces, e.g. "
                    "\"+2 +2 -1\"; \"" + std::string(text.substr(start, i + 1 - start)) +
                    "\" is not one";
            return false;
        }
        int value = std::atoi(std::string(text.substr(digits, i - digits)).c_str());
        if (value > kMaxInterval) {
            error = "an interval of the query is larger than " + std::to_string(kMaxInterval) +
                    " semitones";
            return false;
        }
        q.intervals.push_back(text[start] == '-' ? -value : value);
    }
    return true;
}

bool read_code(std::string_view text, Query& q, std::string& error)
{
    Record record;
    record.identifier = "1";
    record.number = "1";
    record.clef = "G-2";
    record.music = std::string(text);
    Options options;
    options.parse_only = true;
    options.melody = true;
    Converter converter;
    const Result& r = converter.convert(record, options);
    if (!r.ok()) {
        error = "the query is not a melody in the code";
        if (!r.messages.empty())
            error += ": " + r.messages.back().text;
        return false;
    }
    for (const MelodyNote& n : r.melody.notes) {
        if (n.rest())
            continue;
        q.midi.push_back(n.midi);
        q.durations.push_back(n.duration);
    }
    q.intervals = chromatic_intervals(r.melody);
    return true;
}

}  // namespace

bool parse_query(std::string_view text, Query& query, std::string& error)
{
    query = Query();
    if (text.size() > kMaxQueryBytes) {
        error = "the query is too long: more than " + std::to_string(kMaxQueryBytes) + " bytes";
        return false;
    }
    std::string_view music = trimmed(text, is_blank);
    text = trimmed(text, is_space);
    if (text.empty()) {
        error = "the query is empty: give a melody in the code ('4C8DE/2F), intervals "
                "(+2 +2 +1) or a contour (UUD)";
        return false;
    }
    bool ok;
    if (is_contour(text)) {
        query.kind = QueryKind::Contour;
        query.contour = std::string(text);
        ok = true;
    } else if (is_interval_list(text)) {
        query.kind = QueryKind::Intervals;
        ok = read_intervals(text, query, error);
    } else {
        query.kind = QueryKind::Code;
        ok = read_code(music, query, error);
    }
    if (!ok)
        return false;
    std::size_t steps = query.kind == QueryKind::Contour ? query.contour.size() : query.intervals.size();
    if (steps == 0) {
        const char* as[] = {"read as music in the code, it holds fewer",
                            "one interval is two notes", "one contour letter is two notes"};
        error = std::string("the query needs at least two notes (") +
                as[static_cast<int>(query.kind)] + ")";
        return false;
    }
    if (steps >= kMaxQueryNotes) {
        error = "the query has too many notes: at most " + std::to_string(kMaxQueryNotes);
        return false;
    }
    return true;
}

bool check_options(const Query& query, const SearchOptions& options, std::string& error)
{
    if ((options.exact_pitch || options.rhythm) && query.kind != QueryKind::Code) {
        error = "the query's exact pitch and rhythm need a melody in the code, e.g. '4C8DE/2F";
        return false;
    }
    if (options.hits < 1) {
        error = "the number of hits is at least 1";
        return false;
    }
    return true;
}

}  // namespace tav::db
