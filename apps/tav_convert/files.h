// The run's inputs and streams: opening inputs and the report, and telling
// whether two of them are the same file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tav/file_identity.h"

// Opens an input file for reading (not a folder); null with `error` set
// when it cannot be.
std::FILE* open_input(const std::string& name, std::string& error);

// The size of a regular file, 0 when it is not one or is not known.
std::uint64_t regular_file_size(std::FILE* file);

// A regular file's device and inode: two names or descriptors with the same
// identity are one file.
using FileId = tav::FileId;
using FileIds = std::vector<FileId>;

// The identity of the regular file open on `fd`; none for anything else
// (a pipe, a terminal, a device) and on Windows.
std::optional<FileId> regular_file_id(int fd);
// The identity of the regular file `path` names, the link itself when
// `follow` is false; none when there is no regular file there.
std::optional<FileId> regular_file_id(const std::string& path, bool follow);
bool holds(const FileIds& ids, const std::optional<FileId>& id);

// Opens a path the user named for writing as Unix tools do: links are
// followed, and pipes, FIFOs and devices are written to; a regular file is
// emptied only once `keep` (the inputs and streams it must not be) is
// checked. -1 with `error` set (the reason, or the clash) when it cannot be.
int open_user_path(const std::string& path, const FileIds& keep, std::string& error);

bool is_terminal(std::FILE* stream);

// Standard output without any change of line ends.
void set_binary(std::FILE* stream);
