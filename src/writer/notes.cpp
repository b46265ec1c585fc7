// Note elements, one per note or rest, in the child order of the MusicXML
// note element: grace, pitch or rest, duration, voice, type, dots and
// accidentals, time modification, stem, beam, notations. Each group that
// depends on marks walks the note's attribute list on its own, so within a
// group lines follow the list order.

#include <string_view>

#include "writer/output.h"
#include "writer/xml_text.h"

namespace {

bool is_tuplet(int32_t kind)
{
    return kind == ATTR_TUPLET_START || kind == ATTR_TUPLET_CONTINUE || kind == ATTR_TUPLET_STOP;
}

bool is_grace(int32_t kind)
{
    return kind == ATTR_ACCIACCATURA || kind == ATTR_APPOGGIATURA;
}

bool has_attribute(const Note* note, int32_t kind)
{
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next)
        if (a->kind == kind)
            return true;
    return false;
}

// The normal notes of a tuplet of n: the highest power of two not above n.
int64_t normal_notes(int32_t n)
{
    int64_t p = 1;
    while (p * 2 <= n)
        p *= 2;
    return p;
}

// Group 2. Returns true for a grace note.
bool write_grace(XmlText& xml, const Note* note)
{
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (a->kind == ATTR_ACCIACCATURA) {
            xml.line(4, "<grace slash=\"yes\"/>");
            return true;
        }
        if (a->kind == ATTR_APPOGGIATURA) {
            xml.line(4, "<grace/>");
            return true;
        }
    }
    return false;
}

int32_t* remembered_alter(MeasureAccidentals& memory, char step)
{
    for (int i = 0; i < memory.count; ++i)
        if (memory.step[i] == step)
            return &memory.alter[i];
    return nullptr;
}

void remember_alter(MeasureAccidentals& memory, char step, int32_t alter)
{
    if (int32_t* entry = remembered_alter(memory, step)) {
        *entry = alter;
    } else if (memory.count < 7) {
        memory.step[memory.count] = step;
        memory.alter[memory.count] = alter;
        ++memory.count;
    }
}

// The alteration a key signature gives to a letter without an accidental:
// sharps in the order F C G D A E B, flats in the reverse order.
int32_t key_alter(char step, int32_t fifths)
{
    static const char kSharpOrder[] = "FCGDAEB";
    for (int i = 0; i < 7; ++i)
        if (kSharpOrder[i] == step) {
            if (fifths >= i + 1)
                return 1;
            if (fifths <= -(7 - i))
                return -1;
        }
    return 0;
}

// The alteration line: an explicit accidental, else one given to the same
// letter earlier in the measure, else the key signature.
void write_alter(XmlText& xml, const Note* note, int32_t current_fifths,
                 MeasureAccidentals& memory)
{
    static const int32_t kAlters[6] = {0, 0, 1, 2, -1, -2};
    bool explicit_line = false;
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (a->kind != ATTR_ACCIDENTAL || a->value < 1 || a->value > 5)
            continue;
        int32_t alter = kAlters[a->value];
        if (alter != 0) {
            xml.line(5, "<alter>", alter, "</alter>");
            explicit_line = true;
        }
        remember_alter(memory, note->step, alter);
        break;
    }
    if (explicit_line)
        return;
    const int32_t* remembered = remembered_alter(memory, note->step);
    if (remembered != nullptr) {
        if (*remembered != 0)
            xml.line(5, "<alter>", *remembered, "</alter>");
        return;
    }
    if (current_fifths != 0 && !has_attribute(note, ATTR_ACCIDENTAL)) {
        int32_t alter = key_alter(note->step, current_fifths);
        if (alter != 0)
            xml.line(5, "<alter>", alter, "</alter>");
    }
}

// Group 3.
void write_pitch(XmlText& xml, const Note* note, int32_t current_fifths,
                 MeasureAccidentals& memory)
{
    if (note->step == 'R') {
        xml.line(4, "<rest/>");
        return;
    }
    xml.line(4, "<pitch>");
    char step_line[] = "<step>?</step>";
    step_line[6] = note->step;
    xml.line(5, std::string_view(step_line, sizeof step_line - 1));
    write_alter(xml, note, current_fifths, memory);
    if (note->octave >= 1)
        xml.line(5, "<octave>", int64_t{note->octave} + 3, "</octave>");
    else if (note->octave <= -1)
        xml.line(5, "<octave>", int64_t{note->octave} + 4, "</octave>");
    xml.line(4, "</pitch>");
}

// Group 4: duration x divisions x the factor of the first dots or tuplet
// mark, in double precision, truncated.
void write_duration(XmlText& xml, const Note* note, float divisions)
{
    double units = static_cast<double>(note->duration) * static_cast<double>(divisions);
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (a->kind == ATTR_DOTS && a->value == 1) {
            units *= 1.5;
            break;
        }
        if (a->kind == ATTR_DOTS && a->value == 2) {
            units *= 1.75;
            break;
        }
        if (is_tuplet(a->kind)) {
            if (a->value >= 1)
                units = units * static_cast<double>(normal_notes(a->value)) / a->value;
            break;
        }
    }
    xml.line(4, "<duration>", static_cast<int64_t>(units), "</duration>");
}

// Group 6.
void write_type(XmlText& xml, const Note* note)
{
    if (note->step == 'R' && note->duration == 4.0f)
        return;  // whole rests and measure rests
    if (has_attribute(note, ATTR_ACCIACCATURA)) {
        xml.line(4, "<type>eighth</type>");
        return;
    }
    struct Row {
        float duration;
        std::string_view line;
    };
    static const Row kTypes[] = {
        {16.0f, "<type>long</type>"},    {8.0f, "<type>breve</type>"},
        {4.0f, "<type>whole</type>"},    {2.0f, "<type>half</type>"},
        {1.0f, "<type>quarter</type>"},  {0.5f, "<type>eighth</type>"},
        {0.25f, "<type>16th</type>"},    {0.125f, "<type>32nd</type>"},
        {0.0625f, "<type>64th</type>"},  {0.03125f, "<type>128th</type>"},
    };
    for (const Row& row : kTypes)
        if (note->duration == row.duration) {
            xml.line(4, row.line);
            return;
        }
}

// Group 7.
void write_dots_and_accidentals(XmlText& xml, const Note* note)
{
    static constexpr std::string_view kAccidentals[6] = {
        {},
        "<accidental>natural</accidental>",
        "<accidental>sharp</accidental>",
        "<accidental>double-sharp</accidental>",
        "<accidental>flat</accidental>",
        "<accidental>double-flat</accidental>",
    };
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (a->kind == ATTR_DOTS) {
            xml.line(4, "<dot/>");
            if (a->value == 2)
                xml.line(4, "<dot/>");
        } else if (a->kind == ATTR_ACCIDENTAL && a->value >= 1 && a->value <= 5) {
            xml.line(4, kAccidentals[a->value]);
        }
    }
}

// Groups 8, 9 and 10.
void write_tuplets_stems_beams(XmlText& xml, const Note* note)
{
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (!is_tuplet(a->kind))
            continue;
        xml.line(4, "<time-modification>");
        xml.line(5, "<actual-notes>", a->value, "</actual-notes>");
        xml.line(5, "<normal-notes>", normal_notes(a->value), "</normal-notes>");
        xml.line(4, "</time-modification>");
    }
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next)
        if (is_grace(a->kind))
            xml.line(4, "<stem>up</stem>");
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (a->kind == ATTR_BEAM_BEGIN)
            xml.line(4, "<beam number=\"1\">begin</beam>");
        else if (a->kind == ATTR_BEAM_CONTINUE)
            xml.line(4, "<beam number=\"1\">continue</beam>");
        else if (a->kind == ATTR_BEAM_END)
            xml.line(4, "<beam number=\"1\">end</beam>");
    }
}

// Group 11: one notations element holding every notation mark in list order.
void write_notations(XmlText& xml, const Note* note)
{
    bool open = false;
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        std::string_view text;
        switch (a->kind) {
        case ATTR_TUPLET_START:
            text = "<tuplet type=\"start\" placement=\"above\" bracket=\"yes\"/>";
            break;
        case ATTR_TUPLET_STOP: text = "<tuplet type=\"stop\"/>"; break;
        case ATTR_FERMATA: text = "<fermata type=\"upright\"/>"; break;
        case ATTR_TRILL: text = "<ornaments>"; break;
        case ATTR_SLUR_START: text = "<slur type=\"start\" number=\"1\"/>"; break;
        case ATTR_SLUR_STOP: text = "<slur type=\"stop\" number=\"1\"/>"; break;
        default: continue;
        }
        if (!open)
            xml.line(4, "<notations>");
        open = true;
        xml.line(5, text);
        if (a->kind == ATTR_TRILL) {
            xml.line(6, "<trill-mark/>");
            xml.line(5, "</ornaments>");
        }
    }
    if (open)
        xml.line(4, "</notations>");
}

}  // namespace

void write_notes(XmlText& xml, const Note* first_note, float divisions, int32_t current_fifths,
                 MeasureAccidentals& measure_accidentals)
{
    for (const Note* note = first_note; note != nullptr; note = note->next) {
        xml.line(3, "<note>");
        bool grace = write_grace(xml, note);
        write_pitch(xml, note, current_fifths, measure_accidentals);
        if (!grace)
            write_duration(xml, note, divisions);
        xml.line(4, "<voice>1</voice>");
        write_type(xml, note);
        write_dots_and_accidentals(xml, note);
        write_tuplets_stems_beams(xml, note);
        write_notations(xml, note);
        xml.line(3, "</note>");
    }
}
