// The forms incipit records are read from, as one table: each row names a
// form, tells how an input in it starts, and opens its reader. Every front
// end (tav_convert's --from, Python, the page) takes its choices from it.
//
//     const tav::InputForm& form = tav::recognise_input_form(stream->peek());
//     if (form.open == nullptr)
//         ...                       // record lines: read with a LineReader
//     std::unique_ptr<tav::RecordSource> source = form.open(std::move(stream));
//     tav::MarcxmlItem item;
//     while (source->next(item))
//         if (item.kind == tav::MarcxmlItem::Kind::Incipit)
//             converter.convert(item.record, options);
//
// The forms: "tab" (the export's record lines), "marcxml" (catalogue
// records, tav/marcxml.h), "pae" (the code's key-value form: lines
// "@clef:G-2", "@keysig:bB", "@timesig:3/4", "@data:...", optional "@id:"
// and "@number:", a blank line or "@end" between incipits) and "json" (one
// object, an array of objects or JSON Lines, with "clef", "keysig",
// "timesig", "data", optional "id" and "number"). Every reader gives its
// incipits as the same Record, converted by Converter::convert(const Record&),
// and its faults as messages: an incipit it cannot read is an Error item,
// and reading goes on with the next.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "tav/input.h"
#include "tav/marcxml.h"

namespace tav {

// A reader of records of one form, item by item (the items are those of
// the MARCXML reader: an incipit with its Record, or a message).
class RecordSource {
public:
    virtual ~RecordSource() = default;
    // The next incipit or message; false at the end of the input.
    virtual bool next(MarcxmlItem& item) = 0;
    // The items read next, one or more, moved to the end of `items`; false
    // at the end of the input. The same items as next() gives, fewer moves.
    virtual bool take(std::deque<MarcxmlItem>& items);
    // True when the input could not be read to its end, and why (the
    // stream's failure: tav::InputStream::failure).
    virtual bool read_failed() const = 0;
    virtual const std::string& failure() const = 0;
    // Bytes read from the input so far.
    virtual std::uint64_t consumed() const = 0;
    // Whether its items name a catalogue record (control_number, occurrence).
    virtual bool catalogue() const { return false; }
    // Fields passed over for want of music (MARCXML's 031 without $p), once
    // the input is read; -1 for a form that has none.
    virtual std::int64_t without_music() const { return -1; }
    // Reads on `threads` threads where the form can (before the first
    // next()); the items are the same.
    virtual void read_on(unsigned threads) { (void)threads; }
};

struct InputForm {
    std::string_view name;         // "tab", "marcxml", "pae", "json"
    std::string_view description;  // what it is, for help texts
    std::string_view recognised;   // how its start is recognised, for help texts
    // True when `start`, the first bytes of an input, are in this form; null
    // for the form of every input no other form takes (the record lines).
    bool (*recognise)(std::string_view start);
    // The form's reader over `input`; null for the record lines, which each
    // front end reads line by line (LineReader) and converts in place.
    std::unique_ptr<RecordSource> (*open)(std::unique_ptr<InputStream> input);
};

// Every form, the record lines first.
std::span<const InputForm> input_forms();

// The form of that name; null for none.
const InputForm* find_input_form(std::string_view name);

// The form whose start `start` is (the first row that recognises it), else
// the record lines.
const InputForm& recognise_input_form(std::string_view start);

// The names of the forms joined by `separator` ("tab|marcxml|pae|json"),
// with `last` before the last one when it is given ("tab, marcxml, pae or
// json"), for help texts and usage errors.
std::string input_form_names(std::string_view separator, std::string_view last = {});

// The readers of the two forms of the code, opened directly.
std::unique_ptr<RecordSource> open_key_value_reader(std::unique_ptr<InputStream> input);
std::unique_ptr<RecordSource> open_json_reader(std::unique_ptr<InputStream> input);

// False when the library was built without a JSON parser: the JSON reader
// then gives one error and ends.
bool json_available();

}  // namespace tav
