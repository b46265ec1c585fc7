// The MEI document's head: the XML declaration, the schema's reference and
// the meiHead, which carries the record's identity and its description (the
// file's title statement, its publication and source, the encoding and the
// work). A catalogue record's source is found at its siglum and shelfmark
// (physLoc), and its record at the source's target.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "writer/mei_head.h"

namespace tav::detail {

namespace {

// The element text of `text`, escaped, with room reserved for it.
void put_line(XmlText& xml, std::string_view open, std::string_view text, std::string_view close)
{
    char* p = xml.reserve(open.size() + close.size() + kEscapedRoomPerByte * text.size());
    xml.commit(put_element(p, open, text, close));
}

// `open`, the caller's `value` as an attribute, `middle`, the caller's
// `text`, then `close`.
void put_attributed_line(XmlText& xml, std::string_view open, std::string_view value,
                         std::string_view middle, std::string_view text, std::string_view close)
{
    char* p = xml.reserve(open.size() + middle.size() + close.size() +
                          kEscapedRoomPerByte * (value.size() + text.size()));
    p = put_caller_attribute(put(p, open), value);
    xml.commit(put_element(p, middle, text, close));
}

// A line of the caller's text, when it is not empty.
void put_line_of(XmlText& xml, std::string_view open, std::string_view text,
                 std::string_view close)
{
    if (!text.empty())
        put_line(xml, open, text, close);
}

}  // namespace

void put_fixed(XmlText& xml, std::string_view text)
{
    char* p = xml.reserve(text.size());
    xml.commit(put(p, text));
}

namespace {

// The file's title statement: the work, the movement, the composer and
// the other creators in the record's order.
void write_title_statement(XmlText& xml, const tav::Record& record)
{
    const tav::Description& d = record.description;
    const std::vector<Creator>& creators = d.source_or_empty().creators;
    put_fixed(xml, "\t\t<fileDesc>\n\t\t\t<titleStmt>\n");
    put_line_of(xml, "\t\t\t\t<title>", d.work_title, "</title>\n");
    put_line_of(xml, "\t\t\t\t<title type=\"subordinate\">", d.movement_title, "</title>\n");
    if (d.work_title.empty() && d.movement_title.empty()) {
        std::string title = "Incipit ";
        append_output_file_name(title, record, {});
        if (!check_utf8(title).valid)
            title = utf8_or_latin1(title);
        put_line(xml, "\t\t\t\t<title>", title, "</title>\n");
    }
    if (!d.composer.empty() || !creators.empty()) {
        put_fixed(xml, "\t\t\t\t<respStmt>\n");
        put_line_of(xml, "\t\t\t\t\t<persName role=\"composer\">", d.composer, "</persName>\n");
        for (const Creator& c : creators)
            put_attributed_line(xml, "\t\t\t\t\t<persName role=\"", c.role, "\">", c.name,
                                "</persName>\n");
        put_fixed(xml, "\t\t\t\t</respStmt>\n");
    }
    put_fixed(xml, "\t\t\t</titleStmt>\n");
}

// The record's identity, as the source's identifiers.
void write_identifiers(XmlText& xml, std::string_view indent, std::string_view id,
                       std::string_view nb)
{
    put_fixed(xml, indent);
    put_line(xml, "<identifier type=\"incipit-id\">", id, "</identifier>\n");
    put_fixed(xml, indent);
    put_line(xml, "<identifier type=\"incipit-number\">", nb, "</identifier>\n");
}

// Where the source is found: the library's siglum and the shelfmark.
void write_location(XmlText& xml, const SourceDescription& s)
{
    if (s.siglum.empty() && s.shelfmark.empty())
        return;
    // A shelfmark follows a repository, named or not.
    put_fixed(xml, s.siglum.empty() ? "\t\t\t\t\t\t<physLoc>\n\t\t\t\t\t\t\t<repository/>\n"
                                    : "\t\t\t\t\t\t<physLoc>\n");
    put_line_of(xml, "\t\t\t\t\t\t\t<repository>\n\t\t\t\t\t\t\t\t<identifier type=\"siglum\">",
                s.siglum, "</identifier>\n\t\t\t\t\t\t\t</repository>\n");
    put_line_of(xml, "\t\t\t\t\t\t\t<identifier type=\"shelfmark\">", s.shelfmark,
                "</identifier>\n");
    put_fixed(xml, "\t\t\t\t\t\t</physLoc>\n");
}

// Publication (the encoding date) and the source the incipit is read
// from: the record's identity, the source's title and date, where it is
// found, and the link to the catalogue record as its target.
void write_publication_and_source(XmlText& xml, const DocumentInfo& info,
                                  const tav::Record& record, std::string_view nb)
{
    const SourceDescription& s = record.description.source_or_empty();
    put_fixed(xml, "\t\t\t<pubStmt>\n");
    put_line_of(xml, "\t\t\t\t<date>", info.encoding_date, "</date>\n");
    put_fixed(xml, "\t\t\t</pubStmt>\n\t\t\t<sourceDesc>\n");
    if (std::string link = s.record_link(info.record_uri); !link.empty())
        put_attributed_line(xml, "\t\t\t\t<source target=\"", link, "\">\n", {}, "");
    else
        put_fixed(xml, "\t\t\t\t<source>\n");
    put_fixed(xml, "\t\t\t\t\t<bibl>\n");
    write_identifiers(xml, "\t\t\t\t\t\t", record.identifier, nb);
    put_line_of(xml, "\t\t\t\t\t\t<identifier type=\"control-number\">", s.control_number,
                "</identifier>\n");
    put_line_of(xml, "\t\t\t\t\t\t<title>", s.source_title, "</title>\n");
    put_line_of(xml, "\t\t\t\t\t\t<date>", s.date, "</date>\n");
    write_location(xml, s);
    put_fixed(xml, "\t\t\t\t\t</bibl>\n\t\t\t\t</source>\n\t\t\t</sourceDesc>\n\t\t</fileDesc>\n");
}

// The encoding: this converter and its version.
void write_encoding(XmlText& xml)
{
    put_fixed(xml, "\t\t<encodingDesc>\n\t\t\t<appInfo>\n\t\t\t\t<application version=\"");
    put_fixed(xml, kSoftwareVersion);
    put_fixed(xml, "\">\n\t\t\t\t\t<name>");
    put_fixed(xml, kSoftwareName);
    put_fixed(xml, "</name>\n\t\t\t\t</application>\n\t\t\t</appInfo>\n\t\t</encodingDesc>\n");
}

// The notes on the work: its notation, a key signature the converter
// corrected, the role and the note on the incipit.
void write_work_notes(XmlText& xml, const Incipit& score, const tav::Description& d)
{
    const int mensural = score.mensural;
    if (mensural != 0 && mensural != 1 && score.corrected_key == 0 && d.role.empty() &&
        d.note.empty())
        return;
    char* p = xml.reserve(kFixedRoom);
    p = put(p, "\t\t\t\t<notesStmt>\n");
    if (mensural == 0)
        p = put(p, "\t\t\t\t\t<annot type=\"notation\">Common Western Music Notation</annot>\n");
    else if (mensural == 1)
        p = put(p, "\t\t\t\t\t<annot type=\"notation\">Mensural Notation</annot>\n");
    if (score.corrected_key != 0) {
        p = put(p, "\t\t\t\t\t<annot type=\"corrected-key-signature\">");
        p = put_decimal(p, score.corrected_key);
        p = put(p, "</annot>\n");
    }
    xml.commit(p);
    put_line_of(xml, "\t\t\t\t\t<annot type=\"role\">", d.role, "</annot>\n");
    put_line_of(xml, "\t\t\t\t\t<annot type=\"note\">", d.note, "</annot>\n");
    put_fixed(xml, "\t\t\t\t</notesStmt>\n");
}

// The work's creators: the composer (with the dates of the composer's
// life), then the others in the record's order, each in the element of its
// role (a role MEI has none for as a contributor).
void write_work_creators(XmlText& xml, const tav::Description& d)
{
    const SourceDescription& s = d.source_or_empty();
    if (s.composer_dates.empty()) {
        put_line_of(xml, "\t\t\t\t<composer>", d.composer, "</composer>\n");
    } else {
        put_fixed(xml, "\t\t\t\t<composer>\n");
        put_line_of(xml, "\t\t\t\t\t<persName>", d.composer, "</persName>\n");
        put_line(xml, "\t\t\t\t\t<date type=\"lifetime\">", s.composer_dates, "</date>\n");
        put_fixed(xml, "\t\t\t\t</composer>\n");
    }
    for (const Creator& c : s.creators) {
        if (c.role == "lyricist" || c.role == "librettist" || c.role == "arranger")
            put_line(xml, "\t\t\t\t<" + c.role + ">", c.name, "</" + c.role + ">\n");
        else
            put_attributed_line(xml, "\t\t\t\t<contributor role=\"", c.role, "\">", c.name,
                                "</contributor>\n");
    }
}

// The key or mode in words, its mode as the attribute when it names one.
void write_work_key(XmlText& xml, std::string_view key_or_mode)
{
    if (key_or_mode.empty())
        return;
    std::string_view mode = key_mode(key_or_mode);
    if (mode.empty())
        put_line(xml, "\t\t\t\t<key>", key_in_words(key_or_mode), "</key>\n");
    else
        put_attributed_line(xml, "\t\t\t\t<key mode=\"", mode, "\">", key_in_words(key_or_mode),
                            "</key>\n");
}

// The medium of performance: the staff's part, and the source's scoring.
void write_work_medium(XmlText& xml, const tav::Description& d)
{
    const std::string part = d.part_label();
    const std::string& scoring = d.source_or_empty().scoring;
    if (part.empty() && scoring.empty())
        return;
    put_fixed(xml, "\t\t\t\t<perfMedium>\n");
    put_line_of(xml, "\t\t\t\t\t<perfResList>\n\t\t\t\t\t\t<perfRes>", part,
                "</perfRes>\n\t\t\t\t\t</perfResList>\n");
    put_line_of(xml, "\t\t\t\t\t<annot type=\"scoring\">", scoring, "</annot>\n");
    put_fixed(xml, "\t\t\t\t</perfMedium>\n");
}

// The work: its identity and numbers, titles, creators, key or mode, text
// incipit, the medium, and the notes on it.
void write_work(XmlText& xml, const tav::Record& record, const Incipit& score,
                std::string_view nb)
{
    const tav::Description& d = record.description;
    put_fixed(xml, "\t\t<workList>\n\t\t\t<work>\n");
    write_identifiers(xml, "\t\t\t\t", record.identifier, nb);
    put_line_of(xml, "\t\t\t\t<identifier type=\"work-number\">", d.source_or_empty().work_number,
                "</identifier>\n");
    put_line_of(xml, "\t\t\t\t<identifier type=\"movement-number\">", d.movement_number,
                "</identifier>\n");
    if (!d.work_title.empty())
        put_line(xml, "\t\t\t\t<title>", d.work_title, "</title>\n");
    else
        put_fixed(xml, "\t\t\t\t<title/>\n");
    put_line_of(xml, "\t\t\t\t<title type=\"subordinate\">", d.movement_title, "</title>\n");
    write_work_creators(xml, d);
    write_work_key(xml, d.key_or_mode);
    put_line_of(xml, "\t\t\t\t<incip>\n\t\t\t\t\t<incipText>\n\t\t\t\t\t\t<p>", d.text_incipit,
                "</p>\n\t\t\t\t\t</incipText>\n\t\t\t\t</incip>\n");
    write_work_medium(xml, d);
    write_work_notes(xml, score, d);
    put_fixed(xml, "\t\t\t</work>\n\t\t</workList>\n");
}

}  // namespace

void write_mei_head(XmlText& xml, const tav::Record& record, const Incipit& score,
                    const DocumentInfo& info)
{
    // The document is UTF-8: a number that is not is read as Latin-1.
    std::string nb = record.number;
    if (!check_utf8(nb).valid)
        nb = utf8_or_latin1(nb);
    put_fixed(xml, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<?xml-model href=\"https://music-encoding.org/schema/4.0.1/mei-CMN.rng\" "
                   "type=\"application/xml\" schematypens=\"http://relaxng.org/ns/structure/1.0\"?>\n"
                   "<mei xmlns=\"http://www.music-encoding.org/ns/mei\" meiversion=\"4.0.1\">\n"
                   "\t<meiHead>\n");
    write_title_statement(xml, record);
    write_publication_and_source(xml, info, record, nb);
    write_encoding(xml);
    write_work(xml, record, score, nb);
    put_fixed(xml, "\t</meiHead>\n\t<music>\n\t\t<body>\n\t\t\t<mdiv>\n\t\t\t\t<score>\n");
}

}  // namespace tav::detail
