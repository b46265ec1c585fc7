// The byte paths between the input file and the output files: where a line
// ends, lines read in place or copied across block boundaries, the document
// text growing through its cursor, and the file written in one go.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "record/line_reader.h"
#include "parser/line.h"
#include "test_support.h"
#include "writer/output.h"
#include "writer/xml_text.h"

namespace {

using namespace test_support;

TEST(MakeLine, TheFirstTerminatorEndsTheLine)
{
    struct Case {
        std::string bytes;
        int32_t end, length;
    };
    const Case cases[] = {
        {std::string("AB\nCD\0\0", 7), 2, 3},
        {std::string("AB\r\nC\0", 6), 2, 3},       // the carriage return comes first
        {std::string("AB\0C\n\0", 6), 2, 3},       // a zero byte before the line feed
        {std::string("A\rB\0\n", 5), 1, 2},
        {std::string("ABCD", 4), 4, 4},            // no terminator: the whole buffer
        {std::string("\n\0", 2), 0, 1},
        {std::string("", 0), 0, 0},
    };
    for (const Case& c : cases) {
        std::string bytes = c.bytes;
        Line line = make_line(bytes.data(), static_cast<int32_t>(bytes.size()));
        EXPECT_EQ(line.end, c.end) << c.bytes.size();
        EXPECT_EQ(line.length, c.length) << c.bytes.size();
        // Nothing past the terminator is visible, however far a read goes.
        EXPECT_EQ(line.at(c.length), 0);
        EXPECT_EQ(line.at(c.length + 100), 0);
        EXPECT_EQ(line.at(-1), 0);
        EXPECT_EQ(line.at(-100), 0);
    }
}

// An empty line may come without storage; nothing may be searched then.
TEST(MakeLine, AnEmptyBufferNeedsNoStorage)
{
    Line line = make_line(nullptr, 0);
    EXPECT_EQ(line.end, 0);
    EXPECT_EQ(line.length, 0);
}

std::FILE* file_with(const std::string& text)
{
    std::FILE* f = std::tmpfile();
    if (f != nullptr) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::rewind(f);
    }
    return f;
}

// Lines of lengths that put line feeds just before, on and just after the
// boundaries of the reader's 64 KiB blocks, and lines longer than a block.
TEST(LineReader, EveryLineComesBackWholeWhereverTheBlocksEnd)
{
    const size_t lengths[] = {10, 65524, 1, 2, 65535, 65536, 200000, 3, 65530, 7, 9, 70000, 5};
    std::vector<std::string> lines;
    std::string text;
    char fill = 'a';
    for (size_t n : lengths) {
        std::string line(n - 1, fill);
        line += '\n';
        fill = fill == 'z' ? 'a' : static_cast<char>(fill + 1);
        lines.push_back(line);
        text += line;
    }
    lines.push_back("last line without a line feed");
    text += lines.back();

    std::FILE* input = file_with(text);
    ASSERT_NE(input, nullptr);
    LineReader reader(input);
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(reader.next(), LineReader::Status::Line) << "line " << i;
        ASSERT_EQ(reader.length(), lines[i].size()) << "line " << i;
        ASSERT_EQ(std::string(reader.data(), reader.length()), lines[i]) << "line " << i;
        // Room after the line for the parser's look-ahead, within the buffer.
        EXPECT_GE(static_cast<size_t>(reader.size()), reader.length() + 8) << "line " << i;
        volatile char last = reader.data()[reader.size() - 1];
        (void)last;
    }
    EXPECT_EQ(reader.next(), LineReader::Status::End);
    std::fclose(input);
}

// A record read in place parses to the same score as the same record
// copied into a zero-filled buffer, also when it ends just before a block
// boundary and its repetition sign rewrites the block.
TEST(LineReader, InPlaceRecordsParseLikeCopiedOnes)
{
    const std::string records[] = {
        std::string(kHeader) + "'4!{8ABCD}!f/2C-//",
        std::string(kHeader) + "(6ABC)$xF 4.8AB/=3/%F-4 2,,C//",
        std::string("123456789\t1\tG-2\t3/4\t\t") + "qq8ABr4C/2.D//\r",
    };
    for (const std::string& record : records) {
        // Padding moves the record up to the end of the first block.
        std::string pad(65536 - record.size() - 2 - 1, 'x');
        std::string text = pad + "\n" + record + "\n" + record + "\n";
        std::FILE* input = file_with(text);
        ASSERT_NE(input, nullptr);
        LineReader reader(input);
        ASSERT_EQ(reader.next(), LineReader::Status::Line);
        for (int k = 0; k < 2; ++k) {
            ASSERT_EQ(reader.next(), LineReader::Status::Line);
            Incipit in_place;
            ASSERT_EQ(parse_incipit(reader.data(), reader.size(), {}, {}, test_pools(), in_place),
                      ParseStatus::Parsed)
                << record;
            Parsed copied;
            parse_into(copied, record);
            ASSERT_TRUE(copied.ok());
            EXPECT_EQ(dump_score(in_place.first_measure), dump_score(copied.first()));
            EXPECT_EQ(in_place.divisions, copied.incipit.divisions);
        }
        EXPECT_EQ(reader.next(), LineReader::Status::End);
        std::fclose(input);
    }
}

// A note with many marks writes far more than the room reserved for a
// plain note; the text grows as needed and keeps every line.
TEST(XmlText, NotesWithManyMarksGrowTheText)
{
    for (int marks : {1, 40, 700}) {
        Measure* m = create_measure(test_pools(), 1, nullptr);
        Marks list;
        for (int k = 0; k < marks; ++k) {
            list.push_back({ATTR_TUPLET_START, 1000000 + k});
            list.push_back({ATTR_TRILL, 0});
        }
        add_note(make_note('C', 1, 0.5f, list), m);
        add_note(make_note('D', 1, 0.5f), m);
        MeasureAccidentals memory;
        std::string out = "before\n";
        {
            XmlText xml(out);
            write_notes(xml, m->first_note, 2.0f, 0, memory);
            // The string holds exactly the text as soon as write_notes returns.
            EXPECT_EQ(out.find('\0'), std::string::npos);
        }
        std::vector<std::string> lines = split_lines(out);
        auto count = [&](const std::string& text) {
            size_t n = 0;
            for (const std::string& l : lines)
                n += l == text ? 1 : 0;
            return n;
        };
        EXPECT_EQ(lines.front(), "before");
        EXPECT_EQ(count("\t\t\t<note>"), 2u);
        EXPECT_EQ(count("\t\t\t\t<time-modification>"), static_cast<size_t>(marks));
        EXPECT_EQ(count("\t\t\t\t\t\t<trill-mark/>"), static_cast<size_t>(marks));
        EXPECT_EQ(count("\t\t\t\t\t<actual-notes>" + std::to_string(1000000 + marks - 1) +
                        "</actual-notes>"),
                  1u);
        EXPECT_EQ(count("\t\t\t\t\t<normal-notes>524288</normal-notes>"),
                  static_cast<size_t>(marks));
        EXPECT_EQ(lines.back(), "\t\t\t</note>");
        EXPECT_EQ(out.back(), '\n');
        destroy_measure(test_pools(), m);
    }
}

TEST(XmlText, DecimalsAtTheirLimits)
{
    const int64_t values[] = {0, 9, 10, 99, 100, -7, INT64_MAX, INT64_MIN};
    const char* const texts[] = {"0",   "9",  "10", "99", "100", "-7", "9223372036854775807",
                                 "-9223372036854775808"};
    for (size_t i = 0; i < std::size(values); ++i) {
        char room[kDecimalRoom + 1];
        char* end = put_decimal(room, values[i]);
        EXPECT_EQ(std::string(room, end), texts[i]);
    }
}

// Writing a converted record's file in a scratch working directory.
class OutputFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = std::filesystem::current_path();
        dir_ = std::filesystem::temp_directory_path() /
               ("tav_output_" + std::to_string(static_cast<long>(getpid())));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
    }
    void TearDown() override
    {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
    }
    static std::string read(const std::string& name)
    {
        std::ifstream in(name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::filesystem::path previous_, dir_;
};

TEST_F(OutputFile, WritesTheDocumentAndReplacesALongerFile)
{
    tav::Result r = tav::convert_record(std::string(kHeader) + "'4ABCD/2E-//");
    ASSERT_TRUE(r.ok());
    std::string expected = r.document;
    {
        std::ofstream old(r.file_name, std::ios::binary);
        old << std::string(expected.size() * 3, 'x');
    }
    EXPECT_EQ(tav::write_file(r), tav::Status::Written);
#ifdef _WIN32
    // Written in text mode: each line feed becomes a carriage return and a line feed.
    std::string windows_text;
    for (char c : expected) {
        if (c == '\n')
            windows_text += '\r';
        windows_text += c;
    }
    expected = windows_text;
#endif
    EXPECT_EQ(read(r.file_name), expected);
    struct stat info;
    ASSERT_EQ(stat(r.file_name.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
}

TEST_F(OutputFile, ANameThatCannotBeCreatedIsReported)
{
    tav::Result r = tav::convert_record(std::string(kHeader) + "4C//");
    std::filesystem::create_directory(r.file_name);  // a directory stands in the way
    EXPECT_EQ(tav::write_file(r), tav::Status::Failed);
    EXPECT_EQ(r.messages.back().text, "cannot create output file " + r.file_name);
    EXPECT_TRUE(std::filesystem::is_directory(r.file_name));
}

TEST_F(OutputFile, OnlyAStartedRunWarnsForANameWrittenTwice)
{
    tav::WriteRun run, unstarted;
    std::FILE* log = tav::open_run_log("run.log", run);
    ASSERT_NE(log, nullptr);
    std::fclose(log);
    for (auto [writes, warnings] : {std::pair{&run, 0u}, {&unstarted, 0u}, {&run, 1u}}) {
        tav::Result r = tav::convert_record(std::string(kHeader) + "4C//");
        ASSERT_EQ(tav::write_file(r, {}, writes), tav::Status::Written);
        ASSERT_EQ(r.messages.size(), warnings);
        if (warnings > 0) {
            EXPECT_EQ(r.messages[0].text, "output file " + r.file_name +
                                              " written twice in this run, the earlier file is replaced");
        }
    }
}

}  // namespace
