// Opening a name to replace what it holds,
// without ever writing through a link or waiting on a special file.
#pragma once

#include <cstdint>

#include "tav/batch.h"

namespace tav::detail {

// A modification time in nanoseconds of the file system's own clock.
using FileTime = int64_t;
constexpr FileTime kNoFileTime = INT64_MIN;   // no earlier file
constexpr FileTime kNoRunStart = INT64_MAX;   // no file counts as this run's

// What the writes of one run share: when it began, and which way of
// opening a name to try first.
using WriteRun = tav::WriteRun;
static_assert(WriteRun{}.start == kNoRunStart);

#ifndef _WIN32

// Opens `name` for writing as an empty regular file and returns its
// descriptor, or -1. A plain regular file with one link is emptied and
// reused; a symbolic link (dangling or not) or a file with several links is
// removed and the file created afresh, so the target of a link is never
// touched; anything else (a FIFO, a socket, a device, a directory) is
// refused without waiting, and so is a file that cannot be written.
// `earlier` receives the modification time of the non-empty file that was
// emptied, kNoFileTime when there was none. `run` says which way of
// opening to try first (each costs one more system call when the other
// case holds) and learns which way worked.
int open_replacing(const char* name, WriteRun& run, FileTime& earlier);

// Sets the open file's times to now and returns its modification time: the
// file system's clock at this moment.
FileTime stamp_now(int fd);

#endif

}  // namespace tav::detail
