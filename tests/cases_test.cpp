// The golden-file loop over tests/data/cases/*.txt, transcripts of records
// and what the parser and the writer make of them:
//   # a comment
//   $ m r v xml     options for the records below ("xml": the whole document,
//                   "xml4": the MusicXML 4.0 one, with its ties written as slurs;
//                   "mei": the MEI one; both name the converter's version
//                   VERSION; "d": the record described, every text with a
//                   sign to escape)
//   < RECORD        one record line; \xNN stands for the byte NN
// The loop keeps these lines and writes each record's outcome below it; the
// file must come out unchanged. To add a case, add a "<" line and run the
// unit tests with TAV_UPDATE_GOLDEN=1; check the new lines with git diff.
// Standard error must say what the log says.

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using namespace test_support;

std::string escaped(const std::string& text)
{
    std::string s;
    for (unsigned char c : text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        s += c == '\n' ? std::string("\\n")
             : (c < 32 || c >= 127 || c == '\\') ? std::string(hex) : std::string(1, c);
    }
    return s;
}

// Only the \xHH escapes as their bytes; any other backslash is itself.
std::string hex_unescaped(const std::string& text)
{
    std::string s;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\\x") == 0 && i + 4 <= text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            s += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            s += text[i];
        }
    }
    return s;
}

// Which document a record's outcome shows.
struct Shown {
    bool xml = false;
    bool v4 = false;
    bool mei = false;
    bool described = false;
};

void describe(tav::Description& d)
{
    d.composer = "Composer & Son";
    d.work_title = "Work <1>";
    d.movement_title = "Movement > 2";
    d.part_name = "Part\rname";
    d.text_incipit = "Text & incipit";
    d.key_or_mode = "G \x7F major";
}

// The MEI document, the writer's version named VERSION.
std::string mei_document(const Parsed& p, int64_t& slurred)
{
    return version_named(document_of(p.reading.record, p.incipit, {false, "2000-01-01", {}},
                                     &slurred, tav::find_format("mei")->writer));
}

std::string outcome(const std::string& record, const ConvertOptions& options, Shown shown)
{
    const bool xml = shown.xml, v4 = shown.v4;
    Parsed p;
    parse_into(p, record + "\n", options);
    if (shown.described)
        describe(p.reading.record.description);
    std::string err = p.err;
    for (size_t at; (at = err.find("...outputting to log file\n\n")) != std::string::npos;)
        err.erase(at, 27);
    EXPECT_EQ(err, p.log) << "standard error and the log differ";
    std::string s;
    if (!p.out.empty())
        s += "  out " + escaped(p.out) + "\n";
    if (!p.log.empty())
        s += "  log " + escaped(p.log) + "\n";
    if (p.status != ParseStatus::Parsed)
        return s + (p.blank ? "  blank\n" : "  failed\n");
    float hinted = document_divisions(p.incipit);
    const Incipit& i = p.incipit;
    char divisions[32];
    std::snprintf(divisions, sizeof divisions, "%g", static_cast<double>(hinted));
    s += "  incipit " + p.reading.record.identifier + "-" + escaped(p.reading.record.number) +
         ", divisions " + divisions +
         (i.mensural ? ", mensural" : "") +
         (i.corrected_key ? ", corrected key " + std::to_string(i.corrected_key) : "") + "\n";
    int64_t slurred = 0;
    std::string body = shown.mei ? mei_document(p, slurred)
                       : !xml    ? dump_score(i.first_measure)
                       : !v4 ? p.document()
                             : version_named(document_of(p.reading.record, i,
                                                         {true, "2000-01-01", {}}, &slurred));
    if (slurred > 0)
        s += "  ties written as slurs " + std::to_string(slurred) + "\n";
    for (size_t start = 0, end; start < body.size(); start = end + 1) {
        end = body.find('\n', start);
        s += (xml ? "  " : "  | ") + body.substr(start, end - start) + "\n";
    }
    return s;
}

std::string transcript(const std::string& text)
{
    std::string s;
    ConvertOptions options;
    Shown shown;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || (line[0] != '#' && line[0] != '$' && line[0] != '<'))
            continue;
        s += line + "\n";
        if (line[0] == '$') {
            options = ConvertOptions{};
            options.remove_mensural = line.find(" m") != std::string::npos;
            options.remove_measure_rests = line.find(" r") != std::string::npos;
            options.verbose = line.find(" v") != std::string::npos;
            shown.mei = line.find(" mei") != std::string::npos;
            shown.xml = shown.mei || line.find(" xml") != std::string::npos;
            shown.v4 = line.find(" xml4") != std::string::npos;
            shown.described = line.find(" d") != std::string::npos;
        } else if (line[0] == '<') {
            s += outcome(hex_unescaped(line.substr(2)), options, shown);
        }
    }
    return s;
}

std::vector<std::string> case_files()
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(data_path("cases")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Cases : public ::testing::TestWithParam<std::string> {};

TEST_P(Cases, TranscriptIsUnchanged)
{
    const std::string name = "cases/" + GetParam();
    expect_golden(name, transcript(read_file(data_path(name))));
}

INSTANTIATE_TEST_SUITE_P(Files, Cases, ::testing::ValuesIn(case_files()),
                         [](const auto& info) { return info.param.substr(0, info.param.find('.')); });

}  // namespace
