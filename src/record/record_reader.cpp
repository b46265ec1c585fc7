// A record line into a Record: the identifier, the incipit number, the clef
// field and the two time-signature fields, read one by one, each up to its
// TAB, so that no field's text is ever taken for another's; the music is
// what follows them.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "parser/convert.h"
#include "parser/report.h"
#include "record/record_reader.h"
#include "tav/tav.h"

namespace tav {

using namespace detail;

namespace {

// An identifier has one to ten digits.
constexpr int kMaxIdentifierDigits = 10;
constexpr size_t kMaxNumberBytes = 64;

// The line up to its end, and a cursor on it.
struct HeaderCursor {
    std::string_view line;
    size_t pos = 0;
    RecordReading& out;

    unsigned char at(size_t i) const
    {
        return i < line.size() ? static_cast<unsigned char>(line[i]) : 0;
    }
    size_t end() const { return line.size(); }
    // Index of the TAB that ends the field starting at `start`, or of the
    // end of the line when no TAB follows.
    size_t field_end(size_t start) const
    {
        size_t i = line.find('\t', start);
        return i == std::string_view::npos ? line.size() : i;
    }
    // The field at the cursor, up to its TAB; the cursor moves to that TAB.
    std::string_view take_field()
    {
        size_t start = pos;
        pos = field_end(pos);
        return line.substr(start, pos - start);
    }
    void warn(const char* text) { out.messages.push_back(make_message(MessageKind::Warning, text)); }
    bool fail(const char* text)
    {
        out.messages.push_back(make_message(MessageKind::Error, text));
        return false;
    }
};

// Field 1. Characters before the first digit are passed over within the
// field; then one to ten digits, ended by the TAB. A line that ends after
// the digits is left to the incipit number to report. Kept without its
// leading zeros.
bool read_identifier(HeaderCursor& c)
{
    while (c.pos < c.end() && c.at(c.pos) != '\t' && !is_digit(c.at(c.pos)))
        ++c.pos;
    if (!is_digit(c.at(c.pos)))
        return c.fail("no incipit identifier found");
    int64_t value = 0;
    for (int digits = 0; is_digit(c.at(c.pos)); ++digits, ++c.pos) {
        if (digits == kMaxIdentifierDigits)
            return c.fail("incipit identifier has more than ten digits");
        value = value * 10 + (c.at(c.pos) - '0');
    }
    if (c.pos < c.end() && c.at(c.pos) != '\t')
        return c.fail("incipit identifier is not a number");
    if (value > INT32_MAX)
        return c.fail("incipit identifier is larger than 2147483647");
    c.out.record.identifier = std::to_string(value);
    return true;
}

// Field 2. Blanks and TABs before its first digit are passed over; the
// number is then the whole field up to its TAB, which it must have.
bool read_incipit_number(HeaderCursor& c)
{
    while (c.pos < c.end() && (c.at(c.pos) == ' ' || c.at(c.pos) == '\t'))
        ++c.pos;
    if (!is_digit(c.at(c.pos)))
        return c.fail("no incipit number found");
    if (c.field_end(c.pos) - c.pos > kMaxNumberBytes)
        return c.fail("incipit number too long");
    c.out.record.number = c.take_field();
    if (c.pos == c.end())
        return c.fail("line ends after the incipit number");
    ++c.pos;
    return true;
}

// Field 3. An empty or one-character field gives no clef, a longer one its
// first three characters, with a warning. A line that ends in it lacks the
// time signature and the music: false, the record failed.
bool read_clef_field(HeaderCursor& c)
{
    std::string_view clef = c.take_field();
    if (c.at(c.pos) != '\t')
        return c.fail("no time signature field found");
    c.out.record.clef = clef;
    if (clef.empty())
        c.warn("found an empty clef field, using no clef");
    else if (clef.size() == 1)
        c.warn("found a clef field of one character, using no clef");
    else if (clef.size() > 3)
        c.warn("found a clef field longer than three characters, using its first three");
    ++c.pos;
    return true;
}

// Signs a time signature is written with; a field of nothing else holds
// no music.
bool is_time_text(unsigned char c)
{
    return is_digit(c) || c == 'c' || c == 'o' || c == '/' || c == '.' || c == ' ';
}

// A field from `start` that the line ends in stands where the music
// belongs: it is the music unless it is empty, a null field or a time
// signature.
bool reads_as_music(const HeaderCursor& c, size_t start)
{
    if (start == c.end() || c.at(start) == '\\')
        return false;
    for (size_t i = start; i < c.end(); ++i)
        if (!is_time_text(c.at(i)))
            return true;
    return false;
}

// The field at the cursor, when the line ends in it, is the music, with the
// warning `as_music`, or else the record fails with `error`. True when the
// line goes on after the field.
bool field_ends_line(HeaderCursor& c, const char* error, const char* as_music, bool& failed)
{
    if (c.field_end(c.pos) < c.end())
        return true;
    if (reads_as_music(c, c.pos))
        c.warn(as_music);
    else
        failed = !c.fail(error);
    return false;
}

// Field 5 after a mensural sign in field 4: a time signature, a null field
// or one starting with 0 (no time signature); anything else is passed over
// with a warning.
void read_second_time_field(HeaderCursor& c)
{
    unsigned char d = c.at(c.pos);
    bool readable = (is_digit(d) && d != '0') || d == 'c' || d == 'o' || d == '\\' || d == '0';
    if (!readable && d != '\t')
        c.warn("found an unreadable second time signature field, passing over it");
    c.out.record.time2 = c.take_field();
}

// A time-signature field holding more than its time signature took: what
// is not read is reported.
void report_ignored_time(HeaderCursor& c, std::string_view field)
{
    size_t used = static_cast<size_t>(read_time_text(field).used);
    if (used >= field.size() || field.find_first_not_of(' ', used) == std::string_view::npos)
        return;
    std::string text = "time signature field read as ";
    text += field.substr(0, used);
    text += ", ignoring '";
    text += field.substr(used);
    text += "'";
    c.warn(text.c_str());
}

// Fields 4 and 5, then the music. An empty or null field 4 is no time
// signature; after one that is not a mensural sign, field 5 is kept but not
// read. Where the line ends in field 4 or 5, that field is the music (see
// field_ends_line). False when the record failed.
bool read_time_fields(HeaderCursor& c)
{
    Record& record = c.out.record;
    bool failed = false;
    if (!field_ends_line(c, "no second time signature field found",
                         "no time signature fields found, reading the last field as the music",
                         failed))
        return !failed;
    unsigned char first = c.at(c.pos);
    if (!is_time_start(first) && first != '\\' && first != '\t')
        c.warn("found an unreadable time signature field, using no time signature");
    record.time = c.take_field();
    if (is_time_start(first))
        report_ignored_time(c, record.time);
    ++c.pos;
    if (!field_ends_line(c, "no music field found",
                         "no second time signature field found, reading the last field as the "
                         "music",
                         failed))
        return !failed;
    if (is_time_start(first) && is_mensural_time(record.time))
        read_second_time_field(c);
    else
        record.time2 = c.take_field();  // kept, but not read
    return true;
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
                              &d.key_or_mode})
        text->clear();
    d.composer.clear();
    d.work_title.clear();
    r.music_position = 0;
    reading.messages.clear();
    reading.blank = false;
}

void read_record_into(std::string_view line, RecordReading& reading)
{
    clear(reading);
    if (!line.empty() && (line[0] == '\n' || line[0] == '\r')) {
        reading.blank = true;
        return;
    }
    // The first line feed, carriage return or zero byte ends the line: the
    // line feed is searched first, then the two others only before it.
    for (char terminator : {'\n', '\r', '\0'}) {
        if (line.empty())
            break;
        if (const void* found = std::memchr(line.data(), terminator, line.size()))
            line = line.substr(0, static_cast<size_t>(static_cast<const char*>(found) - line.data()));
    }
    HeaderCursor c{line, 0, reading};
    if (!read_identifier(c) || !read_incipit_number(c))
        return;
    if (!read_clef_field(c) || !read_time_fields(c))
        return;
    while (c.at(c.pos) == '\t')
        ++c.pos;
    reading.record.music = line.substr(c.pos);
    reading.record.music_position = static_cast<int64_t>(c.pos);
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
    detail::read_fields_into(fields, reading);
    return reading;
}

}  // namespace tav

namespace tav::detail {

bool holds_line_break(std::string_view text, bool tab)
{
    for (char c : text)
        if (c == '\n' || c == '\r' || (c == '\t' && tab))
            return true;
    return false;
}

void read_fields_into(const Fields& fields, RecordReading& reading)
{
    clear(reading);
    const std::pair<const char*, std::string_view> named[] = {
        {"identifier", fields.identifier}, {"number", fields.number}, {"clef", fields.clef},
        {"time", fields.time},             {"time2", fields.time2},   {"music", fields.music}};
    for (const auto& [name, text] : named) {
        if (holds_line_break(text)) {
            reading.messages.push_back(make_message(
                MessageKind::Error, std::string(name) + " field holds a tab or a line end"));
            return;
        }
    }
    // Blanks may stand before the number's first digit, but an empty field
    // must not let the next one be read as the number.
    std::string_view number = fields.number;
    number.remove_prefix(std::min(number.size(), number.find_first_not_of(' ')));
    if (number.empty() || !is_digit(static_cast<unsigned char>(number[0]))) {
        // The line of an empty number fails at the identifier or the number.
        read_record_into(record_line(Fields{fields.identifier, "", "", "", "", ""}), reading);
        return;
    }
    read_record_into(record_line(fields), reading);
}

}  // namespace tav::detail
