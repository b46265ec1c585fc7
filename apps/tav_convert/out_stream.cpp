#include "out_stream.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// Held text is written once it passes this.
constexpr std::size_t kWriteAt = std::size_t{1} << 16;

}  // namespace

OutStream::~OutStream()
{
    close();
}

bool OutStream::write_out(const char* bytes, std::size_t size)
{
    while (size > 0 && error_ == 0) {
#ifdef _WIN32
        int n = ::_write(fd_, bytes, static_cast<unsigned>(size < (1u << 30) ? size : (1u << 30)));
#else
        ssize_t n = ::write(fd_, bytes, size);
#endif
        if (n < 0) {
            if (errno != EINTR)
                error_ = errno;
            continue;
        }
        if (n == 0) {
            error_ = EIO;
            break;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return error_ == 0;
}

void OutStream::add_large(const char* bytes, std::size_t size)
{
    if (size < kWriteAt) {
        buffer_.append(bytes, size);
        return;
    }
    flush();
    if (fd_ >= 0)
        write_out(bytes, size);
}

void OutStream::end_record()
{
    if (buffer_.size() >= kWriteAt)
        flush();
}

bool OutStream::flush()
{
    if (fd_ >= 0 && !buffer_.empty())
        write_out(buffer_.data(), buffer_.size());
    buffer_.clear();
    return error_ == 0;
}

bool OutStream::close()
{
    bool ok = flush();
    if (owned_ && fd_ >= 0) {
#ifdef _WIN32
        ok = ::_close(fd_) == 0 && ok;
#else
        if (::close(fd_) != 0 && errno != EINTR && error_ == 0) {
            error_ = errno;
            ok = false;
        }
#endif
    }
    fd_ = -1;
    return ok;
}

std::string OutStream::reason() const
{
    return std::strerror(error_ != 0 ? error_ : EIO);
}
