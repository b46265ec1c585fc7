// The bytes of a MARCXML input as UTF-8, block by block: the document's
// encoding (its byte-order mark, else its declaration) is found in its first
// bytes and holds for the whole input, so that the XML parser, and the
// search for the next record after malformed XML, always read UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <string_view>

#include "tav/input.h"

namespace tav::detail {

class XmlInput {
public:
    // The bytes asked of the input at a time: a whole block of its own.
    static constexpr std::size_t kBlockBytes = InputStream::kBlockBytes;

    explicit XmlInput(std::unique_ptr<InputStream> input) : input_(std::move(input)) {}
    ~XmlInput();
    XmlInput(const XmlInput&) = delete;
    XmlInput& operator=(const XmlInput&) = delete;

    // Appends the next block's UTF-8 to `out`; false when that was the
    // last (the end of the input, or input that cannot be read on). A byte sequence that is not of
    // the document's encoding becomes the byte 0xFF, which is never UTF-8,
    // so that the parser stops at it; undecodable() then tells what it was.
    bool read(std::string& out);
    // Has read() give `text` again first, read by read as `reads` (each
    // read's size, and what it returned) say, then go on with the input.
    void read_again(std::string text, std::vector<std::pair<std::size_t, bool>> reads);

    // The encoding the input is decoded from; empty for UTF-8, which is
    // passed on as it is.
    const std::string& encoding() const { return encoding_; }
    // Why the input cannot be read (an encoding that is not known), empty
    // when it can.
    const std::string& refused() const { return refused_; }
    // The bytes of the last sequence that could not be decoded, as
    // "0x00 0xD8".
    const std::string& undecodable() const { return undecodable_; }

    const InputStream& stream() const { return *input_; }

private:
    std::size_t read_block();
    bool read_raw();
    void choose_encoding();
    void decode(bool final, std::string& out);

    std::unique_ptr<InputStream> input_;
    std::unique_ptr<char[]> block_;   // the last block read
    std::string raw_;            // bytes read and not yet decoded
    bool started_ = false;
    bool declaration_done_ = false;
    bool end_ = false;
    std::string encoding_, refused_, undecodable_;
    void* converter_ = nullptr;  // the iconv descriptor, when decoding
    std::string again_;          // read_again()'s text, and its reads, last first
    std::vector<std::pair<std::size_t, bool>> again_reads_;
};

}  // namespace tav::detail
