// What the library and the programs can say about a record: every warning
// and error has a code, and each code one row {code, name, kind, text}.
// A message is made from its code and the values its text names (a file
// name, a sign, a line number...), never told apart by its text:
//
//     tav::Message m = tav::make_message(tav::MessageCode::WrittenTwice, {file_name});
//     if (m.id == tav::MessageCode::WrittenTwice)
//         ...
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace tav {

enum class MessageKind { Warning, Error };

enum class MessageCode : std::uint8_t {
    // The header of a record.
    NoIdentifier,
    IdentifierTooLong,
    IdentifierNotNumber,
    IdentifierTooLarge,
    NoNumber,
    NumberTooLong,
    LineEndsAfterNumber,
    NoTimeField,
    NoSecondTimeField,
    NoMusicField,
    MusicInTimeField,
    MusicInSecondTimeField,
    EmptyClefField,
    ShortClefField,
    LongClefField,
    UnreadableTimeField,
    UnreadableSecondTimeField,
    FieldHoldsLineEnd,
    TimeFieldTextIgnored,
    // The music.
    UnknownSign,
    NeumaticNote,
    BracketedKey,
    MeasureRestCount,
    TooLarge,
    LineTooLong,
    ConverterBusy,
    ChordTieWithoutPitch,
    TieWrittenAsSlur,
    MusicAfterBlank,
    // The document and its file.
    UnsafeNumber,
    NumberNotXml,
    NoCompression,
    NotCompressible,
    TooLargeToCompress,
    CompressionFailed,
    WrittenTwice,
    OutputIsInput,
    OutputIsReport,
    CannotCreateFile,
    CannotWriteFile,
    CannotCreateFolder,
    // The catalogue records (MARCXML).
    NoMarcxml,
    MalformedXml,
    CatalogueRecordTooLarge,
    NoControlNumber,
    ControlNumberNotIdentifier,
    OtherNotationSystem,
    SubfieldHoldsLineBreak,
    XmlCannotCarry,
    RecordOutOfMemory,
    RecordNotClosed,
    SubfieldHoldsMarkup,
    // The code's key-value and JSON forms.
    UnknownKey,
    KeyGivenTwice,
    ZeroByteInValue,
    ValueNotText,
    NoMusicKey,
    IncipitTooLargeToRead,
    NotKeyLine,
    NoJson,
    MalformedJson,
    NotJsonObject,
    // A message made elsewhere, with a text of its own.
    Other,
};

// One code's row: its stable snake_case name ("unknown_sign"), its kind,
// and its text, where each "{}" stands for one of the message's values.
struct MessageRule {
    MessageCode code;
    std::string_view name;
    MessageKind kind;
    std::string_view text;
};

// Every code's row, in the order of MessageCode.
std::span<const MessageRule> message_rules();
const MessageRule& message_rule(MessageCode code);
// The row of the code named `name`; null for a name that is none.
const MessageRule* find_message_rule(std::string_view name);

// The code's text with its values in place of the "{}", in order (a
// value missing stands as nothing).
std::string message_text(MessageCode code, std::initializer_list<std::string_view> values = {});

}  // namespace tav
