// One record end to end: line or fields -> Record -> score -> document,
// with the messages collected on the way. The converter owns every buffer
// and pool.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "parser/parser.h"
#include "record/record_reader.h"
#include "score/melody.h"
#include "score/pool.h"
#include "tav/batch.h"
#include "tav/formats.h"
#include "tav/tav.h"
#include "writer/mxl.h"
#include "writer/output.h"
#include "writer/xml_text.h"

namespace tav {

using namespace detail;

namespace {

// A buffer grown by an unusually large record is released afterwards
// rather than kept for the converter's whole life.
constexpr size_t kMaxKeptBufferBytes = size_t{1} << 20;

// The error for an incipit number that cannot name the file or stand in
// the document; none for a good one.
std::optional<MessageCode> number_error(OutputStatus status)
{
    switch (status) {
    case OutputStatus::UnsafeName: return MessageCode::UnsafeNumber;
    case OutputStatus::NotXmlText: return MessageCode::NumberNotXml;
    default: return std::nullopt;
    }
}

void add_message(Result& result, MessageCode code,
                 std::initializer_list<std::string_view> values = {})
{
    result.messages.push_back(shown_message(code, values));
}

// The identifier's value; its digits were read by the header rules.
int32_t identifier_value(const std::string& digits)
{
    int64_t value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');
    return static_cast<int32_t>(value);
}

void reset(Result& r)
{
    r.status = Status::Failed;
    r.document.clear();
    r.file_name.clear();
    r.messages.clear();
    r.identifier = 0;
    r.number.clear();
    r.melody.notes.clear();
}

// "YYYY-MM-DD" of the day in UTC.
std::string today()
{
    using namespace std::chrono;
    year_month_day day{floor<days>(system_clock::now())};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    return text;
}

// The format the options ask for.
const OutputFormat& format_of(const Options& options)
{
    return options.format != nullptr ? *options.format : default_format();
}

// The details the options ask for: the encoding date, today's unless given,
// and the link to a catalogue record.
DocumentInfo document_info(const Options& options, std::string& date)
{
    DocumentInfo info;
    if (options.encoding_date.empty()) {
        if (date.empty())
            date = today();
        info.encoding_date = date;
    } else {
        info.encoding_date = options.encoding_date;
    }
    info.record_uri = options.record_uri;
    return info;
}

// The length of the record line that fields stand for: the fields, TABs
// and null fields, and a key kept apart counted as the start of the music
// field ("$KEY ").
size_t record_line_size(const Fields& f, std::string_view key = {})
{
    return f.identifier.size() + f.number.size() + std::max<size_t>(f.clef.size(), 2) +
           std::max<size_t>(f.time.size(), 2) + f.time2.size() + f.music.size() + 5 +
           static_cast<size_t>(key_field_size(key));
}

template <typename Buffer>
void trim(Buffer& buffer)
{
    if (buffer.capacity() > kMaxKeptBufferBytes)
        Buffer().swap(buffer);
}

}  // namespace

struct Converter::State {
    ScorePools pools;
    DocumentBuffer document;
    MxlWriter mxl;   // the .mxl archives, one stream for them all
    std::string inner_name;   // the name of the document an archive holds
    std::vector<char> music;  // the parser's copy of the music
    RecordReading reading;
    std::string today;   // the encoding date of 4.0 documents, once found
    Result result;
    // Set while a record converts: a call from the trace callback then gets
    // `refused` and leaves the record being converted as it is.
    bool converting = false;
    Result refused;

    // The record in `reading`, converted into `result`.
    const Result& convert_reading(const Options& options);
    // The score read, written as the options ask.
    void write(const Options& options, const Incipit& score);
};

Converter::Converter() : state_(std::make_unique<State>()) {}
Converter::~Converter() = default;
Converter::Converter(Converter&&) noexcept = default;
Converter& Converter::operator=(Converter&&) noexcept = default;

// A moved-from converter starts afresh at its next use.
Converter::State& Converter::state()
{
    if (!state_)
        state_ = std::make_unique<State>();
    return *state_;
}

Result* Converter::refuse_reentry()
{
    State& st = state();
    if (!st.converting)
        return nullptr;
    st.refused = Result{};
    add_message(st.refused, MessageCode::ConverterBusy);
    return &st.refused;
}

const char* status_name(Status status)
{
    switch (status) {
    case Status::Converted: return "converted";
    case Status::Written: return "written";
    case Status::Failed: return "failed";
    case Status::TooLarge: return "too_large";
    case Status::LineTooLong: return "line_too_long";
    case Status::Blank: return "blank";
    }
    return "failed";
}

const char* kind_name(MessageKind kind)
{
    return kind == MessageKind::Warning ? "warning" : "error";
}

namespace detail {

// The programs' side of a converter: its result to change, and lines read
// into a buffer of their own.
struct ConverterAccess {
    static Result& result(Converter& c) { return c.state().result; }

    static Result& line_too_long(Converter& c)
    {
        if (Result* refused = c.refuse_reentry())
            return *refused;
        Result& result = c.state().result;
        result = Result{};
        result.status = Status::LineTooLong;
        result.messages.push_back(make_message(MessageCode::LineTooLong));
        return result;
    }

    static Result& convert_buffer(Converter& c, char* buffer, int32_t size,
                                  const Options& options)
    {
        if (Result* refused = c.refuse_reentry())
            return *refused;
        Converter::State& st = c.state();
        // The line ends at its line end, well before the end of the buffer.
        read_record_into(std::string_view(buffer, size > 0 ? static_cast<size_t>(size) : 0),
                         st.reading);
        st.convert_reading(options);
        return st.result;
    }
};

}  // namespace detail

Result& last_result(Converter& converter)
{
    return detail::ConverterAccess::result(converter);
}

Result& line_too_long(Converter& converter)
{
    return detail::ConverterAccess::line_too_long(converter);
}

Result& convert_buffer(Converter& converter, char* buffer, int32_t size, const Options& options)
{
    return detail::ConverterAccess::convert_buffer(converter, buffer, size, options);
}

namespace {

bool holds_control_byte(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return true;
    return false;
}

// The descriptive texts that hold a control byte no XML document can hold
// (a caller's text: MARCXML cannot carry one): each is written without it,
// with a warning.
void warn_of_control_bytes(const Description& d, std::vector<Message>& messages)
{
    if (d.empty())
        return;
    const SourceDescription& s = d.source_or_empty();
    const std::pair<const char*, std::string_view> texts[] = {
        {"composer", d.composer},          {"work title", d.work_title},
        {"movement title", d.movement_title}, {"part name", d.part_name},
        {"text incipit", d.text_incipit},  {"key or mode", d.key_or_mode},
        {"role", d.role},                  {"note", d.note},
        {"movement number", d.movement_number}, {"control number", s.control_number},
        {"siglum", s.siglum},              {"shelfmark", s.shelfmark},
        {"composer's lifetime", s.composer_dates}, {"work number", s.work_number},
        {"scoring", s.scoring},            {"source title", s.source_title},
        {"date", s.date}};
    auto warn = [&messages](const char* name) {
        messages.push_back(shown_message(MessageCode::XmlCannotCarry, {name}));
    };
    for (const auto& [name, text] : texts)
        if (holds_control_byte(text))
            warn(name);
    // One warning for the creators, however many hold one.
    for (const Creator& c : s.creators)
        if (holds_control_byte(c.role) || holds_control_byte(c.name)) {
            warn("list of creators");
            break;
        }
}

}  // namespace

void Converter::State::write(const Options& options, const Incipit& score)
{
    const OutputFormat& format = format_of(options);
    if (options.compressed && !format.compressible()) {
        result.file_name.clear();
        add_message(result, MessageCode::NotCompressible, {format.name});
        return;
    }
    warn_of_control_bytes(reading.record.description, result.messages);
    for (int64_t n = format.writer(reading.record, score, document, document_info(options, today));
         n > 0; --n)
        add_message(result, MessageCode::TieWrittenAsSlur);
    std::string_view text(document.bytes.data(), document.length);
    if (options.compressed) {
        // The archive holds the document under the name it would have
        // alone, in UTF-8 as its container.xml is.
        std::string& inner = inner_name;
        inner.assign(result.file_name, 0,
                     result.file_name.size() - format.compressed_suffix.size());
        inner.append(format.suffix);
        if (!check_utf8(inner).valid)
            inner = utf8_or_latin1(inner);
        if (std::optional<MessageCode> error = mxl.write(inner, text, result.document)) {
            result.file_name.clear();
            add_message(result, *error);
            return;
        }
    } else if (document.bytes.size() > kMaxKeptBufferBytes) {
        // An unusually large document is handed over rather than copied, so
        // that it is never held twice; the buffer starts afresh.
        document.bytes.resize(document.length);
        result.document.swap(document.bytes);
        document = DocumentBuffer{};
    } else {
        result.document.assign(text);
    }
    if (document.bytes.size() > kMaxKeptBufferBytes)
        document = DocumentBuffer{};
    result.status = Status::Converted;
}

const Result& Converter::State::convert_reading(const Options& options)
{
    Result& r = result;
    trim(r.document);
    reset(r);
    if (reading.blank) {
        r.status = Status::Blank;
        return r;
    }
    const bool header_read = reading.ok();
    const Record& record = reading.record;
    r.messages.swap(reading.messages);
    r.identifier = identifier_value(record.identifier);
    r.number = record.number;
    append_output_file_name(r.file_name, record, format_of(options).file_suffix(options.compressed));
    // No document, no file name: nothing can be written by mistake.
    if (!header_read) {
        r.file_name.clear();
        return r;
    }

    ConvertOptions parser_options{options.remove_mensural ? 1 : 0,
                                  options.remove_measure_rests ? 1 : 0, options.verbose ? 1 : 0};
    MessageSink console{&r.messages, options.trace ? &options.trace : nullptr};
    Incipit incipit;
    // Whatever happens below (an exception from the trace included), the
    // score goes back to the converter's pools, which hold no other, all at
    // once, and the converter is free again.
    struct ScoreRelease {
        State& st;
        Incipit& incipit;
        ~ScoreRelease()
        {
            destroy_last_score(st.pools, std::exchange(incipit.first_measure, nullptr));
            trim_pools(st.pools, kMaxKeptBufferBytes);
            st.converting = false;
        }
    } release{*this, incipit};
    converting = true;
    trim(music);
    ParseStatus parsed = parse_incipit(record, music, parser_options, console, pools, incipit);
    if (parsed != ParseStatus::Parsed) {
        r.file_name.clear();
        r.status = parsed == ParseStatus::TooLarge ? Status::TooLarge : Status::Failed;
        return r;
    }
    if (options.melody)
        read_melody(incipit, r.melody);
    if (options.parse_only) {
        r.status = Status::Converted;
        return r;
    }
    if (auto error = number_error(check_incipit_number(record.number.c_str()))) {
        r.file_name.clear();
        add_message(r, *error);
        return r;
    }
    write(options, incipit);
    return r;
}

const Result& Converter::convert(std::string_view line, const Options& options)
{
    if (Result* refused = refuse_reentry())
        return *refused;
    if (line.size() > max_line_length)
        return line_too_long(*this);
    detail::read_record_into(line, state().reading);
    return state().convert_reading(options);
}

namespace {

// A record's fields read into `reading` as a line's would be; false when
// they make a line too long.
bool read_fields_of(const Record& record, RecordReading& reading)
{
    const Fields fields{record.identifier, record.number, record.clef,
                        record.time,       record.time2,  record.music};
    if (record_line_size(fields, record.key) > max_line_length)
        return false;
    detail::read_fields_into(fields, record.key, reading);
    return true;
}

}  // namespace

const Result& Converter::convert(const Record& record, const Options& options)
{
    if (Result* refused = refuse_reentry())
        return *refused;
    if (!read_fields_of(record, state().reading))
        return line_too_long(*this);
    state().reading.record.description = record.description;
    return state().convert_reading(options);
}

const Result& Converter::convert(Record&& record, const Options& options)
{
    if (Result* refused = refuse_reentry())
        return *refused;
    if (!read_fields_of(record, state().reading))
        return line_too_long(*this);
    state().reading.record.description = std::move(record.description);
    return state().convert_reading(options);
}

const Result& Converter::convert(const Fields& fields, const Options& options)
{
    return convert(fields, options, Description{});
}

const Result& Converter::convert(const Fields& fields, const Options& options,
                                 const Description& description)
{
    if (Result* refused = refuse_reentry())
        return *refused;
    if (record_line_size(fields) > max_line_length)
        return line_too_long(*this);
    detail::read_fields_into(fields, {}, state().reading);
    state().reading.record.description = description;
    return state().convert_reading(options);
}

Result convert_record(std::string_view line, const Options& options)
{
    Converter converter;
    converter.convert(line, options);
    return std::move(last_result(converter));
}

Result convert_fields(const Fields& fields, const Options& options)
{
    Converter converter;
    converter.convert(fields, options);
    return std::move(last_result(converter));
}

namespace {

// The melody of a line or a record, read with a converter of its own and
// no document built.
template <typename Input>
Melody melody_of(const Input& input)
{
    Options options;
    options.parse_only = true;
    options.melody = true;
    Converter converter;
    converter.convert(input, options);
    return std::move(last_result(converter).melody);
}

}  // namespace

Melody melody(std::string_view line) { return melody_of(line); }

Melody melody(const Record& record) { return melody_of(record); }

}  // namespace tav
