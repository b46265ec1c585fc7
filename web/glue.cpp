// C functions through which JavaScript drives a tav::Converter in the
// WebAssembly build. JavaScript writes the record into the input buffer,
// converts it, and reads the result from one table of 32-bit words that
// points at the texts in memory, so that no text is copied on the way out.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tav/batch.h"
#include "tav/formats.h"
#include "tav/input.h"
#include "tav/readers.h"
#include "tav/shared_options.h"
#include "tav/tav.h"
#include "writer/mxl.h"
#include "writer/xml_text.h"

namespace {

// Bits of the `flags` argument.
constexpr int kRemoveMensural = 1;
constexpr int kRemoveMeasureRests = 2;
// Also read the melody: the table gives its keys as JSON.
constexpr int kMelody = 4;
// The caller zips the document into a compressed file (.mxl): the table
// also gives the archive's container.xml and mimetype texts.
constexpr int kCompress = 8;
// The format written: its index in tav::formats(), in the bits from here up.
constexpr int kFormatShift = 16;

// The result table: a head, then one row per message. Texts are given as
// a pointer and a length.
// The names of statuses and kinds are the library's.
//   head: status name, converted (1) or not (0), document, file name,
//         identifier, number, message count, container.xml, mimetype,
//         the melodic keys (the members of a JSON object; empty unless
//         asked for and converted)
//   row:  kind name, text, position, byte, code
constexpr std::size_t kHeadWords = 17;
constexpr std::size_t kRowWords = 8;

// The fields a record line has between its TABs.
constexpr std::uint64_t kFieldCount = 6;

// The table of a reading: a head, then one row per item (an incipit, or
// the reader's message). Texts are given as a pointer and a length.
//   head: row count, the input could not be read to its end (1) or not
//         (0), why, fields passed over for want of music (-1: none such)
//   row:  kind (kIncipit, kWarning, kError, kIncipitWarning), line,
//         occurrence, then for an incipit its identifier, number, clef,
//         time, second time, key and music; for a message its text and code
//         and five empty texts. An incipit's own warnings (about the texts
//         it is made of) stand in the rows before it.
constexpr std::size_t kReadHeadWords = 5;
constexpr std::size_t kItemWords = 17;
constexpr std::uint32_t kIncipit = 0;
constexpr std::uint32_t kWarning = 1;
constexpr std::uint32_t kError = 2;
constexpr std::uint32_t kIncipitWarning = 3;

struct Glue {
    tav::Converter converter;
    std::string input;
    std::vector<std::uint32_t> table;
    std::vector<std::uint32_t> lengths;   // of the texts tav_glue_convert_fields reads
    std::string container;
    std::string keys;                     // the last result's melodic keys
    std::vector<tav::MarcxmlItem> items;  // the last reading's, which its table shows
    std::string failure;
    std::vector<tav::SharedOption> shared_options;  // what tav_glue_shared_options shows
};

std::uint32_t address(const void* pointer)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

void push_text(std::vector<std::uint32_t>& t, std::string_view text)
{
    t.push_back(address(text.data()));
    t.push_back(static_cast<std::uint32_t>(text.size()));
}

tav::Options options_from(int flags)
{
    tav::Options options;
    options.remove_mensural = (flags & kRemoveMensural) != 0;
    options.remove_measure_rests = (flags & kRemoveMeasureRests) != 0;
    options.melody = (flags & kMelody) != 0;
    const auto index = static_cast<std::size_t>(flags >> kFormatShift);
    options.format = index < tav::formats().size() ? &tav::formats()[index] : nullptr;
    return options;
}

// The result's table. This build has no zlib: with kCompress the record is
// converted to the plain document, and the caller zips it with the texts
// the table adds.
const std::uint32_t* describe(Glue& glue, const tav::Result& result, int flags)
{
    std::vector<std::uint32_t>& t = glue.table;
    t.clear();
    push_text(t, tav::status_name(result.status));
    t.push_back(result.status == tav::Status::Converted ? 1 : 0);
    push_text(t, result.document);
    // Only a document has a file: a caller that writes `data` under
    // `fileName` unchecked then writes nothing for a failed record.
    push_text(t, result.ok() ? std::string_view(result.file_name) : std::string_view());
    t.push_back(static_cast<std::uint32_t>(result.identifier));
    push_text(t, result.number);
    t.push_back(static_cast<std::uint32_t>(result.messages.size()));
    // The archive's document keeps the plain file name ("ID-NUMBER.xml").
    const bool zipped = (flags & kCompress) != 0 && result.ok();
    glue.container = zipped ? tav::detail::mxl_container_xml(tav::detail::utf8_or_latin1(result.file_name)) : std::string();
    push_text(t, glue.container);
    push_text(t, zipped ? tav::formats()[static_cast<std::size_t>(flags >> kFormatShift)]
                           .compressed_media_type
                     : std::string_view());
    glue.keys.clear();
    if ((flags & kMelody) != 0 && result.ok())
        tav::append_keys_json(glue.keys, result.melody);
    push_text(t, glue.keys);
    for (const tav::Message& m : result.messages) {
        push_text(t, tav::kind_name(m.kind));
        push_text(t, m.text);
        // Lines longer than max_line_length are never read, so a position
        // fits in 32 bits; -1 stays -1.
        t.push_back(static_cast<std::uint32_t>(static_cast<std::int32_t>(m.position)));
        t.push_back(static_cast<std::uint32_t>(m.byte));
        push_text(t, m.code);  // static: it outlives the table
    }
    static_assert(kHeadWords == 17 && kRowWords == 8, "the table's layout is shared with tav.js");
    return t.data();
}

std::uint32_t item_kind(tav::MarcxmlItem::Kind kind)
{
    switch (kind) {
    case tav::MarcxmlItem::Kind::Incipit: return kIncipit;
    case tav::MarcxmlItem::Kind::Warning: return kWarning;
    case tav::MarcxmlItem::Kind::Error: return kError;
    }
    return kError;
}

// A message's row: its kind, where it is, its text and code.
void push_message(std::vector<std::uint32_t>& t, std::uint32_t kind,
                  const tav::MarcxmlItem& item, const tav::Message& message)
{
    t.insert(t.end(), {kind, static_cast<std::uint32_t>(item.line),
                       static_cast<std::uint32_t>(item.occurrence)});
    push_text(t, message.text);
    push_text(t, message.code);  // static: it outlives the table
    for (int i = 0; i < 5; ++i)
        push_text(t, {});
}

void push_item(std::vector<std::uint32_t>& t, const tav::MarcxmlItem& item)
{
    if (item.kind != tav::MarcxmlItem::Kind::Incipit)
        return push_message(t, item_kind(item.kind), item, item.message);
    for (const tav::Message& warning : item.warnings)
        push_message(t, kIncipitWarning, item, warning);
    t.insert(t.end(), {kIncipit, static_cast<std::uint32_t>(item.line),
                       static_cast<std::uint32_t>(item.occurrence)});
    const tav::Record& r = item.record;
    for (const std::string* field : {&r.identifier, &r.number, &r.clef, &r.time, &r.time2, &r.key,
                                      &r.music})
        push_text(t, *field);
}

// The texts tav_glue_convert_fields reads, in its order: the record's
// five header fields, a key signature kept apart from the music (empty:
// none) and the music; the description's texts; its source's texts (none
// but empty ones: no source), the creators as "ROLE\x1FNAME\x1E" each; and
// the template of the link to the record.
enum Text : std::uint32_t {
    kIdentifier, kNumber, kClef, kTime, kTime2, kKey, kMusic,
    kComposer, kWorkTitle, kMovementTitle, kPartName, kTextIncipit, kKeyOrMode, kRole, kNote,
    kMovementNumber,
    kControlNumber, kSiglum, kShelfmark, kComposerDates, kWorkNumber, kScoring, kSourceTitle,
    kDate, kCreators,
    kRecordUri, kTextCount
};

// A source from its texts; null when every one is empty.
std::shared_ptr<const tav::SourceDescription> source_of(std::vector<std::string>& t)
{
    bool any = false;
    for (std::uint32_t k = kControlNumber; k <= kCreators; ++k)
        any = any || !t[k].empty();
    if (!any)
        return nullptr;
    auto s = std::make_shared<tav::SourceDescription>();
    for (auto [field, k] : {std::pair{&s->control_number, kControlNumber}, {&s->siglum, kSiglum},
                            {&s->shelfmark, kShelfmark}, {&s->composer_dates, kComposerDates},
                            {&s->work_number, kWorkNumber}, {&s->scoring, kScoring},
                            {&s->source_title, kSourceTitle}, {&s->date, kDate}})
        *field = std::move(t[k]);
    std::string_view creators = t[kCreators];
    for (std::size_t end; (end = creators.find('\x1E')) != std::string_view::npos;
         creators.remove_prefix(end + 1)) {
        std::string_view c = creators.substr(0, end);
        std::size_t unit = std::min(c.find('\x1F'), c.size());
        s->creators.push_back({std::string(c.substr(0, unit)),
                               std::string(c.substr(std::min(unit + 1, c.size())))});
    }
    return s;
}

tav::Description description_of(std::vector<std::string>& t)
{
    tav::Description d;
    d.composer = std::move(t[kComposer]);
    d.work_title = std::move(t[kWorkTitle]);
    for (auto [field, k] : {std::pair{&d.movement_title, kMovementTitle}, {&d.part_name, kPartName},
                            {&d.text_incipit, kTextIncipit}, {&d.key_or_mode, kKeyOrMode},
                            {&d.role, kRole}, {&d.note, kNote},
                            {&d.movement_number, kMovementNumber}})
        *field = std::move(t[k]);
    d.source = source_of(t);
    return d;
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
    return describe(*glue, glue->converter.convert(line, options_from(flags)), flags);
}

// Room for the lengths of the texts tav_glue_convert_fields reads (their
// count: tav_glue_text_count()); valid until the next call on `glue`.
std::uint32_t* tav_glue_lengths(Glue* glue)
{
    glue->lengths.assign(kTextCount, 0);
    return glue->lengths.data();
}

std::uint32_t tav_glue_text_count()
{
    return kTextCount;
}

// Converts the record's texts held one after another in the input buffer,
// of the lengths tav_glue_lengths holds. Fields whose line would be longer
// than max_line_length are not read, as such a line is not, and lengths
// past the buffer are refused the same way.
const std::uint32_t* tav_glue_convert_fields(Glue* glue, int flags)
{
    const std::vector<std::uint32_t>& n = glue->lengths;
    std::uint64_t line = 0, total = 0;
    for (std::uint32_t k = 0; k < kTextCount && k < n.size(); ++k)
        (k <= kMusic ? line : total) += n[k];
    total += line;
    if (n.size() != kTextCount || total > glue->input.size() ||
        line + (kFieldCount - 1) > tav::max_line_length)
        return describe(*glue, tav::line_too_long(glue->converter), flags);
    std::vector<std::string> t;
    const char* at = glue->input.data();
    for (std::uint32_t length : n) {
        t.emplace_back(at, length);
        at += length;
    }
    tav::Record record;
    for (auto [field, k] : {std::pair{&record.identifier, kIdentifier}, {&record.number, kNumber},
                            {&record.clef, kClef}, {&record.time, kTime}, {&record.time2, kTime2},
                            {&record.key, kKey}, {&record.music, kMusic}})
        *field = std::move(t[k]);
    record.description = description_of(t);
    tav::Options options = options_from(flags);
    options.record_uri = std::move(t[kRecordUri]);
    return describe(*glue, glue->converter.convert(record, options), flags);
}

// The table of formats: its row count, then eight texts of each row (a
// pointer and a length each): name, family, version, suffix, media type,
// description, compressed suffix, compressed media type.
const std::uint32_t* tav_glue_formats(Glue* glue)
{
    std::vector<std::uint32_t>& t = glue->table;
    t.assign(1, static_cast<std::uint32_t>(tav::formats().size()));
    for (const tav::OutputFormat& f : tav::formats())
        for (std::string_view text : {f.name, f.family, f.version, f.suffix, f.media_type,
                                      f.description, f.compressed_suffix,
                                      f.compressed_media_type})
            push_text(t, text);
    return t.data();
}

// The table of input forms: its row count, then three texts of each row (a
// pointer and a length each): name, description, how it is recognised.
const std::uint32_t* tav_glue_input_forms(Glue* glue)
{
    std::vector<std::uint32_t>& t = glue->table;
    t.assign(1, static_cast<std::uint32_t>(tav::input_forms().size()));
    for (const tav::InputForm& f : tav::input_forms())
        for (std::string_view text : {f.name, f.description, f.recognised})
            push_text(t, text);
    return t.data();
}

// The options the front ends share: the row count, then five texts of each
// row: name, value, choices, default, help.
const std::uint32_t* tav_glue_shared_options(Glue* glue)
{
    glue->shared_options = tav::shared_options();
    std::vector<std::uint32_t>& t = glue->table;
    t.assign(1, static_cast<std::uint32_t>(glue->shared_options.size()));
    for (const tav::SharedOption& o : glue->shared_options)
        for (const std::string* text : {&o.name, &o.value, &o.choices, &o.default_value, &o.help})
            push_text(t, *text);
    return t.data();
}

// The index of the input form the first `size` bytes of the input buffer
// start (the record lines when no other form takes them).
std::uint32_t tav_glue_recognise(Glue* glue, std::uint32_t size)
{
    const tav::InputForm& form =
        tav::recognise_input_form(std::string_view(glue->input.data(), size));
    return static_cast<std::uint32_t>(&form - tav::input_forms().data());
}

// Reads the first `size` bytes of the input buffer (gzip or not) with the
// reader of input form `form`; null for a form that has none (the record
// lines, which the caller reads line by line) or no such form.
const std::uint32_t* tav_glue_read(Glue* glue, std::uint32_t form, std::uint32_t size)
{
    const auto forms = tav::input_forms();
    if (form >= forms.size() || forms[form].open == nullptr || size > glue->input.size())
        return nullptr;
    auto source = forms[form].open(std::make_unique<tav::InputStream>(
        std::string_view(glue->input.data(), size)));
    glue->items.clear();
    for (tav::MarcxmlItem item; source->next(item);)
        glue->items.push_back(std::move(item));
    glue->failure = source->read_failed() ? source->failure() : std::string();
    std::vector<std::uint32_t>& t = glue->table;
    t.assign({0, source->read_failed() ? 1u : 0u});
    push_text(t, glue->failure);
    t.push_back(static_cast<std::uint32_t>(static_cast<std::int32_t>(source->without_music())));
    for (const tav::MarcxmlItem& item : glue->items)
        push_item(t, item);
    t[0] = static_cast<std::uint32_t>((t.size() - kReadHeadWords) / kItemWords);
    static_assert(kReadHeadWords == 5 && kItemWords == 17, "the table's layout is shared with tav.js");
    return t.data();
}

// The longest line the converter reads, for the input's bound.
std::uint32_t tav_glue_max_line_length()
{
    return static_cast<std::uint32_t>(tav::max_line_length);
}

}  // extern "C"
