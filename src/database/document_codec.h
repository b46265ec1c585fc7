// How the database holds a document: raw deflate (RFC 1951, no zlib or gzip
// header) with a preset dictionary, the text typical of the run's
// documents, stored once in the database. Any zlib reads one back:
//
//     Python   zlib.decompressobj(wbits=-15, zdict=dictionary).decompress(blob)
//     Node     zlib.inflateRawSync(blob, { dictionary })
//     C        inflateInit2(&z, -15); inflateSetDictionary(&z, dict, size); inflate(...)
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace tav::db {

// The dictionary is made of a database's first documents, this many bytes
// of them (more compress better, and cost more time for every document),
// this many of them the start of the first.
inline constexpr std::size_t kDictionaryBytes = 8192;
inline constexpr std::size_t kDictionaryHeadBytes = 2048;
// The window, zlib's largest, which every reader takes.
inline constexpr int kWindowBits = 15;

// One compressor, reused from document to document (not shared between
// threads).
class DocumentDeflater {
public:
    explicit DocumentDeflater(std::string dictionary);
    ~DocumentDeflater();
    DocumentDeflater(const DocumentDeflater&) = delete;
    DocumentDeflater& operator=(const DocumentDeflater&) = delete;

    // `document` compressed into `out`; false when the deflater fails.
    bool deflate(std::string_view document, std::string& out);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// `blob` read back into `document`; false when it is not a document
// compressed with `dictionary`.
bool inflate_document(std::string_view blob, std::string_view dictionary, std::string& document);

}  // namespace tav::db
