// A catalogue record's description as readers expect it: the source's
// location in one text, the key or mode in words, and the single
// instrument or voice of a scoring.

#include <cctype>

#include "tav/tav.h"

namespace tav {

namespace {

constexpr std::string_view kFlat = "|b";
constexpr std::string_view kSharp = "|x";
constexpr std::string_view kFlatSign = "\u266D";
constexpr std::string_view kSharpSign = "\u266F";

bool is_note_name(char c)
{
    return (c >= 'A' && c <= 'G') || (c >= 'a' && c <= 'g');
}

// True when the value follows the convention: a note name, then at most
// one flat or sharp.
bool follows_convention(std::string_view key)
{
    if (key.empty() || !is_note_name(key[0]))
        return false;
    std::string_view rest = key.substr(1);
    return rest.empty() || rest == kFlat || rest == kSharp;
}

}  // namespace

std::string SourceDescription::location() const
{
    if (siglum.empty() || shelfmark.empty())
        return siglum + shelfmark;
    return siglum + ' ' + shelfmark;
}

std::string SourceDescription::record_link(std::string_view uri_template) const
{
    constexpr std::string_view kId = "{id}";
    if (uri_template.empty() || control_number.empty())
        return {};
    std::string link(uri_template);
    for (size_t at = link.find(kId); at != std::string::npos;
         at = link.find(kId, at + control_number.size()))
        link.replace(at, kId.size(), control_number);
    return link;
}

const SourceDescription& Description::source_or_empty() const
{
    static const SourceDescription none;
    return source != nullptr ? *source : none;
}

std::string Description::part_label() const
{
    return part_name.empty() ? single_part_of(source_or_empty().scoring) : part_name;
}

bool Description::empty() const
{
    return composer.empty() && work_title.empty() && movement_title.empty() &&
           part_name.empty() && text_incipit.empty() && key_or_mode.empty() && role.empty() &&
           note.empty() && movement_number.empty() && source == nullptr;
}

std::string_view key_mode(std::string_view key_or_mode)
{
    if (!follows_convention(key_or_mode))
        return {};
    return std::isupper(static_cast<unsigned char>(key_or_mode[0])) ? "major" : "minor";
}

std::string key_in_words(std::string_view key_or_mode)
{
    if (!follows_convention(key_or_mode))
        return std::string(key_or_mode);
    std::string words(1, static_cast<char>(std::toupper(static_cast<unsigned char>(key_or_mode[0]))));
    std::string_view sign = key_or_mode.substr(1);
    if (sign == kFlat)
        words += kFlatSign;
    else if (sign == kSharp)
        words += kSharpSign;
    return words.append(1, ' ').append(key_mode(key_or_mode));
}

std::string single_part_of(std::string_view scoring)
{
    // Several parts are listed with one of these between them; a count
    // before a name ("2 vl") names several too.
    constexpr std::string_view kListed = ",;+/&";
    if (scoring.empty() || scoring.find_first_of(kListed) != std::string_view::npos ||
        std::isdigit(static_cast<unsigned char>(scoring[0])))
        return {};
    return std::string(scoring);
}

}  // namespace tav
