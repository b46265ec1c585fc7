// The reading of a record line, into storage the caller keeps.
#pragma once

#include <string_view>

#include "tav/tav.h"

namespace tav::detail {

// Empties the reading; its texts keep their storage.
void clear(RecordReading& reading);

// read_record(line) into `reading`, which is emptied first.
void read_record_into(std::string_view line, RecordReading& reading);

// read_record(fields) into `reading`, which is emptied first.
void read_fields_into(const Fields& fields, RecordReading& reading);

}  // namespace tav::detail
