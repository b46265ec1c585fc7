#include "run_report.h"

#include <algorithm>
#include <cinttypes>

namespace {

// A dry run's converted records were only checked.
const char* status_name(tav::Status status, bool dry_run)
{
    return dry_run && status == tav::Status::Converted ? "checked" : tav::status_name(status);
}

void append_int(std::string& out, std::int64_t value)
{
    out += std::to_string(value);
}

}  // namespace

RunReport::RunReport(OutStream& report, ReportFormat format, bool all, std::FILE* messages,
                     ProgressLine& progress, bool dry_run)
    : out_(report), format_(format), all_(all), messages_(messages), progress_(progress),
      dry_run_(dry_run)
{
    if (out_.active() && format_ == ReportFormat::Csv)
        out_.add(
            "input,line,identifier,number,file,status,warnings,error,position,control_number,"
            "occurrence\n");
}

void RunReport::record(const Outcome& o, std::string_view input)
{
    if (o.passed_over) {
        // A field passed over is no record: reported, not counted.
    } else {
        ++totals_.records;
        ++totals_.by_status[static_cast<std::size_t>(o.status)];
    }
    if (o.passed_over)
        ;
    else if (o.status == tav::Status::Written)
        ++totals_.written;
    else if (o.status == tav::Status::Converted)
        ++totals_.checked;
    else
        ++totals_.failed;
    for (const tav::Message& m : o.messages) {
        if (m.kind == tav::MessageKind::Warning)
            ++totals_.warnings;
        ++totals_.by_code[m.code];
    }
    if (o.messages.empty() && !all_)
        return;

    if (out_.active()) {
        if (format_ == ReportFormat::Csv)
            record_csv(o, input);
        else
            record_json(o, input);
        out_.end_record();
    }
    if (messages_ != nullptr && !o.messages.empty()) {
        progress_.finish();
        std::string where = tav::shown_text(input) + ':' + std::to_string(o.line) + ": ";
        std::string incipit = std::to_string(o.identifier) + '-' + tav::shown_text(o.number) + ": ";
        if (o.catalogue) {
            if (o.reader_message)
                incipit.clear();
            incipit += "001 " + (o.control_number.empty() ? std::string("(none)")
                                                          : tav::shown_text(o.control_number));
            if (o.occurrence > 0)
                incipit += " 031 #" + std::to_string(o.occurrence);
            incipit += ": ";
        }
        for (const tav::Message& m : o.messages)
            std::fprintf(messages_, "%s%s: %s%s\n", where.c_str(),
                         tav::kind_name(m.kind),
                         incipit.c_str(), tav::shown_text(m.text).c_str());
    }
}

namespace {

// The record's file, when it has one (a document, converted or written).
const std::string* file_of(const Outcome& o)
{
    bool has = !o.file.empty() &&
               (o.status == tav::Status::Written || o.status == tav::Status::Converted);
    return has ? &o.file : nullptr;
}

// The catalogue record's 001, when it has one.
const std::string* control_number_of(const Outcome& o)
{
    return o.control_number.empty() ? nullptr : &o.control_number;
}

// A CSV field, quoted when it holds a comma, a quote or a line end.
void append_csv(std::string& out, std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace

void RunReport::record_json(const Outcome& o, std::string_view input)
{
    buffer_.assign("{\"type\":\"record\",\"input\":\"");
    append_json_string(buffer_, input);
    buffer_ += "\",\"line\":";
    append_int(buffer_, o.line);
    buffer_ += ",\"identifier\":";
    append_int(buffer_, o.identifier);
    buffer_ += ",\"number\":\"";
    append_json_string(buffer_, o.number);
    buffer_ += "\",\"file\":";
    append_json_string_or_null(buffer_, file_of(o));
    if (o.catalogue) {
        buffer_ += ",\"control_number\":";
        append_json_string_or_null(buffer_, control_number_of(o));
        buffer_ += ",\"occurrence\":";
        append_int(buffer_, o.occurrence);
    }
    buffer_ += ",\"status\":\"";
    buffer_ += o.passed_over ? "passed_over" : status_name(o.status, dry_run_);
    if (keys_ && (o.status == tav::Status::Converted || o.status == tav::Status::Written)) {
        buffer_ += "\",";
        tav::append_keys_json(buffer_, o.melody);
        buffer_ += ",\"messages\":[";
    } else {
        buffer_ += "\",\"messages\":[";
    }
    bool first = true;
    for (const tav::Message& m : o.messages) {
        buffer_ += first ? "{\"kind\":\"" : ",{\"kind\":\"";
        first = false;
        buffer_ += tav::kind_name(m.kind);
        buffer_ += "\",\"text\":\"";
        append_json_string(buffer_, m.text);
        buffer_ += "\",\"position\":";
        if (m.position < 0)
            buffer_ += "null";
        else
            append_int(buffer_, m.position);
        buffer_ += ",\"code\":\"";
        buffer_ += m.code;
        buffer_ += "\"}";
    }
    buffer_ += "]}\n";
    out_.add(buffer_);
}

void RunReport::record_csv(const Outcome& o, std::string_view input)
{
    buffer_.clear();
    append_csv(buffer_, input);
    buffer_ += ',';
    append_int(buffer_, o.line);
    buffer_ += ',';
    append_int(buffer_, o.identifier);
    buffer_ += ',';
    append_csv(buffer_, o.number);
    buffer_ += ',';
    if (const std::string* file = file_of(o))
        append_csv(buffer_, *file);
    buffer_ += ',';
    buffer_ += o.passed_over ? "passed_over" : status_name(o.status, dry_run_);
    std::string warnings;
    const tav::Message* error = nullptr;
    for (const tav::Message& m : o.messages) {
        if (m.kind == tav::MessageKind::Error) {
            error = &m;
        } else {
            warnings += warnings.empty() ? "" : " | ";
            warnings += m.text;
        }
    }
    buffer_ += ',';
    append_csv(buffer_, warnings);
    buffer_ += ',';
    if (error != nullptr)
        append_csv(buffer_, error->text);
    buffer_ += ',';
    if (error != nullptr && error->position >= 0)
        append_int(buffer_, error->position);
    buffer_ += ',';
    if (const std::string* control_number = control_number_of(o))
        append_csv(buffer_, *control_number);
    buffer_ += ',';
    if (o.catalogue)
        append_int(buffer_, o.occurrence);
    buffer_ += '\n';
    out_.add(buffer_);
}

void RunReport::unreadable(std::string_view input, std::string_view reason)
{
    ++totals_.unreadable_inputs;
    if (!out_.active())
        return;
    if (format_ == ReportFormat::Csv) {
        buffer_.clear();
        append_csv(buffer_, input);
        buffer_ += ",,,,,unreadable,,";
        append_csv(buffer_, reason);
        buffer_ += ",,,\n";
    } else {
        buffer_.assign("{\"type\":\"input\",\"input\":\"");
        append_json_string(buffer_, input);
        buffer_ += "\",\"status\":\"unreadable\",\"error\":\"";
        append_json_string(buffer_, reason);
        buffer_ += "\"}\n";
    }
    out_.add(buffer_);
    out_.end_record();
}

namespace {

// When a MARCXML input was read: the fields without music, and the counts
// named by their codes.
void append_catalogue_counts(std::string& out, const Totals& t)
{
    if (t.without_music < 0)
        return;
    out += ",\"without_music\":";
    append_int(out, t.without_music);
    for (tav::MessageCode code : kCatalogueCounts) {
        out += ",\"";
        out += tav::message_rule(code).name;
        out += "\":";
        append_int(out, t.count_of(code));
    }
}

}  // namespace

std::int64_t Totals::count_of(tav::MessageCode code) const
{
    auto found = by_code.find(tav::message_rule(code).name);
    return found != by_code.end() ? found->second : 0;
}

void RunReport::catalogue_read(std::int64_t without_music)
{
    totals_.without_music = std::max<std::int64_t>(totals_.without_music, 0) + without_music;
}

bool RunReport::finish(const RunEnd& end)
{
    if (!out_.active())
        return true;
    if (format_ == ReportFormat::JsonLines) {
        char text[512];
        std::snprintf(text, sizeof text,
                      "{\"type\":\"summary\",\"records\":%" PRId64 ",\"written\":%" PRId64
                      ",\"checked\":%" PRId64 ",\"failed\":%" PRId64 ",\"warnings\":%" PRId64
                      ",\"blank_lines\":%" PRId64 ",\"unreadable_inputs\":%" PRId64,
                      totals_.records, totals_.written, totals_.checked, totals_.failed,
                      totals_.warnings, totals_.blank_lines, totals_.unreadable_inputs);
        buffer_.assign(text);
        append_catalogue_counts(buffer_, totals_);
        buffer_ += ",\"statuses\":{";
        bool first = true;
        for (std::size_t k = 0; k < kStatuses; ++k) {
            if (totals_.by_status[k] == 0)
                continue;
            buffer_ += first ? "\"" : ",\"";
            first = false;
            buffer_ += status_name(static_cast<tav::Status>(k), dry_run_);
            buffer_ += "\":";
            append_int(buffer_, totals_.by_status[k]);
        }
        buffer_ += "},\"codes\":{";
        first = true;
        for (const auto& [code, count] : totals_.by_code) {
            buffer_ += first ? "\"" : ",\"";
            first = false;
            buffer_ += code;
            buffer_ += "\":";
            append_int(buffer_, count);
        }
        std::snprintf(text, sizeof text, "},\"seconds\":%.3f", end.seconds);
        buffer_ += text;
        if (end.signal != 0) {
            buffer_ += ",\"interrupted\":true,\"signal\":";
            append_int(buffer_, end.signal);
        }
        if (!end.stopped.empty()) {
            buffer_ += ",\"stopped\":\"";
            append_json_string(buffer_, end.stopped);
            buffer_ += '"';
        }
        buffer_ += "}\n";
        out_.add(buffer_);
    }
    return out_.flush();
}

std::string summary_line(const Totals& t, bool dry_run, const RunEnd& end)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "%" PRId64 " records, %" PRId64 " %s, %" PRId64 " failed, %" PRId64
                  " warnings, %" PRId64 " blank lines, %.1f s",
                  t.records, dry_run ? t.checked : t.written, dry_run ? "checked" : "written",
                  t.failed, t.warnings, t.blank_lines, end.seconds);
    std::string line = text;
    if (t.unreadable_inputs > 0)
        line += ", " + std::to_string(t.unreadable_inputs) + " unreadable inputs";
    if (t.without_music > 0)
        line += ", " + std::to_string(t.without_music) + " fields 031 without music";
    const char* const kCountNames[] = {" fields 031 of another notation system",
                                       " records without a control number"};
    for (std::size_t k = 0; k < std::size(kCatalogueCounts); ++k)
        if (std::int64_t n = t.count_of(kCatalogueCounts[k]); n > 0)
            line += ", " + std::to_string(n) + kCountNames[k] + " (" +
                    std::string(tav::message_rule(kCatalogueCounts[k]).name) + ")";
    if (end.signal != 0)
        line += ", interrupted by signal " + std::to_string(end.signal);
    if (!end.stopped.empty())
        line += ", stopped early";
    return line;
}
