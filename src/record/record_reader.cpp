// A record's header fields read by the header rules, into a Record: the
// identifier, the incipit number, the clef field and the two
// time-signature fields, each by its rule; the music is what follows them.
// A record line is split into its fields once, each up to its TAB, so that
// no field's text is ever taken for another's; fields given apart are
// checked and read by the same rules, as the line they stand for would be.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "parser/convert.h"
#include "parser/line.h"
#include "parser/report.h"
#include "record/byte_words.h"
#include "record/record_reader.h"
#include "tav/tav.h"

namespace tav {

using namespace detail;

namespace {

// An identifier has one to ten digits.
constexpr int kMaxIdentifierDigits = 10;
constexpr size_t kMaxNumberBytes = 64;
// What an empty clef or time field given apart stands for: a null field.
constexpr std::string_view kNullField = "\\-";
// The TABs of a record line before its music field.
constexpr size_t kTabsBeforeMusic = 5;

// The reading the rules add to.
struct Header {
    RecordReading& out;

    // A warning or, returning false, an error.
    bool add(MessageCode code, std::initializer_list<std::string_view> values = {})
    {
        out.messages.push_back(shown_message(code, values));
        return message_rule(code).kind == MessageKind::Warning;
    }
};

unsigned char first_of(std::string_view text)
{
    return text.empty() ? 0 : static_cast<unsigned char>(text[0]);
}

// The identifier field: characters before the first digit are passed over;
// then one to ten digits, which end the field. Kept without its leading
// zeros.
bool read_identifier(Header& h, std::string_view field)
{
    size_t i = 0;
    while (i < field.size() && !is_digit(static_cast<unsigned char>(field[i])))
        ++i;
    if (i == field.size())
        return h.add(MessageCode::NoIdentifier);
    int64_t value = 0;
    for (int digits = 0; i < field.size() && is_digit(static_cast<unsigned char>(field[i]));
         ++digits, ++i) {
        if (digits == kMaxIdentifierDigits)
            return h.add(MessageCode::IdentifierTooLong);
        value = value * 10 + (field[i] - '0');
    }
    if (i < field.size())
        return h.add(MessageCode::IdentifierNotNumber);
    if (value > INT32_MAX)
        return h.add(MessageCode::IdentifierTooLarge);
    h.out.record.identifier = std::to_string(value);
    return true;
}

// The incipit number, from its first digit to the end of its field.
bool read_incipit_number(Header& h, std::string_view field)
{
    if (!is_digit(first_of(field)))
        return h.add(MessageCode::NoNumber);
    if (field.size() > kMaxNumberBytes)
        return h.add(MessageCode::NumberTooLong);
    h.out.record.number = field;
    return true;
}

// The clef field: an empty or one-character field gives no clef, a longer
// one its first three characters, with a warning.
void read_clef(Header& h, std::string_view clef)
{
    h.out.record.clef = clef;
    if (clef.empty())
        h.add(MessageCode::EmptyClefField);
    else if (clef.size() == 1)
        h.add(MessageCode::ShortClefField);
    else if (clef.size() > 3)
        h.add(MessageCode::LongClefField);
}

// A time-signature field holding more than its time signature took: what
// is not read is reported.
void report_ignored_time(Header& h, std::string_view field)
{
    size_t used = static_cast<size_t>(read_time_text(field).used);
    if (used >= field.size() || field.find_first_not_of(' ', used) == std::string_view::npos)
        return;
    h.add(MessageCode::TimeFieldTextIgnored, {field.substr(0, used), field.substr(used)});
}

// The time-signature field. An empty or null one is no time signature.
void read_time(Header& h, std::string_view time)
{
    unsigned char first = first_of(time);
    if (!is_time_start(first) && first != '\\' && first != 0)
        h.add(MessageCode::UnreadableTimeField);
    h.out.record.time = time;
    if (is_time_start(first))
        report_ignored_time(h, time);
}

// The second time-signature field, read only after a mensural sign in the
// first: a time signature, a null field or one starting with 0 (no time
// signature); anything else is passed over with a warning. After any other
// time signature it is kept but not read.
void read_second_time(Header& h, std::string_view time2)
{
    const std::string_view time = h.out.record.time;
    h.out.record.time2 = time2;
    if (!is_time_start(first_of(time)) || !is_mensural_time(time) || time2.empty())
        return;
    unsigned char d = first_of(time2);
    bool readable = (is_digit(d) && d != '0') || d == 'c' || d == 'o' || d == '\\' || d == '0';
    if (!readable)
        h.add(MessageCode::UnreadableSecondTimeField);
}

// Signs a time signature is written with; a field of nothing else holds
// no music.
bool is_time_text(unsigned char c)
{
    return is_digit(c) || c == 'c' || c == 'o' || c == '/' || c == '.' || c == ' ';
}

// A field that the line ends in stands where the music belongs: it is the
// music unless it is empty, a null field or a time signature.
bool reads_as_music(std::string_view field)
{
    if (field.empty() || field[0] == '\\')
        return false;
    return !std::all_of(field.begin(), field.end(),
                        [](char c) { return is_time_text(static_cast<unsigned char>(c)); });
}

// A record line split into its fields: a cursor on the line, up to its end.
struct LineSplit {
    std::string_view line;
    size_t pos = 0;

    bool at_end() const { return pos >= line.size(); }
    unsigned char at() const { return at_end() ? 0 : static_cast<unsigned char>(line[pos]); }
    // The field at the cursor, up to its TAB or the end of the line; the
    // cursor moves to that TAB.
    std::string_view take_field()
    {
        size_t start = pos;
        pos = std::min(line.find('\t', start), line.size());
        return line.substr(start, pos - start);
    }
    // The field at the cursor when the line ends in it.
    bool last_field() const { return line.find('\t', pos) == std::string_view::npos; }
};

// Fields 4 and 5 of a line, then where the music starts. Where the line
// ends in field 4 or 5, that field is the music with the warning
// `as_music` (see reads_as_music), or else the record fails. False when the
// record failed.
bool split_time_fields(Header& h, LineSplit& l)
{
    if (l.last_field()) {
        if (!reads_as_music(l.line.substr(l.pos)))
            return h.add(MessageCode::NoSecondTimeField);
        h.add(MessageCode::MusicInTimeField);
        return true;
    }
    read_time(h, l.take_field());
    ++l.pos;
    if (l.last_field()) {
        if (!reads_as_music(l.line.substr(l.pos)))
            return h.add(MessageCode::NoMusicField);
        h.add(MessageCode::MusicInSecondTimeField);
        return true;
    }
    read_second_time(h, l.take_field());
    while (l.at() == '\t')
        ++l.pos;
    return true;
}

// A line, without its line end, by the header rules. False when the record
// failed.
bool split_line(Header& h, LineSplit& l)
{
    if (!read_identifier(h, l.take_field()))
        return false;
    // Blanks and TABs before the number's first digit are passed over; the
    // number is then the whole field up to its TAB, which it must have.
    while (l.at() == ' ' || l.at() == '\t')
        ++l.pos;
    if (!read_incipit_number(h, is_digit(l.at()) ? l.take_field() : std::string_view()))
        return false;
    if (l.at_end())
        return h.add(MessageCode::LineEndsAfterNumber);
    ++l.pos;
    // A line that ends in the clef field lacks the time signature and the
    // music.
    std::string_view clef = l.take_field();
    if (l.at_end())
        return h.add(MessageCode::NoTimeField);
    read_clef(h, clef);
    ++l.pos;
    return split_time_fields(h, l);
}

// The name of the first field given apart that holds a TAB or a line end
// (a zero byte ends a line too, and so the music), or null.
const char* field_with_line_end(const Fields& f, std::string_view key)
{
    auto ends = [](std::string_view text) {
        return holds_line_break(text) || text.find('\0') != std::string_view::npos;
    };
    const std::pair<const char*, std::string_view> named[] = {
        {"identifier", f.identifier}, {"number", f.number}, {"clef", f.clef},
        {"time", f.time},             {"time2", f.time2},   {"key", key}};
    for (const auto& [name, text] : named)
        if (ends(text))
            return name;
    return holds_line_break(f.music) ? "music" : nullptr;
}

}  // namespace

}  // namespace tav

namespace tav::detail {

void clear(RecordReading& reading)
{
    Record& r = reading.record;
    Description& d = r.description;
    for (std::string* text : {&r.identifier, &r.number, &r.clef, &r.time, &r.time2, &r.key,
                              &r.music, &d.movement_title, &d.part_name, &d.text_incipit,
                              &d.key_or_mode, &d.role, &d.note, &d.movement_number})
        text->clear();
    d.composer.clear();
    d.work_title.clear();
    d.source.reset();
    r.music_position = 0;
    reading.messages.clear();
    reading.blank = false;
}

namespace {

// The line up to its end.
std::string_view line_proper(std::string_view line)
{
    return line.substr(0, line_end(line.data(), line.size()));
}

}  // namespace

void read_record_into(std::string_view line, RecordReading& reading)
{
    clear(reading);
    if (!line.empty() && (line[0] == '\n' || line[0] == '\r')) {
        reading.blank = true;
        return;
    }
    Header h{reading};
    LineSplit l{line_proper(line)};
    if (!split_line(h, l))
        return;
    reading.record.music = l.line.substr(l.pos);
    reading.record.music_position = static_cast<int64_t>(l.pos);
}

void read_fields_into(const Fields& fields, std::string_view key, RecordReading& reading)
{
    clear(reading);
    Header h{reading};
    if (const char* name = field_with_line_end(fields, key)) {
        h.add(MessageCode::FieldHoldsLineEnd, {name});
        return;
    }
    // Blanks may stand before the number's first digit.
    std::string_view number = fields.number;
    number.remove_prefix(std::min(number.size(), number.find_first_not_of(' ')));
    std::string_view clef = fields.clef.empty() ? kNullField : fields.clef;
    std::string_view time = fields.time.empty() ? kNullField : fields.time;
    if (!read_identifier(h, fields.identifier) || !read_incipit_number(h, number))
        return;
    read_clef(h, clef);
    read_time(h, time);
    read_second_time(h, fields.time2);
    Record& r = reading.record;
    r.key = key;
    r.music = fields.music.substr(0, fields.music.find('\0'));  // a zero byte ends it
    // Where the music starts in the line the fields stand for.
    r.music_position = static_cast<int64_t>(fields.identifier.size() + fields.number.size() +
                                            clef.size() + time.size() + fields.time2.size() +
                                            kTabsBeforeMusic);
}

namespace {

bool breaks_line(char c, bool tab)
{
    return c == '\n' || c == '\r' || (c == '\t' && tab);
}

}  // namespace

bool holds_line_break(std::string_view text, bool tab)
{
    const char* p = text.data();
    const char* end = p + text.size();
    for (std::uint64_t word; end - p >= 8; p += 8) {
        std::memcpy(&word, p, sizeof word);
        if (bytes_below(word, '\r' + 1) != 0)   // TAB, LF and CR among them
            for (int i = 0; i < 8; ++i)
                if (breaks_line(p[i], tab))
                    return true;
    }
    for (; p < end; ++p)
        if (breaks_line(*p, tab))
            return true;
    return false;
}

}  // namespace tav::detail

namespace tav {

RecordReading read_record(std::string_view line)
{
    RecordReading reading;
    detail::read_record_into(line, reading);
    return reading;
}

RecordReading read_record(const Fields& fields)
{
    RecordReading reading;
    detail::read_fields_into(fields, {}, reading);
    return reading;
}

}  // namespace tav
