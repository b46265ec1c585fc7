// The run's log file in the working directory.
#pragma once

#include <cstdio>

#include "writer/replace_file.h"

constexpr const char* kLogName = "tav_errors.log";

// Creates the log file afresh, replacing the directory entry of its name as
// an output file does (never the file a link points to, never a special
// file); null when it cannot be. The run's start becomes the file system's
// time of its creation, or kNoRunStart where that is not known.
std::FILE* open_log(WriteRun& run);
