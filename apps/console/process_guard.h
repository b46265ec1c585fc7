// What the batch run sets up in the process around it, and the questions it
// asks about its input file. Outside POSIX systems these do nothing and
// answer false.
#pragma once

#include <cstdio>

// Opens each of the descriptors 0, 1 and 2 that is closed on the null
// device, so that no file opened later takes its place; ignores SIGPIPE and
// SIGXFSZ, so that a closed pipe or a file-size limit fails a write instead
// of ending the process. Call first. Returns the descriptors found closed,
// as bits (1 << fd).
unsigned guard_process();

// True when `input` is the very file that standard input reads (the same
// device and inode, pipes included).
bool is_standard_input(std::FILE* input);

// True when the directory entry `name` (not followed if it is a link) is
// the very file `input` reads.
bool is_named(std::FILE* input, const char* name);
