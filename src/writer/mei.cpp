// The MEI writer: one record's score in, one MEI 4.0.1 document (common
// music notation) out. The head (mei_head.cpp) carries the record's
// identity and description; the music is one staff of one layer, measure by measure,
// with beams and tuplets as containers, chords grouping the notes that
// sound together, and slurs and trills as control events of the measure.
//
// Lines are written whole, tabs and line feed included, through the cursor
// of XmlText, into room reserved once for each part of the head and once
// for each note.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "score/accidentals.h"
#include "score/measure_marks.h"
#include "score/note_length.h"
#include "writer/mei_head.h"
#include "writer/output.h"
#include "writer/xml_text.h"

namespace tav::detail {

namespace {

constexpr size_t kNoteRoom = 512;     // one note, rest or the start of a chord
constexpr size_t kContainerRoom = 128;
constexpr size_t kMarkRoom = 256;     // one measure or staff attribute
constexpr size_t kControlRoom = 128;  // one slur or trill

constexpr int kSlurs = MeasureAccidentals::kSlurNumbers;

// A note's id: "m" the measure's place in the score (from 1), "n" the
// note's in the measure (from 1); measure 0 for none.
struct NoteId {
    int64_t measure = 0;
    int64_t note = 0;
};

std::string id_text(const NoteId& id)
{
    std::string text(1, 'm');
    text += std::to_string(id.measure);
    text += 'n';
    text += std::to_string(id.note);
    return text;
}

// Where each slur mark of the score that starts stops: the next stop of
// its number (a '+' tying notes included, so that the writer counts them
// alike). Its slur element stands in the measure of its start.
std::vector<NoteId> pair_slurs(const Incipit& score)
{
    std::vector<NoteId> ends;
    size_t open[kSlurs];
    bool pending[kSlurs] = {};
    NoteId id;
    for (const Measure* m = score.first_measure; m != nullptr; m = m->next) {
        ++id.measure;
        id.note = 0;
        for (const Note* n = m->first_note; n != nullptr; n = n->next) {
            ++id.note;
            for (const Attribute* a = n->first_attribute; a != nullptr; a = a->next) {
                if (a->value < 0 || a->value >= kSlurs)
                    continue;
                if (a->kind == ATTR_SLUR_START) {
                    open[a->value] = ends.size();
                    pending[a->value] = true;
                    ends.push_back({});
                } else if (a->kind == ATTR_SLUR_STOP && pending[a->value]) {
                    ends[open[a->value]] = id;
                    pending[a->value] = false;
                }
            }
        }
    }
    return ends;
}

// What the writer carries from note to note and measure to measure: the
// accidental memory, the key, the ids of the notes, the slurs waiting for
// their stop, the beam and tuplet open in the layer, and the control
// events of the measure being written.
struct MeiState {
    MeasureAccidentals memory;
    int32_t fifths = 0;
    NoteId id;                    // of the note being written
    std::vector<NoteId> slur_ends;  // of each slur start, in order; none: no stop
    size_t slur_starts = 0;         // the slur starts written so far
    bool beam_open = false;
    bool tuplet_open = false;
    bool beam_in_tuplet = false;   // the beam was opened inside the tuplet
    std::string controls;
};


// The attributes of a clef: on a staff definition (prefix "clef.") or a
// clef element (none).
char* put_clef(char* p, const Attribute* clef, std::string_view prefix)
{
    p = put(p, " ");
    p = put(p, prefix);
    if (clef->kind == ATTR_CLEF_F)
        p = put(p, "shape=\"F\"");
    else if (clef->kind == ATTR_CLEF_C)
        p = put(p, "shape=\"C\"");
    else
        p = put(p, "shape=\"G\"");
    if (clef->value >= 1) {
        p = put(p, " ");
        p = put(p, prefix);
        p = put(p, "line=\"");
        p = put_decimal(p, clef->value);
        p = put(p, "\"");
    }
    if (clef->kind == ATTR_CLEF_G8) {
        p = put(p, " ");
        p = put(p, prefix);
        p = put(p, "dis=\"8\" ");
        p = put(p, prefix);
        p = put(p, "dis.place=\"below\"");
    }
    return p;
}

// key.sig (sig on a key signature element): "0", or the number of sharps
// or flats ("2s", "3f").
char* put_key(char* p, int32_t fifths, std::string_view name = " key.sig=\"")
{
    if (fifths < -7 || fifths > 7)
        return p;
    p = put(p, name);
    p = put_decimal(p, fifths < 0 ? -int64_t{fifths} : fifths);
    return put(p, fifths > 0 ? "s\"" : fifths < 0 ? "f\"" : "\"");
}

// The attributes of a meter: on a staff definition (prefix "meter.") or a
// meter signature element (none).
char* put_meter(char* p, const TimeSignature* rhythm, std::string_view prefix = "meter.")
{
    if (rhythm->beats >= 1 && rhythm->beat_type >= 1) {
        p = put(put(put(p, " "), prefix), "count=\"");
        p = put_decimal(p, rhythm->beats);
        p = put(put(put(p, "\" "), prefix), "unit=\"");
        p = put_decimal(p, rhythm->beat_type);
        p = put(p, "\"");
    }
    // The parser gives the symbol only to common time (4/4) and cut time (2/2).
    if (rhythm->symbol == 1 && (rhythm->beats == 2 || rhythm->beats == 4))
        p = put(put(put(p, " "), prefix), rhythm->beats == 2 ? "sym=\"cut\"" : "sym=\"common\"");
    return p;
}

// A change of key, time or clef: the score's definition at the start, a
// score definition of key and time between measures (a clef there is the
// layer's first element), or elements within the layer.
enum class Where { Start, Between, Within };

char* put_changes(char* p, const Measure* m, const Changes& c, Where where, MeiState& state)
{
    const TimeSignature* rhythm = c.time ? m->time_signature : nullptr;
    if (c.key != nullptr)
        state.fifths = c.key->value;
    if (where == Where::Within) {
        if (c.clef != nullptr)
            p = put(put_clef(put(p, "\t\t\t\t\t\t\t\t\t<clef"), c.clef, ""), "/>\n");
        if (c.key != nullptr)
            p = put(put_key(put(p, "\t\t\t\t\t\t\t\t\t<keySig"), c.key->value, " sig=\""), "/>\n");
        if (rhythm != nullptr)
            p = put(put_meter(put(p, "\t\t\t\t\t\t\t\t\t<meterSig"), rhythm, ""), "/>\n");
        return p;
    }
    if (where == Where::Between) {
        if (c.key == nullptr && rhythm == nullptr)
            return p;
        p = put(p, "\t\t\t\t\t\t<scoreDef");
        if (c.key != nullptr)
            p = put_key(p, c.key->value);
        return put(rhythm != nullptr ? put_meter(p, rhythm) : p, "/>\n");
    }
    p = put(p, "\t\t\t\t\t<scoreDef>\n\t\t\t\t\t\t<staffGrp>\n"
               "\t\t\t\t\t\t\t<staffDef n=\"1\" lines=\"5\"");
    if (c.clef != nullptr)
        p = put_clef(p, c.clef, "clef.");
    else
        p = put(p, " clef.shape=\"G\" clef.line=\"2\"");
    p = put_key(p, c.key != nullptr ? c.key->value : 0);
    if (rhythm != nullptr)
        p = put_meter(p, rhythm);
    return put(p, "/>\n\t\t\t\t\t\t</staffGrp>\n\t\t\t\t\t</scoreDef>\n\t\t\t\t\t<section>\n");
}

// MEI's name of a note value in quarters; empty for one it has none for.
std::string_view duration_name(float d)
{
    constexpr struct { float quarters; std::string_view name; } kDurations[] = {
        {16.0f, "long"}, {8.0f, "breve"}, {4.0f, "1"}, {2.0f, "2"}, {1.0f, "4"},
        {0.5f, "8"}, {0.25f, "16"}, {0.125f, "32"}, {0.0625f, "64"}, {0.03125f, "128"},
    };
    for (const auto& row : kDurations)
        if (row.quarters == d)
            return row.name;
    return {};
}

// The value, dots and grace of a note, rest or chord (its first note).
char* put_duration(char* p, const Note* note)
{
    bool acciaccatura = false, appoggiatura = false;
    int32_t dots = 0;
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (a->kind == ATTR_DOTS && dots == 0)
            dots = a->value;
        acciaccatura = acciaccatura || (a->kind == ATTR_ACCIACCATURA && !appoggiatura);
        appoggiatura = appoggiatura || (a->kind == ATTR_APPOGGIATURA && !acciaccatura);
    }
    std::string_view name = acciaccatura ? "8" : duration_name(note->duration);
    if (!name.empty())
        p = put(put(put(p, " dur=\""), name), "\"");
    if (dots == 1 || dots == 2)
        p = put(put(put(p, " dots=\""), dots == 1 ? "1" : "2"), "\"");
    if (note->step == 'R')
        return p;  // a rest has no grace
    if (acciaccatura)
        p = put(p, " grace=\"unacc\" stem.mod=\"1slash\"");
    else if (appoggiatura)
        p = put(p, " grace=\"acc\"");
    return p;
}

// The written accidental of each Accidental, and the sounded one of each
// alteration + 2.
constexpr std::string_view kWritten[ACC_DOUBLE_FLAT + 1] = {"", "n", "s", "x", "f", "ff"};
constexpr std::string_view kSounded[5] = {"ff", "f", "", "s", "ss"};

// The id of the next note of the measure.
char* put_id(char* p, MeiState& state)
{
    ++state.id.note;
    p = put(p, " xml:id=\"m");
    p = put_decimal(p, state.id.measure);
    p = put(p, "n");
    p = put_decimal(p, state.id.note);
    return put(p, "\"");
}

// A note's pitch and accidentals, from the memory moved on past it.
char* put_pitch(char* p, const Note* note, MarkKinds kinds, MeiState& state)
{
    Alteration a = read_alteration(note, kinds, state.fifths, state.memory);
    p = put(p, " pname=\"");
    *p++ = static_cast<char>(note->step - 'A' + 'a');
    p = put(p, "\" oct=\"");
    p = put_decimal(p, note->octave >= 1 ? int64_t{note->octave} + 3 : int64_t{note->octave} + 4);
    p = put(p, "\"");
    // The note's own accidental, else the one a reader must be shown.
    int32_t written = a.shows;
    for (const Attribute* m = note->first_attribute; m != nullptr; m = m->next) {
        if (m->kind == ATTR_ACCIDENTAL && m->value >= ACC_NATURAL && m->value <= ACC_DOUBLE_FLAT) {
            written = m->value;
            break;
        }
    }
    if (written != 0)
        return put(put(put(p, " accid=\""), kWritten[written]), "\"");
    if (a.alter >= -2 && a.alter <= 2 && a.alter != 0)
        p = put(put(put(p, " accid.ges=\""), kSounded[a.alter + 2]), "\"");
    return p;
}

// The slurs a note starts (those that are not ties), each to the note of
// its stop.
void note_slurs(const Note* note, const NoteTies& ties, MeiState& state)
{
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (a->kind != ATTR_SLUR_START || a->value < 0 || a->value >= kSlurs)
            continue;
        NoteId end = state.slur_ends[state.slur_starts++];
        if ((ties.starts >> a->value & 1) != 0 || end.measure == 0)
            continue;
        state.controls += "\t\t\t\t\t\t\t<slur staff=\"1\" startid=\"#" + id_text(state.id) +
                          "\" endid=\"#" + id_text(end) + "\"/>\n";
    }
}

// One note or rest: in a chord (indented deeper, its value on the chord)
// or on its own.
char* put_note(char* p, const Note* note, bool in_chord, MeiState& state)
{
    size_t marks = 0;
    MarkKinds kinds = mark_kinds(note, marks);
    p = put(p, in_chord ? "\t\t\t\t\t\t\t\t\t\t" : "\t\t\t\t\t\t\t\t\t");
    bool rest = note->step == 'R';
    bool measure_rest = rest && (kinds & mark_bit(ATTR_MEASURE_REST));
    p = put(p, measure_rest ? "<mRest" : rest ? "<rest" : "<note");
    p = put_id(p, state);
    if (rest)
        sounded_alter(note, state.fifths, state.memory);
    else
        p = put_pitch(p, note, kinds, state);
    NoteTies ties = note_ties(note, kinds, state.memory);
    if (!in_chord && !measure_rest)
        p = put_duration(p, note);
    if (!rest && (ties.starts != 0 || ties.stops != 0))
        p = put(p, ties.starts == 0 ? " tie=\"t\"" : ties.stops == 0 ? " tie=\"i\"" : " tie=\"m\"");
    if ((kinds & mark_bit(ATTR_FERMATA)) && !in_chord)
        p = put(p, " fermata=\"above\"");
    if (kinds & mark_bit(ATTR_TRILL))
        state.controls += "\t\t\t\t\t\t\t<trill staff=\"1\" startid=\"#" + id_text(state.id) +
                          "\"/>\n";
    note_slurs(note, ties, state);
    return put(p, "/>\n");
}

bool sounds_with_before(const Note* note)
{
    size_t marks = 0;
    return note != nullptr && (mark_kinds(note, marks) & mark_bit(ATTR_CHORD)) != 0;
}

// The beam or tuplet opened or closed by the marks of a note or chord.
char* open_containers(char* p, const Note* first, const Note* end, MeiState& state)
{
    for (const Note* n = first; n != end; n = n->next) {
        for (const Attribute* a = n->first_attribute; a != nullptr; a = a->next) {
            if (a->kind == ATTR_BEAM_BEGIN && !state.beam_open) {
                state.beam_open = true;
                state.beam_in_tuplet = state.tuplet_open;
                p = put(p, "\t\t\t\t\t\t\t\t<beam>\n");
            } else if (a->kind == ATTR_TUPLET_START && !state.tuplet_open && !state.beam_open) {
                state.tuplet_open = true;
                p = put(p, "\t\t\t\t\t\t\t\t<tuplet num=\"");
                p = put_decimal(p, a->value);
                p = put(p, "\" numbase=\"");
                p = put_decimal(p, normal_notes(a->value));
                p = put(p, "\">\n");
            }
        }
    }
    return p;
}

char* close_beam(char* p, MeiState& state)
{
    state.beam_open = false;
    return put(p, "\t\t\t\t\t\t\t\t</beam>\n");
}

char* close_tuplet(char* p, MeiState& state)
{
    if (state.beam_open && state.beam_in_tuplet)
        p = close_beam(p, state);
    state.tuplet_open = false;
    return put(p, "\t\t\t\t\t\t\t\t</tuplet>\n");
}

char* close_containers(char* p, const Note* first, const Note* end, MeiState& state, bool all)
{
    for (const Note* n = first; n != end; n = n->next) {
        for (const Attribute* a = n->first_attribute; a != nullptr; a = a->next) {
            if (a->kind == ATTR_TUPLET_STOP && state.tuplet_open)
                p = close_tuplet(p, state);
            else if (a->kind == ATTR_BEAM_END && state.beam_open && !state.tuplet_open)
                p = close_beam(p, state);
            else if (a->kind == ATTR_BEAM_END && state.beam_open && state.beam_in_tuplet)
                p = close_beam(p, state);
        }
    }
    if (all && state.beam_open && state.beam_in_tuplet)
        p = close_beam(p, state);
    if (all && state.tuplet_open)
        p = close_tuplet(p, state);
    if (all && state.beam_open)
        p = close_beam(p, state);
    return p;
}

// Up to `count` notes from `note` on, chords whole; returns the note after.
const Note* write_notes(XmlText& xml, const Note* note, int64_t count, MeiState& state)
{
    while (note != nullptr && count > 0) {
        const Note* end = note->next;
        size_t group = 1;
        while (sounds_with_before(end)) {
            end = end->next;
            ++group;
        }
        size_t marks = 0;
        for (const Note* n = note; n != end; n = n->next)
            mark_kinds(n, marks);
        char* p = xml.reserve(kNoteRoom * (group + 1) + kMarkRoom * marks);
        p = open_containers(p, note, end, state);
        if (group > 1) {
            p = put(p, "\t\t\t\t\t\t\t\t\t<chord");
            p = put_duration(p, note);
            size_t kinds_marks = 0;
            if (mark_kinds(note, kinds_marks) & mark_bit(ATTR_FERMATA))
                p = put(p, " fermata=\"above\"");
            p = put(p, ">\n");
        }
        for (const Note* n = note; n != end; n = n->next)
            p = put_note(p, n, group > 1, state);
        if (group > 1)
            p = put(p, "\t\t\t\t\t\t\t\t\t</chord>\n");
        p = close_containers(p, note, end, state, false);
        xml.commit(p);
        count -= static_cast<int64_t>(group);
        note = end;
    }
    return note;
}

// The right and left barlines of a measure.
char* put_barlines(char* p, const MeasureMarks& marks)
{
    if (const Attribute* bar = marks.right_bar)
        p = put(p, bar->kind == ATTR_BAR_DOUBLE ? " right=\"dbl\""
                   : bar->kind == ATTR_BAR_FINAL ? " right=\"end\"" : " right=\"rptend\"");
    return marks.repeat_start ? put(p, " left=\"rptstart\"") : p;
}

// The measures a multiple rest of `count` stands for after `m`: each holds
// its measure rest alone. Returns the last of them.
const Measure* rested_measures(const Measure* m, int32_t count)
{
    for (int32_t k = 1; k < count && m->next != nullptr; ++k) {
        const Measure* next = m->next;
        const Note* rest = next->first_note;
        bool alone = rest != nullptr && rest->next == nullptr && rest->step == 'R' &&
                     next->time_signature == nullptr && read_measure_marks(next).first_place == nullptr;
        if (!alone)
            break;
        m = next;
    }
    return m;
}

// The notes of the measures from `m` to `last` that a multiple rest stands
// for: their sounds and slur starts read, nothing written.
void pass_over(const Measure* m, const Measure* last, MeiState& state)
{
    for (;; m = m->next) {
        for (const Note* n = m->first_note; n != nullptr; n = n->next) {
            sounded_alter(n, state.fifths, state.memory);
            for (const Attribute* a = n->first_attribute; a != nullptr; a = a->next)
                if (a->kind == ATTR_SLUR_START && a->value >= 0 && a->value < kSlurs)
                    ++state.slur_starts;
        }
        if (m == last)
            return;
        ++state.id.measure;
    }
}

// The layer of one measure: its notes, the changes within it between the
// notes they stand before, a multiple rest in place of its notes.
void write_layer(XmlText& xml, const Measure* m, const Measure* last, const MeasureMarks& marks,
                 Changes changes, bool first, MeiState& state)
{
    if (changes.clef != nullptr && !first) {
        char* p = xml.reserve(kMarkRoom);
        Changes clef;
        clef.clef = changes.clef;
        xml.commit(put_changes(p, m, clef, Where::Within, state));
    }
    if (m != last) {
        char* p = xml.reserve(kMarkRoom);
        p = put(p, "\t\t\t\t\t\t\t\t\t<multiRest");
        p = put_id(p, state);
        p = put(p, " num=\"");
        p = put_decimal(p, changes.rest->value);
        xml.commit(put(p, "\"/>\n"));
        pass_over(m, last, state);
        return;
    }
    const Note* note = m->first_note;
    int64_t written = 0;
    while (const Attribute* place = changes.next_place) {
        note = write_notes(xml, note, place->value - written, state);
        written = place->value > written ? place->value : written;
        changes = changes_from(place->next, marks, false);
        char* p = xml.reserve(kMarkRoom * 3);
        xml.commit(put_changes(p, m, changes, Where::Within, state));
    }
    write_notes(xml, note, INT64_MAX, state);
    char* p = xml.reserve(kContainerRoom * 3);
    xml.commit(close_containers(p, nullptr, nullptr, state, true));
}

// One measure (and those a multiple rest in it stands for); returns the
// last measure written.
const Measure* write_measure(XmlText& xml, const Measure* m, bool first, MeiState& state)
{
    state.memory.next_measure();
    state.memory.measure = m;
    state.id = {state.id.measure + 1, 0};
    MeasureMarks marks = read_measure_marks(m);
    Changes changes = changes_from(m->first_attribute, marks, true);
    const Measure* last = changes.rest != nullptr && changes.next_place == nullptr
                              ? rested_measures(m, changes.rest->value)
                              : m;
    char* p = xml.reserve(kFixedRoom + kMarkRoom * marks.count);
    p = put_changes(p, m, changes, first ? Where::Start : Where::Between, state);
    p = put(p, "\t\t\t\t\t\t<measure n=\"");
    p = put_decimal(p, m->number);
    p = put(p, "\"");
    p = put_barlines(p, last == m ? marks : read_measure_marks(last));
    xml.commit(put(p, ">\n\t\t\t\t\t\t\t<staff n=\"1\">\n\t\t\t\t\t\t\t\t<layer n=\"1\">\n"));
    state.controls.clear();
    write_layer(xml, m, last, marks, changes, first, state);
    put_fixed(xml, "\t\t\t\t\t\t\t\t</layer>\n\t\t\t\t\t\t\t</staff>\n");
    p = xml.reserve(state.controls.size() + kControlRoom);
    p = put(p, state.controls);
    xml.commit(put(p, "\t\t\t\t\t\t</measure>\n"));
    return last;
}

}  // namespace

int64_t render_mei(const tav::Record& record, const Incipit& score, DocumentBuffer& out,
                   const DocumentInfo& info)
{
    XmlText xml(out);
    write_mei_head(xml, record, score, info);
    MeiState state;
    state.memory.write_ties = true;
    state.slur_ends = pair_slurs(score);
    if (score.first_measure == nullptr)
        put_fixed(xml, "\t\t\t\t\t<scoreDef>\n\t\t\t\t\t\t<staffGrp>\n\t\t\t\t\t\t\t<staffDef n=\"1\" "
                       "lines=\"5\" clef.shape=\"G\" clef.line=\"2\"/>\n\t\t\t\t\t\t</staffGrp>\n"
                       "\t\t\t\t\t</scoreDef>\n\t\t\t\t\t<section>\n");
    for (const Measure* m = score.first_measure; m != nullptr; m = m->next)
        m = write_measure(xml, m, m == score.first_measure, state);
    put_fixed(xml, "\t\t\t\t\t</section>\n\t\t\t\t</score>\n\t\t\t</mdiv>\n\t\t</body>\n"
                   "\t</music>\n</mei>\n");
    xml.finish();
    return state.memory.slurred_ties;
}

}  // namespace tav::detail
