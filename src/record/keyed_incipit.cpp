#include "record/keyed_incipit.h"

#include <iterator>
#include <utility>

namespace tav::detail {

namespace {

constexpr std::string_view kKeyNames[] = {"clef", "keysig", "timesig", "data", "id", "number"};

// The key's place in kKeyNames; past its end for a key not there.
int key_index(std::string_view key)
{
    int k = 0;
    while (k < std::ssize(kKeyNames) && kKeyNames[k] != key)
        ++k;
    return k;
}

}  // namespace

void KeyedIncipit::begin(std::int64_t count, std::int64_t line)
{
    open_ = true;
    count_ = count;
    line_ = line;
    bytes_ = 0;
    for (int k = 0; k < Keys; ++k) {
        seen_[k] = false;
        values_[k].clear();
    }
    error_.clear();
    warnings_.clear();
}

std::string KeyedIncipit::name() const
{
    return "incipit " + std::to_string(count_);
}

void KeyedIncipit::fail(std::string text)
{
    if (error_.empty())
        error_ = std::move(text);
}

void KeyedIncipit::warn(std::string text)
{
    warnings_.push_back(std::move(text));
}

void KeyedIncipit::count_bytes(std::size_t bytes)
{
    bytes_ += bytes;
    if (bytes_ > kMaxIncipitText)
        fail(name() + " is too large to read (over 64 MiB of text)");
}

bool KeyedIncipit::known(std::string_view key)
{
    return key_index(key) < Keys;
}

void KeyedIncipit::set(std::string_view key, std::string_view value)
{
    int k = key_index(key);
    if (k == Keys) {
        warn(name() + ": unknown key " + std::string(key) + ", passed over");
        return;
    }
    if (seen_[k])
        fail(name() + ": " + std::string(key) + " given twice; it is not converted");
    else if (value.find('\0') != std::string_view::npos)
        fail(name() + ": " + std::string(key) + " holds a zero byte; it is not converted");
    seen_[k] = true;
    count_bytes(value.size());
    if (error_.empty())
        values_[k] = value;
}

void error_item(MarcxmlItem& item, std::int64_t line, std::string text)
{
    item = MarcxmlItem{};
    item.kind = MarcxmlItem::Kind::Error;
    item.line = line;
    item.text = std::move(text);
}

void KeyedIncipit::finish(MarcxmlItem& item)
{
    open_ = false;
    if (error_.empty() && !seen_[Data])
        error_ = name() + " has no music (no data)";
    if (!error_.empty()) {
        error_item(item, line_, std::move(error_));
        return;
    }
    item = MarcxmlItem{};
    item.line = line_;
    Record& r = item.record;
    r.identifier = seen_[Id] ? std::move(values_[Id]) : std::string("0");
    r.number = seen_[Number] ? std::move(values_[Number]) : std::to_string(count_);
    r.clef = std::move(values_[Clef]);
    r.key = std::move(values_[Keysig]);
    r.time = std::move(values_[Timesig]);
    r.music = std::move(values_[Data]);
    item.warnings = std::move(warnings_);
    warnings_.clear();
}

}  // namespace tav::detail
