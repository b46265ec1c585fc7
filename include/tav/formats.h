// The formats documents are written in, as one table: each row names a
// format, its version, its file's suffix and media type, its compressed
// container if it has one, and its writer. Every front end (tav_convert's
// --format, Python's format=, the JavaScript package's format:, the page)
// takes its choices, its default and its help text from it.
//
//     tav::Options options;
//     options.format = tav::find_format("musicxml4");
//     options.compressed = options.format->compressible();
//     converter.convert(line, options);   // ID-NUMBER.mxl
//
// The rows: "musicxml1" (MusicXML 1.0, as the 2005 program writes it; the
// default) and "musicxml4" (MusicXML 4.0), both with the compressed
// MusicXML container (.mxl), and "mei" (MEI 4.0.1, common music notation,
// ID-NUMBER.mei), which has none.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "tav/tav.h"

namespace tav {

namespace detail {
struct Incipit;
struct DocumentBuffer;
struct DocumentInfo;
}  // namespace detail

// A writer: the document of `score`, read from `record`, written over
// whatever `out` held before, with the details `info` gives (the encoding
// date). Returns the number of ties between different pitches it wrote as
// slurs (each becomes a warning).
using DocumentWriter = std::int64_t (*)(const Record& record, const detail::Incipit& score,
                                        detail::DocumentBuffer& out,
                                        const detail::DocumentInfo& info);

struct OutputFormat {
    std::string_view name;         // "musicxml1": what --format and the bindings take
    std::string_view family;       // "musicxml": the rows of one family differ in version
    std::string_view version;      // "1.0"
    std::string_view suffix;       // of the document's file name, ".xml"
    std::string_view media_type;   // of the document
    std::string_view description;  // what it is, for help texts
    // The compressed container's suffix and media type (".mxl"); empty for
    // a format written only as its document.
    std::string_view compressed_suffix;
    std::string_view compressed_media_type;
    DocumentWriter writer;

    bool compressible() const { return !compressed_suffix.empty(); }
    // The suffix of the file the options make: the container's when
    // compressed.
    std::string_view file_suffix(bool compressed) const
    {
        return compressed ? compressed_suffix : suffix;
    }
};

// Every format, the default first.
std::span<const OutputFormat> formats();

// The format Options::format stands for when it is null: the first row.
const OutputFormat& default_format();

// The format of that name, or of that family and version ("musicxml",
// "4.0"); null for none.
const OutputFormat* find_format(std::string_view name);
const OutputFormat* find_format(std::string_view family, std::string_view version);

// The names of the formats joined by `separator` ("musicxml1|musicxml4"),
// with `last` before the last one when it is given, for help texts and
// usage errors; the versions of one family the same way ("1.0|4.0").
std::string format_names(std::string_view separator, std::string_view last = {});
std::string format_versions(std::string_view family, std::string_view separator,
                            std::string_view last = {});

// False when the library was built without zlib: a compressed container
// then fails every record with the error "compressed output (.mxl) is not
// available: this build has no zlib".
bool compression_available();

}  // namespace tav
