// Opening an output name safely: see replace_file.h.

#ifndef _WIN32

#include "writer/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tav::detail {

namespace {

int open_retrying(const char* name, int flags)
{
    int fd;
    do
        fd = ::open(name, flags, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

FileTime modified(const struct stat& info)
{
    return static_cast<FileTime>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

// The entry is removed and a new file made under its name; a file that
// appears there in between is not opened.
int create_afresh(const char* name)
{
    if (::unlink(name) != 0)
        return -1;
    return open_retrying(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY);
}

}  // namespace

int open_replacing(const char* name, WriteRun& run, FileTime& earlier)
{
    earlier = kNoFileTime;
    if (run.last_name_free) {
        // A free name needs nothing more than this create.
        int fd = open_retrying(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY);
        if (fd >= 0 || errno != EEXIST)
            return fd;
        run.last_name_free = false;
    }
    // No O_TRUNC: nothing changes before the file is known to be plain.
    // O_NOFOLLOW fails on a symbolic link (ELOOP; EMLINK on some BSDs), and
    // O_NONBLOCK makes a FIFO without a reader fail at once instead of
    // waiting for one.
    int fd = open_retrying(name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return errno == ELOOP || errno == EMLINK ? create_afresh(name) : -1;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    // An empty file is most likely the one this open has just created.
    run.last_name_free = info.st_size == 0;
    if (info.st_nlink > 1) {
        ::close(fd);
        return create_afresh(name);
    }
    if (info.st_size > 0) {
        if (::ftruncate(fd, 0) != 0) {
            ::close(fd);
            return -1;
        }
        earlier = modified(info);
    }
    return fd;
}

FileTime stamp_now(int fd)
{
    struct stat info;
    if (::futimens(fd, nullptr) != 0 || ::fstat(fd, &info) != 0)
        return kNoRunStart;
    return modified(info);
}

}  // namespace tav::detail

#endif
