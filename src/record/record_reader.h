// The reading of a record, from its line or its fields, into storage the
// caller keeps.
#pragma once

#include <string_view>

#include "tav/tav.h"

namespace tav::detail {

// Empties the reading; its texts keep their storage.
void clear(RecordReading& reading);

// read_record(line) into `reading`, which is emptied first.
void read_record_into(std::string_view line, RecordReading& reading);

// read_record(fields) into `reading`, which is emptied first, with a key
// signature kept apart from the music (empty: none), checked as the fields
// are and kept as the record's key.
void read_fields_into(const Fields& fields, std::string_view key, RecordReading& reading);

// True when `text` holds a line feed or a carriage return, or a TAB when
// `tab`: what no field of a record line may hold. One pass over the text.
bool holds_line_break(std::string_view text, bool tab = true);

}  // namespace tav::detail
