// The code's JSON form: one object, an array of objects, or objects one
// after another (JSON Lines), each with "clef", "keysig", "timesig",
// "data" and optional "id" and "number" (text; an identifier or number may
// also be a whole number; null stands for a key not given).
//
// The input is cut into its values by their brackets and strings, and each
// value is read by the JSON parser (nlohmann-json) on its own: malformed
// JSON loses the value it is in, never the others. A string ends at a line
// end (which no JSON string holds), and in objects one after another a line
// that starts with "{" starts the next one, so an object left open loses
// only itself. A value over 64 MiB is not kept: it is an error.

#include <utility>

#include "record/keyed_incipit.h"
#include "tav/readers.h"

#ifdef TAV_HAVE_NLOHMANN_JSON
#include <nlohmann/json.hpp>
#endif

namespace tav {

bool json_available()
{
#ifdef TAV_HAVE_NLOHMANN_JSON
    return true;
#else
    return false;
#endif
}

namespace {

// Of the parser's description of a fault, at most this much is told.
constexpr std::size_t kMaxFaultText = 160;

// One value of the input, as it stands.
struct JsonValue {
    std::string text;
    std::int64_t line = 0;
    bool too_large = false;
};

// The bytes of the input, one at a time, with the line they are on.
class JsonBytes {
public:
    explicit JsonBytes(std::unique_ptr<InputStream> input) : input_(std::move(input)) {}

    // The next byte, not taken; -1 at the end.
    int peek()
    {
        if (pos_ == block_.size() && !fill())
            return -1;
        return static_cast<unsigned char>(block_[pos_]);
    }
    void take()
    {
        at_line_start_ = block_[pos_] == '\n';
        line_ += at_line_start_ ? 1 : 0;
        ++pos_;
    }
    std::int64_t line() const { return line_; }
    bool at_line_start() const { return at_line_start_; }
    const InputStream& input() const { return *input_; }

private:
    bool fill()
    {
        block_.resize(InputStream::kBlockBytes);
        block_.resize(input_->read(block_.data(), block_.size()));
        pos_ = 0;
        if (first_ && block_.starts_with("\xEF\xBB\xBF"))
            pos_ = 3;
        first_ = false;
        return pos_ < block_.size();
    }

    std::unique_ptr<InputStream> input_;
    std::string block_;
    std::size_t pos_ = 0;
    std::int64_t line_ = 1;
    bool at_line_start_ = true;
    bool first_ = true;
};

bool is_json_space(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where a value's text stands, with the brackets open around a byte.
struct Nesting {
    int depth = 0;
    bool in_string = false;
    bool escape = false;

    void step(char c)
    {
        if (in_string) {
            if (escape)
                escape = false;
            else if (c == '\\')
                escape = true;
            else if (c == '"' || c == '\n')
                in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if ((c == '}' || c == ']') && depth > 0) {
            --depth;
        }
    }
};

class JsonReader : public RecordSource {
public:
    explicit JsonReader(std::unique_ptr<InputStream> input) : bytes_(std::move(input)) {}

    bool next(MarcxmlItem& item) override
    {
        if (!json_available()) {
            if (told_)
                return false;
            told_ = true;
            detail::error_item(item, 1, make_message(MessageCode::NoJson));
            return true;
        }
        for (;;) {
            int c = skip_space();
            if (c < 0)
                return false;
            if (mode_ == Mode::Start) {
                mode_ = c == '[' ? Mode::Array : Mode::Stream;
                if (c == '[')
                    bytes_.take();
                continue;
            }
            if (mode_ == Mode::Array && (c == ',' || c == ']')) {
                bytes_.take();
                mode_ = c == ']' ? Mode::Stream : mode_;
                continue;
            }
            take_value(static_cast<char>(c));
            read_value(item);
            return true;
        }
    }
    bool read_failed() const override { return bytes_.input().failed(); }
    const std::string& failure() const override { return bytes_.input().failure(); }
    std::uint64_t consumed() const override { return bytes_.input().consumed(); }

private:
    enum class Mode { Start, Stream, Array };

    int skip_space()
    {
        int c;
        while ((c = bytes_.peek()) >= 0 && is_json_space(c))
            bytes_.take();
        return c;
    }

    // Whether the value being taken ends before `c`.
    bool ends_before(char c, const Nesting& at, bool structured) const
    {
        if (at.in_string)
            return false;
        if (structured)
            return at.depth == 0 ||
                   (mode_ == Mode::Stream && c == '{' && bytes_.at_line_start());
        if (at.depth > 0)
            return false;
        return mode_ == Mode::Array ? c == ',' || c == ']' : c == '\n';
    }

    void take_value(char first)
    {
        value_.text.clear();
        value_.line = bytes_.line();
        value_.too_large = false;
        const bool structured = first == '{' || first == '[';
        Nesting at;
        for (int c; (c = bytes_.peek()) >= 0;) {
            if (!value_.text.empty() || value_.too_large)
                if (ends_before(static_cast<char>(c), at, structured))
                    break;
            at.step(static_cast<char>(c));
            bytes_.take();
            if (value_.text.size() >= detail::kMaxIncipitText) {
                value_.too_large = true;
                value_.text.clear();
                value_.text.shrink_to_fit();
            }
            if (!value_.too_large)
                value_.text += static_cast<char>(c);
        }
    }

    void read_value(MarcxmlItem& item);

    JsonBytes bytes_;
    Mode mode_ = Mode::Start;
    JsonValue value_;
    std::int64_t count_ = 0;
    bool told_ = false;
};

#ifdef TAV_HAVE_NLOHMANN_JSON

using Json = nlohmann::json;

// Where a parse error is, "L, column C", counted in the input from the
// parser's byte in the value.
std::string fault_place(const JsonValue& value, const Json::parse_error& e)
{
    std::size_t at = std::min<std::size_t>(e.byte > 0 ? e.byte - 1 : 0, value.text.size());
    std::int64_t line = value.line;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < at; ++i)
        if (value.text[i] == '\n') {
            ++line;
            line_start = i + 1;
        }
    return std::to_string(line) + ", column " + std::to_string(at - line_start + 1);
}

// What the parser says is wrong, without its own account of the place,
// cut short past kMaxFaultText.
std::string fault_what(const Json::parse_error& e)
{
    std::string_view what = e.what();
    std::size_t column = what.find("column ");
    std::size_t colon = what.find(": ", column == what.npos ? 0 : column);
    what = colon == what.npos ? what : what.substr(colon + 2);
    std::string text(what.substr(0, kMaxFaultText));
    if (what.size() > kMaxFaultText)
        text += "...";
    return text;
}

// A key's value as the incipit's text.
void set_field(detail::KeyedIncipit& incipit, const std::string& key, const Json& value)
{
    if (value.is_null())
        return;
    if (value.is_string()) {
        incipit.set(key, value.get_ref<const std::string&>());
    } else if ((key == "id" || key == "number") && value.is_number_unsigned()) {
        incipit.set(key, std::to_string(value.get<std::uint64_t>()));
    } else if (detail::KeyedIncipit::known(key)) {
        incipit.fail(make_message(MessageCode::ValueNotText, {incipit.number(), key}));
    } else {
        incipit.set(key, {});
    }
}

void read_object(detail::KeyedIncipit& incipit, const JsonValue& value)
{
    std::vector<std::string> keys;  // in order, each time it is given
    auto note_key = [&keys](int depth, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::key && depth == 1)
            keys.push_back(parsed.get<std::string>());
        return true;
    };
    Json object;
    try {
        object = Json::parse(value.text, note_key);
    } catch (const Json::parse_error& e) {
        incipit.fail(make_message(MessageCode::MalformedJson,
                                  {fault_place(value, e), fault_what(e), incipit.number()}));
        return;
    } catch (const Json::exception& e) {
        incipit.fail(make_message(MessageCode::MalformedJson,
                                  {std::to_string(value.line), e.what(), incipit.number()}));
        return;
    }
    if (!object.is_object()) {
        incipit.fail(make_message(MessageCode::NotJsonObject, {incipit.number()}));
        return;
    }
    for (const std::string& key : keys)
        set_field(incipit, key, object[key]);
}

#endif

void JsonReader::read_value(MarcxmlItem& item)
{
    detail::KeyedIncipit incipit;
    incipit.begin(++count_, value_.line);
    if (value_.too_large)
        incipit.fail(make_message(MessageCode::IncipitTooLargeToRead, {incipit.number()}));
#ifdef TAV_HAVE_NLOHMANN_JSON
    else
        read_object(incipit, value_);
#endif
    incipit.finish(item);
}

}  // namespace

std::unique_ptr<RecordSource> open_json_reader(std::unique_ptr<InputStream> input)
{
    return std::make_unique<JsonReader>(std::move(input));
}

}  // namespace tav
