// A stream the run writes on a descriptor: the report, or the documents on
// standard output. Text is kept until a whole record's worth is there and
// then written in one go, retried when a signal interrupts it, so that the
// stream only ever ends after a whole record.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class OutStream {
public:
    OutStream() = default;
    // Writes to `fd` from now on; `owned`: closed by close().
    void open(int fd, bool owned)
    {
        fd_ = fd;
        owned_ = owned;
    }
    OutStream(const OutStream&) = delete;
    OutStream& operator=(const OutStream&) = delete;
    ~OutStream();

    bool active() const { return fd_ >= 0; }
    // Adds bytes; they are written once a record is complete (end_record).
    void add(std::string_view bytes) { buffer_.append(bytes); }
    // Adds a large block, written at once after what is held.
    void add_large(const char* bytes, std::size_t size);
    // A record is complete: written when enough is held.
    void end_record();
    // Writes everything held; false once any write has failed.
    bool flush();
    // Flushes and closes an owned descriptor; false once anything failed.
    bool close();

    bool failed() const { return error_ != 0; }
    // The reason of the first failure, for a message.
    std::string reason() const;

private:
    bool write_out(const char* bytes, std::size_t size);

    int fd_ = -1;
    bool owned_ = false;
    int error_ = 0;
    std::string buffer_;
};
