// Helpers shared by the unit tests: parse a record held in a string with
// its console texts captured, dump a score as a compact string, and turn
// depth-prefixed lines into document text.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "parser/convert.h"
#include "score/score.h"
#include "writer/output.h"
#include "writer/xml_text.h"

namespace test_support {

// A header whose measure 1 gets the G clef on line 2 and the time 4/4; the
// music starts at index 21.
inline constexpr const char* kHeader = "123456789\t1\tG-2\t4/4\t\t";
inline constexpr int kMusicStart = 21;
// A header that gives measure 1 no clef and no time signature.
inline constexpr const char* kBareHeader = "123456789\t1\t\\-\t\\-\t\t";

// A FILE* that collects what is written to it (a temporary file, so that
// the helper works wherever the C library has no memory streams).
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
    std::string text()
    {
        std::string s;
        if (file_ == nullptr)
            return s;
        std::fflush(file_);
        std::rewind(file_);
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file_)) > 0;)
            s.append(chunk, n);
        return s;
    }

private:
    std::FILE* file_;
};

// One record parsed in process. Owns the score.
struct Parsed {
    ParseStatus status = ParseStatus::Failed;
    Incipit incipit;
    std::string line;   // the buffer after the parse (the scan may rewrite it)
    std::string out, err, log;

    Parsed() = default;
    Parsed(const Parsed&) = delete;
    Parsed& operator=(const Parsed&) = delete;
    ~Parsed() { destroy_measure(incipit.first_measure); }

    const Measure* first() const { return incipit.first_measure; }
    bool ok() const { return status == ParseStatus::Parsed; }
};

// Parses `record` as the driver would hand it over: the text, a line feed
// unless `add_line_feed` is false, then zero bytes up to `padding` more.
inline void parse_into(Parsed& p, const std::string& record, ConvertOptions options = {},
                       bool add_line_feed = true, size_t padding = 8)
{
    std::string buffer = record;
    if (add_line_feed)
        buffer += '\n';
    buffer.append(padding, '\0');
    CapturedStream out, err, log;
    Console console{out.file(), err.file(), log.file()};
    p.status = parse_incipit(buffer.data(), static_cast<int32_t>(buffer.size()), options,
                             console, p.incipit);
    p.line = buffer;
    p.out = out.text();
    p.err = err.text();
    p.log = log.text();
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
        if (!s.empty())
            s += ',';
        s += std::to_string(a->kind);
        if (a->value != 0)
            s += '=' + std::to_string(a->value);
    }
    return s;
}

// "C1:0.5[20=1,21=2]": step, octave, undotted duration, marks.
inline std::string dump_note(const Note* n)
{
    char duration[32];
    std::snprintf(duration, sizeof duration, "%g", static_cast<double>(n->duration));
    std::string s(1, n->step);
    s += std::to_string(n->octave);
    s += ':';
    s += duration;
    if (n->first_attribute != nullptr)
        s += '[' + dump_attributes(n->first_attribute) + ']';
    return s;
}

// The notes of one measure, separated by blanks.
inline std::string dump_notes(const Measure* m)
{
    std::string s;
    for (const Note* n = m->first_note; n != nullptr; n = n->next) {
        if (!s.empty())
            s += ' ';
        s += dump_note(n);
    }
    return s;
}

// Every measure as "NUMBER{measure marks}@BEATS/TYPE:notes", joined by " | ";
// the marks and the time appear only when present.
inline std::string dump_score(const Measure* first)
{
    std::string s;
    for (const Measure* m = first; m != nullptr; m = m->next) {
        if (!s.empty())
            s += " | ";
        s += std::to_string(m->number);
        if (m->first_attribute != nullptr)
            s += '{' + dump_attributes(m->first_attribute) + '}';
        if (m->rhythm != nullptr)
            s += '@' + std::to_string(m->rhythm->beats) + '/' +
                 std::to_string(m->rhythm->beat_type);
        s += ':' + dump_notes(m);
    }
    return s;
}

// The notes of every measure, joined by " | ".
inline std::string dump_all_notes(const Measure* first)
{
    std::string s;
    for (const Measure* m = first; m != nullptr; m = m->next) {
        if (m != first)
            s += " | ";
        s += dump_notes(m);
    }
    return s;
}

inline int count_measures(const Measure* m)
{
    int n = 0;
    for (; m != nullptr; m = m->next)
        ++n;
    return n;
}

inline const Measure* last_measure(const Measure* m)
{
    while (m->next != nullptr)
        m = m->next;
    return m;
}

// Lines written as "DEPTH TEXT" without the blank, such as "3<note>", to the
// document text: DEPTH tabs, the text, a line feed.
inline std::string xml_lines(std::initializer_list<const char*> lines)
{
    std::string s;
    for (const char* l : lines) {
        s.append(static_cast<size_t>(l[0] - '0'), '\t');
        s += l + 1;
        s += '\n';
    }
    return s;
}

// Splits text into lines (without their line feeds).
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
    path = path.substr(0, path.find_last_of("/\\") + 1) + "data/" + name;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Attributes for building notes directly: {kind, value} pairs.
using Marks = std::vector<std::pair<int32_t, int32_t>>;

inline Note* make_note(char step, int32_t octave, float duration, const Marks& marks = {})
{
    Note* n = create_note(step, octave, duration, nullptr);
    for (auto [kind, value] : marks)
        add_note_attrib(create_attribute(kind, value, nullptr), n);
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
