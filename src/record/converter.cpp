// One record end to end: line -> Incipit -> document, with the messages
// collected on the way. The converter owns every buffer and pool.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "parser/parser.h"
#include "score/pool.h"
#include "tav/tav.h"
#include "writer/mxl.h"
#include "writer/output.h"
#include "writer/xml_text.h"

namespace tav {

namespace {

// Bytes of zeros after a copied line: the parser reads none of them, but a
// line without a terminator gets one.
constexpr size_t kLinePadding = 8;
// A buffer grown by an unusually large record is released afterwards
// rather than kept for the converter's whole life.
constexpr size_t kKeptBytes = size_t{1} << 20;

// The error for an incipit number that cannot name the file or stand in
// the document; none for a good one.
const char* number_error(OutputStatus status)
{
    switch (status) {
    case OutputStatus::UnsafeName: return "incipit number is not a safe file name";
    case OutputStatus::NotXmlText: return "incipit number holds a character that XML cannot carry";
    default: return nullptr;
    }
}

// Out of line: copying the texts inline above confuses GCC 12's
// -Wstringop-overread under link-time optimisation.
[[gnu::noinline]] void add_error(Result& result, const char* text)
{
    result.messages.push_back(make_message(MessageKind::Error, text));
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

DocumentInfo document_info(const Options& options, const Description* d, std::string& date)
{
    DocumentInfo info;
    if (options.musicxml == MusicXmlVersion::V4_0) {
        info.musicxml4 = true;
        if (options.encoding_date.empty()) {
            if (date.empty())
                date = today();
            info.encoding_date = date;
        } else {
            info.encoding_date = options.encoding_date;
        }
    }
    if (d != nullptr) {
        info.composer = d->composer;
        info.work_title = d->work_title;
        info.movement_title = d->movement_title;
        info.part_name = d->part_name;
        info.text_incipit = d->text_incipit;
        info.key_or_mode = d->key_or_mode;
    }
    return info;
}

template <typename Buffer>
void trim(Buffer& buffer)
{
    if (buffer.capacity() > kKeptBytes)
        Buffer().swap(buffer);
}

}  // namespace

struct Converter::State {
    ScorePools pools;
    DocumentBuffer document;
    std::vector<char> line;
    std::string today;   // the encoding date of 4.0 documents, once found
    Result result;
};

Converter::Converter() : state_(std::make_unique<State>()) {}
Converter::~Converter() = default;
Converter::Converter(Converter&&) noexcept = default;
Converter& Converter::operator=(Converter&&) noexcept = default;

Result& Converter::result()
{
    return state_->result;
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

Result& Converter::line_too_long()
{
    Result& result = state_->result;
    result = Result{};
    result.status = Status::LineTooLong;
    result.messages.push_back(Message{MessageKind::Error, "line too long"});
    return result;
}

const Result& Converter::convert_buffer(char* buffer, int32_t size, const Options& options,
                                        const Description* description)
{
    Result& r = state_->result;
    r.status = Status::Failed;
    trim(r.document);
    r.document.clear();
    r.file_name.clear();
    r.messages.clear();
    r.identifier = 0;
    r.number.clear();

    ConvertOptions parser_options{options.remove_mensural ? 1 : 0,
                                  options.remove_measure_rests ? 1 : 0, options.verbose ? 1 : 0,
                                  options.parse_only ? 1 : 0};
    Console console{&r.messages, options.trace ? &options.trace : nullptr};
    Incipit incipit;
    // Whatever happens below, the score goes back to the converter's pools,
    // which hold no other: all at once.
    struct ScoreRelease {
        ScorePools& pools;
        Incipit& incipit;
        ~ScoreRelease() { destroy_last_score(pools, std::exchange(incipit.first_measure, nullptr)); }
    } release{state_->pools, incipit};
    ParseStatus parsed =
        parse_incipit(buffer, size, parser_options, console, state_->pools, incipit);
    if (parsed == ParseStatus::Blank) {
        r.status = Status::Blank;
        return r;
    }
    r.identifier = incipit.incipit_id;
    r.number = incipit.incipit_nb;
    append_output_file_name(r.file_name, incipit.incipit_id, incipit.incipit_nb);
    if (parsed != ParseStatus::Parsed) {
        r.status = parsed == ParseStatus::TooLarge ? Status::TooLarge : Status::Failed;
        return r;
    }
    if (options.parse_only) {
        r.status = Status::Converted;
        return r;
    }
    if (const char* error = number_error(check_incipit_number(incipit.incipit_nb))) {
        add_error(r, error);
        return r;
    }
    DocumentBuffer& document = state_->document;
    render_score(incipit, document, document_info(options, description, state_->today));
    if (options.compress) {
        const char* error = mxl_container(
            r.file_name, std::string_view(document.bytes.data(), document.length), r.document);
        if (error != nullptr) {
            add_error(r, error);
            return r;
        }
        r.file_name.replace(r.file_name.size() - 3, 3, "mxl");
    } else {
        r.document.assign(document.bytes.data(), document.length);
    }
    if (document.bytes.size() > kKeptBytes)
        document = DocumentBuffer{};
    r.status = Status::Converted;
    return r;
}

const Result& Converter::convert(std::string_view line, const Options& options)
{
    if (line.size() > max_line_length)
        return line_too_long();
    // The parser may rewrite the line. It reads nothing past the line's
    // terminator: a zero byte when the line has none.
    std::vector<char>& copy = state_->line;
    trim(copy);
    size_t size = line.size() + kLinePadding;
    if (copy.size() < size)
        copy.resize(size);
    if (!line.empty())
        std::memcpy(copy.data(), line.data(), line.size());
    std::memset(copy.data() + line.size(), 0, kLinePadding);
    return convert_buffer(copy.data(), static_cast<int32_t>(size), options);
}

const Result& Converter::convert(const Fields& fields, const Options& options)
{
    return convert(record_line(fields), options);
}

const Result& Converter::convert(const Fields& fields, const Options& options,
                                 const Description& description)
{
    std::string line = record_line(fields);
    if (line.size() > max_line_length)
        return line_too_long();
    std::vector<char>& copy = state_->line;
    copy.assign(line.begin(), line.end());
    copy.resize(line.size() + kLinePadding, '\0');
    return convert_buffer(copy.data(), static_cast<int32_t>(copy.size()), options, &description);
}

std::string record_line(const Fields& fields)
{
    // A null field is a backslash and one more character.
    auto field = [](std::string_view text) { return text.empty() ? std::string_view("\\-") : text; };
    std::string line;
    line.reserve(fields.identifier.size() + fields.number.size() + fields.clef.size() +
                 fields.time.size() + fields.time2.size() + fields.music.size() + 16);
    bool first = true;
    for (std::string_view part : {fields.identifier, fields.number, field(fields.clef),
                                  field(fields.time), fields.time2, fields.music}) {
        if (!first)
            line += '\t';
        line += part;
        first = false;
    }
    return line;
}

Result convert_record(std::string_view line, const Options& options)
{
    Converter converter;
    converter.convert(line, options);
    return std::move(converter.result());
}

Result convert_fields(const Fields& fields, const Options& options)
{
    return convert_record(record_line(fields), options);
}

}  // namespace tav
