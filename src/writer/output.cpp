// The file a document goes to: its name, the checks on it, and the write.

#include <chrono>
#include <cstdio>
#include <string>

#include <sys/stat.h>

#ifndef _WIN32
#include <unistd.h>

#include <cerrno>
#endif

#include "writer/output.h"
#include "writer/replace_file.h"

namespace tav::detail {

void append_output_file_name(std::string& out, const tav::Record& record, std::string_view suffix)
{
    out += record.identifier.empty() ? std::string_view("0") : record.identifier;
    out += '-';
    out += record.number;
    out += suffix;
}

bool is_safe_file_name(const char* incipit_nb)
{
    for (const char* p = incipit_nb; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '/' || c == '\\' || c < 32 || c == 127)
            return false;
    }
    return true;
}

bool is_xml_text(const char* incipit_nb)
{
    // U+FFFE and U+FFFF are EF BF BE and EF BF BF in UTF-8.
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(incipit_nb); *p != 0;
         ++p)
        if (p[0] == 0xEF && p[1] == 0xBF && (p[2] == 0xBE || p[2] == 0xBF))
            return false;
    return true;
}

OutputStatus check_incipit_number(const char* incipit_nb)
{
    if (!is_safe_file_name(incipit_nb))
        return OutputStatus::UnsafeName;
    if (!is_xml_text(incipit_nb))
        return OutputStatus::NotXmlText;
    return OutputStatus::Written;
}

FileTime file_clock_now(const std::string& path)
{
#ifdef _WIN32
    struct _stat64 info;
    if (_stat64(path.c_str(), &info) == 0)
        return static_cast<FileTime>(info.st_mtime) * 1000000000;
#else
    struct stat info;
    if (::stat(path.c_str(), &info) == 0)
        return static_cast<FileTime>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
#endif
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

#ifdef _WIN32

namespace {

// The modification time of a non-empty regular file of that name, in
// whole seconds; kNoFileTime when there is none.
FileTime earlier_file(const std::string& name)
{
    struct _stat64 info;
    if (_stat64(name.c_str(), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG || info.st_size == 0)
        return kNoFileTime;
    return static_cast<FileTime>(info.st_mtime) * 1000000000;
}

}  // namespace

OutputStatus write_file(const std::string& name, const char* text, size_t size, WriteRun&,
                        FileTime& earlier)
{
    // Windows file names cannot hold these; a ':' would even open an
    // alternate data stream of another file instead of failing.
    size_t base = name.find_last_of("/\\");
    base = base == std::string::npos ? 0 : base + 1;
    if (name.find_first_of("<>:\"|?*", base) != std::string::npos)
        return OutputStatus::CannotCreate;
    earlier = earlier_file(name);
    // Text mode: every line feed is written as a carriage return and a line
    // feed; a compressed file (.mxl) is written as it is.
    bool archive = name.size() > 4 && name.compare(name.size() - 4, 4, ".mxl") == 0;
    std::FILE* file = std::fopen(name.c_str(), archive ? "wb" : "w");
    if (file == nullptr)
        return OutputStatus::CannotCreate;
    bool written = std::fwrite(text, 1, size, file) == size;
    written = std::fclose(file) == 0 && written;
    if (!written) {
        std::remove(name.c_str());  // no truncated file is left behind
        return OutputStatus::CannotWrite;
    }
    return OutputStatus::Written;
}

#else

namespace {

// One write, more only when the system takes the text in parts.
bool write_all(int fd, const char* bytes, size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

// One safe open (with one status query), one write and one close, with
// the permissions fopen(name, "w") gives, without a stream's buffer.
OutputStatus write_file(const std::string& name, const char* text, size_t size, WriteRun& run,
                        FileTime& earlier)
{
    int fd = open_replacing(name.c_str(), run, earlier);
    if (fd == kKeptFile)
        return OutputStatus::Kept;
    if (fd < 0)
        return OutputStatus::CannotCreate;
    bool written = write_all(fd, text, size);
    // After an interrupted close the descriptor is released all the same.
    written = (::close(fd) == 0 || errno == EINTR) && written;
    if (!written) {
        std::remove(name.c_str());  // no truncated file is left behind
        return OutputStatus::CannotWrite;
    }
    return OutputStatus::Written;
}

#endif

}  // namespace tav::detail
