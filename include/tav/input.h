// The bytes of an input stream, as every reader of records takes them: a
// gzip stream (by its first two bytes, 1F 8B; several members one after
// another, as `cat a.gz b.gz` makes) is decompressed as it is read, with
// zlib, so that a compressed export reads as the export itself.
//
//     tav::InputStream in(file);
//     char block[65536];
//     while (std::size_t n = in.read(block, sizeof block))
//         use(block, n);
//     if (in.failed())
//         report(in.failure());
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tav {

// How an InputStream reads its stream.
struct InputReading {
    // Decompress a gzip stream (false: its bytes as they are, as the 2005
    // program reads them).
    bool gunzip = true;
    // Read the stream's descriptor for what is there, rather than wait for
    // a whole block (POSIX systems; elsewhere blocks are read whole), so
    // that a peer that writes one record and waits for its document gets
    // it. The stream must have nothing buffered.
    bool as_ready = false;
    // With as_ready: called before a read that would wait for input, so
    // that what is done can be written out first.
    std::function<void()> before_wait;
    // With as_ready, on POSIX systems: a descriptor that turns readable
    // when reading should stop (the read end of a signal handler's pipe).
    // A read waits for the input or for it, and ends as a failed read when
    // it is readable, so that a stop asked for just before a read begins
    // is not lost. -1: none.
    int stop_fd = -1;
};

class InputStream {
public:
    // Reads `input` from where it stands; `already_read`, bytes taken from
    // it before (to see what it holds), come first.
    explicit InputStream(std::FILE* input, InputReading how = {},
                         std::string_view already_read = {});
    // Reads bytes held in memory (copied).
    explicit InputStream(std::string_view bytes, InputReading how = {});
    // Reads what `read` gives (a binding's file object): up to `size` bytes
    // into `to`, the count read, 0 at the end, negative when reading fails.
    using ReadFunction = std::function<std::int64_t(char* to, std::size_t size)>;
    explicit InputStream(ReadFunction read, InputReading how = {});
    ~InputStream();
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;

    // The size of its own reads: a read of at least this many bytes asked
    // when it holds none goes straight into the caller's buffer.
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 16;

    // Up to `size` bytes of the input (decompressed), at least one unless
    // the input is at its end or failed: 0 then.
    std::size_t read(char* to, std::size_t size);
    // Puts `bytes` back: the next reads give them first.
    void unread(std::string_view bytes);
    // The next bytes, not taken (after reading a block if none is held).
    std::string_view peek();
    // Whether a read would not wait (bytes are held, or the descriptor is
    // readable; always true where that cannot be told).
    bool ready() const;

    // Replaces InputReading::before_wait (empty: none), e.g. for a reader
    // on another thread than the one that set it.
    void set_before_wait(std::function<void()> before_wait);

    // Whether the input was gzip.
    bool compressed() const;
    // Whether a read failed, and why: the stream's error, a stop asked for,
    // or gzip data that is corrupt or ends early.
    bool failed() const;
    const std::string& failure() const;
    // Bytes taken from the stream so far (compressed ones, for gzip).
    std::uint64_t consumed() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tav
