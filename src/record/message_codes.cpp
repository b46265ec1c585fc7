// The stable code of every warning and error, with its kind and its text:
// one row for each, in the order of MessageCode. A text's "{}" stand for
// the values a message is made with.

#include <algorithm>
#include <cstddef>

#include "tav/messages.h"
#include "tav/tav.h"

namespace tav {

namespace {

using enum MessageCode;
constexpr MessageKind W = MessageKind::Warning;
constexpr MessageKind E = MessageKind::Error;

constexpr MessageRule kRules[] = {
    // The header.
    {NoIdentifier, "no_identifier", E, "no incipit identifier found"},
    {IdentifierTooLong, "identifier_too_long", E, "incipit identifier has more than ten digits"},
    {IdentifierNotNumber, "identifier_not_number", E, "incipit identifier is not a number"},
    {IdentifierTooLarge, "identifier_too_large", E,
     "incipit identifier is larger than 2147483647"},
    {NoNumber, "no_number", E, "no incipit number found"},
    {NumberTooLong, "number_too_long", E, "incipit number too long"},
    {LineEndsAfterNumber, "line_ends_after_number", E, "line ends after the incipit number"},
    {NoTimeField, "no_time_field", E, "no time signature field found"},
    {NoSecondTimeField, "no_second_time_field", E, "no second time signature field found"},
    {NoMusicField, "no_music_field", E, "no music field found"},
    {MusicInTimeField, "music_in_time_field", W,
     "no time signature fields found, reading the last field as the music"},
    {MusicInSecondTimeField, "music_in_second_time_field", W,
     "no second time signature field found, reading the last field as the music"},
    {EmptyClefField, "empty_clef_field", W, "found an empty clef field, using no clef"},
    {ShortClefField, "short_clef_field", W, "found a clef field of one character, using no clef"},
    {LongClefField, "long_clef_field", W,
     "found a clef field longer than three characters, using its first three"},
    {UnreadableTimeField, "unreadable_time_field", W,
     "found an unreadable time signature field, using no time signature"},
    {UnreadableSecondTimeField, "unreadable_second_time_field", W,
     "found an unreadable second time signature field, passing over it"},
    {FieldHoldsLineEnd, "field_holds_line_end", E, "{} field holds a tab or a line end"},
    {TimeFieldTextIgnored, "time_field_text_ignored", W,
     "time signature field read as {}, ignoring '{}'"},
    // The music.
    {UnknownSign, "unknown_sign", E, "char: {}, ascii: {}, i: {}"},
    {NeumaticNote, "neumatic_note", W,
     "found a note in neumatic notation (7.), using quarter note instead"},
    {BracketedKey, "bracketed_key", W, "removing time signature within []"},
    {MeasureRestCount, "measure_rest_count", E, "measure rest count is not a number"},
    {TooLarge, "too_large", E, "incipit too large"},
    {LineTooLong, "line_too_long", E, "line too long"},
    {ConverterBusy, "converter_busy", E,
     "the converter is busy: called from its own trace callback"},
    {ChordTieWithoutPitch, "chord_tie_without_pitch", W,
     "tie from a chord to a chord without its pitch: not written"},
    {TieWrittenAsSlur, "tie_written_as_slur", W, "tie between different pitches written as a slur"},
    {MusicAfterBlank, "music_after_blank", W,
     "music after a blank following a {} is ignored: {} characters"},
    // The document and its file.
    {UnsafeNumber, "unsafe_number", E, "incipit number is not a safe file name"},
    {NumberNotXml, "number_not_xml", E, "incipit number holds a character that XML cannot carry"},
    {NoCompression, "no_compression", E,
     "compressed output (.mxl) is not available: this build has no zlib"},
    {NotCompressible, "not_compressible", E,
     "the output format {} has no compressed container"},
    {TooLargeToCompress, "too_large_to_compress", E, "document too large for a compressed file"},
    {CompressionFailed, "compression_failed", E, "the document could not be compressed"},
    {WrittenTwice, "written_twice", W,
     "output file {} written twice in this run, the earlier file is replaced"},
    {OutputIsInput, "output_is_input", E, "output file {} is an input file"},
    {OutputIsReport, "output_is_report", E, "output file {} is the report file"},
    {CannotCreateFile, "cannot_create_file", E, "cannot create output file {}"},
    {CannotWriteFile, "cannot_write_file", E, "cannot write output file {}"},
    {CannotCreateFolder, "cannot_create_folder", E, "cannot create output folder {} for {}: {}"},
    // The catalogue records (MARCXML).
    {NoMarcxml, "no_marcxml", E,
     "this build of the library reads no MARCXML (built without libxml2)"},
    {MalformedXml, "malformed_xml", E, "malformed XML at line {}: {}{}"},
    {CatalogueRecordTooLarge, "catalogue_record_too_large", E,
     "record {} is too large to read (over 64 MiB of text)"},
    {NoControlNumber, "no_control_number", E, "record {} has no control number (001)"},
    {ControlNumberNotIdentifier, "control_number_not_identifier", E,
     "record {}: control number (001) \"{}\" is not an incipit identifier (one to ten digits)"},
    {OtherNotationSystem, "other_notation_system", W,
     "031 #{} has the system code \"{}\", which is not read; passed over"},
    {SubfieldHoldsLineBreak, "subfield_holds_line_break", E,
     "031 #{}: {} holds a tab or a line break"},
    {XmlCannotCarry, "xml_cannot_carry", W,
     "the {} holds a control character that XML cannot carry; it is left out"},
    {RecordOutOfMemory, "record_out_of_memory", E,
     "out of memory reading record {}; it is passed over"},
    {RecordNotClosed, "record_not_closed", E,
     "record {} is not closed before the next record starts; its fields are not read"},
    {SubfieldHoldsMarkup, "subfield_holds_markup", W,
     "{} holds markup; its text is read without it"},
    // The code's key-value and JSON forms.
    {UnknownKey, "unknown_key", W, "incipit {}: unknown key {}, passed over"},
    {KeyGivenTwice, "key_given_twice", E, "incipit {}: {} given twice; it is not converted"},
    {ZeroByteInValue, "zero_byte_in_value", E,
     "incipit {}: {} holds a zero byte; it is not converted"},
    {ValueNotText, "value_not_text", E, "incipit {}: {} is not text; it is not converted"},
    {NoMusicKey, "no_music_key", E, "incipit {} has no music (no data)"},
    {IncipitTooLargeToRead, "incipit_too_large_to_read", E,
     "incipit {} is too large to read (over 64 MiB of text)"},
    {NotKeyLine, "not_key_line", W, "line {} is not a key line (@KEY:VALUE); passed over"},
    {NoJson, "no_json", E, "this build of the library reads no JSON (built without nlohmann-json)"},
    {MalformedJson, "malformed_json", E, "malformed JSON at line {}: {}; incipit {} is passed over"},
    {NotJsonObject, "not_json_object", E, "incipit {} is not a JSON object"},
    // Another's message: its text is its one value.
    {Other, "other", E, "{}"},
};

constexpr bool in_code_order()
{
    for (std::size_t k = 0; k < std::size(kRules); ++k)
        if (static_cast<std::size_t>(kRules[k].code) != k)
            return false;
    return std::size(kRules) == static_cast<std::size_t>(Other) + 1;
}
static_assert(in_code_order(), "one row for each code, in the order of MessageCode");

}  // namespace

std::span<const MessageRule> message_rules()
{
    return kRules;
}

const MessageRule& message_rule(MessageCode code)
{
    return kRules[static_cast<std::size_t>(code)];
}

const MessageRule* find_message_rule(std::string_view name)
{
    const MessageRule* row = std::find_if(std::begin(kRules), std::end(kRules),
                                          [name](const MessageRule& r) { return r.name == name; });
    return row != std::end(kRules) ? row : nullptr;
}

std::string message_text(MessageCode code, std::initializer_list<std::string_view> values)
{
    std::string_view text = message_rule(code).text;
    std::string out;
    out.reserve(text.size());
    const std::string_view* value = values.begin();
    for (std::size_t at = 0;;) {
        std::size_t hole = text.find("{}", at);
        out += text.substr(at, hole == text.npos ? text.npos : hole - at);
        if (hole == text.npos)
            return out;
        if (value != values.end())
            out += *value++;
        at = hole + 2;
    }
}

Message make_message(MessageCode code, std::initializer_list<std::string_view> values)
{
    const MessageRule& rule = message_rule(code);
    Message m{rule.kind, message_text(code, values)};
    m.code = rule.name;
    m.id = code;
    return m;
}

}  // namespace tav
