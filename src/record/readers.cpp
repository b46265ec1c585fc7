// The table of input forms: each row's name, how its start is recognised,
// and its reader.

#include "tav/readers.h"

#include <utility>

#include "record/joined_words.h"

namespace tav {

bool RecordSource::take(std::deque<MarcxmlItem>& items)
{
    MarcxmlItem item;
    if (!next(item))
        return false;
    items.push_back(std::move(item));
    return true;
}

namespace {

// `start` after a UTF-8 byte-order mark and white space.
std::string_view content_of(std::string_view start)
{
    if (start.starts_with("\xEF\xBB\xBF"))
        start.remove_prefix(3);
    while (!start.empty() && (start.front() == ' ' || start.front() == '\t' ||
                              start.front() == '\r' || start.front() == '\n'))
        start.remove_prefix(1);
    return start;
}

// "@" and a key made of letters, then ":" or the line's end: "@clef:G-2",
// "@end".
bool looks_like_key_value(std::string_view start)
{
    start = content_of(start);
    if (!start.starts_with('@'))
        return false;
    std::size_t end = 1;
    while (end < start.size() && ((start[end] >= 'a' && start[end] <= 'z') ||
                                  (start[end] >= 'A' && start[end] <= 'Z')))
        ++end;
    return end > 1 && (end == start.size() || start[end] == ':' || start[end] == '\n' ||
                       start[end] == '\r');
}

// "{" and then a key or "}", or "[" and then an object or "]".
bool looks_like_json(std::string_view start)
{
    start = content_of(start);
    if (start.empty() || (start.front() != '{' && start.front() != '['))
        return false;
    const char open = start.front();
    std::string_view rest = content_of(start.substr(1));
    if (rest.empty())
        return true;   // all the first block holds
    return open == '{' ? rest.front() == '"' || rest.front() == '}'
                       : rest.front() == '{' || rest.front() == ']';
}

class MarcxmlSource : public RecordSource {
public:
    explicit MarcxmlSource(std::unique_ptr<InputStream> input) : reader_(std::move(input)) {}
    bool next(MarcxmlItem& item) override { return reader_.next(item); }
    bool take(std::deque<MarcxmlItem>& items) override { return reader_.take(items); }
    bool read_failed() const override { return reader_.read_failed(); }
    const std::string& failure() const override { return reader_.input().failure(); }
    std::uint64_t consumed() const override { return reader_.consumed(); }
    bool catalogue() const override { return true; }
    std::int64_t without_music() const override { return reader_.counts().without_music; }
    void read_on(unsigned threads) override { reader_.read_on(threads); }

private:
    MarcxmlReader reader_;
};

std::unique_ptr<RecordSource> open_marcxml(std::unique_ptr<InputStream> input)
{
    return std::make_unique<MarcxmlSource>(std::move(input));
}

constexpr InputForm kForms[] = {
    {"tab", "the export's record lines, six fields apart by TABs", "any other start", nullptr,
     nullptr},
    {"marcxml", "MARCXML catalogue records, incipits in field 031",
     "<?xml, <collection, <record or the MARC 21 namespace", looks_like_marcxml, open_marcxml},
    {"pae", "the code's key-value form: @clef:, @keysig:, @timesig:, @data: lines",
     "@ and a key, as @clef:", looks_like_key_value, open_key_value_reader},
    {"json", "the code's JSON form: objects with clef, keysig, timesig, data",
     "{ and a key, or [ and an object", looks_like_json, open_json_reader},
};

}  // namespace

std::span<const InputForm> input_forms()
{
    return kForms;
}

const InputForm* find_input_form(std::string_view name)
{
    for (const InputForm& form : kForms)
        if (form.name == name)
            return &form;
    return nullptr;
}

const InputForm& recognise_input_form(std::string_view start)
{
    for (const InputForm& form : kForms)
        if (form.recognise != nullptr && form.recognise(start))
            return form;
    return kForms[0];
}

std::string input_form_names(std::string_view separator, std::string_view last)
{
    std::string_view names[std::size(kForms)];
    for (std::size_t i = 0; i < std::size(kForms); ++i)
        names[i] = kForms[i].name;
    return detail::joined_words(names, separator, last);
}

}  // namespace tav
