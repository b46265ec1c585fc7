// Words joined for help texts and usage errors: "a|b|c", or "a, b or c".
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tav::detail {

// The words joined by `separator`, with `last` before the last one when it
// is given.
std::string joined_words(std::span<const std::string_view> words, std::string_view separator,
                         std::string_view last = {});

}  // namespace tav::detail
