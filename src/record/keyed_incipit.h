// One incipit of the code's key-value or JSON form, gathered key by key
// ("clef", "keysig", "timesig", "data", "id", "number") into a Record, with
// the rules both forms share: an unknown key is passed over with a warning,
// a key given twice or a value holding a zero byte makes the incipit an
// error, and so does one without music. A missing identifier is 0, a
// missing number the incipit's count in its input (1 for the first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tav/marcxml.h"

namespace tav::detail {

// The text an incipit may hold in all, as a catalogue record may: past it
// the incipit is an error and its values are no longer kept.
inline constexpr std::size_t kMaxIncipitText = std::size_t{1} << 26;

class KeyedIncipit {
public:
    // Starts incipit `count` of its input (from 1), at `line`.
    void begin(std::int64_t count, std::int64_t line);
    bool open() const { return open_; }
    std::int64_t count() const { return count_; }

    // Whether `key` is one of the form's keys.
    static bool known(std::string_view key);
    // The value of `key`.
    void set(std::string_view key, std::string_view value);
    // A fault of the form: the incipit is not converted (the first one
    // counts).
    void fail(Message message);
    void warn(Message message);
    // "N", as messages name the incipit ("incipit N").
    std::string number() const;
    // The text held past kMaxIncipitText: the incipit is then an error.
    void count_bytes(std::size_t bytes);

    // The incipit as an item (an Incipit, or an Error); it is then closed.
    void finish(MarcxmlItem& item);

private:
    enum Key { Clef, Keysig, Timesig, Data, Id, Number, Keys };
    bool open_ = false;
    std::int64_t count_ = 0;
    std::int64_t line_ = 0;
    std::size_t bytes_ = 0;
    bool seen_[Keys] = {};
    std::string values_[Keys];
    std::optional<Message> error_;
    std::vector<Message> warnings_;
};

// Gives `item` the error `message` about what starts at `line`.
void error_item(MarcxmlItem& item, std::int64_t line, Message message);

}  // namespace tav::detail
