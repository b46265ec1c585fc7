// The run's inputs and streams: opening inputs and telling whether two of
// them are the same file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Opens an input file for reading (not a folder); null with `error` set
// when it cannot be.
std::FILE* open_input(const std::string& name, std::string& error);

// The size of a regular file, 0 when it is not one or is not known.
std::uint64_t regular_file_size(std::FILE* file);

// True when the open file and the file at `path` (followed if a link) are
// the same file.
bool same_file(std::FILE* file, const std::string& path);

// True when two open files are the same regular file.
bool same_regular_file(std::FILE* a, std::FILE* b);

bool is_terminal(std::FILE* stream);

// Standard output without any change of line ends.
void set_binary(std::FILE* stream);
