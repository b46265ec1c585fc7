// Reading and decoding a MARCXML input. UTF-8 (with or without its
// byte-order mark) is passed on untouched, for libxml2 to check; any other
// encoding is converted with iconv, the converter libxml2 itself uses for
// the encodings it has no code of its own for.

#include "record/xml_names.h"
#include "record/marcxml_input.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include <iconv.h>

namespace tav::detail {

namespace {

// How far into the input an XML declaration may reach.
constexpr std::size_t kDeclarationBytes = 1024;

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_name(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// Where the encoding an XML declaration at the start of `start` names is
// (its position and length); {npos, 0} when there is none.
std::pair<std::size_t, std::size_t> declared_encoding_at(std::string_view start)
{
    constexpr std::pair<std::size_t, std::size_t> none{std::string_view::npos, 0};
    if (start.substr(0, 5) != "<?xml")
        return none;
    std::string_view decl = start.substr(0, std::min(start.find("?>"), kDeclarationBytes));
    std::size_t at = decl.find("encoding");
    if (at == std::string_view::npos)
        return none;
    at += 8;
    while (at < decl.size() && is_xml_space(decl[at]))
        ++at;
    if (at >= decl.size() || decl[at] != '=')
        return none;
    ++at;
    while (at < decl.size() && is_xml_space(decl[at]))
        ++at;
    if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\''))
        return none;
    std::size_t end = decl.find(decl[at], at + 1);
    if (end == std::string_view::npos)
        return none;
    return {at + 1, end - at - 1};
}

std::string declared_encoding(std::string_view start)
{
    auto [at, size] = declared_encoding_at(start);
    return at == std::string_view::npos ? std::string() : std::string(start.substr(at, size));
}

std::string shown_bytes(const char* bytes, std::size_t n)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        auto u = static_cast<unsigned char>(bytes[i]);
        if (!out.empty())
            out += ' ';
        out += "0x";
        out += kHex[u >> 4];
        out += kHex[u & 15];
    }
    return out;
}

}  // namespace

XmlInput::~XmlInput()
{
    if (converter_ != nullptr)
        iconv_close(static_cast<iconv_t>(converter_));
}

// The next block of the input, in block_: its size, 0 at the end.
std::size_t XmlInput::read_block()
{
    if (end_)
        return 0;
    if (block_ == nullptr)
        block_ = std::make_unique_for_overwrite<char[]>(kBlockBytes);
    const std::size_t n = input_->read(block_.get(), kBlockBytes);
    end_ = n == 0;
    return n;
}

bool XmlInput::read_raw()
{
    const std::size_t n = read_block();
    raw_.append(block_.get(), n);
    return n > 0;
}

// The byte-order mark, or the first bytes of "<?" in UTF-16, or the
// declaration; UTF-8 when none says otherwise.
void XmlInput::choose_encoding()
{
    std::string_view s = raw_;
    std::string name;
    if (s.substr(0, 2) == "\xFF\xFE" || s.substr(0, 4) == std::string_view("<\0?\0", 4)) {
        name = "UTF-16LE";
    } else if (s.substr(0, 2) == "\xFE\xFF" || s.substr(0, 4) == std::string_view("\0<\0?", 4)) {
        name = "UTF-16BE";
    } else if (s.substr(0, 3) != "\xEF\xBB\xBF") {
        name = declared_encoding(s);
        // A document declared UTF-16 in single bytes is read as UTF-8, as
        // libxml2 reads it.
        if (same_name(name, "UTF-8") || same_name(name, "UTF8") || same_name(name, "UTF-16") ||
            same_name(name, "US-ASCII") || same_name(name, "ASCII"))
            name.clear();
    }
    if (name.empty())
        return;
    if (name.size() == 8 && (s.substr(0, 2) == "\xFF\xFE" || s.substr(0, 2) == "\xFE\xFF"))
        raw_.erase(0, 2);
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        refused_ = "Unsupported encoding " + name;
        return;
    }
    converter_ = cd;
    encoding_ = name;
}

void XmlInput::decode(bool final, std::string& out)
{
    auto cd = static_cast<iconv_t>(converter_);
    // A unit of the encoding: what a sequence that cannot be decoded gives up.
    const std::size_t unit = encoding_.compare(0, 6, "UTF-16") == 0 ? 2 : 1;
    std::size_t done = 0;
    while (done < raw_.size()) {
        std::size_t before = out.size();
        std::size_t left = raw_.size() - done;
        out.resize(before + 4 * left + 16);
        char* in = raw_.data() + done;
        char* to = out.data() + before;
        std::size_t room = out.size() - before;
        std::size_t result = iconv(cd, &in, &left, &to, &room);
        int error = errno;
        out.resize(static_cast<std::size_t>(to - out.data()));
        done = static_cast<std::size_t>(in - raw_.data());
        if (result != static_cast<std::size_t>(-1))
            continue;
        if (error == E2BIG)
            continue;
        if (error == EINVAL && !final)
            break;   // a sequence that goes on in the next block
        std::size_t bad = std::min(raw_.size() - done, error == EINVAL ? raw_.size() - done : unit);
        if (undecodable_.empty())
            undecodable_ = shown_bytes(raw_.data() + done, std::min<std::size_t>(bad, 4));
        out += '\xFF';
        done += bad;
    }
    raw_.erase(0, done);
}

void XmlInput::read_again(std::string text, std::vector<std::pair<std::size_t, bool>> reads)
{
    again_ = std::move(text);
    again_reads_.assign(reads.rbegin(), reads.rend());
}

bool XmlInput::read(std::string& out)
{
    if (!again_reads_.empty()) {
        auto [size, more] = again_reads_.back();
        again_reads_.pop_back();
        out.append(again_, 0, size);
        again_.erase(0, size);
        return more;
    }
    if (started_ && converter_ == nullptr) {
        // UTF-8, as it is: straight from the block read.
        const std::size_t n = read_block();
        out.append(block_.get(), n);
        return n > 0;
    }
    bool more = read_raw();
    if (!started_) {
        started_ = true;
        while (more && raw_.size() < kDeclarationBytes)
            more = read_raw();
        choose_encoding();
        if (!refused_.empty()) {
            end_ = true;
            raw_.clear();
            return false;
        }
    }
    if (converter_ == nullptr) {
        out += raw_;
        raw_.clear();
        return more;
    }
    std::size_t before = out.size();
    decode(!more, out);
    if (!declaration_done_) {
        // The decoded text is UTF-8, and its declaration says so now.
        declaration_done_ = true;
        auto [at, size] = declared_encoding_at(std::string_view(out).substr(before));
        if (at != std::string_view::npos)
            out.replace(before + at, size, "UTF-8");
    }
    return more;
}

}  // namespace tav::detail
