#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

std::optional<FileId> regular_id(const std::optional<tav::FileFacts>& facts)
{
    return facts && facts->regular ? std::optional<FileId>(facts->id) : std::nullopt;
}

}  // namespace

std::optional<FileId> regular_file_id(int fd)
{
    return regular_id(tav::file_facts(fd));
}

std::optional<FileId> regular_file_id(const std::string& path, bool follow)
{
    return regular_id(tav::file_facts(path.c_str(), follow));
}

bool holds(const FileIds& ids, const std::optional<FileId>& id)
{
    return id && std::find(ids.begin(), ids.end(), *id) != ids.end();
}

#ifdef _WIN32

bool is_terminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }
void set_binary(std::FILE* stream) { _setmode(_fileno(stream), _O_BINARY); }

std::uint64_t regular_file_size(std::FILE* file)
{
    struct _stat64 info;
    if (_fstat64(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG)
        return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

int open_user_path(const std::string& path, const FileIds&, std::string& error)
{
    // Text mode, as the report has always been written there.
    int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        error = std::strerror(errno);
    return fd;
}

#else

bool is_terminal(std::FILE* stream) { return ::isatty(fileno(stream)) != 0; }
void set_binary(std::FILE*) {}

std::uint64_t regular_file_size(std::FILE* file)
{
    struct stat info;
    if (::fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

int open_user_path(const std::string& path, const FileIds& keep, std::string& error)
{
    // No O_TRUNC: nothing changes before the file is known not to be kept.
    int fd;
    do
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    std::optional<FileId> id = regular_file_id(fd);
    if (holds(keep, id)) {
        ::close(fd);
        error = "it is an input file or standard output";
        return -1;
    }
    if (id && ::ftruncate(fd, 0) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

#endif

std::FILE* open_input(const std::string& name, std::string& error)
{
    // Binary: gzip and UTF-16 bytes pass unchanged, and on Windows a 0x1A
    // byte does not end the input (line ends are the line reader's).
    std::FILE* input = std::fopen(name.c_str(), "rb");
    if (input == nullptr) {
        error = std::strerror(errno);
        return nullptr;
    }
    struct stat info;
    if (fstat(fileno(input), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(input);
        error = "is a folder";
        return nullptr;
    }
    return input;
}
