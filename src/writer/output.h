// The MusicXML writer: one record's score in, one MusicXML partwise
// document out (1.0, or 4.0 with the descriptive data), and the name of
// its file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "score/accidentals.h"
#include "score/incipit.h"
#include "tav/tav.h"
#include "score/score.h"
#include "writer/replace_file.h"
#include "writer/xml_text.h"

namespace tav::detail {

// The converter as a document's encoding names it (MusicXML 4.0, MEI).
inline constexpr std::string_view kSoftwareName = "tav";
inline constexpr std::string_view kSoftwareVersion = TAV_VERSION_STRING;

// The details of a document beside the record and its score; its
// descriptive data is the record's (an empty text is left out).
struct DocumentInfo {
    bool musicxml4 = false;           // MusicXML 4.0 rather than 1.0
    std::string_view encoding_date;   // "YYYY-MM-DD", for a format that writes one
    std::string_view record_uri;      // a catalogue record's link, "{id}" its 001
};

// The MusicXML document of `score`, read from `record`, written over
// whatever `out` held before. Reads the score only. Returns the number of
// ties between different pitches written as slurs (4.0; none in 1.0).
int64_t render_score(const tav::Record& record, const Incipit& score, DocumentBuffer& out,
                     const DocumentInfo& info = {});

// The writers of the formats table: render_score as MusicXML 1.0 and as
// 4.0, whatever `info` says of the version.
int64_t render_musicxml1(const tav::Record& record, const Incipit& score, DocumentBuffer& out,
                         const DocumentInfo& info);
int64_t render_musicxml4(const tav::Record& record, const Incipit& score, DocumentBuffer& out,
                         const DocumentInfo& info);

// The writer of the MEI row: an MEI 4.0.1 document (common music
// notation) of one staff, with the record's description in its head.
int64_t render_mei(const tav::Record& record, const Incipit& score, DocumentBuffer& out,
                   const DocumentInfo& info);

// MusicXML's divisions for the score: the units of a quarter its written
// note values and tuplets need, multiplied by the least factor that makes
// every note's duration whole.
float document_divisions(const Incipit& score);

// "ID-NUMBER" and the writer's suffix, appended to `out`, which keeps its
// storage: the identifier (0 when none was read) and the incipit number.
void append_output_file_name(std::string& out, const tav::Record& record,
                             std::string_view suffix);

// True when the incipit number can name a file in the working directory:
// no '/', no '\' and no control byte (below 32, and 127).
bool is_safe_file_name(const char* incipit_nb);

// False when the incipit number holds U+FFFE or U+FFFF, which no XML
// document may contain, even as a character reference.
bool is_xml_text(const char* incipit_nb);

enum class OutputStatus {
    Written,
    UnsafeName,     // the incipit number would leave the working directory
    NotXmlText,     // the incipit number cannot stand in an XML document
    CannotCreate,   // the file could not be opened for writing
    CannotWrite,    // writing or closing failed; the partial file is removed
    Kept,           // the name holds a file the run keeps; nothing written
};

// Checks that the incipit number can name the file and stand in the
// document: Written when it can.
OutputStatus check_incipit_number(const char* incipit_nb);

// Writes `size` bytes of `text` to the file `path` in one go, replacing the
// directory entry of that name (never the file a link points to, never a
// special file); a failed write leaves no file. `earlier` receives the
// modification time of the non-empty regular file the name held, kNoFileTime
// when there was none: one modified since the start of `run` was written
// earlier in the run (a document is never empty).
OutputStatus write_file(const std::string& path, const char* text, size_t size, WriteRun& run,
                        FileTime& earlier);

// The file system's clock now, as the modification time of the file just
// written at `path`; the system clock when that file cannot be read.
FileTime file_clock_now(const std::string& path);

}  // namespace tav::detail
