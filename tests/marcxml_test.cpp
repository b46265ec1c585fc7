// Catalogue records in MARCXML: what the reader makes of a file in the
// catalogue's shape (golden transcript, with the documents' descriptive
// heads), of hostile inputs, and of faults that straddle its read blocks;
// and the compressed file's layout.

#include <algorithm>
#include <cstdio>
#include <deque>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "record/marcxml_scan.h"
#include "record/marcxml_split.h"
#include "tav/marcxml.h"
#include "tav/formats.h"
#include "tav/tav.h"
#include "test_support.h"

#ifdef TAV_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

using namespace test_support;

// A build without libxml2 reads no MARCXML (the Windows build).
#define SKIP_WITHOUT_READER()                                          \
    if (!tav::MarcxmlReader::available())                             \
    GTEST_SKIP() << "built without libxml2: no MARCXML reader"

// The tab line an incipit stands for: an empty clef or time a null field,
// the key before the music as its preamble.
std::string tab_line(const tav::Record& r)
{
    auto null = [](const std::string& f) { return f.empty() ? std::string("\\-") : f; };
    std::string key = r.key.empty() ? "" : (r.key[0] == '$' ? "" : "$") + r.key + " ";
    return r.identifier + "\t" + r.number + "\t" + null(r.clef) + "\t" + null(r.time) + "\t" +
           r.time2 + "\t" + key + r.music;
}

tav::Options musicxml4_options()
{
    tav::Options options;
    options.format = tav::find_format("musicxml4");
    options.encoding_date = "2026-01-02";
    return options;
}

// Every item, one line each, then the counts; with `heads`, each
// incipit's document up to its part (`whole`: all of it), the converter's
// version named VERSION.
std::string transcript(tav::MarcxmlReader& reader, bool heads,
                       const tav::Options& options = musicxml4_options(), bool whole = false)
{
    static const char* const kKinds[] = {"incipit", "warning", "error"};
    std::string out;
    tav::MarcxmlItem item;
    tav::Converter converter;
    while (reader.next(item)) {
        out += std::string(kKinds[static_cast<int>(item.kind)]) + " 001=" + item.control_number +
               " #" + std::to_string(item.occurrence) + " line " + std::to_string(item.line) +
               ": ";
        if (item.kind != tav::MarcxmlItem::Kind::Incipit) {
            out += item.message.text + "\n";
            continue;
        }
        out += tab_line(item.record) + "\n";
        if (!heads)
            continue;
        const tav::Result& r = converter.convert(item.record, options);
        out += r.file_name + " " + tav::status_name(r.status) + "\n";
        out += version_named(whole ? r.document
                                   : r.document.substr(0, r.document.find("\t<part id=")));
    }
    const tav::MarcxmlCounts& c = reader.counts();
    out += "records " + std::to_string(c.records) + ", incipits " + std::to_string(c.incipits) +
           ", without music " + std::to_string(c.without_music) + ", other system " +
           std::to_string(c.other_system) + ", without 001 " +
           std::to_string(c.without_control_number) + ", errors " + std::to_string(c.errors) + "\n";
    return out;
}

TEST(Marcxml, CatalogueFileTranscript)
{
    SKIP_WITHOUT_READER();
    std::FILE* file = std::fopen(data_path("marcxml/catalogue.xml").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    tav::MarcxmlReader reader(file);
    expect_golden("marcxml/catalogue.txt", transcript(reader, true));
    std::fclose(file);
    // The same bytes from memory give the same items, and so does the file
    // compressed with gzip.
    tav::MarcxmlReader memory(read_file(data_path("marcxml/catalogue.xml")));
    EXPECT_EQ(transcript(memory, true), read_file(data_path("marcxml/catalogue.txt")));
    tav::MarcxmlReader gzip(read_file(data_path("marcxml/catalogue.xml.gz")));
    EXPECT_EQ(transcript(gzip, true), read_file(data_path("marcxml/catalogue.txt")));
}

// Records that name their source, creators, work and keys, with hostile
// texts, in each format: the whole documents (4.0 and MEI with a link to
// the record).
TEST(Marcxml, SourceDescriptionsInEachFormat)
{
    SKIP_WITHOUT_READER();
    const std::string xml = read_file(data_path("marcxml/sources.xml"));
    tav::Options musicxml1;
    tav::MarcxmlReader reader1(xml);
    expect_golden("marcxml/sources_musicxml1.txt", transcript(reader1, true, musicxml1, true));
    tav::Options musicxml4 = musicxml4_options();
    musicxml4.record_uri = "https://example.org/sources/{id}?a=1&b={id}";
    tav::MarcxmlReader reader4(xml);
    expect_golden("marcxml/sources_musicxml4.txt", transcript(reader4, true, musicxml4, true));
    tav::Options mei = musicxml4;
    mei.format = tav::find_format("mei");
    tav::MarcxmlReader reader_mei(xml);
    expect_golden("marcxml/sources_mei.txt", transcript(reader_mei, true, mei, true));
    // The description keeps what the record gave; the source is shared.
    tav::MarcxmlReader reader(xml);
    tav::MarcxmlItem first, second;
    ASSERT_TRUE(reader.next(first) && reader.next(second));
    const tav::Description& d = first.record.description;
    EXPECT_EQ(d.key_or_mode, "E|b");
    EXPECT_EQ(d.role, "Donna Anna; Elvira");
    ASSERT_NE(d.source, nullptr);
    EXPECT_EQ(d.source, second.record.description.source);
    EXPECT_EQ(d.source->location(), "D-B Mus.ms. 15 <a> & \"b\"");
    const std::vector<tav::Creator> creators = {{"librettist", "Da Ponte, Lorenzo"},
                                                {"arranger", "Arranger, An"},
                                                {"lyricist", "Poet & \"Son\""}};
    EXPECT_EQ(d.source->creators, creators);
}

// Every text of a description at its longest once escaped, given through
// the library: each is written whole, in every format.
TEST(Marcxml, EscapedDescriptionFitsItsHead)
{
    const std::string hostile = std::string(300, '&') + std::string(300, '\r') + "\"";
    tav::Record r;
    r.identifier = "7";
    r.number = "1.1.1";
    r.music = "4C//";
    auto source = std::make_shared<tav::SourceDescription>();
    for (std::string* text : {&source->control_number, &source->siglum, &source->shelfmark,
                              &source->composer_dates, &source->work_number, &source->scoring,
                              &source->source_title, &source->date})
        *text = hostile;
    source->creators.assign(20, {hostile, hostile});
    tav::Description& d = r.description;
    d = {hostile, hostile, hostile, hostile, hostile, hostile, hostile, hostile, hostile, source};
    // 1.0: the nine texts of the incipit, 20 creators' roles and names, and
    // eight of the source (siglum and shelfmark apart); 4.0 also the three
    // credits and the link (the template twice, the control number once);
    // MEI the titles, composer and creators twice (the file's and the
    // work's), the scoring once.
    const struct {
        const char* format;
        std::size_t texts;
        const char* end;
    } formats[] = {{"musicxml1", 57, "</score-partwise>\n"},
                   {"musicxml4", 63, "</score-partwise>\n"},
                   {"mei", 103, "</mei>\n"}};
    for (const auto& [format, texts, end] : formats) {
        tav::Options options = musicxml4_options();
        options.format = tav::find_format(format);
        options.record_uri = hostile + "{id}" + hostile;
        tav::Converter converter;
        const tav::Result& result = converter.convert(r, options);
        ASSERT_TRUE(result.ok()) << format;
        EXPECT_TRUE(result.document.ends_with(end)) << format;
        std::size_t returns = 0;
        for (std::size_t at = 0; (at = result.document.find("&#13;", at)) != std::string::npos; ++at)
            ++returns;
        EXPECT_EQ(returns, 300 * texts) << format;
    }
}

// Keys and modes by the catalogue's convention in words, and the rest as
// they stand; the one instrument or voice of a scoring.
TEST(Marcxml, KeysInWordsAndSinglePart)
{
    const struct {
        const char* value;
        const char* words;
        const char* mode;
    } keys[] = {{"E|b", "E\u266D major", "major"}, {"f|x", "F\u266F minor", "minor"},
                {"g", "G minor", "minor"},          {"C", "C major", "major"},
                {"b|b", "B\u266D minor", "minor"}, {"Es", "Es", ""},
                {"H", "H", ""},                     {"E|", "E|", ""},
                {"1t", "1t", ""},                   {"", "", ""},
                {"E|b|b", "E|b|b", ""},             {"e|X", "e|X", ""}};
    for (const auto& k : keys) {
        EXPECT_EQ(tav::key_in_words(k.value), k.words) << k.value;
        EXPECT_EQ(tav::key_mode(k.value), k.mode) << k.value;
    }
    const std::pair<const char*, const char*> scorings[] = {
        {"pf", "pf"}, {"S", "S"}, {"", ""}, {"S, A, T", ""}, {"vl; b", ""},
        {"2 vl", ""}, {"S + org", ""}, {"vl/vla", ""}, {"Coro & orch", ""}};
    for (const auto& [scoring, part] : scorings)
        EXPECT_EQ(tav::single_part_of(scoring), part) << scoring;
}

std::string record(const std::string& id, const std::string& music)
{
    return "<record><controlfield tag=\"001\">" + id +
           "</controlfield><datafield tag=\"031\"><subfield code=\"a\">1</subfield>"
           "<subfield code=\"b\">1</subfield><subfield code=\"c\">1</subfield>"
           "<subfield code=\"p\">" + music + "</subfield></datafield></record>\n";
}

const std::string kGood = record("123", "4C//");

std::string utf16le(const std::string& ascii)
{
    std::string out;
    for (char c : ascii)
        out += {c, '\0'};
    return out;
}

TEST(Marcxml, HostileInputs)
{
    SKIP_WITHOUT_READER();
    const struct Row {
        const char* name;
        std::string input;
        const char* expected;   // the transcript without documents
    } rows[] = {
        {"empty", "", "error 001= #0 line 1: malformed XML at line 1, byte 0: Document is empty\n"
                      "records 0, incipits 0, without music 0, other system 0, without 001 0, errors 1\n"},
        {"not XML", "123\t1\tG-2\n",
         "error 001= #0 line 1: malformed XML at line 1, byte 0: Document is empty\n"
         "records 0, incipits 0, without music 0, other system 0, without 001 0, errors 1\n"},
        {"single record, BOM",
         "\xEF\xBB\xBF" + record("7", "4C//"),
         "incipit 001=7 #1 line 1: 7\t1.1.1\t\\-\t\\-\t\t4C//\n"
         "records 1, incipits 1, without music 0, other system 0, without 001 0, errors 0\n"},
        {"truncated",
         "<collection>" + kGood + "<record><controlfield tag=\"001\">9</contr",
         "incipit 001=123 #1 line 1: 123\t1.1.1\t\\-\t\\-\t\t4C//\n"
         "error 001=9 #0 line 2: malformed XML at line 2, byte 272: expected '>'; "
         "record 2 is passed over\n"
         "records 2, incipits 1, without music 0, other system 0, without 001 0, errors 1\n"},
        {"broken record between good ones",
         "<collection>" + kGood + "<record><datafield tag=\"031\"></record>\n" + kGood +
             "</collection>",
         "incipit 001=123 #1 line 1: 123\t1.1.1\t\\-\t\\-\t\t4C//\n"
         "error 001= #0 line 2: malformed XML at line 2, byte 270: Opening and ending tag "
         "mismatch: datafield line 2 and record; "
         "record 2 is passed over\n"
         "incipit 001=123 #1 line 3: 123\t1.1.1\t\\-\t\\-\t\t4C//\n"
         "records 3, incipits 2, without music 0, other system 0, without 001 0, errors 1\n"},
        {"entity expansion",
         "<!DOCTYPE c [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\"><!ENTITY b "
         "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;"
         "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;"
         "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;"
         "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;"
         "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">]><c>" + record("5", "&e;&e;&e;&e;") + "</c>",
         "error 001=5 #0 line 1: malformed XML at line 1, byte 694: Entity 'e' not defined; "
         "record 1 is passed over\n"
         "records 1, incipits 0, without music 0, other system 0, without 001 0, errors 1\n"},
        {"entity of an external DTD, which is not read",
         "<!DOCTYPE c SYSTEM \"c.dtd\"><c>" + record("6", "4C&e;//") + kGood + "</c>",
         "error 001=6 #0 line 1: malformed XML at line 1, byte 216: Entity 'e' not defined; "
         "record 1 is passed over\n"
         "incipit 001=123 #1 line 2: 123\t1.1.1\t\\-\t\\-\t\t4C//\n"
         "records 2, incipits 1, without music 0, other system 0, without 001 0, errors 1\n"},
        {"UTF-16 with a lone surrogate: the next record is read",
         "\xFF\xFE" + utf16le("<c>" + kGood) + std::string("\x00\xD8", 2) + utf16le("x" + kGood + "</c>"),
         "incipit 001=123 #1 line 1: 123\t1.1.1\t\\-\t\\-\t\t4C//\n"
         "error 001= #0 line 2: malformed XML at line 2: bytes that cannot be read as UTF-16LE: "
         "0x00 0xD8\n"
         "incipit 001=123 #1 line 2: 123\t1.1.1\t\\-\t\\-\t\t4C//\n"
         "records 2, incipits 2, without music 0, other system 0, without 001 0, errors 1\n"},
        {"records one after another without a root, each on its own line",
         record("1", "4C//") + "\n" + record("2", "4D//") + record("3", "4E//"),
         "incipit 001=1 #1 line 1: 1\t1.1.1\t\\-\t\\-\t\t4C//\n"
         "incipit 001=2 #1 line 3: 2\t1.1.1\t\\-\t\\-\t\t4D//\n"
         "incipit 001=3 #1 line 4: 3\t1.1.1\t\\-\t\\-\t\t4E//\n"
         "records 3, incipits 3, without music 0, other system 0, without 001 0, errors 0\n"},
        {"identifiers",
         "<c>" + record("12345678901", "4C//") + record("2147483648", "4C//") +
             record("2147483647", "4C//") + record(" 000000042\n", "4C//") + "</c>",
         "error 001=12345678901 #0 line 1: record 1: control number (001) \"12345678901\" is "
         "not an incipit identifier (one to ten digits)\n"
         "error 001=2147483648 #0 line 2: record 2: control number (001) \"2147483648\" is not "
         "an incipit identifier (one to ten digits)\n"
         "incipit 001=2147483647 #1 line 3: 2147483647\t1.1.1\t\\-\t\\-\t\t4C//\n"
         "incipit 001=000000042 #1 line 5: 000000042\t1.1.1\t\\-\t\\-\t\t4C//\n"
         "records 4, incipits 2, without music 0, other system 0, without 001 0, errors 2\n"},
        {"line break inside the music, empty music, nested record",
         "<c>" + record("8", "4C\n4D//") + record("9", " ") +
             "<record><controlfield tag=\"001\">10</controlfield><record/></record></c>",
         "error 001=8 #1 line 1: 031 #1: the music ($p) holds a tab or a line break\n"
         "error 001=10 #0 line 4: record 3 is not closed before the next record starts; its "
         "fields are not read\n"
         "error 001= #0 line 4: record 4 has no control number (001)\n"
         "records 4, incipits 0, without music 1, other system 0, without 001 1, errors 3\n"},
    };
    each_row(rows, [](const Row& row) {
        testing::internal::CaptureStderr();
        tav::MarcxmlReader reader(row.input);
        EXPECT_EQ(transcript(reader, false), row.expected);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // the parser prints nothing
    });
}

// A document's items: an incipit with its document in MusicXML 4.0 (which
// carries the whole description) and its warnings, a message by its code;
// where they are in the input left out.
std::vector<std::string> items_of(const std::string& xml)
{
    tav::Options options = musicxml4_options();
    options.record_uri = "https://example.org/{id}";
    tav::MarcxmlReader reader(xml);
    tav::Converter converter;
    std::vector<std::string> items;
    for (tav::MarcxmlItem item; reader.next(item);) {
        std::string text = std::to_string(static_cast<int>(item.kind)) + " " +
                           item.control_number + " #" + std::to_string(item.occurrence) + " " +
                           std::string(item.message.code);
        if (item.kind == tav::MarcxmlItem::Kind::Incipit)
            text += tab_line(item.record) + "\n" + converter.convert(item.record, options).document;
        for (const tav::Message& warning : item.warnings)
            text += "\n" + warning.text;
        items.push_back(text);
    }
    return items;
}

// Nothing of a record is left to the next: each record reads after any
// other as it reads alone (those of the sources, one that names nothing
// but its music, one with markup, a person without relator, a record
// without 001 that names a lyricist and one with a bad 001).
TEST(Marcxml, EachRecordReadsAsAlone)
{
    SKIP_WITHOUT_READER();
    const std::string sources = read_file(data_path("marcxml/sources.xml"));
    std::vector<std::string> records = {
        record("31", "4C//"),
        record("32", "4<i>D</i>//").insert(8, "<datafield tag=\"100\"><subfield code=\"a\">A "
                                             "<b>B</b></subfield></datafield>"),
        record("33", "4E//").insert(8, "<datafield tag=\"700\"><subfield code=\"a\">No, "
                                       "Role</subfield></datafield>"),
        "<record><datafield tag=\"700\"><subfield code=\"a\">Poet</subfield><subfield "
        "code=\"4\">lyr</subfield></datafield><datafield tag=\"031\"><subfield "
        "code=\"p\">4F//</subfield></datafield></record>",
        record("3x", "4G//")};
    for (std::size_t at = sources.find("<record"); at != std::string::npos;
         at = sources.find("<record", at + 1))
        records.push_back(sources.substr(at, sources.find("</record>", at) + 9 - at));
    for (const std::string& first : records)
        for (const std::string& next : records) {
            std::vector<std::string> expected = items_of("<c>" + first + "</c>");
            for (const std::string& item : items_of("<c>" + next + "</c>"))
                expected.push_back(item);
            EXPECT_EQ(items_of("<c>" + first + next + "</c>"), expected)
                << first.substr(0, 60) << " then " << next.substr(0, 60);
        }
}

// The hostile table the front ends share (tests/data/marcxml/hostile.txt,
// whose head tells its format): each case's items, the incipits in order
// and the messages in any order.
struct HostileCase {
    std::string name, fronts = "cpp python page", encoding, input;
    std::vector<std::string> incipits, messages;
};

// The table's escapes and its open records, {ID|MUSIC}.
std::string unescape(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            char c = s[++i];
            if (c == 'x') {
                out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
            }
        } else if (s[i] == '{' && s.find('|', i) < s.find('}', i)) {
            std::size_t bar = s.find('|', i), end = s.find('}', i);
            std::string r = record(s.substr(i + 1, bar - i - 1), unescape(s.substr(bar + 1, end - bar - 1)));
            out += r.substr(0, r.rfind("</record>"));
            i = end;
        } else {
            out += s[i];
        }
    }
    return out;
}

// UTF-8 to UTF-16 with its byte-order mark.
std::string utf16(const std::string& text, bool big_endian)
{
    std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    auto unit = [&](unsigned u) {
        char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += big_endian ? std::string{hi, lo} : std::string{lo, hi};
    };
    for (std::size_t i = 0; i < text.size();) {
        auto b = static_cast<unsigned char>(text[i]);
        int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        unsigned cp = n == 1 ? b : b & (0xFF >> (n + 1));
        for (int k = 1; k < n; ++k)
            cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += n;
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            cp = 0xDC00 + ((cp - 0x10000) & 0x3FF);
        }
        unit(cp);
    }
    return out;
}

std::vector<HostileCase> hostile_cases()
{
    std::vector<HostileCase> cases;
    test_support::each_table_line("marcxml/hostile.txt", [&](const std::string& word,
                                                             const std::string& rest,
                                                             const std::string& line) {
        if (word == "==") {
            cases.emplace_back();
            cases.back().name = rest;
            return;
        }
        HostileCase& c = cases.back();
        if (word == "for")
            c.fronts = rest;
        else if (word == "encoding")
            c.encoding = rest;
        else if (word == "in")
            c.input += (c.input.empty() ? "" : "\n") + unescape(rest);
        else if (word == "incipit")
            c.incipits.push_back(unescape(rest));
        else
            c.messages.push_back(line);
    });
    for (HostileCase& c : cases) {
        if (!c.encoding.empty())
            c.input = utf16(c.input, c.encoding == "utf-16be");
        std::sort(c.messages.begin(), c.messages.end());
    }
    return cases;
}

TEST(Marcxml, HostileTable)
{
    SKIP_WITHOUT_READER();
    for (const HostileCase& c : hostile_cases()) {
        SCOPED_TRACE(c.name);
        tav::MarcxmlReader reader(c.input);
        std::vector<std::string> incipits, messages;
        tav::MarcxmlItem item;
        while (reader.next(item)) {
            std::string id = item.control_number.empty() ? "-" : item.control_number;
            if (item.kind == tav::MarcxmlItem::Kind::Incipit) {
                std::string composer = item.record.description.composer.str();
                incipits.push_back(id + " " + item.record.number + " " + item.record.music +
                                   (composer.empty() ? "" : " | " + composer));
                for (const tav::Message& warning : item.warnings)
                    messages.push_back("warning " + id + " " + std::string(warning.code));
            } else {
                messages.push_back(
                    std::string(item.kind == tav::MarcxmlItem::Kind::Error ? "error " : "warning ") +
                    id + " " + std::string(item.message.code));
            }
        }
        std::sort(messages.begin(), messages.end());
        EXPECT_EQ(incipits, c.incipits);
        EXPECT_EQ(messages, c.messages);
    }
}

// Faults and records that straddle the reader's blocks of 64 KiB: every
// good record is read, each fault is reported once, from a file as from
// memory.
TEST(Marcxml, FaultsAcrossBlocks)
{
    SKIP_WITHOUT_READER();
    std::string input = "<collection>\n";
    int good = 0, faults = 0;
    for (int i = 0; input.size() < 300000; ++i) {
        if (i % 397 == 200)
            input += "<record><controlfield tag=\"001\">1</controlfield><junk></record>\n",
                ++faults;
        else
            input += record(std::to_string(1000 + i), "4C8DE//"), ++good;
    }
    input += "</collection>\n";
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fwrite(input.data(), 1, input.size(), file);
    std::rewind(file);
    tav::MarcxmlReader from_file(file);
    tav::MarcxmlReader from_memory(input);
    std::string a = transcript(from_file, false);
    EXPECT_EQ(a, transcript(from_memory, false));
    EXPECT_EQ(from_file.counts().incipits, good);
    EXPECT_EQ(from_file.counts().errors, faults);
    EXPECT_EQ(from_file.consumed(), input.size());
    std::fclose(file);
}

// After malformed XML the search for the next record looks at each byte a
// bounded number of times, whatever follows the fault (here a tag name that
// never ends, over many blocks).
TEST(Marcxml, RecoveryIsLinear)
{
    SKIP_WITHOUT_READER();
    const std::string input =
        "<collection><record><junk x=></record><" + std::string(std::size_t{1} << 21, 'a') + kGood;
    tav::MarcxmlReader reader(input);
    tav::MarcxmlItem item;
    while (reader.next(item)) {
    }
    EXPECT_EQ(reader.counts().incipits, 1);
    EXPECT_LT(reader.counts().bytes_searched, 2 * static_cast<std::int64_t>(input.size()));
}

TEST(Marcxml, RecognisedByItsStart)
{
    for (const char* start : {"<?xml version", "\xEF\xBB\xBF\n <collection", "<marc:record>",
                              "<!-- dump -->", "\xFF\xFE<\0",
                              "<OAI-PMH><record xmlns=\"http://www.loc.gov/MARC21/slim\">"})
        EXPECT_TRUE(tav::looks_like_marcxml(start)) << start;
    for (const char* start : {"123456789\t1.1.1", "", "<html>", "<recordset>"})
        EXPECT_FALSE(tav::looks_like_marcxml(start)) << start;
}

// A compressed file starts with the stored "mimetype" entry, as readers
// that sniff the type expect, and names the document the tab route names.
TEST(Mxl, MimetypeFirstAndStored)
{
    tav::Options options;
    options.compressed = true;
    tav::Result r = tav::convert_record("123\t1.1\tG-2\t4/4\t\t4C//\n", options);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.file_name, "123-1.1.mxl");
    const std::string mime = "application/vnd.recordare.musicxml";
    ASSERT_GT(r.document.size(), 30 + 8 + mime.size());
    EXPECT_EQ(r.document.substr(0, 4), "PK\x03\x04");
    EXPECT_EQ(r.document[8], 0);    // stored
    EXPECT_EQ(r.document.substr(30, 8 + mime.size()), "mimetype" + mime);
    EXPECT_NE(r.document.find("123-1.1.xml"), std::string::npos);
}

}  // namespace

// Read on two threads, every hostile input reads as on one: items, lines,
// messages and counts.
TEST(Marcxml, HostileTableOnThreads)
{
    SKIP_WITHOUT_READER();
    for (const HostileCase& c : hostile_cases()) {
        SCOPED_TRACE(c.name);
        tav::MarcxmlReader one(c.input), two(c.input);
        two.read_on(2);
        EXPECT_EQ(transcript(two, false), transcript(one, false));
    }
}

// `count` records, `between` after each, `inside` at the start of each;
// record `odd` (if any) is `odd_record` instead.
std::string many_records(int count, const std::string& between, const std::string& inside = "",
                         int odd = -1, const std::string& odd_record = "")
{
    std::string out;
    for (int i = 0; i < count; ++i) {
        std::string r = i == odd ? odd_record : record(std::to_string(1000 + i), "'4C8DE/2F//");
        if (i != odd)
            r.insert(8, inside);
        out += r + between;
    }
    return out;
}

std::string prefixed(std::string xml, const std::string& prefix)
{
    for (std::size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1))
        xml.insert(at + (xml[at + 1] == '/' ? 2 : 1), prefix);
    return xml;
}

#ifdef TAV_HAVE_ZLIB
std::string gzipped(const std::string& text)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}
#endif

// Documents of many pieces, each with what the cut into pieces must follow
// or give up on: read on two threads, each reads as on one; `side_by_side`:
// pieces of it were read so.
TEST(Marcxml, PiecesOnThreadsReadAsOne)
{
    SKIP_WITHOUT_READER();
    const std::string marc = " xmlns=\"http://www.loc.gov/MARC21/slim\"";
    const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const std::string open = decl + "<collection" + marc + ">\n", close = "</collection>\n";
    const std::string plain = open + many_records(1500, "\n") + close;
    const std::string broken = "<record><controlfield tag=\"001\">7</controlfield><junk></record>";
    const std::string large = "<datafield tag=\"500\"><subfield code=\"a\">" +
                              std::string(100000, 'x') + "</subfield></datafield>";
    struct Case {
        std::string name, input;
        bool side_by_side;
    } cases[] = {
        {"plain", plain, true},
        {"comments, instructions, CDATA between and inside records",
         open + many_records(1500, "\n<!-- <record> --><?pi <record>?>\n",
                             "<!--<record>--><?pi y?><datafield tag=\"500\"><subfield code=\"a\">"
                             "<![CDATA[<record>]]></subfield></datafield>") + close,
         true},
        {"record end tags in comments and CDATA: no cut holds",
         open + many_records(1500, "\n", "<!--</record>--><datafield tag=\"500\"><subfield "
                                          "code=\"a\"><![CDATA[</record>]]></subfield></datafield>") +
             close,
         false},
        {"a namespace prefix",
         decl + prefixed("<collection xmlns:marc=\"http://www.loc.gov/MARC21/slim\">\n" +
                             many_records(1500, "\n") + close, "marc:"), true},
        {"a record of another namespace",
         "<collection xmlns:x=\"urn:x\">" +
             many_records(1500, "\n", "", 900, prefixed(record("5", "4C//"), "x:")) + close, true},
        {"a record nested in one", open + many_records(1500, "\n", "", 700, "<record>" + kGood +
                                                                    "</record>") + close, true},
        {"a broken record in the middle", open + many_records(1500, "\n", "", 1300, broken) + close,
         true},
        {"a record without 001 (its message counts the records before)",
         open + many_records(1500, "\n", "", 1300, "<record><datafield tag=\"031\"/></record>") +
             close, true},
        {"records larger than a read block", open + many_records(20, "\n", large) + close, true},
        {"a record larger than a piece",
         open + many_records(1500, "\n", "", 1000, "<record>" + std::string((4 << 20) + 100, ' ') +
                                                       "</record>") + close, true},
        {"line ends CR LF and references",
         open + many_records(1500, "\r\n", "<datafield tag=\"100\"><subfield code=\"a\">"
                                           "A &amp; B&#233;\r\nC</subfield></datafield>") + close,
         true},
        {"ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<collection>" +
                           many_records(1500, "\n", "<datafield tag=\"100\"><subfield code=\"a\">"
                                                    "Caf\xE9</subfield></datafield>") + close, true},
        {"UTF-16", utf16(plain, false), true},
        {"a second document after the root", plain + plain, true},
        {"no end of the root", open + many_records(1500, "\n"), true},
        {"a document type", "<!DOCTYPE collection [<!ENTITY e \"x\">]>\n<collection>" +
                                many_records(1500, "\n") + close, false},
        {"a record as the root", kGood + kGood, false},
        {"bytes that are not UTF-8 in the root's start tag, a piece after it",
         read_file(data_path("marcxml/head_not_utf8.xml")), false},
        {"a malformed XML declaration in the head",
         "<?xml version=\"1.0 encoding=\"UTF-8\"?>\n<collection>" + many_records(1500, "\n") + close,
         false},
        {"malformed from the start, past the first read",
         read_file(data_path("marcxml/malformed_start.xml")), false},
        {"undecodable from the start, past the first read",
         read_file(data_path("marcxml/undecodable_start.xml")), false},
#ifdef TAV_HAVE_ZLIB
        {"gzip", gzipped(plain), true},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tav::MarcxmlReader one(c.input), two(c.input);
        two.read_on(2);
        EXPECT_EQ(transcript(two, false), transcript(one, false));
        EXPECT_EQ(two.counts().pieces > 0, c.side_by_side);
        EXPECT_EQ(two.consumed(), one.consumed());
    }
}

namespace {

// Items as text, with all the description a record gives them.
std::string items_text(const std::deque<tav::MarcxmlItem>& items, const tav::MarcxmlCounts& c)
{
    std::string out;
    for (const tav::MarcxmlItem& item : items) {
        const tav::Description& d = item.record.description;
        const tav::SourceDescription& s = d.source_or_empty();
        out += std::to_string(static_cast<int>(item.kind)) + " " + item.control_number + " #" +
               std::to_string(item.occurrence) + " line " + std::to_string(item.line) + ": " +
               item.message.text + tab_line(item.record) + "|" + d.composer.str() + "|" +
               d.work_title.str() + "|" + d.movement_title + "|" + d.part_name + "|" +
               d.text_incipit + "|" + d.key_or_mode + "|" + d.role + "|" + d.note + "|" +
               s.siglum + "|" + s.shelfmark + "|" + s.composer_dates + "|" + s.source_title;
        for (const tav::Message& m : item.warnings)
            out += " [" + m.text + "]";
        out += "\n";
    }
    return out + std::to_string(c.records) + " " + std::to_string(c.incipits) + " " +
           std::to_string(c.errors) + " " + std::to_string(c.without_music) + "\n";
}

}  // namespace

// Odd records amid plain ones: every piece the scanner reads gives the items
// and counts libxml2's parse of it gives; it reads every piece of a plain
// subset and declines the piece of anything else; read on threads, every
// document reads as on one.
TEST(Marcxml, PiecesScannedAsParsed)
{
    SKIP_WITHOUT_READER();
#ifdef TAV_HAVE_LIBXML2   // the pieces' parts are built only with the reader
    const std::string open =
        "<collection xmlns=\"http://www.loc.gov/MARC21/slim\" xmlns:m=\"http://www.loc.gov/"
        "MARC21/slim\" xmlns:x=\"urn:x\">\n";
    each_table_line("marcxml/scanned_pieces.txt", [&](const std::string& expect,
                                                      const std::string& rest, const std::string&) {
        SCOPED_TRACE(rest.substr(0, rest.find(" | ")));
        const std::string odd = unescaped(rest.substr(rest.find(" | ") + 3));
        const std::string document =
            open + many_records(1500, "\n", "", 700, odd) + "</collection>\n";
        tav::detail::XmlInput input(std::make_unique<tav::InputStream>(document));
        tav::detail::RecordSplitter splitter(input);
        tav::detail::MarcxmlPiece piece;
        int pieces = 0, scanned = 0;
        bool odd_scanned = false;
        tav::detail::PieceHead known;   // the scanner's, kept from piece to piece
        while (splitter.next(piece)) {
            ++pieces;
            std::deque<tav::MarcxmlItem> by_scanner, by_libxml;
            tav::MarcxmlCounts scanner_counts, libxml_counts;
            tav::detail::PieceHead fresh;
            if (!tav::detail::PieceParses::scanner(splitter.head(), known, piece, by_scanner,
                                                   scanner_counts))
                continue;
            ++scanned;
            EXPECT_EQ(piece.line_feeds, std::count(piece.bytes.begin(), piece.bytes.end(), '\n'));
            odd_scanned = odd_scanned || piece.bytes.find(odd) != std::string::npos;
            ASSERT_TRUE(tav::detail::PieceParses::libxml(splitter.head(), fresh, piece, by_libxml,
                                                         libxml_counts));
            EXPECT_EQ(items_text(by_scanner, scanner_counts), items_text(by_libxml, libxml_counts));
        }
        EXPECT_GT(pieces, 2);
        EXPECT_EQ(scanned, expect == "scan" ? pieces : pieces - 1);
        EXPECT_EQ(odd_scanned, expect == "scan");
        tav::MarcxmlReader one(document), two(document);
        two.read_on(2);
        EXPECT_EQ(transcript(two, false), transcript(one, false));
    });
#endif
}
