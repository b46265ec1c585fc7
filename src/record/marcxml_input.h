// The bytes of a MARCXML input as UTF-8, block by block: the document's
// encoding (its byte-order mark, else its declaration) is found in its first
// bytes and holds for the whole input, so that the XML parser, and the
// search for the next record after malformed XML, always read UTF-8.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tav::detail {

class XmlInput {
public:
    // From `input` as it stands, after `already_read` (its first bytes).
    // With `stop_fd` (POSIX systems), the stream's descriptor is read for
    // what is there, and a read that waits ends as a failed read once
    // `stop_fd` turns readable; the stream must have nothing buffered.
    XmlInput(std::FILE* input, std::string_view already_read, int stop_fd = -1);
    // From a document in memory (copied).
    explicit XmlInput(std::string_view document);
    ~XmlInput();
    XmlInput(const XmlInput&) = delete;
    XmlInput& operator=(const XmlInput&) = delete;

    // Appends the next block's UTF-8 to `out`; false when that was the
    // last (the end of the input, or input that cannot be read on). A byte sequence that is not of
    // the document's encoding becomes the byte 0xFF, which is never UTF-8,
    // so that the parser stops at it; undecodable() then tells what it was.
    bool read(std::string& out);

    // The encoding the input is decoded from; empty for UTF-8, which is
    // passed on as it is.
    const std::string& encoding() const { return encoding_; }
    // Why the input cannot be read (an encoding that is not known), empty
    // when it can.
    const std::string& refused() const { return refused_; }
    // The bytes of the last sequence that could not be decoded, as
    // "0x00 0xD8".
    const std::string& undecodable() const { return undecodable_; }

    bool read_failed() const { return read_error_; }
    std::uint64_t consumed() const { return consumed_; }

private:
    bool read_raw();
    std::size_t read_waiting(char* to, std::size_t size);
    void choose_encoding();
    void decode(bool final, std::string& out);

    std::FILE* file_ = nullptr;
    int stop_fd_ = -1;
    std::string memory_;
    std::size_t memory_pos_ = 0;
    std::string raw_;            // bytes read and not yet decoded
    bool started_ = false;
    bool declaration_done_ = false;
    bool end_ = false;
    bool read_error_ = false;
    std::uint64_t consumed_ = 0;
    std::string encoding_, refused_, undecodable_;
    void* converter_ = nullptr;  // the iconv descriptor, when decoding
};

}  // namespace tav::detail
