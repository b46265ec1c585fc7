// The input side: lines read whole across the reader's 64 KiB blocks, in
// place or copied, with nothing left over from a longer line, whatever ends
// them; and the line loop, which goes on after every kind of bad line.

#include <cstdio>
#include <string>
#include <vector>

#include "batch.h"
#include "tav/batch.h"
#include "test_support.h"

namespace {

using namespace test_support;

std::FILE* file_with(const std::string& text)
{
    std::FILE* f = std::tmpfile();
    if (f != nullptr) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::rewind(f);
    }
    return f;
}

// Line ends just before, on and just after the block boundaries, lines
// longer than a block, records read in place next to copied ones, and a
// last line without a line end; each kind of line end, and a carriage
// return split from its line feed by a block boundary. Each line must come
// back whole, with room for the padding after it, and parse as the same
// record on its own.
TEST(LineReader, EveryLineComesBackWholeWhereverTheBlocksEnd)
{
    const std::string records[] = {
        "123456789\t1\tG-2\t4/4\t\t'4!{8ABCD}!f/2C-//",
        "123456789\t1\tG-2\t4/4\t\t(6ABC)$xF 4.8AB/=3/%F-4 2,,C//",
        "123456789\t1\tG-2\t3/4\t\tqq8ABr4C/2.D//\r",
    };
    struct Row {
        const char* name;
        const char* end;
        tav::LineEnds ends;
    } rows[] = {{"LF, LF only", "\n", tav::LineEnds::LineFeed},
                {"LF", "\n", tav::LineEnds::Any},
                {"CR", "\r", tav::LineEnds::Any},
                {"CR LF", "\r\n", tav::LineEnds::Any}};
    each_row(rows, [&](const Row& row) {
        const std::string end = row.end;
        std::vector<std::string> lines;
        for (size_t n : {10, 65524, 1, 2, 65535, 65536, 200000, 3, 65530, 7, 9, 70000, 5})
            lines.push_back(std::string(n - 1, static_cast<char>('a' + lines.size())) + end);
        auto used = [&lines] {
            size_t n = 0;
            for (const std::string& l : lines)
                n += l.size();
            return n;
        };
        for (const std::string& record : records) {
            // Each ends one byte before a block boundary, then across it.
            const std::string r = row.ends == tav::LineEnds::Any && record.back() == '\r'
                                      ? record.substr(0, record.size() - 1) + end
                                      : record + end;
            lines.push_back(std::string(65536 - (used() + r.size() + 2) % 65536, 'x') + "\n");
            lines.insert(lines.end(), {r, r});
            // Lines whose line end starts at a block's last byte, one read in
            // place and one copied.
            lines.push_back(std::string(65535 - used() % 65536, 'y') + end);
            lines.push_back(std::string(131071 - used() % 65536, 'z') + end);
        }
        lines.push_back("123456789\t1\tG-2\t4/4\t\t4C/ (ABC)");  // no line end
        std::string text;
        for (const std::string& l : lines)
            text += l;

        std::FILE* input = file_with(text);
        ASSERT_NE(input, nullptr);
        tav::LineReading how;
        how.ends = row.ends;
        tav::LineReader reader(input, how);
        for (const std::string& expected : lines) {
            ASSERT_EQ(reader.next(), tav::LineReader::Status::Line);
            std::string line(reader.data(), reader.length());
            // A line feed after a carriage return in the next block is passed over.
            if (line.size() + 1 == expected.size() && expected.ends_with("\r\n"))
                line += '\n';
            ASSERT_EQ(line, expected);
            ASSERT_GE(static_cast<size_t>(reader.size()), reader.length() + tav::line_padding);
            if (expected.compare(0, 9, "123456789") != 0)
                continue;
            Incipit in_place;
            Captured captured;
            tav::RecordReading reading;
            ASSERT_EQ(read_and_parse(
                          std::string_view(reader.data(), static_cast<size_t>(reader.size())), {},
                          captured, reading, in_place),
                      ParseStatus::Parsed);
            Parsed copied;
            parse_into(copied, expected);
            EXPECT_EQ(dump_score(in_place.first_measure), dump_score(copied.incipit.first_measure));
            EXPECT_EQ(document_divisions(in_place), document_divisions(copied.incipit));
        }
        EXPECT_EQ(reader.next(), tav::LineReader::Status::End);
        EXPECT_EQ(reader.consumed(), text.size());
        std::fclose(input);
    });
}

TEST(LineLoop, GoesOnAfterEveryKindOfBadLine)
{
    const std::string good = "123456789\t1\tG-2\t4/4\t\t4C\n";
    const std::string bad = "123456789\t1\tG-2\t4/4\t\t4CY\n";  // an unrecognised sign
    const std::string repeat = "123456789\t1\tG-2\t4/4\t\t4!A!f" + std::string(5000, 'B') + "\n";
    struct Row {
        std::string name, input;
        float lines;    // lines handed on and counted
        size_t errors;  // record errors reported
        LoopEnd end;
    } rows[] = {
        {"empty", "", 0, 0, LoopEnd::EndOfInput},
        {"bad between good", good + bad + good, 3, 1, LoopEnd::EndOfInput},
        {"no tabs", good + "no tabs at all\n" + good, 3, 1, LoopEnd::EndOfInput},
        {"zero bytes", good + std::string("\0\0\0\n", 4) + good, 3, 1, LoopEnd::EndOfInput},
        {"high bytes", good + std::string(1000, '\x80') + "\n" + good, 3, 1, LoopEnd::EndOfInput},
        {"too large", good + "123456789\t1\tG-2\t4/4\t\t4!A!" + std::string(100000, 'f') + "\n" +
                          good, 3, 1, LoopEnd::EndOfInput},
        {"long bad line", std::string(3u << 20, 'A') + "\n" + bad + good, 3, 2,
         LoopEnd::EndOfInput},
        // A line rewritten in the copy buffer leaves nothing behind for a
        // shorter copied line after it ("1" would read on into it).
        {"after a rewritten line", std::string(65000, 'A') + "\n" + repeat + "1", 3, 2,
         LoopEnd::EndOfInput},
        {"last line without feed", good + good.substr(0, good.size() - 1), 2, 0,
         LoopEnd::EndOfInput},
        {"blank line", good + "\n" + bad, 1, 0, LoopEnd::BlankLine},
        {"carriage return line", good + "\r\n" + bad, 1, 0, LoopEnd::BlankLine},
        // Only a line feed ends a line; a carriage return ends the record in it.
        {"carriage return in a line", good.substr(0, good.size() - 1) + "\r" + bad, 1, 0,
         LoopEnd::EndOfInput},
    };
    each_row(rows, [](const Row& r) {
        std::FILE* input = file_with(r.input);
        ASSERT_NE(input, nullptr);
        CapturedStream err;
        Progress progress;
        EXPECT_EQ(convert_lines(input, {.parse_only = true, .trace = {}},
                                ConsoleStreams{nullptr, err.file(), nullptr}, progress, nullptr),
                  r.end);
        std::fclose(input);
        EXPECT_EQ(progress.counter, r.lines);
        std::string text = err.text();
        size_t errors = 0;
        for (size_t at = 0; (at = text.find("\nERROR,\n", at)) != std::string::npos; ++at)
            ++errors;
        EXPECT_EQ(errors, r.errors) << text;
    });
}

}  // namespace
