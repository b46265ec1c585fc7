// The document head, and each measure's number, left barline, attributes
// element, notes and right barline.

#include "writer/output.h"
#include "writer/xml_text.h"

namespace {

void write_head(XmlText& xml, int32_t incipit_id, const char* incipit_nb, int mensural,
                int corrected_key)
{
    xml.line(0, "<?xml version=\"1.0\" standalone=\"no\"?>");
    xml.line(0, "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 1.0 Partwise//EN\" "
                "\"http://www.musicxml.org/dtds/partwise.dtd\">");
    xml.line(0, "<score-partwise>");
    xml.line(1, "<identification>");
    xml.line(2, "<encoding>");
    xml.line(3, "<software>TAV 2005 for Windows/Linux</software>");
    xml.line(2, "</encoding>");
    xml.line(2, "<miscellaneous>");
    xml.line(3, "<miscellaneous-field name=\"Vellum - Incipit ID\">", incipit_id,
             "</miscellaneous-field>");
    // The only text from the record; escaped so that the file stays well-formed.
    xml.escaped_line(3, "<miscellaneous-field name=\"Vellum - Incipit NB\">", incipit_nb,
                     "</miscellaneous-field>");
    if (mensural == 0)
        xml.line(3, "<miscellaneous-field name=\"Notation\">Common Western Music Notation"
                    "</miscellaneous-field>");
    else if (mensural == 1)
        xml.line(3, "<miscellaneous-field name=\"Notation\">Mensural Notation"
                    "</miscellaneous-field>");
    if (corrected_key != 0)
        xml.line(3, "<miscellaneous-field name=\"Corrected Key Signature\">", corrected_key,
                 "</miscellaneous-field>");
    xml.line(2, "</miscellaneous>");
    xml.line(1, "</identification>");
    xml.line(1, "<part-list>");
    xml.line(2, "<score-part id=\"P1\">");
    xml.line(3, "<part-name>MusicXML Part</part-name>");
    xml.line(2, "</score-part>");
    xml.line(1, "</part-list>");
    xml.line(1, "<part id=\"P1\">");
}

const Attribute* find_attribute(const Measure* measure, int32_t kind)
{
    for (const Attribute* a = measure->first_attribute; a != nullptr; a = a->next)
        if (a->kind == kind)
            return a;
    return nullptr;
}

void write_left_barline(XmlText& xml, const Measure* measure)
{
    if (find_attribute(measure, ATTR_REPEAT_START) == nullptr)
        return;
    xml.line(3, "<barline location=\"left\">");
    xml.line(4, "<bar-style>heavy-light</bar-style>");
    xml.line(4, "<repeat direction=\"forward\"/>");
    xml.line(3, "</barline>");
}

void write_clef(XmlText& xml, const Attribute* clef)
{
    xml.line(4, "<clef>");
    xml.line(5, clef->kind == ATTR_CLEF_F ? "<sign>F</sign>"
                : clef->kind == ATTR_CLEF_C ? "<sign>C</sign>"
                                            : "<sign>G</sign>");
    xml.line(5, "<line>", clef->value, "</line>");
    if (clef->kind == ATTR_CLEF_G8)
        xml.line(5, "<clef-octave-change>-1</clef-octave-change>");
    xml.line(4, "</clef>");
}

// The attributes element opens before its first line, and only then.
class AttributesElement {
public:
    explicit AttributesElement(XmlText& xml) : xml_(xml) {}
    XmlText& open()
    {
        if (!open_)
            xml_.line(3, "<attributes>");
        open_ = true;
        return xml_;
    }
    void close()
    {
        if (open_)
            xml_.line(3, "</attributes>");
        open_ = false;
    }

private:
    XmlText& xml_;
    bool open_ = false;
};

// Divisions (measure 1 only), key, time, then clefs and multiple rests in
// list order. Sets current_fifths from the measure's first key signature.
void write_attributes(XmlText& xml, const Measure* measure, float divisions,
                      int32_t& current_fifths)
{
    AttributesElement attributes(xml);
    if (measure->number == 1)
        attributes.open().line(4, "<divisions>", static_cast<int64_t>(divisions),
                               "</divisions>");
    if (const Attribute* key = find_attribute(measure, ATTR_KEY)) {
        current_fifths = key->value;
        attributes.open().line(4, "<key>");
        xml.line(5, "<fifths>", key->value, "</fifths>");
        xml.line(4, "</key>");
    }
    if (const Rhythm* rhythm = measure->rhythm) {
        // The parser gives the symbol only to common time (4/4) and cut
        // time (2/2); any other signature is written as numbers.
        if (rhythm->symbol == 1 && rhythm->beats == 2)
            attributes.open().line(4, "<time symbol=\"cut\">");
        else if (rhythm->symbol == 1 && rhythm->beats == 4)
            attributes.open().line(4, "<time symbol=\"common\">");
        else
            attributes.open().line(4, "<time>");
        xml.line(5, "<beats>", rhythm->beats, "</beats>");
        xml.line(5, "<beat-type>", rhythm->beat_type, "</beat-type>");
        xml.line(4, "</time>");
    }
    for (const Attribute* a = measure->first_attribute; a != nullptr; a = a->next) {
        if (a->kind >= ATTR_CLEF_G && a->kind <= ATTR_CLEF_G8) {
            write_clef(attributes.open(), a);
        } else if (a->kind == ATTR_MULTIPLE_REST) {
            attributes.open().line(4, "<measure-style>");
            xml.line(5, "<multiple-rest>", a->value, "</multiple-rest>");
            xml.line(4, "</measure-style>");
        }
    }
    attributes.close();
}

void write_right_barline(XmlText& xml, const Measure* measure)
{
    for (const Attribute* a = measure->first_attribute; a != nullptr; a = a->next) {
        if (a->kind != ATTR_BAR_DOUBLE && a->kind != ATTR_BAR_FINAL && a->kind != ATTR_REPEAT_END)
            continue;
        xml.line(3, "<barline location=\"right\">");
        xml.line(4, a->kind == ATTR_BAR_DOUBLE ? "<bar-style>light-light</bar-style>"
                                               : "<bar-style>light-heavy</bar-style>");
        if (a->kind == ATTR_REPEAT_END)
            xml.line(4, "<repeat direction=\"backward\"/>");
        xml.line(3, "</barline>");
        return;
    }
}

}  // namespace

void render_score(const Measure* first_measure, float divisions, int32_t incipit_id,
                  const char* incipit_nb, int mensural, int corrected_key, std::string& out)
{
    XmlText xml(out);
    write_head(xml, incipit_id, incipit_nb, mensural, corrected_key);
    int32_t current_fifths = 0;
    for (const Measure* m = first_measure; m != nullptr; m = m->next) {
        MeasureAccidentals measure_accidentals;
        xml.line(2, "<measure number=\"", m->number, "\">");
        write_left_barline(xml, m);
        write_attributes(xml, m, divisions, current_fifths);
        write_notes(xml, m->first_note, divisions, current_fifths, measure_accidentals);
        write_right_barline(xml, m);
        xml.line(2, "</measure>");
    }
    xml.line(1, "</part>");
    xml.line(0, "</score-partwise>");
}
