// Each measure's number, left barline, attributes
// element, notes and right barline.
//
// Lines are written whole, tabs and line feed included, through the cursor
// of XmlText, into room reserved once for the head and once for each part
// of a measure.

#include <cstdint>
#include <cstring>

#include "score/measure_marks.h"
#include "score/note_length.h"
#include "writer/head.h"
#include "writer/notes_internal.h"
#include "writer/output.h"
#include "writer/xml_text.h"

namespace tav::detail {

namespace {

// Room for the fixed lines of a measure, for the lines one measure
// attribute can add, and for the right barline and the end of a measure.
constexpr size_t kMeasureRoom = 1024;
constexpr size_t kMarkRoom = 256;
constexpr size_t kMeasureEndRoom = 256;

char* write_clef(char* p, const Attribute* clef)
{
    p = put(p, "\t\t\t\t<clef>\n");
    if (clef->kind == ATTR_CLEF_F)
        p = put(p, "\t\t\t\t\t<sign>F</sign>\n");
    else if (clef->kind == ATTR_CLEF_C)
        p = put(p, "\t\t\t\t\t<sign>C</sign>\n");
    else
        p = put(p, "\t\t\t\t\t<sign>G</sign>\n");
    p = put(p, "\t\t\t\t\t<line>");
    p = put_decimal(p, clef->value);
    p = put(p, "</line>\n");
    if (clef->kind == ATTR_CLEF_G8)
        p = put(p, "\t\t\t\t\t<clef-octave-change>-1</clef-octave-change>\n");
    return put(p, "\t\t\t\t</clef>\n");
}

// An attributes element, present only when it has a line: divisions
// (at the start of measure 1 only), key (with `mode`, when given, at the
// start of measure 1), time, clef, then a multiple rest. Sets
// current_fifths from its key signature.
char* write_attributes(char* p, const Measure* measure, const Changes& marks, bool at_start,
                       float divisions, int32_t& current_fifths, std::string_view mode = {})
{
    const TimeSignature* rhythm = marks.time ? measure->time_signature : nullptr;
    bool head = at_start && measure->number == 1;
    if (!head && marks.key == nullptr && rhythm == nullptr && marks.clef == nullptr &&
        marks.rest == nullptr)
        return p;
    p = put(p, "\t\t\t<attributes>\n");
    if (head) {
        p = put(p, "\t\t\t\t<divisions>");
        p = put_decimal(p, static_cast<int64_t>(divisions));
        p = put(p, "</divisions>\n");
    }
    if (const Attribute* key = marks.key) {
        current_fifths = key->value;
        p = put(p, "\t\t\t\t<key>\n\t\t\t\t\t<fifths>");
        p = put_decimal(p, key->value);
        p = put(p, "</fifths>\n");
        if (!mode.empty())
            p = put(put(put(p, "\t\t\t\t\t<mode>"), mode), "</mode>\n");
        p = put(p, "\t\t\t\t</key>\n");
    }
    if (rhythm != nullptr) {
        // The parser gives the symbol only to common time (4/4) and cut
        // time (2/2); any other signature is written as numbers.
        if (rhythm->symbol == 1 && rhythm->beats == 2)
            p = put(p, "\t\t\t\t<time symbol=\"cut\">\n");
        else if (rhythm->symbol == 1 && rhythm->beats == 4)
            p = put(p, "\t\t\t\t<time symbol=\"common\">\n");
        else
            p = put(p, "\t\t\t\t<time>\n");
        p = put(p, "\t\t\t\t\t<beats>");
        p = put_decimal(p, rhythm->beats);
        p = put(p, "</beats>\n\t\t\t\t\t<beat-type>");
        p = put_decimal(p, rhythm->beat_type);
        p = put(p, "</beat-type>\n\t\t\t\t</time>\n");
    }
    if (marks.clef != nullptr)
        p = write_clef(p, marks.clef);
    if (const Attribute* rest = marks.rest) {
        p = put(p, "\t\t\t\t<measure-style>\n\t\t\t\t\t<multiple-rest>");
        p = put_decimal(p, rest->value);
        p = put(p, "</multiple-rest>\n\t\t\t\t</measure-style>\n");
    }
    return put(p, "\t\t\t</attributes>\n");
}

char* write_right_barline(char* p, const Attribute* bar)
{
    if (bar == nullptr)
        return p;
    switch (bar->kind) {
    case ATTR_BAR_DOUBLE:
        return put(p, "\t\t\t<barline location=\"right\">\n"
                      "\t\t\t\t<bar-style>light-light</bar-style>\n"
                      "\t\t\t</barline>\n");
    case ATTR_BAR_FINAL:
        return put(p, "\t\t\t<barline location=\"right\">\n"
                      "\t\t\t\t<bar-style>light-heavy</bar-style>\n"
                      "\t\t\t</barline>\n");
    default:
        return put(p, "\t\t\t<barline location=\"right\">\n"
                      "\t\t\t\t<bar-style>light-heavy</bar-style>\n"
                      "\t\t\t\t<repeat direction=\"backward\"/>\n"
                      "\t\t\t</barline>\n");
    }
}

// True when measure 1 is an upbeat: shorter than its time signature (one
// with a length, standing at its start), with music after it.
bool is_pickup(const Measure* first, const MeasureMarks& marks, float divisions)
{
    const TimeSignature* time = first->time_signature;
    if (first->next == nullptr || first->first_note == nullptr || time == nullptr ||
        time->mensural != 0 || marks.time_place != nullptr)
        return false;
    double units = 0;
    for (const Note* n = first->first_note; n != nullptr; n = n->next) {
        bool counts = true;
        for (const Attribute* a = n->first_attribute; a != nullptr; a = a->next)
            counts = counts && a->kind != ATTR_CHORD && a->kind != ATTR_MEASURE_REST &&
                     a->kind != ATTR_ACCIACCATURA && a->kind != ATTR_APPOGGIATURA;
        if (!counts && n->first_attribute->kind == ATTR_MEASURE_REST)
            return false;
        if (counts)
            units += note_units(n, length_factor(n), divisions);
    }
    return units < static_cast<double>(measure_quarters(time)) * divisions;
}

// The measure's start tag: its number, less one after a pickup numbered 0
// and marked implicit (4.0).
char* put_measure_start(char* p, const Measure* m, bool pickup)
{
    p = put(p, "\t\t<measure number=\"");
    p = put_decimal(p, pickup ? int64_t{m->number} - 1 : m->number);
    return put(p, pickup && m->number == 1 ? "\" implicit=\"yes\">\n" : "\">\n");
}

int64_t write_document(XmlText& xml, const tav::Record& record, const Incipit& score,
                       const DocumentInfo& info)
{
    write_head(xml, info, record, score.mensural, score.corrected_key);
    const std::string_view mode = key_mode(record.description.key_or_mode);
    const float divisions = document_divisions(score);
    int32_t current_fifths = 0;
    MeasureAccidentals measure_accidentals;
    measure_accidentals.write_ties = info.musicxml4;
    bool pickup = false;
    for (const Measure* m = score.first_measure; m != nullptr; m = m->next) {
        measure_accidentals.next_measure();
        measure_accidentals.measure = m;
        MeasureMarks marks = read_measure_marks(m);
        if (m == score.first_measure)
            pickup = info.musicxml4 && is_pickup(m, marks, divisions);
        char* p = xml.reserve(kMeasureRoom + kMarkRoom * marks.count);
        p = put_measure_start(p, m, pickup);
        if (marks.repeat_start)
            p = put(p, "\t\t\t<barline location=\"left\">\n"
                       "\t\t\t\t<bar-style>heavy-light</bar-style>\n"
                       "\t\t\t\t<repeat direction=\"forward\"/>\n"
                       "\t\t\t</barline>\n");
        Changes changes = changes_from(m->first_attribute, marks, true);
        p = write_attributes(p, m, changes, true, divisions, current_fifths,
                             m == score.first_measure ? mode : std::string_view());
        xml.commit(p);
        // Changes within the measure stand between the notes they come between.
        const Note* note = m->first_note;
        int64_t written = 0;
        while (const Attribute* place = changes.next_place) {
            note = write_measure_notes(xml, note, place->value - written, divisions,
                                       current_fifths, measure_accidentals);
            written = place->value > written ? place->value : written;
            changes = changes_from(place->next, marks, false);
            p = xml.reserve(kMeasureRoom + kMarkRoom * marks.count);
            p = write_attributes(p, m, changes, false, divisions, current_fifths);
            xml.commit(p);
        }
        write_measure_notes(xml, note, INT64_MAX, divisions, current_fifths,
                            measure_accidentals);
        p = xml.reserve(kMeasureEndRoom);
        p = write_right_barline(p, marks.right_bar);
        p = put(p, "\t\t</measure>\n");
        xml.commit(p);
    }
    char* p = xml.reserve(64);
    p = put(p, "\t</part>\n</score-partwise>\n");
    xml.commit(p);
    xml.finish();
    return measure_accidentals.slurred_ties;
}

}  // namespace

int64_t render_score(const tav::Record& record, const Incipit& score, DocumentBuffer& out,
                     const DocumentInfo& info)
{
    XmlText xml(out);
    return write_document(xml, record, score, info);
}

int64_t render_musicxml1(const tav::Record& record, const Incipit& score, DocumentBuffer& out,
                         const DocumentInfo& info)
{
    DocumentInfo version = info;
    version.musicxml4 = false;
    return render_score(record, score, out, version);
}

int64_t render_musicxml4(const tav::Record& record, const Incipit& score, DocumentBuffer& out,
                         const DocumentInfo& info)
{
    DocumentInfo version = info;
    version.musicxml4 = true;
    return render_score(record, score, out, version);
}

}  // namespace tav::detail
