// The MEI document's head: the XML declaration, the schema's reference and
// the meiHead, which carries the record's identity and its description (the
// file's title statement, its publication and source, the encoding and the
// work).

#include <cstdint>
#include <string>
#include <string_view>

#include "writer/mei_head.h"

namespace tav::detail {

namespace {

// The element text of `text`, escaped, with room reserved for it.
void put_line(XmlText& xml, std::string_view open, std::string_view text, std::string_view close)
{
    char* p = xml.reserve(open.size() + close.size() + kEscapedRoomPerByte * text.size());
    xml.commit(put_element(p, open, text, close));
}

}  // namespace

void put_fixed(XmlText& xml, std::string_view text)
{
    char* p = xml.reserve(text.size());
    xml.commit(put(p, text));
}

namespace {

// The file's title statement: the work, the movement, the composer.
void write_title_statement(XmlText& xml, const tav::Record& record)
{
    const tav::Description& d = record.description;
    put_fixed(xml, "\t\t<fileDesc>\n\t\t\t<titleStmt>\n");
    if (!d.work_title.empty())
        put_line(xml, "\t\t\t\t<title>", d.work_title, "</title>\n");
    if (!d.movement_title.empty())
        put_line(xml, "\t\t\t\t<title type=\"subordinate\">", d.movement_title, "</title>\n");
    if (d.work_title.empty() && d.movement_title.empty()) {
        std::string title = "Incipit ";
        append_output_file_name(title, record, {});
        if (!check_utf8(title).valid)
            title = utf8_or_latin1(title);
        put_line(xml, "\t\t\t\t<title>", title, "</title>\n");
    }
    if (!d.composer.empty())
        put_line(xml, "\t\t\t\t<respStmt>\n\t\t\t\t\t<persName role=\"composer\">", d.composer,
                 "</persName>\n\t\t\t\t</respStmt>\n");
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

// Publication (the encoding date) and the source the incipit is read from.
void write_publication_and_source(XmlText& xml, const DocumentInfo& info, std::string_view id,
                                  std::string_view nb)
{
    put_fixed(xml, "\t\t\t<pubStmt>\n");
    if (!info.encoding_date.empty())
        put_line(xml, "\t\t\t\t<date>", info.encoding_date, "</date>\n");
    put_fixed(xml, "\t\t\t</pubStmt>\n\t\t\t<sourceDesc>\n\t\t\t\t<source>\n\t\t\t\t\t<bibl>\n");
    write_identifiers(xml, "\t\t\t\t\t\t", id, nb);
    put_fixed(xml, "\t\t\t\t\t</bibl>\n\t\t\t\t</source>\n\t\t\t</sourceDesc>\n\t\t</fileDesc>\n");
}

void write_encoding(XmlText& xml)
{
    put_fixed(xml, "\t\t<encodingDesc>\n\t\t\t<appInfo>\n\t\t\t\t<application version=\""
                   TAV_VERSION_STRING "\">\n\t\t\t\t\t<name>tav</name>\n"
                   "\t\t\t\t</application>\n\t\t\t</appInfo>\n\t\t</encodingDesc>\n");
}

// The notes on the work: its notation and a key signature the converter
// corrected.
void write_work_notes(XmlText& xml, int mensural, int corrected_key)
{
    if (mensural != 0 && mensural != 1 && corrected_key == 0)
        return;
    char* p = xml.reserve(kFixedRoom);
    p = put(p, "\t\t\t\t<notesStmt>\n");
    if (mensural == 0)
        p = put(p, "\t\t\t\t\t<annot type=\"notation\">Common Western Music Notation</annot>\n");
    else if (mensural == 1)
        p = put(p, "\t\t\t\t\t<annot type=\"notation\">Mensural Notation</annot>\n");
    if (corrected_key != 0) {
        p = put(p, "\t\t\t\t\t<annot type=\"corrected-key-signature\">");
        p = put_decimal(p, corrected_key);
        p = put(p, "</annot>\n");
    }
    xml.commit(put(p, "\t\t\t\t</notesStmt>\n"));
}

// The work: its identity, titles, composer, key or mode, text incipit,
// the part, and the notes on it.
void write_work(XmlText& xml, const tav::Record& record, const Incipit& score,
                std::string_view nb)
{
    const tav::Description& d = record.description;
    put_fixed(xml, "\t\t<workList>\n\t\t\t<work>\n");
    write_identifiers(xml, "\t\t\t\t", record.identifier, nb);
    if (!d.work_title.empty())
        put_line(xml, "\t\t\t\t<title>", d.work_title, "</title>\n");
    else
        put_fixed(xml, "\t\t\t\t<title/>\n");
    if (!d.movement_title.empty())
        put_line(xml, "\t\t\t\t<title type=\"subordinate\">", d.movement_title, "</title>\n");
    if (!d.composer.empty())
        put_line(xml, "\t\t\t\t<composer>", d.composer, "</composer>\n");
    if (!d.key_or_mode.empty())
        put_line(xml, "\t\t\t\t<key>", d.key_or_mode, "</key>\n");
    if (!d.text_incipit.empty())
        put_line(xml, "\t\t\t\t<incip>\n\t\t\t\t\t<incipText>\n\t\t\t\t\t\t<p>", d.text_incipit,
                 "</p>\n\t\t\t\t\t</incipText>\n\t\t\t\t</incip>\n");
    if (!d.part_name.empty())
        put_line(xml, "\t\t\t\t<perfMedium>\n\t\t\t\t\t<perfResList>\n\t\t\t\t\t\t<perfRes>",
                 d.part_name, "</perfRes>\n\t\t\t\t\t</perfResList>\n\t\t\t\t</perfMedium>\n");
    write_work_notes(xml, score.mensural, score.corrected_key);
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
    write_publication_and_source(xml, info, record.identifier, nb);
    write_encoding(xml);
    write_work(xml, record, score, nb);
    put_fixed(xml, "\t</meiHead>\n\t<music>\n\t\t<body>\n\t\t\t<mdiv>\n\t\t\t\t<score>\n");
}

}  // namespace tav::detail
