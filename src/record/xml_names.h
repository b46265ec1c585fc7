// Small rules of XML text that the MARCXML code shares: white space and
// trimming it, a name's local part, and the MARC 21 namespace.
#pragma once

#include <string>
#include <string_view>

namespace tav::detail {

inline bool is_xml_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Cuts the white space at both ends of `s`.
inline void trim(std::string& s)
{
    std::size_t end = s.size();
    while (end > 0 && is_xml_space(s[end - 1]))
        --end;
    std::size_t begin = 0;
    while (begin < end && is_xml_space(s[begin]))
        ++begin;
    // Most texts have nothing to cut.
    if (end < s.size())
        s.resize(end);
    if (begin > 0)
        s.erase(0, begin);
}

// The name after a namespace prefix, if any.
inline std::string_view local_name(std::string_view name)
{
    std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The namespace of MARC 21 records in XML.
inline constexpr std::string_view kMarcNamespace = "http://www.loc.gov/MARC21/slim";

}  // namespace tav::detail
