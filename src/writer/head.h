// The head of a MusicXML document: the prologue, the work and movement, the
// identification (creators, encoding, source, link, miscellaneous fields),
// the credits a notation program prints (4.0) and the part list.
#pragma once

#include "tav/tav.h"
#include "writer/output.h"
#include "writer/xml_text.h"

namespace tav::detail {

// Writes the head of `record`'s document, up to the part's start tag:
// `mensural` and `corrected_key` are the score's (its notation, and a key
// signature the converter corrected). A record without a description has
// the 2005 program's head.
void write_head(XmlText& xml, const DocumentInfo& info, const tav::Record& record, int mensural,
                int corrected_key);

}  // namespace tav::detail
