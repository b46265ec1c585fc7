// The melody of an incipit as a search reads it: its notes as they sound,
// one after the other, and the keys made from them.
//
//     #include <tav/melody.h>
//
//     tav::Melody m = tav::melody(line);           // or Options::melody
//     std::vector<int> steps = tav::chromatic_intervals(m);
//     std::string shape = tav::gross_contour(m);   // "UUD"
//
// The notes follow the score as written: measure repeats and repeated
// figures are written out as the score holds them, repeat bars are not
// played twice. A note sounds with its accidental, else with the
// alteration of the note tied to it, else with the accidental given to its
// letter earlier in the measure, else with the key signature. Notes tied
// at the same pitch are one note of their summed length; grace notes are
// left out; of a chord the highest note is the melody; rests are kept,
// marked as rests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tav {

struct Record;

struct MelodyNote {
    char step = 'R';      // 'A'..'G'; 'R' for a rest
    int alter = 0;        // -2 .. 2 semitones: flats below 0, sharps above
    int octave = 4;       // the octave from C to B, middle C in 4
    int midi = -1;        // the MIDI key, 60 for middle C; -1 for a rest
    double duration = 0;  // in quarter notes, ties joined
    // Where it starts in its measure, in quarters from the downbeat (an
    // upbeat counted back from the barline after it); -1 without a time
    // signature.
    double beat = -1;
    int measure = 0;      // the number of its measure

    bool rest() const { return step == 'R'; }
    friend bool operator==(const MelodyNote&, const MelodyNote&) = default;
};

struct Melody {
    std::vector<MelodyNote> notes;  // rests included
    friend bool operator==(const Melody&, const Melody&) = default;
};

// The keys below are taken over the sounding notes: rests are passed by.

// "C4", "F#4", "Bb3", "Cx5" (double sharp), "Ebb4"; "r" for a rest, which
// pitch_names keeps in its place.
std::string pitch_name(const MelodyNote& note);
std::vector<std::string> pitch_names(const Melody& melody);
// MIDI keys of the sounding notes.
std::vector<int> midi_keys(const Melody& melody);
// Semitones from each sounding note to the next (+ up).
std::vector<int> chromatic_intervals(const Melody& melody);
// Steps of the staff from each sounding note to the next, by letter and
// octave (C4 to E4: +2; a unison or a chromatic change: 0).
std::vector<int> diatonic_intervals(const Melody& melody);
// One letter per interval: U up, D down, R repeated.
std::string gross_contour(const Melody& melody);
// One letter per interval: u step up (1 or 2 semitones), U leap up (3 or
// more), d and D down alike, r repeated.
std::string refined_contour(const Melody& melody);
// Durations in quarters of every note, rests included.
std::vector<double> durations(const Melody& melody);
// Where every note starts in its measure (tav::MelodyNote::beat), rests
// included; empty without a time signature.
std::vector<double> beats(const Melody& melody);

// The keys as the members of a JSON object, without its braces, each a
// field of a search engine's document: "pitches" (pitch_names), "midi",
// "chromatic_intervals", "diatonic_intervals", "gross_contour",
// "refined_contour", "durations" and "beats" (null without a time
// signature).
void append_keys_json(std::string& out, const Melody& melody);

// The melody of one record line, or of a record; empty when the record
// cannot be read (its messages are a conversion's: Converter::convert with
// Options::melody gives both).
Melody melody(std::string_view line);
Melody melody(const Record& record);

}  // namespace tav
