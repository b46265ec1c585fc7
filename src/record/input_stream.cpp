// An input's bytes, gzip decompressed as they are read: see tav/input.h.

#include "tav/input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#ifndef _WIN32
#include <poll.h>
#include <unistd.h>
#endif

#ifdef TAV_HAVE_ZLIB
#include <zlib.h>
#endif

namespace tav {

struct InputStream::State {
    std::FILE* file = nullptr;
    ReadFunction function;
    std::string memory;
    std::size_t memory_pos = 0;
    InputReading how;

    // Raw bytes read and not yet used: those given as already read first.
    // Its block is made at the first read, so that a stream of bytes in
    // memory that is never read costs nothing.
    std::vector<char> raw;
    std::size_t raw_pos = 0, raw_len = 0;
    bool raw_end = false;
    std::uint64_t consumed = 0;

    std::string back;            // bytes put back, given before any other
    bool started = false;
    bool gzip = false;
    bool member_ended = false;   // a gzip member's end was read
    std::string failure;
#ifdef TAV_HAVE_ZLIB
    z_stream z{};
#endif

    ~State()
    {
#ifdef TAV_HAVE_ZLIB
        if (gzip)
            inflateEnd(&z);
#endif
    }

    void fail(std::string why)
    {
        if (failure.empty())
            failure = std::move(why);
        raw_end = true;
    }

    // Waits until the input or how.stop_fd is readable: false for the
    // latter, or when the wait fails.
    bool wait_for_input(int fd) const
    {
#ifndef _WIN32
        pollfd wait[2] = {{fd, POLLIN, 0}, {how.stop_fd, POLLIN, 0}};
        return ::poll(wait, 2, -1) > 0 && wait[1].revents == 0;
#else
        (void)fd;
        return true;
#endif
    }

    // The next raw block, into `raw`; false at the end (or a failure).
    bool read_raw()
    {
        if (raw.size() < kBlockBytes)
            raw.resize(kBlockBytes);
        raw_pos = 0;
        raw_len = read_block(raw.data());
        return raw_len > 0;
    }

    // The next raw block, at most kBlockBytes bytes, into `to`: its size, 0 at
    // the end (or a failure).
    std::size_t read_block(char* to)
    {
        if (raw_end)
            return 0;
        std::size_t got = 0;
        if (function) {
            std::int64_t n = function(to, kBlockBytes);
            if (n < 0) {
                fail("the input could not be read");
                return 0;
            }
            got = static_cast<std::size_t>(std::min<std::int64_t>(n, kBlockBytes));
        } else if (file == nullptr) {
            got = std::min(kBlockBytes, memory.size() - memory_pos);
            std::memcpy(to, memory.data() + memory_pos, got);
            memory_pos += got;
        }
#ifndef _WIN32
        else if (how.as_ready) {
            int fd = fileno(file);
            if (how.before_wait) {
                pollfd ready{fd, POLLIN, 0};
                if (::poll(&ready, 1, 0) == 0)
                    how.before_wait();
            }
            if (how.stop_fd >= 0 && !wait_for_input(fd)) {
                fail("reading was stopped");
                return 0;
            }
            ssize_t n = ::read(fd, to, kBlockBytes);
            if (n < 0) {
                // An interrupted read ends the input too: the run stops.
                fail(std::strerror(errno));
                return 0;
            }
            got = static_cast<std::size_t>(n);
        }
#endif
        else {
            got = std::fread(to, 1, kBlockBytes, file);
            if (got == 0 && std::ferror(file)) {
                fail(std::strerror(errno != 0 ? errno : EIO));
                return 0;
            }
        }
        consumed += got;
        raw_end = got == 0;
        return got;
    }

    // Plain bytes: what the raw block holds.
    std::size_t read_plain(char* to, std::size_t size)
    {
        if (raw_pos == raw_len && size >= kBlockBytes)
            return read_block(to);   // a whole block asked for: no copy
        if (raw_pos == raw_len && !read_raw())
            return 0;
        std::size_t n = std::min(size, raw_len - raw_pos);
        std::memcpy(to, raw.data() + raw_pos, n);
        raw_pos += n;
        return n;
    }

    std::size_t read_gzip(char* to, std::size_t size);

    // The first bytes tell whether the input is gzip.
    void start()
    {
        started = true;
        if (!how.gunzip)
            return;
        std::string held(raw.data() + raw_pos, raw_len - raw_pos);
        while (held.size() < 2 && read_raw())
            held.append(raw.data(), raw_len);
        if (held.size() > raw.size())
            raw.resize(held.size());
        if (!held.empty())
            std::memcpy(raw.data(), held.data(), held.size());
        raw_pos = 0;
        raw_len = held.size();
        if (raw_len - raw_pos < 2 || raw[raw_pos] != '\x1F' ||
            raw[raw_pos + 1] != '\x8B')
            return;
#ifdef TAV_HAVE_ZLIB
        gzip = true;
        if (inflateInit2(&z, 15 + 16) != Z_OK) {
            gzip = false;
            fail("cannot start reading gzip data");
        }
#else
        fail("this build reads no gzip (built without zlib)");
#endif
    }
};

#ifdef TAV_HAVE_ZLIB
std::size_t InputStream::State::read_gzip(char* to, std::size_t size)
{
    z.next_out = reinterpret_cast<Bytef*>(to);
    z.avail_out = static_cast<uInt>(std::min<std::size_t>(size, UINT32_MAX));
    const uInt room = z.avail_out;
    for (;;) {
        if (!member_ended) {
            // Output zlib holds comes first, before more input is read.
            z.next_in = reinterpret_cast<Bytef*>(raw.data() + raw_pos);
            z.avail_in = static_cast<uInt>(raw_len - raw_pos);
            int ret = inflate(&z, Z_NO_FLUSH);
            raw_pos = raw_len - z.avail_in;
            if (ret == Z_STREAM_END) {
                member_ended = true;
            } else if (ret != Z_OK && ret != Z_BUF_ERROR) {
                fail(std::string("the gzip data is corrupt: ") +
                     (z.msg != nullptr ? z.msg : "unknown"));
                break;
            }
            if (z.avail_out < room)
                break;
        }
        if (raw_pos == raw_len && !read_raw()) {
            if (!member_ended)
                fail("the gzip data ends early (a truncated file)");
            break;
        }
        if (member_ended) {
            // Another member follows the last one's end.
            inflateReset(&z);
            member_ended = false;
        }
    }
    return room - z.avail_out;
}
#else
std::size_t InputStream::State::read_gzip(char*, std::size_t)
{
    return 0;
}
#endif

InputStream::InputStream(std::FILE* input, InputReading how, std::string_view already_read)
    : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.file = input;
    s.how = std::move(how);
    if (already_read.size() > s.raw.size())
        s.raw.resize(already_read.size());
    if (!already_read.empty())
        std::memcpy(s.raw.data(), already_read.data(), already_read.size());
    s.raw_len = already_read.size();
    s.consumed = already_read.size();
    if (input == nullptr)
        s.fail("no input");
}

InputStream::InputStream(std::string_view bytes, InputReading how)
    : state_(std::make_unique<State>())
{
    state_->memory.assign(bytes);
    state_->how = std::move(how);
}

InputStream::InputStream(ReadFunction read, InputReading how) : state_(std::make_unique<State>())
{
    state_->function = std::move(read);
    state_->how = std::move(how);
}

InputStream::~InputStream() = default;

std::size_t InputStream::read(char* to, std::size_t size)
{
    State& s = *state_;
    if (size == 0)
        return 0;
    if (!s.back.empty()) {
        std::size_t n = std::min(size, s.back.size());
        std::memcpy(to, s.back.data(), n);
        s.back.erase(0, n);
        return n;
    }
    if (!s.started)
        s.start();
    if (!s.failure.empty())
        return 0;
    return s.gzip ? s.read_gzip(to, size) : s.read_plain(to, size);
}

void InputStream::unread(std::string_view bytes)
{
    state_->back.insert(0, bytes);
}

std::string_view InputStream::peek()
{
    State& s = *state_;
    if (s.back.empty()) {
        std::string block(kBlockBytes, '\0');
        block.resize(read(block.data(), block.size()));
        s.back = std::move(block);
    }
    return s.back;
}

bool InputStream::ready() const
{
    const State& s = *state_;
    if (!s.back.empty() || s.raw_pos < s.raw_len || s.file == nullptr || s.raw_end)
        return true;   // memory and functions give what they have at once
#ifdef _WIN32
    return true;
#else
    pollfd ready{fileno(s.file), POLLIN, 0};
    return ::poll(&ready, 1, 0) != 0;
#endif
}

void InputStream::set_before_wait(std::function<void()> before_wait)
{
    state_->how.before_wait = std::move(before_wait);
}

bool InputStream::compressed() const
{
    return state_->gzip;
}

bool InputStream::failed() const
{
    return !state_->failure.empty();
}

const std::string& InputStream::failure() const
{
    return state_->failure;
}

std::uint64_t InputStream::consumed() const
{
    return state_->consumed;
}

}  // namespace tav
