// Helpers shared by the unit tests.
//
// - Parsed / parse_into: one record parsed in process, with its console texts.
// - dump_score: a score as compact text ("NUMBER {kind=value,...} BEATS/TYPE:
//   STEP OCTAVE:DURATION[marks] ..."), one line per measure; kinds of marks
//   and accidentals by name ("final", "acc=sharp").
// - each_row: the case-table helper. A table is a plain array of structs whose
//   first member names the row; each_row runs a check on every row and names
//   the row in any failure. To add a case, add a row.
// - expect_golden: the golden-file check. Compares a text with the file
//   tests/data/NAME; with TAV_UPDATE_GOLDEN=1 in the environment it writes
//   the file instead (then review the change with git diff).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "parser/convert.h"
#include "score/pool.h"
#include "score/score.h"
#include "tav/batch.h"
#include "tav/formats.h"
#include "writer/output.h"

namespace test_support {

// The tests read the library's internals by their plain names.
using namespace tav::detail;

// tests/data/NAME.
inline std::string data_path(const std::string& name)
{
    std::string path = __FILE__;
    return path.substr(0, path.find_last_of("/\\") + 1) + "data/" + name;
}

inline std::string read_file(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// A document with the version the converter names itself by (its
// encoding's software) written VERSION, so that goldens outlive a release.
inline std::string version_named(std::string text)
{
    for (std::string_view name : {"<software>tav " TAV_VERSION_STRING "<",
                                  "<application version=\"" TAV_VERSION_STRING "\""}) {
        const std::string named =
            std::string(name.substr(0, name.size() - std::strlen(TAV_VERSION_STRING) - 1)) +
            "VERSION" + name.back();
        for (size_t at = 0; (at = text.find(name, at)) != std::string::npos; at += named.size())
            text.replace(at, name.size(), named);
    }
    return text;
}

// Each line of the case table tests/data/NAME, blank lines and comments
// ('#') left out, split into its first word and the rest.
inline void each_table_line(
    const std::string& name,
    const std::function<void(const std::string& word, const std::string& rest,
                             const std::string& line)>& take)
{
    std::istringstream table(read_file(data_path(name)));
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::string word = line.substr(0, line.find(' '));
        take(word, line.substr(std::min(line.size(), word.size() + 1)), line);
    }
}

// A table's text with \r, \t, \n and \xHH as their bytes.
inline std::string unescaped(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
        } else if (text[++i] == 'x') {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i] == 'r' ? '\r' : text[i] == 't' ? '\t' : text[i] == 'n' ? '\n' : text[i];
        }
    }
    return out;
}

inline void expect_golden(const std::string& name, const std::string& actual)
{
    const std::string path = data_path(name);
    if (const char* update = std::getenv("TAV_UPDATE_GOLDEN"); update && *update == '1') {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    std::string expected = read_file(path);
    ASSERT_FALSE(expected.empty()) << "no golden file " << path;
    size_t at = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end())
                    .first - actual.begin();
    size_t line = actual.rfind('\n', at) == std::string::npos ? 0 : actual.rfind('\n', at) + 1;
    EXPECT_TRUE(actual == expected) << name << " differs at: " << actual.substr(line, 200)
                                    << "\n(TAV_UPDATE_GOLDEN=1 rewrites the file)";
}

template <typename Row, size_t N, typename Check>
void each_row(const Row (&rows)[N], Check check)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "row " << ::testing::PrintToString(row.name));
        check(row);
    }
}

// A FILE* collecting what is written to it (a temporary file: portable).
class CapturedStream {
public:
    CapturedStream() : file_(std::tmpfile()) {}
    ~CapturedStream()
    {
        if (file_ != nullptr)
            std::fclose(file_);
    }
    CapturedStream(const CapturedStream&) = delete;
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
    MessageSink console() { return MessageSink{&messages, &trace}; }
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

// A record line read and its score parsed as the converter does it: the
// header's messages first, then the parser's. A line the header rules
// refuse (a blank one too) gives Failed.
inline ParseStatus read_and_parse(std::string_view line, const ConvertOptions& options,
                                  Captured& captured, tav::RecordReading& reading,
                                  Incipit& incipit)
{
    static std::vector<char> scratch;
    reading = tav::read_record(line);
    captured.messages = reading.messages;
    if (!reading.ok())
        return ParseStatus::Failed;
    return parse_incipit(reading.record, scratch, options, captured.console(), test_pools(),
                         incipit);
}

// The identifier's value, 0 when none was read.
inline int32_t identifier_of(const tav::Record& record)
{
    return record.identifier.empty() ? 0 : std::stoi(record.identifier);
}

// The MusicXML document of a score; `slurred` receives the count of ties
// written as slurs.
inline std::string document_of(const tav::Record& record, const Incipit& incipit,
                               const DocumentInfo& info = {}, int64_t* slurred = nullptr,
                               tav::DocumentWriter writer = render_score)
{
    DocumentBuffer text;
    int64_t n = writer(record, incipit, text, info);
    if (slurred != nullptr)
        *slurred = n;
    return std::string(text.bytes.data(), text.length);
}

// One record parsed in process. Owns the score.
struct Parsed {
    ParseStatus status = ParseStatus::Failed;
    bool blank = false;
    tav::RecordReading reading;
    Incipit incipit;
    std::string out, err, log;

    Parsed() = default;
    Parsed(const Parsed&) = delete;
    Parsed& operator=(const Parsed&) = delete;

    std::string document() const { return document_of(reading.record, incipit); }
};

// Parses `record` as the converter does.
inline void parse_into(Parsed& p, const std::string& record, ConvertOptions options = {})
{
    Captured captured;
    p.status = read_and_parse(record, options, captured, p.reading, p.incipit);
    if (p.status == ParseStatus::TooLarge)  // its error's text tells it from other failures
        p.status = ParseStatus::Failed;
    p.blank = p.reading.blank;
    p.out = captured.out;
    for (const tav::Message& m : captured.messages)  // every text has its stable code
        EXPECT_NE(m.code, "other") << m.text;
    captured.print(identifier_of(p.reading.record), p.reading.record.number.c_str(), p.err,
                   p.log);
}

// The name a dump gives a kind of mark (the number for a kind the score
// model does not define).
inline std::string kind_name(int32_t kind)
{
    switch (kind) {
    case ATTR_KEY: return "key";
    case ATTR_MULTIPLE_REST: return "rests";
    case ATTR_CLEF_G: return "clefG";
    case ATTR_CLEF_F: return "clefF";
    case ATTR_CLEF_C: return "clefC";
    case ATTR_CLEF_G8: return "clefG8";
    case ATTR_DOTS: return "dots";
    case ATTR_ACCIDENTAL: return "acc";
    case ATTR_FERMATA: return "fermata";
    case ATTR_TRILL: return "trill";
    case ATTR_ACCIACCATURA: return "acciacc";
    case ATTR_APPOGGIATURA: return "appogg";
    case ATTR_SLUR_START: return "slur";
    case ATTR_SLUR_STOP: return "/slur";
    case ATTR_MEASURE_REST: return "mrest";
    case ATTR_CHORD: return "chord";
    case ATTR_CHORD_TIE: return "chord+";
    case ATTR_TUPLET_START: return "tuplet";
    case ATTR_TUPLET_CONTINUE: return "tuplet~";
    case ATTR_TUPLET_STOP: return "/tuplet";
    case ATTR_BEAM_BEGIN: return "beam";
    case ATTR_BEAM_CONTINUE: return "beam~";
    case ATTR_BEAM_END: return "/beam";
    case ATTR_BAR_DOUBLE: return "double";
    case ATTR_BAR_FINAL: return "final";
    case ATTR_REPEAT_END: return "repeat-end";
    case ATTR_REPEAT_START: return "repeat-start";
    case ATTR_AT_NOTE: return "at";
    case ATTR_TIME_HERE: return "time-here";
    default: return std::to_string(kind);
    }
}

inline std::string accidental_name(int32_t value)
{
    switch (value) {
    case ACC_NATURAL: return "natural";
    case ACC_SHARP: return "sharp";
    case ACC_DOUBLE_SHARP: return "double-sharp";
    case ACC_FLAT: return "flat";
    case ACC_DOUBLE_FLAT: return "double-flat";
    default: return std::to_string(value);
    }
}

inline std::string dump_marks(const Attribute* a)
{
    std::string s;
    for (; a != nullptr; a = a->next) {
        s.append(s.empty() ? "" : ",").append(kind_name(a->kind));
        if (a->kind == ATTR_ACCIDENTAL)
            s += '=' + accidental_name(a->value);
        else if (a->value != 0)
            s += '=' + std::to_string(a->value);
    }
    return s;
}

inline std::string dump_score(const Measure* first)
{
    std::string s;
    for (const Measure* m = first; m != nullptr; m = m->next) {
        s += std::to_string(m->number);
        if (m->first_attribute != nullptr)
            s += " {" + dump_marks(m->first_attribute) + '}';
        if (const TimeSignature* r = m->time_signature)
            s += ' ' + std::to_string(r->beats) + '/' + std::to_string(r->beat_type) +
                 (r->symbol ? " symbol" : "") + (r->mensural ? " mensural" : "");
        s += ':';
        for (const Note* n = m->first_note; n != nullptr; n = n->next) {
            char duration[32];
            std::snprintf(duration, sizeof duration, "%g", static_cast<double>(n->duration));
            s.append(" ").append(1, n->step).append(std::to_string(n->octave)).append(":");
            s += duration;
            if (n->first_attribute != nullptr)
                s += '[' + dump_marks(n->first_attribute) + ']';
        }
        s += '\n';
    }
    return s;
}

}  // namespace test_support
