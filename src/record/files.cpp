// A result's document written to its file, and the log that starts a run
// of such writes.

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include "parser/report.h"
#include "tav/batch.h"
#include "writer/output.h"
#include "writer/replace_file.h"

namespace tav {

using namespace detail;

namespace {

// The record fails with the error `code`.
Status failed(Result& result, MessageCode code, std::initializer_list<std::string_view> values)
{
    result.messages.push_back(shown_message(code, values));
    result.status = Status::Failed;
    return result.status;
}

}  // namespace

Status write_file(Result& result, std::string_view directory, WriteRun* run)
{
    if (result.status != Status::Converted)
        return result.status;
    std::string path(directory);
    if (!path.empty() && path.back() != '/'
#ifdef _WIN32
        && path.back() != '\\'
#endif
    )
        path += '/';
    path += result.file_name;
    WriteRun single;
    WriteRun& writes = run != nullptr ? *run : single;
    FileTime earlier = kNoFileTime;
    // A zero byte would end the path early, somewhere else.
    if (path.find('\0') != std::string::npos)
        return failed(result, MessageCode::CannotCreateFile, {result.file_name});
    OutputStatus status =
        detail::write_file(path, result.document.data(), result.document.size(), writes, earlier);
    // A folder that is not there yet is made, and the write tried again.
    if (status == OutputStatus::CannotCreate && !directory.empty()) {
        std::error_code ec;
        std::filesystem::path folder(directory);
        if (!std::filesystem::is_directory(folder, ec)) {
            std::filesystem::create_directories(folder, ec);
            if (ec)
                return failed(result, MessageCode::CannotCreateFolder,
                              {directory, result.file_name, ec.message()});
            status = detail::write_file(path, result.document.data(), result.document.size(),
                                        writes, earlier);
        }
    }
    // A file dated after this write (its clock set wrong, or copied with its
    // date) was not written by this run either.
    if (earlier >= writes.start && earlier <= file_clock_now(path))
        result.messages.push_back(shown_message(MessageCode::WrittenTwice, {result.file_name}));
    if (status == OutputStatus::Written) {
        result.status = Status::Written;
        return result.status;
    }
    if (status == OutputStatus::Kept) {
        result.status = Status::Failed;
        return result.status;
    }
    return failed(result,
                  status == OutputStatus::CannotCreate ? MessageCode::CannotCreateFile
                                                       : MessageCode::CannotWriteFile,
                  {result.file_name});
}

#ifdef _WIN32

std::FILE* open_run_log(const std::string& path, WriteRun& run)
{
    run.start = kNoRunStart;
    std::FILE* log = std::fopen(path.c_str(), "w");
    struct _stat64 info;
    if (log != nullptr && _fstat64(_fileno(log), &info) == 0)
        run.start = static_cast<FileTime>(info.st_mtime) * 1000000000;
    return log;
}

#else

std::FILE* open_run_log(const std::string& path, WriteRun& run)
{
    run.start = kNoRunStart;
    FileTime earlier;
    int fd = open_replacing(path.c_str(), run, earlier);
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

}  // namespace tav
