// Which file a descriptor or a name is: see file_identity.h.

#include "tav/file_identity.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace tav {

#ifdef _WIN32

std::optional<FileFacts> file_facts(int) { return std::nullopt; }
std::optional<FileFacts> file_facts(const char*, bool) { return std::nullopt; }

#else

namespace {

FileFacts facts_of(const struct stat& info)
{
    return {{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)},
            S_ISREG(info.st_mode),
            static_cast<std::uint64_t>(info.st_nlink)};
}

}  // namespace

std::optional<FileFacts> file_facts(int fd)
{
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    return facts_of(info);
}

std::optional<FileFacts> file_facts(const char* path, bool follow_links)
{
    struct stat info;
    if ((follow_links ? ::stat(path, &info) : ::lstat(path, &info)) != 0)
        return std::nullopt;
    return facts_of(info);
}

#endif

}  // namespace tav
