// C functions through which JavaScript drives a tav::Converter in the
// WebAssembly build. JavaScript writes the record into the input buffer,
// converts it, and reads the result from one table of 32-bit words that
// points at the texts in memory, so that no text is copied on the way out.

#include <cstdint>
#include <string>
#include <vector>

#include "tav/tav.h"

namespace {

// Bits of the `flags` argument.
constexpr int kRemoveMensural = 1;
constexpr int kRemoveMeasureRests = 2;

// The result table: a head, then one row per message.
//   head: status, document pointer, document length, file name pointer,
//         file name length, message count
//   row:  kind, text pointer, text length, position, byte
constexpr std::size_t kHeadWords = 6;
constexpr std::size_t kRowWords = 5;

// Status codes, in the order of the TypeScript declarations' names.
enum StatusCode : std::uint32_t {
    kConverted = 0,
    kFailed = 1,
    kTooLarge = 2,
    kLineTooLong = 3,
    kBlank = 4,
};

struct Glue {
    tav::Converter converter;
    std::string input;
    std::vector<std::uint32_t> table;
};

StatusCode status_code(tav::Status status)
{
    switch (status) {
    case tav::Status::Converted:
    case tav::Status::Written: return kConverted;
    case tav::Status::TooLarge: return kTooLarge;
    case tav::Status::LineTooLong: return kLineTooLong;
    case tav::Status::Blank: return kBlank;
    case tav::Status::Failed: break;
    }
    return kFailed;
}

std::uint32_t address(const void* pointer)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

tav::Options options_from(int flags)
{
    tav::Options options;
    options.remove_mensural = (flags & kRemoveMensural) != 0;
    options.remove_measure_rests = (flags & kRemoveMeasureRests) != 0;
    return options;
}

const std::uint32_t* describe(Glue& glue, const tav::Result& result)
{
    std::vector<std::uint32_t>& t = glue.table;
    t.clear();
    t.push_back(status_code(result.status));
    t.push_back(address(result.document.data()));
    t.push_back(static_cast<std::uint32_t>(result.document.size()));
    t.push_back(address(result.file_name.data()));
    t.push_back(static_cast<std::uint32_t>(result.file_name.size()));
    t.push_back(static_cast<std::uint32_t>(result.messages.size()));
    for (const tav::Message& m : result.messages) {
        t.push_back(m.kind == tav::MessageKind::Warning ? 0 : 1);
        t.push_back(address(m.text.data()));
        t.push_back(static_cast<std::uint32_t>(m.text.size()));
        // Lines longer than max_line_length are never read, so a position
        // fits in 32 bits; -1 stays -1.
        t.push_back(static_cast<std::uint32_t>(static_cast<std::int32_t>(m.position)));
        t.push_back(static_cast<std::uint32_t>(m.byte));
    }
    static_assert(kHeadWords == 6 && kRowWords == 5, "the table's layout is shared with tav.js");
    return t.data();
}

}  // namespace

extern "C" {

Glue* tav_glue_new()
{
    return new Glue;
}

void tav_glue_free(Glue* glue)
{
    delete glue;
}

// Room for `size` bytes of input; valid until the next call on `glue`.
char* tav_glue_input(Glue* glue, std::uint32_t size)
{
    glue->input.resize(size);
    return glue->input.data();
}

// Converts the first `size` bytes of the input buffer as one record line.
const std::uint32_t* tav_glue_convert(Glue* glue, std::uint32_t size, int flags)
{
    std::string_view line(glue->input.data(), size);
    return describe(*glue, glue->converter.convert(line, options_from(flags)));
}

// Converts the six fields held one after another in the input buffer.
const std::uint32_t* tav_glue_convert_fields(Glue* glue, std::uint32_t identifier,
                                             std::uint32_t number, std::uint32_t clef,
                                             std::uint32_t time, std::uint32_t time2,
                                             std::uint32_t music, int flags)
{
    const char* at = glue->input.data();
    auto next = [&at](std::uint32_t length) {
        std::string_view field(at, length);
        at += length;
        return field;
    };
    tav::Fields fields;
    fields.identifier = next(identifier);
    fields.number = next(number);
    fields.clef = next(clef);
    fields.time = next(time);
    fields.time2 = next(time2);
    fields.music = next(music);
    return describe(*glue, glue->converter.convert(fields, options_from(flags)));
}

// The longest line the converter reads, for the input's bound.
std::uint32_t tav_glue_max_line_length()
{
    return static_cast<std::uint32_t>(tav::max_line_length);
}

}  // extern "C"
