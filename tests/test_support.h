// Helpers shared by the unit tests: parse a record held in a string with its
// console texts captured, dump a score as a compact string, and build notes.
#pragma once

#include <cstdio>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "parser/convert.h"
#include "score/pool.h"
#include "score/score.h"
#include "writer/output.h"
#include "writer/xml_text.h"

namespace test_support {

// A FILE* collecting what is written to it (a temporary file, so that this
// works wherever the C library has no memory streams).
class CapturedStream {
public:
    CapturedStream() : file_(std::tmpfile()) {}
    ~CapturedStream()
    {
        if (file_ != nullptr)
            std::fclose(file_);
    }
    CapturedStream(const CapturedStream&) = delete;
    CapturedStream& operator=(const CapturedStream&) = delete;

    std::FILE* file() const { return file_; }
    // Everything written since the last call.
    std::string text()
    {
        std::string s;
        if (file_ == nullptr)
            return s;
        std::fflush(file_);
        std::fseek(file_, taken_, SEEK_SET);
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file_)) > 0;)
            s.append(chunk, n);
        taken_ = std::ftell(file_);
        return s;
    }

private:
    std::FILE* file_;
    long taken_ = 0;
};

// The pools every score of the unit tests is built in.
inline ScorePools& test_pools()
{
    static ScorePools pools;
    return pools;
}

// Where a parse's messages and trace go, as strings.
struct Captured {
    std::vector<tav::Message> messages;
    std::string out;
    std::function<void(std::string_view)> trace = [this](std::string_view t) { out += t; };
    Console console() { return Console{&messages, &trace}; }
    // The messages as the program prints them on standard error and in the log.
    void print(int32_t incipit_id, const char* incipit_nb, std::string& err, std::string& log)
    {
        tav::Result r;
        r.identifier = incipit_id;
        r.number = incipit_nb;
        r.messages = messages;
        CapturedStream e, l;
        tav::print_messages(r, e.file(), l.file());
        err = e.text();
        log = l.text();
    }
};

// Measure 1 gets the G clef on line 2 and the time 4/4; the music starts at 21.
inline constexpr const char* kHeader = "123456789\t1\tG-2\t4/4\t\t";
inline constexpr int kMusicStart = 21;
// Measure 1 gets no clef and no time signature.
inline constexpr const char* kBareHeader = "123456789\t1\t\\-\t\\-\t\t";

// The log text of a record error or warning; standard error adds a note.
inline std::string log_entry(const std::string& kind, const std::string& incipit,
                             const std::string& text)
{
    return "\n" + kind + ",\n incipit: " + incipit + ", " + text + "\n";
}
inline std::string err_entry(const std::string& kind, const std::string& incipit,
                             const std::string& text)
{
    return log_entry(kind, incipit, text) + "...outputting to log file\n\n";
}

// One record parsed in process. Owns the score.
struct Parsed {
    ParseStatus status = ParseStatus::Failed;
    Incipit incipit;
    std::string line;  // the buffer after the parse (the scan may rewrite it)
    std::string out, err, log;

    Parsed() = default;
    Parsed(const Parsed&) = delete;
    Parsed& operator=(const Parsed&) = delete;

    const Measure* first() const { return incipit.first_measure; }
    bool ok() const { return status == ParseStatus::Parsed; }
};

// Parses `record` as the driver hands it over: the text, a line feed unless
// `add_line_feed` is false, then `padding` zero bytes.
inline void parse_into(Parsed& p, const std::string& record, ConvertOptions options = {},
                       bool add_line_feed = true, size_t padding = 8)
{
    std::string buffer = record + (add_line_feed ? "\n" : "") + std::string(padding, '\0');
    Captured captured;
    p.status = parse_incipit(buffer.data(), static_cast<int32_t>(buffer.size()), options,
                             captured.console(), test_pools(), p.incipit);
    // Too large is a failure like any other here; the error's text tells which.
    if (p.status == ParseStatus::TooLarge)
        p.status = ParseStatus::Failed;
    p.line = buffer;
    p.out = captured.out;
    captured.print(p.incipit.incipit_id, p.incipit.incipit_nb, p.err, p.log);
}

// The music `music` after the standard header.
inline void parse_music(Parsed& p, const std::string& music, ConvertOptions options = {})
{
    parse_into(p, kHeader + music, options);
}

// "kind=value,..." (just "kind" for value 0) in list order.
inline std::string dump_attributes(const Attribute* a)
{
    std::string s;
    for (; a != nullptr; a = a->next) {
        s.append(s.empty() ? "" : ",").append(std::to_string(a->kind));
        if (a->value != 0)
            s += '=' + std::to_string(a->value);
    }
    return s;
}

// "C1:0.5[20=1,21=2]": step, octave, undotted duration, marks; blank-separated.
inline std::string dump_notes(const Measure* m)
{
    std::string s;
    for (const Note* n = m->first_note; n != nullptr; n = n->next) {
        char duration[32];
        std::snprintf(duration, sizeof duration, "%g", static_cast<double>(n->duration));
        s.append(s.empty() ? "" : " ").append(1, n->step).append(std::to_string(n->octave));
        s.append(":").append(duration);
        if (n->first_attribute != nullptr)
            s += '[' + dump_attributes(n->first_attribute) + ']';
    }
    return s;
}

// Every measure as "NUMBER{measure marks}@BEATS/TYPE:notes", joined by " | ";
// with `notes_only`, just the notes.
inline std::string dump_score(const Measure* first, bool notes_only = false)
{
    std::string s;
    for (const Measure* m = first; m != nullptr; m = m->next) {
        if (m != first)
            s += " | ";
        if (!notes_only) {
            s += std::to_string(m->number);
            if (m->first_attribute != nullptr)
                s += '{' + dump_attributes(m->first_attribute) + '}';
            if (m->rhythm != nullptr)
                s += '@' + std::to_string(m->rhythm->beats) + '/' +
                     std::to_string(m->rhythm->beat_type);
            s += ':';
        }
        s += dump_notes(m);
    }
    return s;
}

inline std::string dump_all_notes(const Measure* first) { return dump_score(first, true); }

inline int count_measures(const Measure* m)
{
    int n = 0;
    for (; m != nullptr; m = m->next)
        ++n;
    return n;
}

inline std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

// The whole file tests/data/NAME.
inline std::string read_data_file(const std::string& name)
{
    std::string path = __FILE__;
    std::ifstream in(path.substr(0, path.find_last_of("/\\") + 1) + "data/" + name,
                     std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Attributes for building notes directly: {kind, value} pairs.
using Marks = std::vector<std::pair<int32_t, int32_t>>;

inline Note* make_note(char step, int32_t octave, float duration, const Marks& marks = {})
{
    Note* n = create_note(test_pools(), step, octave, duration, nullptr);
    for (auto [kind, value] : marks)
        add_note_attrib(create_attribute(test_pools(), kind, value, nullptr), n);
    return n;
}

// The note elements that write_notes gives for the notes of `m`.
inline std::string render_notes(const Measure* m, float divisions, int32_t fifths,
                                MeasureAccidentals& memory)
{
    std::string out;
    XmlText xml(out);
    write_notes(xml, m->first_note, divisions, fifths, memory);
    return out;
}

}  // namespace test_support
