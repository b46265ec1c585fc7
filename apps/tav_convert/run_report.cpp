#include "run_report.h"

#include <cinttypes>

namespace {

// Length of the valid UTF-8 sequence at `p` (at most `left` bytes), 0 when
// there is none.
std::size_t utf8_length(const unsigned char* p, std::size_t left)
{
    unsigned char c = p[0];
    std::size_t n;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0)
            low = 0xA0;
        if (c == 0xED)
            high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0)
            low = 0x90;
        if (c == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (left < n || p[1] < low || p[1] > high)
        return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (p[k] < 0x80 || p[k] > 0xBF)
            return 0;
    return n;
}

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

void append_json_string(std::string& out, std::string_view text)
{
    static const char kHex[] = "0123456789abcdef";
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (std::size_t n = utf8_length(p + i, size - i)) {
            out.append(text.data() + i, n);
            i += n;
        } else {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            ++i;
        }
    }
}

std::string printable(std::string_view text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

RunReport::RunReport(std::FILE* json, std::FILE* messages, bool dry_run)
    : json_(json), messages_(messages), dry_run_(dry_run)
{
}

void RunReport::record(const Outcome& o, std::string_view input)
{
    if (!o.passed_over)
        ++totals_.records;
    if (o.passed_over)
        ;
    else if (o.status == tav::Status::Written)
        ++totals_.written;
    else if (o.status == tav::Status::Converted)
        ++totals_.checked;
    else
        ++totals_.failed;
    for (const tav::Message& m : o.messages)
        if (m.kind == tav::MessageKind::Warning)
            ++totals_.warnings;
    if (o.messages.empty())
        return;

    if (json_ != nullptr) {
        buffer_.assign("{\"type\":\"record\",\"input\":\"");
        append_json_string(buffer_, input);
        buffer_ += "\",\"line\":";
        append_int(buffer_, o.line);
        buffer_ += ",\"identifier\":";
        append_int(buffer_, o.identifier);
        buffer_ += ",\"number\":\"";
        append_json_string(buffer_, o.number);
        buffer_ += "\",\"file\":";
        if (o.file.empty()) {
            buffer_ += "null";
        } else {
            buffer_ += '"';
            append_json_string(buffer_, o.file);
            buffer_ += '"';
        }
        if (o.catalogue) {
            buffer_ += ",\"control_number\":";
            if (o.control_number.empty()) {
                buffer_ += "null";
            } else {
                buffer_ += '"';
                append_json_string(buffer_, o.control_number);
                buffer_ += '"';
            }
            buffer_ += ",\"occurrence\":";
            append_int(buffer_, o.occurrence);
        }
        buffer_ += ",\"status\":\"";
        buffer_ += o.passed_over ? "passed_over" : status_name(o.status, dry_run_);
        buffer_ += "\",\"messages\":[";
        bool first = true;
        for (const tav::Message& m : o.messages) {
            buffer_ += first ? "{\"kind\":\"" : ",{\"kind\":\"";
            first = false;
            buffer_ += m.kind == tav::MessageKind::Warning ? "warning" : "error";
            buffer_ += "\",\"text\":\"";
            append_json_string(buffer_, m.text);
            buffer_ += "\",\"position\":";
            if (m.position < 0)
                buffer_ += "null";
            else
                append_int(buffer_, m.position);
            buffer_ += '}';
        }
        buffer_ += "]}\n";
        std::fwrite(buffer_.data(), 1, buffer_.size(), json_);
    }
    if (messages_ != nullptr) {
        std::string where = printable(input) + ':' + std::to_string(o.line) + ": ";
        std::string incipit = std::to_string(o.identifier) + '-' + printable(o.number) + ": ";
        if (o.catalogue) {
            if (o.reader_message)
                incipit.clear();
            incipit += "001 " + (o.control_number.empty() ? std::string("(none)")
                                                          : printable(o.control_number));
            if (o.occurrence > 0)
                incipit += " 031 #" + std::to_string(o.occurrence);
            incipit += ": ";
        }
        for (const tav::Message& m : o.messages)
            std::fprintf(messages_, "%s%s: %s%s\n", where.c_str(),
                         m.kind == tav::MessageKind::Warning ? "warning" : "error",
                         incipit.c_str(), printable(m.text).c_str());
    }
}

bool RunReport::finish(double seconds)
{
    if (json_ == nullptr)
        return true;
    std::fprintf(json_,
                 "{\"type\":\"summary\",\"records\":%" PRId64 ",\"written\":%" PRId64
                 ",\"checked\":%" PRId64 ",\"failed\":%" PRId64 ",\"warnings\":%" PRId64
                 ",\"blank_lines\":%" PRId64 ",\"seconds\":%.3f}\n",
                 totals_.records, totals_.written, totals_.checked, totals_.failed,
                 totals_.warnings, totals_.blank_lines, seconds);
    return std::fflush(json_) == 0 && !failed();
}

bool RunReport::failed() const
{
    return json_ != nullptr && std::ferror(json_) != 0;
}

std::string summary_line(const Totals& t, bool dry_run, double seconds)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "%" PRId64 " records, %" PRId64 " %s, %" PRId64 " failed, %" PRId64
                  " warnings, %" PRId64 " blank lines, %.1f s",
                  t.records, dry_run ? t.checked : t.written, dry_run ? "checked" : "written",
                  t.failed, t.warnings, t.blank_lines, seconds);
    return text;
}
