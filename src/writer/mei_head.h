// The head of the MEI writer's document, and the helper both of its files
// write fixed lines with.
#pragma once

#include <cstddef>
#include <string_view>

#include "score/incipit.h"
#include "tav/tav.h"
#include "writer/output.h"
#include "writer/xml_text.h"

namespace tav::detail {

// Room for the fixed lines of one part of the document.
inline constexpr size_t kFixedRoom = 1024;

// `text` as it stands, with room reserved for it.
void put_fixed(XmlText& xml, std::string_view text);

// The XML declaration, the schema's reference, the <mei> start and the
// meiHead of `record` and `score`, then the starts of <music> to <score>.
void write_mei_head(XmlText& xml, const tav::Record& record, const Incipit& score,
                    const DocumentInfo& info);

}  // namespace tav::detail
