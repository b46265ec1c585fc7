#include "files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#ifdef _WIN32

bool same_file(std::FILE*, const std::string&) { return false; }
bool same_regular_file(std::FILE*, std::FILE*) { return false; }
bool is_terminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }
void set_binary(std::FILE* stream) { _setmode(_fileno(stream), _O_BINARY); }

std::uint64_t regular_file_size(std::FILE* file)
{
    struct _stat64 info;
    if (_fstat64(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG)
        return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

#else

bool same_file(std::FILE* file, const std::string& path)
{
    struct stat a, b;
    return ::fstat(fileno(file), &a) == 0 && ::stat(path.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool same_regular_file(std::FILE* x, std::FILE* y)
{
    struct stat a, b;
    return ::fstat(fileno(x), &a) == 0 && ::fstat(fileno(y), &b) == 0 && S_ISREG(a.st_mode) &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool is_terminal(std::FILE* stream) { return ::isatty(fileno(stream)) != 0; }
void set_binary(std::FILE*) {}

std::uint64_t regular_file_size(std::FILE* file)
{
    struct stat info;
    if (::fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

#endif

std::FILE* open_input(const std::string& name, std::string& error)
{
    std::FILE* input = std::fopen(name.c_str(), "r");
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
