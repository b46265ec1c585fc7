#include "record/joined_words.h"

namespace tav::detail {

std::string joined_words(std::span<const std::string_view> words, std::string_view separator,
                         std::string_view last)
{
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0)
            text += i + 1 == words.size() && !last.empty() ? last : separator;
        text += words[i];
    }
    return text;
}

}  // namespace tav::detail
