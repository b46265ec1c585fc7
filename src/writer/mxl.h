// The compressed MusicXML file (.mxl).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tav::detail {

// The error of a build without zlib.
inline constexpr const char* kNoCompression =
    "compressed output (.mxl) is not available: this build has no zlib";

// Writes over `out` the .mxl archive holding `document` under the name
// `document_name`. Null on success, else the error.
const char* mxl_container(std::string_view document_name, std::string_view document,
                          std::string& out);

}  // namespace tav::detail
