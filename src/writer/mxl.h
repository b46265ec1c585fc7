// The compressed MusicXML file (.mxl).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tav/messages.h"

namespace tav::detail {

// The text of the archive's first entry, "mimetype", stored: the media
// type of the compressed file.
inline constexpr std::string_view kMxlMimeType = "application/vnd.recordare.musicxml";
// The media type of the MusicXML document, as container.xml names it.
inline constexpr std::string_view kMusicXmlMediaType = "application/vnd.recordare.musicxml+xml";

// META-INF/container.xml, naming `document_name` as the archive's document.
// A build without zlib has it too: the JavaScript package zips the
// archive itself around the library's document and this text.
std::string mxl_container_xml(std::string_view document_name);

// Writes .mxl archives, one after another: a deflate stream for each size
// of window, made at the first document that needs it and reset for each
// one after it, the container entry deflated once but for the document's
// name, and buffers that keep their storage, so that a converter allocates
// nothing per file once it runs.
class MxlWriter {
public:
    MxlWriter();
    ~MxlWriter();
    MxlWriter(const MxlWriter&) = delete;
    MxlWriter& operator=(const MxlWriter&) = delete;
    MxlWriter(MxlWriter&& other) noexcept;
    MxlWriter& operator=(MxlWriter&& other) noexcept;

    // Writes over `out` the archive holding `document` under the name
    // `document_name`. None on success, else the error.
    std::optional<MessageCode> write(std::string_view document_name, std::string_view document,
                                     std::string& out);

private:
    struct Stream;
    std::unique_ptr<Stream> stream_;
};

}  // namespace tav::detail
