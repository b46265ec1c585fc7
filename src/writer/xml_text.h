// The document text as it is built: one element per line, indented with
// tab characters, every line ended by one line feed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class XmlText {
public:
    explicit XmlText(std::string& out) : out_(out) {}

    // DEPTH tabs, TEXT, line feed.
    void line(int depth, std::string_view text)
    {
        indent(depth);
        out_.append(text);
        out_.push_back('\n');
    }

    // DEPTH tabs, BEFORE, the decimal VALUE, AFTER, line feed.
    void line(int depth, std::string_view before, int64_t value, std::string_view after)
    {
        indent(depth);
        out_.append(before);
        append_decimal(value);
        out_.append(after);
        out_.push_back('\n');
    }

    // DEPTH tabs, BEFORE, TEXT with & < > written as entities, AFTER, line feed.
    void escaped_line(int depth, std::string_view before, std::string_view text,
                      std::string_view after);

private:
    void indent(int depth)
    {
        static constexpr std::string_view kTabs = "\t\t\t\t\t\t\t\t";
        if (static_cast<size_t>(depth) <= kTabs.size())
            out_.append(kTabs.data(), static_cast<size_t>(depth));
        else
            out_.append(static_cast<size_t>(depth), '\t');
    }
    void append_decimal(int64_t value);

    std::string& out_;
};
