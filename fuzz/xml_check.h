// A small well-formedness checker for the documents the writer produces:
// a declaration, a document type without internal subset, then exactly one
// element with balanced tags, quoted attributes, and text in which '<' never
// stands and '&' only begins one of the five predefined entities or a
// character reference to an XML character. The whole
// document must be UTF-8 made of XML characters. Shared by the fuzzing
// harnesses and the unit tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace xml_check {

inline bool is_name_char(unsigned char c, bool first)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':')
        return true;
    return !first && ((c >= '0' && c <= '9') || c == '-' || c == '.');
}

// Empty when `text` is UTF-8 of XML characters, else what is wrong.
inline std::string check_characters(const std::string& text)
{
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if (c >= 0xC2 && c <= 0xDF) {
            cp = c & 0x1F;
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            cp = c & 0x0F;
            extra = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            cp = c & 0x07;
            extra = 3;
        } else {
            return "bad UTF-8 lead byte at " + std::to_string(i);
        }
        if (i + static_cast<size_t>(extra) >= text.size() && extra > 0)
            return "truncated UTF-8 at " + std::to_string(i);
        for (int k = 1; k <= extra; ++k) {
            unsigned char cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
                return "bad UTF-8 continuation at " + std::to_string(i + k);
            cp = (cp << 6) | (cc & 0x3F);
        }
        static const uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return "bad UTF-8 sequence at " + std::to_string(i);
        bool xml_char = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xFFFD) ||
                        cp >= 0x10000;
        if (!xml_char)
            return "not an XML character at " + std::to_string(i);
        i += static_cast<size_t>(extra) + 1;
    }
    return "";
}

// True for UTF-8 text of XML characters: text that can stand in a document.
inline bool is_xml_text(const std::string& text)
{
    return check_characters(text).empty();
}

// True when the '&' at `i` begins a predefined entity, or a character
// reference (decimal) to a character XML carries.
inline bool entity_at(const std::string& doc, size_t i)
{
    for (const char* e : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
        if (doc.compare(i, std::strlen(e), e) == 0)
            return true;
    if (doc.compare(i, 2, "&#") != 0)
        return false;
    uint32_t code = 0;
    size_t k = i + 2;
    for (; k < doc.size() && k < i + 10 && doc[k] >= '0' && doc[k] <= '9'; ++k)
        code = code * 10 + static_cast<uint32_t>(doc[k] - '0');
    return k > i + 2 && k < doc.size() && doc[k] == ';' &&
           (code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
            (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF));
}

// Empty when `doc` is well-formed, else the first problem found.
inline std::string xml_problem(const std::string& doc)
{
    if (std::string bad = check_characters(doc); !bad.empty())
        return bad;
    size_t i = 0;
    if (doc.compare(0, 6, "<?xml ") != 0)
        return "no XML declaration";
    i = doc.find("?>");
    if (i == std::string::npos)
        return "unterminated declaration";
    i += 2;
    std::vector<std::string_view> open;  // names of the open elements
    int roots = 0;
    while (i < doc.size()) {
        char c = doc[i];
        if (c != '<') {
            if (c == '&' && !entity_at(doc, i))
                return "bare '&' at " + std::to_string(i);
            if (c == '>')
                return "bare '>' at " + std::to_string(i);
            if (open.empty() && c != '\n' && c != '\t' && c != ' ')
                return "text outside the root at " + std::to_string(i);
            ++i;
            continue;
        }
        if (doc.compare(i, 9, "<!DOCTYPE") == 0) {
            if (roots > 0 || !open.empty())
                return "misplaced document type";
            size_t end = doc.find('>', i);
            if (end == std::string::npos || doc.find('[', i) < end)
                return "bad document type";
            i = end + 1;
            continue;
        }
        if (doc.compare(i, 2, "<?") == 0) {  // a processing instruction (MEI's xml-model)
            if (roots > 0 || !open.empty())
                return "misplaced processing instruction";
            size_t end = doc.find("?>", i);
            if (end == std::string::npos)
                return "unterminated processing instruction";
            i = end + 2;
            continue;
        }
        bool closing = doc[i + 1] == '/';
        size_t j = i + (closing ? 2 : 1);
        size_t name_start = j;
        while (j < doc.size() && is_name_char(static_cast<unsigned char>(doc[j]), j == name_start))
            ++j;
        std::string_view name(doc.data() + name_start, j - name_start);
        if (name.empty())
            return "tag without a name at " + std::to_string(i);
        if (closing) {
            if (j >= doc.size() || doc[j] != '>')
                return "bad closing tag at " + std::to_string(i);
            if (open.empty() || open.back() != name)
                return "unbalanced </" + std::string(name) + "> at " + std::to_string(i);
            open.pop_back();
            i = j + 1;
            continue;
        }
        // Attributes: name="value", separated by blanks.
        for (;;) {
            while (j < doc.size() && doc[j] == ' ')
                ++j;
            if (j >= doc.size())
                return "unterminated tag " + std::string(name);
            if (doc[j] == '>' || doc.compare(j, 2, "/>") == 0)
                break;
            size_t a = j;
            while (j < doc.size() && is_name_char(static_cast<unsigned char>(doc[j]), j == a))
                ++j;
            if (j == a || doc.compare(j, 2, "=\"") != 0)
                return "bad attribute in " + std::string(name);
            j += 2;
            while (j < doc.size() && doc[j] != '"') {
                if (doc[j] == '<' || (doc[j] == '&' && !entity_at(doc, j)))
                    return "bad attribute value in " + std::string(name);
                ++j;
            }
            if (j >= doc.size())
                return "unterminated attribute in " + std::string(name);
            ++j;
        }
        if (open.empty()) {
            if (++roots > 1)
                return "second root element " + std::string(name);
        }
        if (doc[j] == '>') {
            open.push_back(name);
            i = j + 1;
        } else {
            i = j + 2;
        }
    }
    if (roots != 1)
        return "no root element";
    if (!open.empty())
        return "unclosed <" + std::string(open.back()) + ">";
    return "";
}

// Aborts when a document of a number XML can carry is not well-formed.
inline void check_document(const std::string& number, const std::string& document)
{
    if (!is_xml_text(number))
        return;
    std::string problem = xml_problem(document);
    if (!problem.empty()) {
        std::fprintf(stderr, "document not well-formed: %s\n", problem.c_str());
        std::abort();
    }
}

}  // namespace xml_check
