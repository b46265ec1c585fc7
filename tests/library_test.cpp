// What only a library caller can see: a write run never started warns of
// nothing, a converter's pools build the next score in the slots of the
// last one, and misuse has a defined outcome.

#include <filesystem>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

#include "record/record_reader.h"
#include "tav/batch.h"
#include "tav/formats.h"
#include "tav/tav.h"
#include "test_support.h"

namespace {

using namespace test_support;

TEST(WriteRun, OnlyAStartedRunWarnsForANameWrittenTwice)
{
    const auto dir = std::filesystem::temp_directory_path() / "tav_library_test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    tav::WriteRun started, unstarted;
    std::fclose(tav::open_run_log((dir / "run.log").string(), started));
    const struct Row {
        const char* name;
        tav::WriteRun* run;
        size_t warnings;
        bool dated_in_future = false;
        const char* folder = "";
    } rows[] = {{"first write", &started, 0},  {"no run", &unstarted, 0},
                {"alone", nullptr, 0},         {"second write", &started, 1},
                {"future file", &started, 0, true},
                {"missing folders made", &started, 0, false, "made/below"}};
    each_row(rows, [&](const Row& row) {
        if (row.dated_in_future)
            std::filesystem::last_write_time(dir / "123456789-1.xml",
                                             std::filesystem::file_time_type::clock::now() +
                                                 std::chrono::hours(24 * 365 * 50));
        tav::Result r = tav::convert_record("123456789\t1\tG-2\t4/4\t\t4C\n");
        ASSERT_EQ(tav::write_file(r, (dir / row.folder).string(), row.run),
                  tav::Status::Written);
        EXPECT_TRUE(std::filesystem::is_regular_file(dir / row.folder / "123456789-1.xml"));
        ASSERT_EQ(r.messages.size(), row.warnings);
        if (row.warnings > 0) {
            EXPECT_EQ(r.messages[0].text, "output file 123456789-1.xml written twice in this "
                                          "run, the earlier file is replaced");
        }
    });
    // A folder that cannot be made: a file stands in its way.
    tav::Result r = tav::convert_record("123456789\t1\tG-2\t4/4\t\t4C\n");
    ASSERT_EQ(tav::write_file(r, (dir / "run.log" / "below").string()), tav::Status::Failed);
    EXPECT_TRUE(r.messages.at(0).text.starts_with("cannot create output folder "));
    std::filesystem::remove_all(dir);
}

TEST(Pools, TakeALastScoreBackAtOnceAndReuseItsSlots)
{
    ScorePools pools;
    auto build = [&pools] {
        Measure* m = create_measure(pools, 1, nullptr);
        for (int i = 0; i < 700; ++i) {  // several blocks of each kind
            Note* n = create_note(pools, 'C', i % 3 + 1, 1, nullptr);
            add_note_attrib(create_attribute(pools, ATTR_DOTS, i, nullptr), n);
            add_note(n, m);
            destroy_time_signature(pools, create_time_signature(pools, i, 4, 0, 0));
        }
        return m;
    };
    Measure* first = build();
    const std::string dump = dump_score(first);
    destroy_last_score(pools, first);
    Measure* second = build();
    EXPECT_EQ(dump_score(second), dump);
    if (score_pools::kPooled) {
        EXPECT_EQ(second, first);
        EXPECT_GT(pools.notes.held_bytes(), 0u);
    }
    destroy_last_score(pools, second);
    // Pools larger than they should stay go back to the heap, and serve again.
    trim_pools(pools, 0);
    EXPECT_EQ(pools.notes.held_bytes(), 0u);
    Measure* third = build();
    EXPECT_EQ(dump_score(third), dump);
    destroy_last_score(pools, third);
}

const std::string kKeyRecord = "123456789\t1.1.1\tG-2\t4/4\t\t$[bB] 4C8DE{8DE}";

std::string outcome(const tav::Result& r)
{
    std::string text = std::string(tav::status_name(r.status)) + " [" + r.file_name + "]";
    for (const tav::Message& m : r.messages)
        text += " " + m.text;
    return text;
}

TEST(Converter, AHugeRecordBetweenOrdinaryOnesComesOutWhole)
{
    std::string music = "4";
    for (int i = 0; i < 5000; ++i)
        music += "CDEFGAB";
    const std::string huge = "123456789\t1.1.2\tG-2\t4/4\t\t" + music;
    const std::string ordinary = tav::convert_record(kKeyRecord).document;
    tav::Converter converter;
    std::string first;
    for (int pass = 0; pass < 2; ++pass) {
        const std::string& document = converter.convert(huge).document;
        EXPECT_GT(document.size(), size_t{1} << 20);
        EXPECT_TRUE(document.ends_with("</score-partwise>\n"));
        if (pass == 0)
            first = document;
        EXPECT_EQ(document, first);
        EXPECT_EQ(converter.convert(kKeyRecord).document, ordinary);
    }
}

TEST(Converter, MisuseHasADefinedOutcome)
{
    const struct Row {
        const char* name;
        std::function<std::string()> run;
        const char* expected;
    } rows[] = {
        {"moved from", [] { tav::Converter a; tav::Converter b(std::move(a));
                            return outcome(a.convert(kKeyRecord)); },
         "converted [123456789-1.1.1.xml] removing time signature within []"},
        {"assigned from", [] { tav::Converter a, b; b = std::move(a);
                               return outcome(a.convert(kKeyRecord)); },
         "converted [123456789-1.1.1.xml] removing time signature within []"},
        {"null stream", [] { tav::Converter c;
                             return std::to_string(static_cast<int>(tav::convert_stream(
                                 nullptr, c, {}, [](tav::Result&) { return true; }))); },
         "3"},
        {"lone carriage returns end lines", [] {
             const std::string text = "1\t1.1\tG-2\t4/4\t\t4C\r2\t1.1\tG-2\t4/4\t\t4D\r\n\r"
                                      "3\t1.1\tG-2\t4/4\t\t4E\r";
             std::FILE* f = std::tmpfile();
             std::fwrite(text.data(), 1, text.size(), f);
             std::rewind(f);
             tav::Converter c;
             std::string seen;
             tav::convert_stream(f, c, {}, [&](tav::Result& r) {
                 seen += outcome(r) + ";";
                 return true;
             });
             std::fclose(f);
             return seen; },
         "converted [1-1.1.xml];converted [2-1.1.xml];blank [];converted [3-1.1.xml];"},
        {"convert from its own trace", [] {
             tav::Converter c;
             std::string inner;
             tav::Options o;
             o.verbose = true;
             o.trace = [&](std::string_view) { inner = outcome(c.convert(kKeyRecord)); };
             return outcome(c.convert(kKeyRecord, o)) + " / " + inner; },
         "converted [123456789-1.1.1.xml] removing time signature within [] / "
         "failed [] the converter is busy: called from its own trace callback"},
        {"failed record", [] { return outcome(tav::convert_record("x\t1\tG-2\t4/4\t\t4C")); },
         "failed [] no incipit identifier found"},
        {"tab in a field", [] { return outcome(tav::convert_fields(
                                    {"1", "1.1\tF-4", "G-2", "4/4", "", "4C"})); },
         "failed [] number field holds a tab or a line end"},
        {"zero byte in the folder", [] {
             tav::Result r = tav::convert_record(kKeyRecord);
             tav::write_file(r, std::string_view("tav_library_test\0x", 18));
             return outcome(r); },
         "failed [123456789-1.1.1.xml] removing time signature within [] "
         "cannot create output file 123456789-1.1.1.xml"},
    };
    std::filesystem::remove_all("tav_library_test");  // left by a run that failed
    each_row(rows, [](const Row& row) { EXPECT_EQ(row.run(), row.expected); });
    EXPECT_FALSE(std::filesystem::exists("tav_library_test"));
}

// An exception from the trace leaves at whichever call throws it, with the
// partial score released (the sanitizer build checks for leaks), and the
// converter converts on as before.
TEST(Converter, AnExceptionFromTheTraceLeavesNothingHeld)
{
    tav::Converter c;
    const std::string expected = c.convert(kKeyRecord).document;
    int calls = 0, limit = 0;
    tav::Options o;
    o.verbose = true;
    o.trace = [&](std::string_view) {
        if (++calls > limit)
            throw std::runtime_error("stop");
    };
    for (;; ++limit) {
        calls = 0;
        try {
            c.convert(kKeyRecord, o);
            break;
        } catch (const std::runtime_error&) {
            ASSERT_EQ(c.convert(kKeyRecord).document, expected) << limit;
        }
    }
    EXPECT_GT(limit, 8);
}

}  // namespace

namespace {

// A record line splits into its fields by the header rules: a field the line
// ends in is the music unless it holds a time signature, and the field after
// a plain time signature is kept but not read as one.
TEST(Record, LinesSplitIntoTheirFields)
{
    const struct Row {
        const char* name;
        const char* line;
        const char* fields;  // identifier|number|clef|time|time2|music@position
    } rows[] = {
        {"all fields", "007\t1.1\tG-2\t3/4\t\t'4C", "7|1.1|G-2|3/4||'4C@17"},
        {"no time fields", "1\t2\tC-1\t'4C", "1|2|C-1|||'4C@8"},
        {"mensural second time", "1\t2\tC-1\tc3\t3/2\t4C\r", "1|2|C-1|c3|3/2|4C@15"},
        {"second time is music", "1\t2\tC-1\tc3\t'4C", "1|2|C-1|c3||'4C@11"},
        {"music after a plain time", "1\t2\tG-2\t4/4\t4C", "1|2|G-2|4/4||4C@12"},
        {"null fields, blank number", "1\t \t2\t\\-\t\\-\t\t4C", "1|2|\\-|\\-||4C@13"},
    };
    each_row(rows, [](const Row& row) {
        tav::RecordReading reading = tav::read_record(row.line);
        const tav::Record& r = reading.record;
        EXPECT_TRUE(reading.ok());
        EXPECT_EQ(r.identifier + "|" + r.number + "|" + r.clef + "|" + r.time + "|" + r.time2 +
                      "|" + r.music + "@" + std::to_string(r.music_position),
                  row.fields);
    });
}

// A record held in fields converts as its line does; a key kept apart is
// read as the start of the music field, positions in messages included.
TEST(Record, ConvertsAsItsLine)
{
    const struct Row {
        const char* name;
        const char* key;
        const char* music;
        const char* field;  // the line's music field
    } rows[] = {
        {"key apart", "bB", "4C", "$bB 4C"},
        {"key with its sign", "$xF", "4C", "$xF 4C"},
        {"a sign unread after the key", "bB", "4CZ", "$bB 4CZ"},
        {"a key sign unread", "bQ", "4C", "$bQ 4C"},
        {"a corrected key", "bB[E]", "4C", "$bB[E] 4C"},
        {"blanks after the key", "xF ", "&4C", "$xF  &4C"},
    };
    auto messages = [](const tav::Result& r) {
        std::string out;
        for (const tav::Message& m : r.messages)
            out += m.text + "@" + std::to_string(m.position) + "\n";
        return out;
    };
    each_row(rows, [&](const Row& row) {
        tav::Record record;
        record.identifier = "12";
        record.number = "1.1";
        record.clef = "G-2";
        record.key = row.key;
        record.music = row.music;
        const tav::Result by_record = tav::Converter().convert(record);
        const tav::Result by_line =
            tav::convert_record(std::string("12\t1.1\tG-2\t\\-\t\t") + row.field);
        EXPECT_EQ(by_record.document, by_line.document);
        EXPECT_EQ(by_record.file_name, by_line.file_name);
        EXPECT_EQ(messages(by_record), messages(by_line));
    });
}

// A key apart holds a key signature and nothing more: what follows it is
// not read as music, an unclosed bracket ends with the key, and neither it
// nor a field before the music may hold a line end (a zero byte included).
TEST(Record, KeyApartIsAKeySignature)
{
    const struct Row {
        const char* name;
        std::string key;
        std::string clef;
        const char* outcome;
    } rows[] = {
        {"music in the key", "bB4C", "G-2", "failed [] char: 4, ascii: 52, i: 18@18"},
        {"unclosed bracket", "bB[E", "G-2",
         "converted [12-1.1.xml] removing time signature within []@-1"},
        {"line end in the key", "bB\n", "G-2", "failed [] key field holds a tab or a line end@-1"},
        {"zero byte in the clef", "", std::string("G\0-2", 4),
         "failed [] clef field holds a tab or a line end@-1"},
    };
    each_row(rows, [](const Row& row) {
        tav::Record record;
        record.identifier = "12";
        record.number = "1.1";
        record.clef = row.clef;
        record.key = row.key;
        record.music = "4C";
        const tav::Result r = tav::Converter().convert(record);
        std::string text = outcome(r);
        for (const tav::Message& m : r.messages)
            text += "@" + std::to_string(m.position);
        EXPECT_EQ(text, row.outcome);
    });
}

// What no field of a record line may hold, found wherever it stands in a
// text (at each place of the words of eight bytes it is looked at in, and
// of the bytes after them), in texts of many bytes and among bytes that are
// not line breaks however near in value; and nothing beyond a text's end.
TEST(Record, LineBreakWhereverItStands)
{
    const struct {
        char byte;
        bool breaks, breaks_music;   // the music may hold a TAB
    } bytes[] = {{'\n', true, true},     {'\r', true, true},     {'\t', true, false},
                 {'\x0B', false, false}, {'\x0E', false, false}, {'\0', false, false},
                 {'\x8A', false, false}, {'\x8D', false, false}};
    for (char around : {'C', '\xFF', '\x0C'})
        for (std::size_t size = 1; size <= 19; ++size)
            for (std::size_t at = 0; at < size; ++at)
                for (const auto& b : bytes) {
                    std::string text(size, around);
                    text[at] = b.byte;
                    SCOPED_TRACE(std::to_string(size) + " bytes, " + std::to_string(at) + ": " +
                                 std::to_string(static_cast<unsigned char>(b.byte)));
                    EXPECT_EQ(tav::detail::holds_line_break(text), b.breaks);
                    EXPECT_EQ(tav::detail::holds_line_break(text, false), b.breaks_music);
                }
    const std::string framed = "\n" + std::string(21, 'C') + "\r";
    for (std::size_t size = 0; size <= 21; ++size)
        EXPECT_FALSE(tav::detail::holds_line_break(std::string_view(framed).substr(1, size)));
}

// A '+' is a tie in MusicXML 4.0 where it joins one pitch; the slurs it
// stays between different pitches are warned of there, and only there.
TEST(Converter, TiesOfMusicXml4)
{
    const struct Row {
        const char* name;
        const char* music;
        int ties;       // <tie type="start"/> in 4.0
        int warnings;   // ties written as slurs in 4.0
    } rows[] = {
        {"a chain", "'4C+C+C/", 2, 0},
        {"different pitches", "'4C+D+D/", 1, 1},
        {"an accidental of its own", "'4C+xC", 0, 1},
        {"a rest", "'4C+-", 0, 1},
        {"a chord", "'4C^E+C^xE", 1, 1},
    };
    auto count = [](const std::string& text, const std::string& part) {
        int n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    };
    each_row(rows, [&](const Row& row) {
        const std::string line = std::string("12\t1.1\tG-2\t4/4\t\t") + row.music;
        const tav::Result v1 = tav::convert_record(line);
        const tav::Result v4 = tav::convert_record(line, {.trace = {}, .format = tav::find_format("musicxml4")});
        EXPECT_EQ(count(v1.document, "<tie"), 0);
        EXPECT_TRUE(v1.messages.empty());
        EXPECT_EQ(count(v4.document, "<tie type=\"start\"/>"), row.ties);
        EXPECT_EQ(count(v4.document, "<tie type=\"stop\"/>"), row.ties);
        ASSERT_EQ(static_cast<int>(v4.messages.size()), row.warnings);
        for (const tav::Message& m : v4.messages)
            EXPECT_EQ(m.code, "tie_written_as_slur");
    });
}

}  // namespace

// What a document says of a text XML would not carry as it is: a number
// that is not UTF-8 reads as Latin-1 in the UTF-8 documents (4.0, and the
// archive's names), and stays as it is in 1.0; a carriage return and DEL
// are character references; any other control byte is left out, with a
// warning.
TEST(Converter, TextsStayWellFormedXml)
{
    const struct Row {
        const char* name;
        bool v4, compress;
        const char* present;
        const char* absent;
    } rows[] = {
        {"1.0 keeps the number's bytes", false, false, "NB\">1.\xE9<", "\xC3\xA9"},
        {"4.0 reads it as Latin-1", true, false, "NB\">1.\xC3\xA9<", "\xE9<"},
        {"the archive's names too", true, true, "123-1.\xC3\xA9.xml", "\xE9.xml"},
    };
    each_row(rows, [](const Row& row) {
        tav::Options options;
        options.format = tav::find_format(row.v4 ? "musicxml4" : "musicxml1");
        options.compressed = row.compress;
        tav::Result r = tav::convert_record("123\t1.\xE9\tG-2\t4/4\t\t4C//\n", options);
        ASSERT_TRUE(r.ok());
        EXPECT_NE(r.document.find(row.present), std::string::npos);
        EXPECT_EQ(r.document.find(row.absent), std::string::npos);
    });
    tav::Record record;
    record.identifier = "12";
    record.number = "1.1";
    record.music = "4C";
    record.description.composer = std::string("A\rB\x7F" "C\x01" "D");
    auto source = std::make_shared<tav::SourceDescription>();
    source->shelfmark = "Ms.\x02 1";
    source->creators = {{"lyricist", "P\x03Q"}, {"arranger", "R\x04"}};
    record.description.source = source;
    const tav::Result r = tav::Converter().convert(record);
    tav::Record taken = record;   // its description handed over, the same document
    const tav::Result by_taking = tav::Converter().convert(std::move(taken));
    EXPECT_EQ(by_taking.document, r.document);
    EXPECT_EQ(by_taking.messages.size(), r.messages.size());
    EXPECT_NE(r.document.find(">A&#13;B&#127;CD</creator>"), std::string::npos);
    EXPECT_NE(r.document.find("<source>Ms. 1</source>"), std::string::npos);
    EXPECT_NE(r.document.find("<creator type=\"lyricist\">PQ</creator>"), std::string::npos);
    std::vector<std::string> texts;
    for (const tav::Message& m : r.messages) {
        EXPECT_EQ(m.code, "xml_cannot_carry");
        texts.push_back(m.text.substr(0, m.text.find(" holds")));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"the composer", "the shelfmark", "the list of creators"}));
}

// Each code has one row, found by its name; a message made from a code
// carries that row's kind and name, and its values stand in the text's
// holes in order (one missing stands as nothing).
TEST(Messages, MadeFromTheirCodes)
{
    std::set<std::string_view> names;
    for (const tav::MessageRule& rule : tav::message_rules()) {
        SCOPED_TRACE(std::string(rule.name));
        EXPECT_TRUE(names.insert(rule.name).second);
        EXPECT_EQ(tav::find_message_rule(rule.name), &rule);
        tav::Message m = tav::make_message(rule.code, {"X", "Y", "Z"});
        EXPECT_EQ(m.id, rule.code);
        EXPECT_EQ(m.code, rule.name);
        EXPECT_EQ(m.kind, rule.kind);
        EXPECT_EQ(m.text.find("{}"), std::string::npos);
    }
    EXPECT_EQ(tav::find_message_rule("no_such_code"), nullptr);
    const std::pair<tav::Message, std::string> made[] = {
        {tav::make_message(tav::MessageCode::TooLarge), "incipit too large"},
        {tav::make_message(tav::MessageCode::WrittenTwice, {"1-1.xml"}),
         "output file 1-1.xml written twice in this run, the earlier file is replaced"},
        {tav::make_message(tav::MessageCode::CannotCreateFolder, {"out", "1-1.xml"}),
         "cannot create output folder out for 1-1.xml: "},
        {tav::make_message(tav::MessageCode::Other, {"a text of its own"}), "a text of its own"},
    };
    for (const auto& [message, text] : made)
        EXPECT_EQ(message.text, text);
}
