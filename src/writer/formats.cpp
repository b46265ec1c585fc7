// The table of output formats: each row's name, version, suffix, media
// type, compressed container and writer. A format is its writer's file and
// its row here.

#include "tav/formats.h"

#include <vector>

#include "record/joined_words.h"
#include "writer/mxl.h"
#include "writer/output.h"

namespace tav {

namespace {

constexpr OutputFormat kFormats[] = {
    {"musicxml1", "musicxml", "1.0", ".xml", detail::kMusicXmlMediaType,
     "MusicXML 1.0 partwise, as the 2005 program writes it", ".mxl", detail::kMxlMimeType,
     detail::render_musicxml1},
    {"musicxml4", "musicxml", "4.0", ".xml", detail::kMusicXmlMediaType,
     "MusicXML 4.0 partwise, with its encoding date and the record's description", ".mxl",
     detail::kMxlMimeType, detail::render_musicxml4},
    {"mei", "mei", "4.0.1", ".mei", "application/mei+xml",
     "MEI 4.0.1 (common music notation), with the record's description in its head", "", "",
     detail::render_mei},
};

// The names or versions of `rows` that `take` gives, joined as
// format_names says.
template <typename Take>
std::string joined(std::string_view separator, std::string_view last, Take take)
{
    std::vector<std::string_view> values;
    for (const OutputFormat& row : kFormats)
        if (!take(row).empty())
            values.push_back(take(row));
    return detail::joined_words(values, separator, last);
}

}  // namespace

std::span<const OutputFormat> formats()
{
    return kFormats;
}

const OutputFormat& default_format()
{
    return kFormats[0];
}

const OutputFormat* find_format(std::string_view name)
{
    for (const OutputFormat& row : kFormats)
        if (row.name == name)
            return &row;
    return nullptr;
}

const OutputFormat* find_format(std::string_view family, std::string_view version)
{
    for (const OutputFormat& row : kFormats)
        if (row.family == family && row.version == version)
            return &row;
    return nullptr;
}

std::string format_names(std::string_view separator, std::string_view last)
{
    return joined(separator, last, [](const OutputFormat& row) { return row.name; });
}

std::string format_versions(std::string_view family, std::string_view separator,
                            std::string_view last)
{
    return joined(separator, last, [family](const OutputFormat& row) {
        return row.family == family ? row.version : std::string_view();
    });
}

bool compression_available()
{
#ifdef TAV_HAVE_ZLIB
    return true;
#else
    return false;
#endif
}

}  // namespace tav
