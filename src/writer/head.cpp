// The document head. A record line's (no description) is the 2005
// program's, byte for byte; a catalogue record's names its work, its
// creators, its source and where the source is found.

#include "writer/head.h"

#include <algorithm>
#include <cstdint>

namespace tav::detail {

namespace {

// Room for the head's fixed lines (beside the record's texts: some 2.5 KiB
// with every miscellaneous field and credit), and for the lines around one
// creator or credit.
constexpr size_t kHeadRoom = 4096;
constexpr size_t kLineRoom = 256;
// A miscellaneous field, when its text is not empty.
char* put_field(char* p, std::string_view name, std::string_view text)
{
    if (text.empty())
        return p;
    p = put(put(p, "\t\t\t<miscellaneous-field name=\""), name);
    return put_element(p, "\">", text, "</miscellaneous-field>\n");
}

// The XML declaration, the document type and the root element's start.
char* put_prologue(char* p, bool musicxml4)
{
    if (musicxml4)
        return put(p, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
                      "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
                      "\"http://www.musicxml.org/dtds/partwise.dtd\">\n"
                      "<score-partwise version=\"4.0\">\n");
    return put(p, "<?xml version=\"1.0\" standalone=\"no\"?>\n"
                  "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 1.0 Partwise//EN\" "
                  "\"http://www.musicxml.org/dtds/partwise.dtd\">\n"
                  "<score-partwise>\n");
}

// The incipit number, the only text from the record line itself; escaped
// so that the file stays well-formed (an entity takes at most five bytes).
char* put_incipit_nb(char* p, std::string_view incipit_nb)
{
    return put_escaped(p, incipit_nb, XmlContext::Text);
}

// The work (its number and title), the movement's number and title.
char* put_work(char* p, const Description& d)
{
    const std::string& number = d.source_or_empty().work_number;
    if (!d.work_title.empty() || !number.empty()) {
        p = put(p, "\t<work>\n");
        if (!number.empty())
            p = put_element(p, "\t\t<work-number>", number, "</work-number>\n");
        if (!d.work_title.empty())
            p = put_element(p, "\t\t<work-title>", d.work_title, "</work-title>\n");
        p = put(p, "\t</work>\n");
    }
    if (!d.movement_number.empty())
        p = put_element(p, "\t<movement-number>", d.movement_number, "</movement-number>\n");
    if (!d.movement_title.empty())
        p = put_element(p, "\t<movement-title>", d.movement_title, "</movement-title>\n");
    return p;
}

// The composer, then the other creators in the record's order.
char* put_creators(char* p, const Description& d)
{
    if (!d.composer.empty())
        p = put_element(p, "\t\t<creator type=\"composer\">", d.composer, "</creator>\n");
    for (const Creator& c : d.source_or_empty().creators) {
        p = put_caller_attribute(put(p, "\t\t<creator type=\""), c.role);
        p = put_element(p, "\">", c.name, "</creator>\n");
    }
    return p;
}

// The encoding, then the source, its location, and the record's link.
char* put_encoding(char* p, const DocumentInfo& info, const Description& d,
                   std::string_view link)
{
    // 1.0 names the 2005 program, as the files it wrote do.
    if (info.musicxml4) {
        p = put(p, "\t\t<encoding>\n\t\t\t<software>");
        p = put(put(put(p, kSoftwareName), " "), kSoftwareVersion);
        p = put(p, "</software>\n");
        p = put_element(p, "\t\t\t<encoding-date>", info.encoding_date, "</encoding-date>\n");
    } else {
        p = put(p, "\t\t<encoding>\n"
                   "\t\t\t<software>TAV 2005 for Windows/Linux</software>\n");
    }
    p = put(p, "\t\t</encoding>\n");
    if (std::string location = d.source_or_empty().location(); !location.empty())
        p = put_element(p, "\t\t<source>", location, "</source>\n");
    if (!link.empty())
        p = put_element(p, "\t\t<relation>", link, "</relation>\n");
    return p;
}

// The miscellaneous fields: the record's identity, its notation, a key
// signature the converter corrected, and the descriptive texts.
char* put_miscellaneous(char* p, const Description& d, std::string_view incipit_id,
                        std::string_view incipit_nb, int mensural, int corrected_key)
{
    p = put(p, "\t\t<miscellaneous>\n"
               "\t\t\t<miscellaneous-field name=\"Vellum - Incipit ID\">");
    p = put(p, incipit_id);
    p = put(p, "</miscellaneous-field>\n"
               "\t\t\t<miscellaneous-field name=\"Vellum - Incipit NB\">");
    p = put_incipit_nb(p, incipit_nb);
    p = put(p, "</miscellaneous-field>\n");
    if (mensural == 0)
        p = put(p, "\t\t\t<miscellaneous-field name=\"Notation\">Common Western Music Notation"
                   "</miscellaneous-field>\n");
    else if (mensural == 1)
        p = put(p, "\t\t\t<miscellaneous-field name=\"Notation\">Mensural Notation"
                   "</miscellaneous-field>\n");
    if (corrected_key != 0) {
        p = put(p, "\t\t\t<miscellaneous-field name=\"Corrected Key Signature\">");
        p = put_decimal(p, corrected_key);
        p = put(p, "</miscellaneous-field>\n");
    }
    const SourceDescription& s = d.source_or_empty();
    p = put_field(p, "Control number", s.control_number);
    p = put_field(p, "Composer dates", s.composer_dates);
    p = put_field(p, "Source title", s.source_title);
    p = put_field(p, "Scoring", s.scoring);
    p = put_field(p, "Date", s.date);
    p = put_field(p, "Role", d.role);
    p = put_field(p, "Note", d.note);
    p = put_field(p, "Text incipit", d.text_incipit);
    p = put_field(p, "Key or mode", key_in_words(d.key_or_mode));
    return put(p, "\t\t</miscellaneous>\n");
}

// One text a notation program prints on the first page, where its kind
// belongs: positions in tenths on a page of 1190 by 1683.
char* put_credit(char* p, std::string_view type, std::string_view place, std::string_view text)
{
    if (text.empty())
        return p;
    p = put(put(p, "\t<credit page=\"1\">\n\t\t<credit-type>"), type);
    p = put(put(put(p, "</credit-type>\n\t\t<credit-words "), place), ">");
    return put_element(p, "", text, "</credit-words>\n\t</credit>\n");
}

// The credits (4.0): the work title as the title, the movement title as
// the subtitle, the composer and the lyricists.
char* put_credits(char* p, const Description& d)
{
    p = put_credit(p, "title",
                   "default-x=\"595\" default-y=\"1613\" justify=\"center\" valign=\"top\" "
                   "font-size=\"22\"",
                   d.work_title);
    p = put_credit(p, "subtitle",
                   "default-x=\"595\" default-y=\"1560\" justify=\"center\" valign=\"top\" "
                   "font-size=\"16\"",
                   d.movement_title);
    p = put_credit(p, "composer",
                   "default-x=\"1134\" default-y=\"1512\" justify=\"right\" valign=\"bottom\"",
                   d.composer);
    for (const Creator& c : d.source_or_empty().creators)
        if (c.role == "lyricist")
            p = put_credit(p, "lyricist",
                           "default-x=\"56\" default-y=\"1512\" justify=\"left\" valign=\"bottom\"",
                           c.name);
    return p;
}

// The part's name: the record line's "MusicXML Part"; a catalogue record's
// voice or instrument, else the one its scoring names, else none.
char* put_part_list(char* p, const Description& d)
{
    p = put(p, "\t<part-list>\n"
               "\t\t<score-part id=\"P1\">\n");
    if (d.empty())
        p = put(p, "\t\t\t<part-name>MusicXML Part</part-name>\n");
    else
        p = put_element(p, "\t\t\t<part-name>", d.part_label(), "</part-name>\n");
    return put(p, "\t\t</score-part>\n"
                  "\t</part-list>\n"
                  "\t<part id=\"P1\">\n");
}

// The room the head's texts take, escaped; the titles, the composer and
// the creators are written twice in 4.0 (as credits), and the key or mode
// in words is at most a few bytes longer than as written.
size_t texts_room(const Description& d, const DocumentInfo& info, std::string_view link)
{
    const SourceDescription& s = d.source_or_empty();
    size_t once = d.part_name.size() + d.text_incipit.size() + d.role.size() + d.note.size() +
                  d.movement_number.size() + s.control_number.size() + s.siglum.size() +
                  s.shelfmark.size() + s.composer_dates.size() + s.work_number.size() +
                  2 * s.scoring.size() + s.source_title.size() + s.date.size() + link.size() +
                  info.encoding_date.size() + 2 * d.key_or_mode.size() + kLineRoom;
    size_t twice = d.composer.size() + d.work_title.size() + d.movement_title.size();
    for (const Creator& c : s.creators)
        twice += c.role.size() + c.name.size() + kLineRoom;
    return kEscapedRoomPerByte * (once + 2 * twice) + 4 * kLineRoom;
}

}  // namespace

void write_head(XmlText& xml, const DocumentInfo& info, const tav::Record& record, int mensural,
                int corrected_key)
{
    const Description& d = record.description;
    std::string_view incipit_nb = record.number;
    // A 4.0 document is UTF-8: a number that is not is read as Latin-1.
    std::string number_text;
    if (info.musicxml4 && !check_utf8(incipit_nb).valid) {
        number_text = utf8_or_latin1(incipit_nb);
        incipit_nb = number_text;
    }
    const std::string link =
        info.musicxml4 ? d.source_or_empty().record_link(info.record_uri) : std::string();
    char* p = xml.reserve(kHeadRoom + record.identifier.size() + 5 * incipit_nb.size() +
                          texts_room(d, info, link));
    p = put_prologue(p, info.musicxml4);
    // The order of the score's header: work, movement, identification,
    // credits, part list.
    p = put_work(p, d);
    p = put(p, "\t<identification>\n");
    p = put_creators(p, d);
    p = put_encoding(p, info, d, link);
    p = put_miscellaneous(p, d, record.identifier, incipit_nb, mensural, corrected_key);
    p = put(p, "\t</identification>\n");
    if (info.musicxml4)
        p = put_credits(p, d);
    p = put_part_list(p, d);
    xml.commit(p);
}

}  // namespace tav::detail
