// The table of input forms and the readers of the code's key-value and JSON
// forms: the shared case table (tests/data/readers/cases.txt, whose head
// tells its format), each incipit against the record line that must convert
// to the same document, and the bounds on what a reader holds.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tav/readers.h"
#include "test_support.h"


namespace {

using test_support::unescaped;

struct ReaderCase {
    std::string name, form, start, input;
    std::vector<std::string> expected;   // "tab LINE", "fails CODE", "error CODE", ...
};

std::vector<ReaderCase> reader_cases()
{
    std::vector<ReaderCase> cases;
    bool first_in = true;
    test_support::each_table_line("readers/cases.txt", [&](const std::string& word,
                                                           const std::string& rest,
                                                           const std::string& line) {
        if (word == "==") {
            cases.push_back({rest, "", "", "", {}});
            first_in = true;
        } else if (word == "form") {
            cases.back().form = cases.back().start = rest;
        } else if (word == "start") {
            cases.back().start = rest;
        } else if (word == "in") {
            cases.back().input += (first_in ? "" : "\n") + unescaped(rest);
            first_in = false;
        } else {
            cases.back().expected.push_back(word == "tab" ? "tab " + unescaped(rest) : line);
        }
    });
    return cases;
}

// The item as the table writes it, checked against its record line.
std::string transcript_of(tav::MarcxmlItem& item, const std::string& expected)
{
    if (item.kind != tav::MarcxmlItem::Kind::Incipit)
        return std::string(item.kind == tav::MarcxmlItem::Kind::Error ? "error " : "warning ") +
               std::string(item.message.code);
    tav::Converter converter;
    tav::Result r = converter.convert(item.record);
    if (!r.ok())
        return "fails " + std::string(r.messages.back().code);
    if (!expected.starts_with("tab "))
        return "converted " + r.file_name;
    tav::Result by_line = tav::convert_record(expected.substr(4));
    EXPECT_EQ(r.document, by_line.document) << expected;
    EXPECT_EQ(r.file_name, by_line.file_name) << expected;
    EXPECT_EQ(r.messages.size(), by_line.messages.size()) << expected;
    return expected;
}

TEST(Readers, CaseTable)
{
    for (const ReaderCase& c : reader_cases()) {
        SCOPED_TRACE(c.name);
        if (c.form == "json" && !tav::json_available())
            continue;   // a build without nlohmann-json: the one error, below
        const tav::InputForm* form = tav::find_input_form(c.form);
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(tav::recognise_input_form(c.input).name, c.start);
        auto source = form->open(std::make_unique<tav::InputStream>(c.input));
        std::vector<std::string> got;
        tav::MarcxmlItem item;
        while (source->next(item)) {
            for (const tav::Message& warning : item.warnings)
                got.push_back("warning " + std::string(warning.code));
            got.push_back(transcript_of(item, got.size() < c.expected.size()
                                                  ? c.expected[got.size()]
                                                  : std::string()));
        }
        EXPECT_FALSE(source->read_failed());
        EXPECT_EQ(got, c.expected);
    }
}

TEST(Readers, TableNamesAndRecognition)
{
    EXPECT_EQ(tav::input_form_names("|"), "tab|marcxml|pae|json");
    EXPECT_EQ(tav::input_form_names(", ", " or "), "tab, marcxml, pae or json");
    EXPECT_EQ(tav::find_input_form("xml"), nullptr);
    struct Row {
        const char* start;
        const char* form;
    } rows[] = {
        {"123\t1.1\tG-2\t3/4\t\t4C", "tab"}, {"@ 1\t1\t", "tab"}, {"{x", "tab"}, {"[1,2]", "tab"},
        {"<?xml version", "marcxml"},       {"  @clef:G-2", "pae"}, {"@end\n", "pae"},
        {"\xEF\xBB\xBF{\"data\"", "json"},  {"[\n {", "json"},     {"{}", "json"},
        {"[", "json"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(tav::recognise_input_form(row.start).name, row.form) << row.start;
}

// An incipit past 64 MiB of text is an error, its text not kept; reading
// goes on with the next.
TEST(Readers, HugeValuesAreBounded)
{
    const std::string huge((std::size_t{1} << 26) + 16, 'C');
    for (const std::string& input :
         {"@data:" + huge + "\n\n@data:4D\n", "{\"data\":\"" + huge + "\"}\n{\"data\":\"4D\"}"}) {
        if (input[0] == '{' && !tav::json_available())
            continue;
        auto source = tav::recognise_input_form(input).open(std::make_unique<tav::InputStream>(input));
        tav::MarcxmlItem item;
        ASSERT_TRUE(source->next(item));
        EXPECT_EQ(item.message.id, tav::MessageCode::IncipitTooLargeToRead);
        EXPECT_LT(item.record.music.size(), 16u);
        ASSERT_TRUE(source->next(item));
        EXPECT_EQ(item.record.music, "4D");
        EXPECT_FALSE(source->next(item));
    }
}

TEST(Readers, WithoutJsonParserOneError)
{
    if (tav::json_available())
        GTEST_SKIP() << "built with nlohmann-json";
    auto source = tav::open_json_reader(std::make_unique<tav::InputStream>("{\"data\":\"4C\"}"));
    tav::MarcxmlItem item;
    ASSERT_TRUE(source->next(item));
    EXPECT_EQ(item.message.id, tav::MessageCode::NoJson);
    EXPECT_FALSE(source->next(item));
}

}  // namespace
