// The code's key-value form: one "@KEY:VALUE" a line ("@clef:G-2",
// "@keysig:bB", "@timesig:3/4", "@data:...", "@id:", "@number:"), the
// incipits apart by a blank line or "@end" ("@start" opens one and is
// otherwise passed over). Values are trimmed of blanks at their ends. A
// line that is neither is passed over with a warning.

#include <utility>

#include "record/keyed_incipit.h"
#include "tav/batch.h"
#include "tav/readers.h"

namespace tav {

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

class KeyValueReader : public RecordSource {
public:
    explicit KeyValueReader(std::unique_ptr<InputStream> input) : lines_(std::move(input)) {}

    bool next(MarcxmlItem& item) override
    {
        while (!at_end_) {
            if (read_line(item))
                return true;
        }
        if (incipit_.open()) {
            incipit_.finish(item);
            return true;
        }
        return false;
    }
    bool read_failed() const override { return lines_.failed(); }
    const std::string& failure() const override { return lines_.failure(); }
    std::uint64_t consumed() const override { return lines_.consumed(); }

private:
    // Reads one line; true when it closed an incipit into `item` (or is a
    // message of its own there).
    bool read_line(MarcxmlItem& item)
    {
        LineReader::Status status = lines_.next();
        if (status == LineReader::Status::End || status == LineReader::Status::Error) {
            at_end_ = true;
            return false;
        }
        ++line_;
        if (status == LineReader::Status::TooLong) {
            open_incipit();
            incipit_.fail(make_message(MessageCode::IncipitTooLargeToRead, {incipit_.number()}));
            return false;
        }
        std::string_view text(lines_.data(), lines_.length());
        if (line_ == 1 && text.starts_with("\xEF\xBB\xBF"))
            text.remove_prefix(3);
        text = trimmed(text);
        if (text.empty() || text == "@end" || text.starts_with("@end:"))
            return close(item);
        if (text.front() != '@')
            return not_a_key_line(item);
        std::size_t colon = text.find(':');
        std::string_view key = text.substr(1, colon == text.npos ? text.npos : colon - 1);
        std::string_view value = colon == text.npos ? std::string_view() : text.substr(colon + 1);
        if (key == "start") {
            bool closed = close(item);
            open_incipit();
            return closed;
        }
        open_incipit();
        incipit_.set(trimmed(key), trimmed(value));
        return false;
    }

    void open_incipit()
    {
        if (!incipit_.open())
            incipit_.begin(++count_, line_);
    }

    bool close(MarcxmlItem& item)
    {
        if (!incipit_.open())
            return false;
        incipit_.finish(item);
        return true;
    }

    bool not_a_key_line(MarcxmlItem& item)
    {
        Message warning = make_message(MessageCode::NotKeyLine, {std::to_string(line_)});
        if (incipit_.open()) {
            incipit_.warn(std::move(warning));
            return false;
        }
        item = MarcxmlItem{};
        item.kind = MarcxmlItem::Kind::Warning;
        item.line = line_;
        item.message = std::move(warning);
        return true;
    }

    LineReader lines_;
    detail::KeyedIncipit incipit_;
    std::int64_t line_ = 0;
    std::int64_t count_ = 0;
    bool at_end_ = false;
};

}  // namespace

std::unique_ptr<RecordSource> open_key_value_reader(std::unique_ptr<InputStream> input)
{
    return std::make_unique<KeyValueReader>(std::move(input));
}

}  // namespace tav
