#include "driver/log_file.h"

#ifdef _WIN32

#include <sys/stat.h>

std::FILE* open_log(WriteRun& run)
{
    run.start = kNoRunStart;
    std::FILE* log = std::fopen(kLogName, "w");
    struct _stat64 info;
    if (log != nullptr && _fstat64(_fileno(log), &info) == 0)
        run.start = static_cast<FileTime>(info.st_mtime) * 1000000000;
    return log;
}

#else

#include <unistd.h>

std::FILE* open_log(WriteRun& run)
{
    run.start = kNoRunStart;
    FileTime earlier;
    int fd = open_replacing(kLogName, run, earlier);
    if (fd < 0)
        return nullptr;
    std::FILE* log = fdopen(fd, "w");
    if (log == nullptr) {
        ::close(fd);
        return nullptr;
    }
    run.start = stamp_now(fd);
    return log;
}

#endif
