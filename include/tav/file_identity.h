// Which file a descriptor or a name is: two with the same device and inode
// are one file, whatever their names. Windows gives no such identity here:
// every query answers none, and callers take every name for another file.
//
//     #include <tav/file_identity.h>
#pragma once

#include <cstdint>
#include <optional>

namespace tav {

struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

struct FileFacts {
    FileId id;
    bool regular = false;     // a regular file (not a pipe, folder or device)
    std::uint64_t links = 0;  // its names (hard links)
};

// The file open on `fd`; none when it cannot be told.
std::optional<FileFacts> file_facts(int fd);
// The file `path` names: the link itself when `follow_links` is false.
std::optional<FileFacts> file_facts(const char* path, bool follow_links);

// Whether both are known and are one file.
inline bool same_file(const std::optional<FileFacts>& a, const std::optional<FileFacts>& b)
{
    return a && b && a->id == b->id;
}

}  // namespace tav
