// The stable code of every warning and error: one table, from which a
// message's code is found by its text (texts that name a file or a sign
// are matched by what stands before and after the name).

#include <string_view>

#include "tav/tav.h"

namespace tav {

namespace {

struct CodeRow {
    std::string_view code;
    std::string_view before;  // the whole text, or what stands before a name
    std::string_view after;   // what stands after the name; empty: none
    bool named = false;       // a name or number stands between the two
};

constexpr CodeRow kCodes[] = {
    // The header.
    {"no_identifier", "no incipit identifier found", ""},
    {"identifier_too_long", "incipit identifier has more than ten digits", ""},
    {"identifier_not_number", "incipit identifier is not a number", ""},
    {"identifier_too_large", "incipit identifier is larger than 2147483647", ""},
    {"no_number", "no incipit number found", ""},
    {"number_too_long", "incipit number too long", ""},
    {"line_ends_after_number", "line ends after the incipit number", ""},
    {"no_time_field", "no time signature field found", ""},
    {"no_second_time_field", "no second time signature field found", ""},
    {"no_music_field", "no music field found", ""},
    {"music_in_time_field",
     "no time signature fields found, reading the last field as the music", ""},
    {"music_in_second_time_field",
     "no second time signature field found, reading the last field as the music", ""},
    {"empty_clef_field", "found an empty clef field, using no clef", ""},
    {"short_clef_field", "found a clef field of one character, using no clef", ""},
    {"long_clef_field", "found a clef field longer than three characters, using its first three",
     ""},
    {"unreadable_time_field", "found an unreadable time signature field, using no time signature",
     ""},
    {"unreadable_second_time_field",
     "found an unreadable second time signature field, passing over it", ""},
    {"field_holds_line_end", "", " field holds a tab or a line end", true},
    {"time_field_text_ignored", "time signature field read as ", "'", true},
    // The music.
    {"unknown_sign", "char: ", "", true},
    {"neumatic_note", "found a note in neumatic notation (7.), using quarter note instead", ""},
    {"bracketed_key", "removing time signature within []", ""},
    {"measure_rest_count", "measure rest count is not a number", ""},
    {"too_large", "incipit too large", ""},
    {"line_too_long", "line too long", ""},
    {"converter_busy", "the converter is busy: called from its own trace callback", ""},
    {"chord_tie_without_pitch", "tie from a chord to a chord without its pitch: not written", ""},
    {"tie_written_as_slur", "tie between different pitches written as a slur", ""},
    {"music_after_blank", "music after a blank following a ", " characters", true},
    // The document and its file.
    {"unsafe_number", "incipit number is not a safe file name", ""},
    {"number_not_xml", "incipit number holds a character that XML cannot carry", ""},
    {"no_compression", "compressed output (.mxl) is not available: this build has no zlib", ""},
    {"not_compressible", "the output format ", " has no compressed container", true},
    {"too_large_to_compress", "document too large for a compressed file", ""},
    {"compression_failed", "the document could not be compressed", ""},
    {"written_twice", "output file ", " written twice in this run, the earlier file is replaced",
     true},
    {"output_is_input", "output file ", " is an input file", true},
    {"output_is_report", "output file ", " is the report file", true},
    {"cannot_create_file", "cannot create output file ", "", true},
    {"cannot_write_file", "cannot write output file ", "", true},
    {"cannot_create_folder", "cannot create output folder ", "", true},
    // The catalogue records (MARCXML).
    {"no_marcxml", "this build of the library reads no MARCXML (built without libxml2)", ""},
    {"malformed_xml", "malformed XML at line ", "", true},
    {"catalogue_record_too_large", "record ", " is too large to read (over 64 MiB of text)",
     true},
    {"no_control_number", "record ", " has no control number (001)", true},
    {"control_number_not_identifier", "record ",
     "\" is not an incipit identifier (one to ten digits)", true},
    {"other_notation_system", "031 #", "\", which is not read; passed over", true},
    {"subfield_holds_line_break", "031 #", " holds a tab or a line break", true},
    {"xml_cannot_carry", "the ", " holds a control character that XML cannot carry; it is left out",
     true},
    {"record_out_of_memory", "out of memory reading record ", "; it is passed over", true},
    {"record_not_closed", "record ",
     " is not closed before the next record starts; its fields are not read", true},
    {"subfield_holds_markup", "", " holds markup; its text is read without it", true},
    // The code's key-value and JSON forms.
    {"unknown_key", "incipit ", ", passed over", true},
    {"key_given_twice", "incipit ", " given twice; it is not converted", true},
    {"zero_byte_in_value", "incipit ", " holds a zero byte; it is not converted", true},
    {"value_not_text", "incipit ", " is not text; it is not converted", true},
    {"no_music_key", "incipit ", " has no music (no data)", true},
    {"incipit_too_large_to_read", "incipit ", " is too large to read (over 64 MiB of text)",
     true},
    {"not_key_line", "line ", " is not a key line (@KEY:VALUE); passed over", true},
    {"no_json", "this build of the library reads no JSON (built without nlohmann-json)", ""},
    {"malformed_json", "malformed JSON at line ", "", true},
    {"not_json_object", "incipit ", " is not a JSON object", true},
};

bool matches(const CodeRow& row, std::string_view text)
{
    if (!row.named)
        return text == row.before;
    return text.size() > row.before.size() + row.after.size() && text.starts_with(row.before) &&
           text.ends_with(row.after);
}

}  // namespace

std::string_view message_code(std::string_view text)
{
    for (const CodeRow& row : kCodes)
        if (matches(row, text))
            return row.code;
    return "other";
}

}  // namespace tav
