// The incipit converter as a library: Plaine & Easie incipit records in,
// MusicXML partwise documents out (1.0 unless the options choose another
// format: tav/formats.h), in memory.
//
//     #include <tav/tav.h>
//
//     tav::Converter converter;                  // one per thread
//     const tav::Result& r = converter.convert(line);
//     if (r.ok())
//         use(r.file_name, r.document);
//     for (const tav::Message& m : r.messages)
//         report(m.kind, m.text);
//
// A record is one line of the catalogue export: tab-separated fields holding
// the incipit identifier, the incipit number, the clef code, one or two
// time-signature fields and the music. Every record converts the same way as
// in the command-line program: the same document, byte for byte, and the
// same warnings and errors with the same texts.
//
// Threads: a Converter is used by one thread at a time; converters in
// different threads share nothing. The free functions make a converter of
// their own for each call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tav/melody.h"
#include "tav/messages.h"
#include "tav/version.h"  // TAV_VERSION_MAJOR, _MINOR, _PATCH and _STRING

namespace tav {

// A format documents are written in: a row of tav::formats() (tav/formats.h).
struct OutputFormat;

// What a conversion does beyond reading the record.
struct Options {
    // Drop mensural time signatures (the program's option m).
    bool remove_mensural = false;
    // Drop measure rests (the program's option r).
    bool remove_measure_rests = false;
    // Read the record and collect its messages, but build no document and
    // make none of the document's checks (the program's option x).
    bool parse_only = false;
    // Send one line per sign read to `trace` (the program's option v).
    bool verbose = false;
    // The texts the converter prints on standard output while it reads a
    // record, as they happen: the sign-by-sign trace when `verbose`, and the
    // note "poop\n" at a key signature in brackets. Dropped when empty.
    std::function<void(std::string_view)> trace;
    // The format written, a row of tav::formats() (tav/formats.h): MusicXML
    // 1.0 or 4.0 (the body of the document is the same). Null: the default,
    // MusicXML 1.0, as the 2005 program writes it.
    const OutputFormat* format = nullptr;
    // For MusicXML 4.0: the encoding date, "YYYY-MM-DD"; empty: the day of
    // the conversion (UTC).
    std::string encoding_date = {};
    // The document goes into the format's compressed container: for
    // MusicXML, `document` holds the .mxl archive (the document,
    // "ID-NUMBER.xml", and META-INF/container.xml) and `file_name` ends in
    // ".mxl". A format without a container fails such records with the
    // error "the output format NAME has no compressed container", and a
    // library built without zlib with "compressed output (.mxl) is not
    // available: this build has no zlib".
    bool compressed = false;
    // Also read the melody into Result::melody (tav/melody.h), with
    // parse_only too; a failed record has none.
    bool melody = false;
    // For a catalogue record, a link to it in MusicXML 4.0 (<relation>):
    // the template with each "{id}" replaced by the record's control number,
    // e.g. "https://example.org/sources/{id}". Empty: no link.
    std::string record_uri = {};
};

// What a document tells of the work beside the music, e.g. from a
// catalogue record: each text that is not empty goes into the document
// (composer as <creator type="composer">, work title as <work-title>,
// movement number and title, part name as <part-name>, text incipit, role,
// note and the key or mode in words as miscellaneous fields; the source's
// location as <source>, its creators, work number and other texts; in 4.0
// credits for the titles, the composer and the lyricists), escaped. A
// described part without a name takes the one instrument or voice of the
// scoring, else none. Without a description the document is the tab
// record's, byte for byte ("MusicXML Part" its part's name).
// A text that copies share rather than repeat: a catalogue record's
// composer and title, given to each of its incipits, are held once however
// many incipits the record has. It reads as a std::string_view.
class SharedText {
public:
    SharedText() = default;
    SharedText(std::string text)
        : text_(text.empty() ? nullptr : std::make_shared<const std::string>(std::move(text)))
    {
    }
    SharedText(std::string_view text) : SharedText(std::string(text)) {}
    SharedText(const char* text) : SharedText(std::string(text)) {}

    const std::string& str() const
    {
        static const std::string empty;
        return text_ != nullptr ? *text_ : empty;
    }
    operator std::string_view() const { return str(); }
    bool empty() const { return text_ == nullptr; }
    std::size_t size() const { return str().size(); }
    void clear() { text_.reset(); }
    friend bool operator==(const SharedText& a, std::string_view b) { return a.str() == b; }

private:
    std::shared_ptr<const std::string> text_;
};

// A person the document names beside the composer: a lyricist, librettist
// or arranger, as a <creator type="ROLE">.
struct Creator {
    std::string role;   // "lyricist", "librettist", "arranger"
    std::string name;

    friend bool operator==(const Creator&, const Creator&) = default;
};

// What a catalogue record tells of the source its incipits are found in,
// shared by the record's incipits. Every text is trimmed; an empty one is
// not in the document.
struct SourceDescription {
    std::string control_number;   // 001, as written ("000051650")
    std::string siglum;           // of the library holding it (852 $a), "D-B"
    std::string shelfmark;        // 852 $c, "Mus.ms. 1234"
    std::string composer_dates;   // 100 $d, "1760-1812"
    std::vector<Creator> creators;  // 700 with $4 lyr, lbt or arr, in the record's order
    std::string work_number;      // 240 $n, else 383 $b
    std::string scoring;          // 240 $m, else every 594 $b joined by ", "
    std::string source_title;     // 245 $a, as written on the source
    std::string date;             // 260 $c

    // Siglum and shelfmark as one text, "D-B Mus.ms. 1234" (either alone
    // when the other is missing).
    std::string location() const;
    // The link to the catalogue record: `uri_template` with each "{id}"
    // replaced by the control number; empty without either.
    std::string record_link(std::string_view uri_template) const;

    friend bool operator==(const SourceDescription&, const SourceDescription&) = default;
};

struct Description {
    SharedText composer;     // of the whole record: shared by its incipits
    SharedText work_title;
    std::string movement_title;
    std::string part_name;
    std::string text_incipit;
    std::string key_or_mode;     // as the record writes it: "E|b", "f|x", "g"
    std::string role;            // 031 $e, e.g. the singer's part
    std::string note;            // 031 $q
    std::string movement_number; // 031 $a.$b.$c, "1.2.1"
    // The source the incipit is found in: its record's, shared by the
    // record's incipits; null for a record line.
    std::shared_ptr<const SourceDescription> source;

    // True when it holds nothing: a record line's, whose document is the
    // 2005 program's head.
    bool empty() const;
    // The source, or an empty one when there is none.
    const SourceDescription& source_or_empty() const;
    // The staff's label: the part's name, else the single instrument or
    // voice the scoring names, else none.
    std::string part_label() const;
};

// A key or mode by the catalogue's convention (a note name, upper case for
// major and lower case for minor, "|b" a flat and "|x" a sharp) in words:
// "E|b" is "E♭ major", "f|x" "F♯ minor", "g" "G minor". A value
// that does not follow the convention is given as it stands.
std::string key_in_words(std::string_view key_or_mode);

// "major" or "minor" for a key by the convention; empty for anything else.
std::string_view key_mode(std::string_view key_or_mode);

// The name of the single instrument or voice a scoring names ("pf",
// "S"); empty when it names none or several ("S, A, T, B", "2 vl").
std::string single_part_of(std::string_view scoring);

enum class Status {
    Converted,    // `document` holds the MusicXML document
    Written,      // converted, and written to its file (write_file, tav/batch.h)
    Failed,       // the record has an error (the last message); no document
    TooLarge,     // the record passes the converter's size limits; no document
    LineTooLong,  // the line is longer than max_line_length; not read
    Blank,        // the line starts with a line feed or a carriage return
};

// The longest line the converter reads.
inline constexpr std::size_t max_line_length = std::size_t{1} << 30;

// One warning or error about a record, made from its code
// (tav/messages.h).
struct Message {
    MessageKind kind = MessageKind::Error;
    // The text as the program writes it after "incipit: ID-NUMBER, ", e.g.
    // "removing time signature within []" or "char: %, ascii: 37, i: 30",
    // with every control byte (below 32, and 127) written as \xHH.
    std::string text;
    // For a sign the converter cannot read: its index in the line and its
    // byte value (0..255); -1 when the message is about no single byte.
    std::int64_t position = -1;
    int byte = -1;
    // A stable name for what the message is about, the same for every
    // record ("unknown_sign", "measure_rest_count", "empty_clef_field", ...):
    // the name of the row of `id`, "other" for a text of another's. It
    // points into a static table, so it outlives the message.
    std::string_view code = "other";
    // What the message is about, as a code.
    MessageCode id = MessageCode::Other;
};

// The message of code `code`: its kind the code's, its text the code's with
// `values` in place, as they are.
Message make_message(MessageCode code, std::initializer_list<std::string_view> values = {});

// The status's name, as the bindings and reports spell it: "converted",
// "written", "failed", "too_large", "line_too_long", "blank".
const char* status_name(Status status);

// The message kind's name, as the bindings and reports spell it:
// "warning", "error".
const char* kind_name(MessageKind kind);

// What one record became.
struct Result {
    Status status = Status::Failed;
    // The MusicXML document (Converted, Written); empty otherwise.
    std::string document;
    // "ID-NUMBER.xml", the name the program gives the record's file; empty
    // when the record gives no document (a failed, too large, blank or
    // over-long record), so that nothing is written under a name made of
    // what little was read. A converted record whose write failed keeps it.
    std::string file_name;
    // Warnings, then at most one error, in the order they arose.
    std::vector<Message> messages;
    // The record's identifier and incipit number, as far as they were read
    // (the number as it stands in the line; print_messages writes its
    // control bytes as \xHH).
    std::int32_t identifier = 0;
    std::string number;
    // The record's melody, when Options::melody asked for it.
    Melody melody;

    bool ok() const { return status == Status::Converted || status == Status::Written; }
};

// One record as read: its header fields and its music, each apart, and
// the descriptive data a catalogue record may add (empty from a record
// line, and then not in the document).
struct Record {
    std::string identifier;  // the incipit identifier, in decimal digits
    std::string number;      // the incipit number, e.g. "1.1.1"; up to 64 bytes
    std::string clef;        // the clef field, e.g. "G-2"; empty: none
    std::string time;        // the time-signature field, e.g. "3/4", "c", "c/"
    std::string time2;       // the second time-signature field; mostly empty
    std::string key;         // a key signature kept apart from the music, e.g. "bBE"
                             // or "$bBE"; empty: the music's own, if any
    std::string music;       // the Plaine & Easie music data

    Description description;

    // Where the music began in the line it was read from (or that its
    // fields stand for): the positions that messages give count from the
    // start of that line. A key kept apart is read as a key signature on
    // its own, and positions count as if it stood at the start of the
    // music field as the tab export writes it ("$bBE " and then the music).
    std::int64_t music_position = 0;
};

// A record read, or the reason it could not be.
struct RecordReading {
    Record record;
    // The header's warnings, then at most one error (the record is then not
    // converted), with the texts conversion gives them.
    std::vector<Message> messages;
    bool blank = false;  // a blank line: no record

    bool ok() const
    {
        return !blank && (messages.empty() || messages.back().kind == MessageKind::Warning);
    }
};

// Reads a record line by the header rules: the identifier and the incipit
// number, then the clef and time fields, as far as the line has them (a
// field the line ends in that holds no time signature is the music). A
// line feed, carriage return or zero byte ends the line; one that starts
// with a line feed or carriage return is blank.
RecordReading read_record(std::string_view line);

// The header fields and the music of one record, held separately.
struct Fields {
    std::string_view identifier;  // one to ten digits
    std::string_view number;      // the incipit number, e.g. "1.1.1"; up to 64 bytes
    std::string_view clef;        // three characters, e.g. "G-2"; empty: none
    std::string_view time;        // e.g. "3/4", "c", "c/"; empty: none
    std::string_view time2;       // the second time-signature field; mostly empty
    std::string_view music;       // the Plaine & Easie music data
};

// Reads the fields by the header rules, each as it would stand in the
// record line the fields stand for (joined by TABs, an empty clef or time
// field a null field): the same record, warnings and errors, and positions
// counted in that line. A field holding a TAB, line feed or carriage return
// (or, before the music, a zero byte, which ends a line) is refused with
// the error "FIELD field holds a tab or a line end" (FIELD: identifier,
// number, clef, time, time2, key, music), and an incipit number that does
// not start with a digit with "no incipit number found": no field is ever
// taken for another.
RecordReading read_record(const Fields& fields);

namespace detail {
struct ConverterAccess;
}

// Converts record after record, reusing its buffers and score storage: once
// the largest record has been seen, converting allocates nothing more
// (besides the texts of messages). Only an unusually large record (a score
// or document of more than 1 MiB) is not kept in store: what it took is
// handed back once it is converted, except its result's document, which
// lives until the next call. So a converter holds about one ordinary record
// between calls, whatever it converted before.
class Converter {
public:
    Converter();
    ~Converter();
    Converter(Converter&&) noexcept;
    Converter& operator=(Converter&&) noexcept;
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts one record line; a line feed or carriage return, if any, ends
    // it. The result stays valid until the next call on this converter.
    // A converter moved from starts afresh. Called from inside its own
    // `trace` callback, a converter refuses: the result is Failed with an
    // error, and the record being converted is left as it is. An exception
    // thrown by `trace` leaves through the call, with nothing held.
    const Result& convert(std::string_view line, const Options& options = {});
    const Result& convert(const Fields& fields, const Options& options = {});
    // A record held in its fields, read by the same header rules as a line
    // (as read_record(fields) reads them; `music_position` is not read),
    // with its key, if kept apart, and its descriptive data.
    const Result& convert(const Record& record, const Options& options = {});
    // The same, the record's description moved into the converter rather
    // than copied: for a caller that has no more use for the record.
    const Result& convert(Record&& record, const Options& options = {});
    // A record with its description.
    const Result& convert(const Fields& fields, const Options& options,
                          const Description& description);

private:
    // The programs' side of a converter (tav/batch.h) reaches its state.
    friend struct detail::ConverterAccess;
    struct State;
    State& state();
    Result* refuse_reentry();
    std::unique_ptr<State> state_;
};

// One record with a converter of its own.
Result convert_record(std::string_view line, const Options& options = {});
Result convert_fields(const Fields& fields, const Options& options = {});

}  // namespace tav
