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
    error_.reset();
    warnings_.clear();
}

std::string KeyedIncipit::number() const
{
    return std::to_string(count_);
}

void KeyedIncipit::fail(Message message)
{
    if (!error_)
        error_ = std::move(message);
}

void KeyedIncipit::warn(Message message)
{
    warnings_.push_back(std::move(message));
}

void KeyedIncipit::count_bytes(std::size_t bytes)
{
    bytes_ += bytes;
    if (bytes_ > kMaxIncipitText)
        fail(make_message(MessageCode::IncipitTooLargeToRead, {number()}));
}

bool KeyedIncipit::known(std::string_view key)
{
    return key_index(key) < Keys;
}

void KeyedIncipit::set(std::string_view key, std::string_view value)
{
    int k = key_index(key);
    if (k == Keys) {
        warn(make_message(MessageCode::UnknownKey, {number(), key}));
        return;
    }
    if (seen_[k])
        fail(make_message(MessageCode::KeyGivenTwice, {number(), key}));
    else if (value.find('\0') != std::string_view::npos)
        fail(make_message(MessageCode::ZeroByteInValue, {number(), key}));
    seen_[k] = true;
    count_bytes(value.size());
    if (!error_)
        values_[k] = value;
}

void error_item(MarcxmlItem& item, std::int64_t line, Message message)
{
    item = MarcxmlItem{};
    item.kind = MarcxmlItem::Kind::Error;
    item.line = line;
    item.message = std::move(message);
}

void KeyedIncipit::finish(MarcxmlItem& item)
{
    open_ = false;
    if (!error_ && !seen_[Data])
        error_ = make_message(MessageCode::NoMusicKey, {number()});
    if (error_) {
        error_item(item, line_, std::move(*error_));
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
