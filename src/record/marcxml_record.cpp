// Gathering a MARC record: the control number (001), the composer (100 $a
// $d), the titles (240 $a, 245 $a), what describes the source (240 $n $m,
// 260 $c, 383 $b, 594 $b, 700 $a $4, 852 $a $c) and each incipit field
// (031) with its subfields, read as text only while a subfield of interest
// is open.

#include "record/xml_names.h"
#include "record/marcxml_record.h"

#include <climits>

#include "record/record_reader.h"

namespace tav::detail {

namespace {

constexpr std::size_t kMaxIdentifierDigits = 10;

bool valid_identifier(const std::string& id)
{
    if (id.empty() || id.size() > kMaxIdentifierDigits)
        return false;
    long long value = 0;
    for (char c : id) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return value <= INT32_MAX;
}

// A tag of three bytes as one number, for a switch.
constexpr std::uint32_t tag_code(std::string_view tag)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(tag[0])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(tag[1])) << 8 |
           static_cast<unsigned char>(tag[2]);
}

}  // namespace

// The field of interest a tag names: asked of every field.
RecordGatherer::Field RecordGatherer::field_of(std::string_view tag)
{
    if (tag.size() != 3)
        return Field::None;
    switch (tag_code(tag)) {
    case tag_code("031"): return Field::Incipit;
    case tag_code("100"): return Field::Composer;
    case tag_code("240"): return Field::UniformTitle;
    case tag_code("245"): return Field::Title;
    case tag_code("260"): return Field::Imprint;
    case tag_code("383"): return Field::Subject;
    case tag_code("594"): return Field::Scoring;
    case tag_code("700"): return Field::Person;
    case tag_code("852"): return Field::Location;
    default: return Field::None;
    }
}

MarcElement marc_element(std::string_view local, bool marc)
{
    // By the name's length first: this is asked of every element read.
    auto named = [&](std::string_view name, MarcElement element) {
        return local == name ? element : MarcElement::Other;
    };
    if (!marc)
        return MarcElement::Other;
    switch (local.size()) {
    case 6: return named("record", MarcElement::Record);
    case 8: return named("subfield", MarcElement::Subfield);
    case 9: return named("datafield", MarcElement::Datafield);
    case 12: return named("controlfield", MarcElement::Controlfield);
    default: return MarcElement::Other;
    }
}

std::string RecordGatherer::Where::text() const
{
    std::string out(tag);
    if (occurrence > 0)
        out += " #" + std::to_string(occurrence);
    if (code != 0)
        out.append(" $").append(1, code);
    return out;
}

void RecordGatherer::error(std::string control_number, std::int64_t line, Message message)
{
    MarcxmlItem& item = ready_.emplace_back();
    item.kind = MarcxmlItem::Kind::Error;
    item.control_number = std::move(control_number);
    item.line = line;
    item.message = std::move(message);
    ++counts_.errors;
}

// Nothing of the previous record is kept but the storage of its texts.
void RecordGatherer::open_record(std::int64_t line)
{
    in_record_ = true;
    line_ = line;
    for (Value* v : {&control_number_, &composer_, &uniform_title_, &title_})
        v->clear();
    for (Value* v : source_.texts())
        v->clear();
    source_.persons.clear();
    fields_.clear();
    markup_.clear();
    bytes_ = 0;
    too_large_ = false;
    ++counts_.records;
}

void RecordGatherer::start_element(MarcElement element, std::string_view key, std::int64_t line)
{
    if (element == MarcElement::Record) {
        if (in_record_) {
            std::string id = abandon();
            error(id, line_,
                  make_message(MessageCode::RecordNotClosed, {std::to_string(counts_.records)}));
            ++unclosed_;
        }
        open_record(line);
        return;
    }
    if (!in_record_)
        return;
    if (target_ != nullptr) {
        // Markup inside a subfield: its text is kept, the element is not.
        if (markup_depth_++ == 0) {
            std::string where = target_where_.text();
            if (markup_.empty() || markup_.back() != where)
                markup_.push_back(std::move(where));
        }
        return;
    }
    switch (element) {
    case MarcElement::Controlfield:
        field_ = key == "001" ? Field::Control001 : Field::None;
        if (field_ == Field::Control001)
            gather(control_number_, false, {"001"});
        return;
    case MarcElement::Datafield: datafield(key, line); return;
    case MarcElement::Subfield:
        // Most subfields are of fields passed by.
        if (key.size() == 1 && field_ != Field::None)
            subfield(key[0]);
        return;
    default: return;
    }
}

// A field starts: the fields of interest are the incipits (031), the
// composer (100), the titles (240, 245), the persons (700), the work's
// number (383), the date (260), the scoring (594) and the location (852).
void RecordGatherer::datafield(std::string_view tag, std::int64_t line)
{
    field_ = field_of(tag);
    if (field_ != Field::Incipit && field_ != Field::Person)
        return;
    // What kBytesWithinLimit rests on: a field's shortest start tag.
    constexpr std::size_t kShortestTag = sizeof "<datafield tag=\"031\">" - 1;
    static_assert(sizeof(Incipit031) < 64 * kShortestTag && sizeof(Person700) < 64 * kShortestTag);
    bytes_ += field_ == Field::Incipit ? sizeof(Incipit031) : sizeof(Person700);
    if (bytes_ > kMaxRecordBytes) {
        too_large_ = true;
        field_ = Field::None;
    } else if (field_ == Field::Person) {
        source_.persons.emplace_back();
    } else {
        fields_.emplace_back();
        fields_.back().line = line;
    }
}

// Starts gathering `value`: the first occurrence, or every one joined by
// `joint` when `repeats`.
void RecordGatherer::gather(Value& value, bool repeats, Where where, std::string_view joint)
{
    if (value.seen && !repeats)
        return;
    if (value.seen)
        value.text += joint;
    value.seen = true;
    target_ = &value;
    target_where_ = where;
}

// A subfield of a field that describes the whole record; false for one
// of an incipit field.
bool RecordGatherer::record_subfield(char code)
{
    SourceFields& s = source_;
    auto at = [&](std::string_view tag, char wanted, Value& value, bool repeats = false,
                  std::string_view joint = "; ") {
        if (code == wanted)
            gather(value, repeats, {tag, 0, code}, joint);
    };
    switch (field_) {
    case Field::Composer: at("100", 'a', composer_); at("100", 'd', s.composer_dates); break;
    case Field::UniformTitle:
        at("240", 'a', uniform_title_);
        at("240", 'n', s.uniform_number);
        at("240", 'm', s.uniform_scoring);
        break;
    case Field::Title: at("245", 'a', title_); break;
    case Field::Person:
        at("700", 'a', s.persons.back().name);
        at("700", '4', s.persons.back().relator, true, " ");
        break;
    case Field::Subject: at("383", 'b', s.subject_number); break;
    case Field::Imprint: at("260", 'c', s.date); break;
    case Field::Scoring: at("594", 'b', s.scoring, true, ", "); break;
    case Field::Location: at("852", 'a', s.siglum); at("852", 'c', s.shelfmark); break;
    case Field::Incipit: return false;
    default: break;
    }
    return true;
}

void RecordGatherer::subfield(char code)
{
    if (record_subfield(code) || fields_.empty())
        return;
    Incipit031& f = fields_.back();
    const Where where{"031", fields_.size(), code};
    switch (code) {
    case 'a': gather(f.a, false, where); break;
    case 'b': gather(f.b, false, where); break;
    case 'c': gather(f.c, false, where); break;
    case 'd': gather(f.d, true, where); break;
    case 'e': gather(f.e, true, where); break;
    case 'g': gather(f.g, false, where); break;
    case 'm': gather(f.m, true, where); break;
    case 'n': gather(f.n, false, where); break;
    case 'o': gather(f.o, false, where); break;
    case 'p': gather(f.p, false, where); break;
    case 'q': gather(f.q, true, where); break;
    case 'r': gather(f.r, true, where); break;
    case 't': gather(f.t, true, where); break;
    case '2': gather(f.system, false, where); break;
    default: break;
    }
}

void RecordGatherer::end_element(MarcElement element)
{
    if (!in_record_) {
        if (element == MarcElement::Record && unclosed_ > 0)
            --unclosed_;   // the end of a record already reported
        return;
    }
    if (markup_depth_ > 0) {
        --markup_depth_;
        return;
    }
    switch (element) {
    case MarcElement::Subfield:
    case MarcElement::Controlfield: target_ = nullptr; return;
    case MarcElement::Datafield:
        target_ = nullptr;
        field_ = Field::None;
        return;
    case MarcElement::Record:
        target_ = nullptr;
        field_ = Field::None;
        in_record_ = false;
        finish_record();
        return;
    default: return;
    }
}

// Text counts only while a subfield of interest is gathered; the rest of
// the record's text (other fields, the white space between elements) is
// passed by.
void RecordGatherer::text(const char* text, std::size_t length)
{
    if (target_ == nullptr)
        return;
    bytes_ += length;
    if (bytes_ > kMaxRecordBytes) {
        too_large_ = true;
        return;
    }
    target_->text.append(text, length);
}

std::string RecordGatherer::abandon()
{
    std::string id = control_number_.text;
    trim(id);
    in_record_ = false;
    target_ = nullptr;
    field_ = Field::None;
    markup_depth_ = 0;
    fields_.clear();
    return id;
}

// A record closed: an error when it cannot be read as a whole, else each of
// its 031 fields in turn. The record's composer and title are shared by its
// incipits.
void RecordGatherer::finish_record()
{
    trim(control_number_.text);
    if (!readable())
        return;
    trim(composer_.text);
    trim(uniform_title_.text);
    trim(title_.text);
    Description shared;
    shared.source = finish_source();
    shared.composer = SharedText(std::move(composer_.text));
    shared.work_title =
        SharedText(std::move(uniform_title_.text.empty() ? title_.text : uniform_title_.text));
    int occurrence = 0;
    for (Incipit031& f : fields_)
        finish_incipit(f, ++occurrence, shared);
    fields_.clear();
}

// The record's source, for its incipits to share: a person is a creator
// when one of its relator codes names one (lyricist, then librettist, then
// arranger, when it has several).
std::shared_ptr<const SourceDescription> RecordGatherer::finish_source()
{
    static constexpr std::pair<std::string_view, std::string_view> kRoles[] = {
        {"lyr", "lyricist"}, {"lbt", "librettist"}, {"arr", "arranger"}};
    SourceFields& f = source_;
    for (Value* v : f.texts())
        trim(v->text);
    auto s = std::make_shared<SourceDescription>();
    s->control_number = control_number_.text;
    s->siglum = std::move(f.siglum.text);
    s->shelfmark = std::move(f.shelfmark.text);
    s->composer_dates = std::move(f.composer_dates.text);
    s->work_number = std::move(f.uniform_number.text.empty() ? f.subject_number.text
                                                             : f.uniform_number.text);
    s->scoring = std::move(f.uniform_scoring.text.empty() ? f.scoring.text
                                                          : f.uniform_scoring.text);
    s->source_title = title_.text;
    s->date = std::move(f.date.text);
    for (Person700& p : f.persons) {
        trim(p.name.text);
        std::string_view codes = p.relator.text;
        for (const auto& [code, role] : kRoles)
            if (!p.name.text.empty() && codes.find(code) != std::string_view::npos) {
                s->creators.push_back({std::string(role), std::move(p.name.text)});
                break;
            }
    }
    f.persons.clear();
    return s;
}

// False, with the record's error, for a record too large, without 001 or
// with a 001 that is no incipit identifier.
bool RecordGatherer::readable()
{
    const std::string& id = control_number_.text;
    if (!too_large_ && control_number_.seen && valid_identifier(id))
        return true;
    std::string which = std::to_string(counts_.records);
    if (too_large_) {
        error(id, line_, make_message(MessageCode::CatalogueRecordTooLarge, {which}));
    } else if (!control_number_.seen) {
        ++counts_.without_control_number;
        error({}, line_, make_message(MessageCode::NoControlNumber, {which}));
    } else {
        error(id, line_, make_message(MessageCode::ControlNumberNotIdentifier, {which, id}));
    }
    return false;
}

namespace {

// The subfields of an incipit field that become fields of a record line:
// none may hold a tab or a line break.
template <typename Field>
const char* line_break_in(const Field& f)
{
    if (holds_line_break(f.a.text) || holds_line_break(f.b.text) || holds_line_break(f.c.text))
        return "the number ($a, $b, $c)";
    if (holds_line_break(f.g.text))
        return "the clef ($g)";
    if (holds_line_break(f.o.text))
        return "the time signature ($o)";
    if (holds_line_break(f.n.text))
        return "the key signature ($n)";
    if (holds_line_break(f.p.text, false))
        return "the music ($p)";
    return nullptr;
}

}  // namespace

// One 031 field: passed over without music, a warning for another system
// code, an error for a line break in a field of the record line, and else
// an incipit with the record's description. Its item is made where it is
// kept.
void RecordGatherer::finish_incipit(Incipit031& f, int occurrence, const Description& shared)
{
    for (Value* v : {&f.a, &f.b, &f.c, &f.d, &f.e, &f.g, &f.m, &f.n, &f.o, &f.p, &f.q, &f.r, &f.t,
                     &f.system})
        trim(v->text);
    if (f.p.text.empty()) {
        ++counts_.without_music;
        return;
    }
    MarcxmlItem& item = ready_.emplace_back();
    try {
        fill_item(item, f, occurrence, shared);
    } catch (...) {
        ready_.pop_back();   // memory ran out: no half-made item goes on
        throw;
    }
}

void RecordGatherer::fill_item(MarcxmlItem& item, Incipit031& f, int occurrence,
                               const Description& shared)
{
    item.control_number = control_number_.text;
    item.occurrence = occurrence;
    item.line = f.line;
    if (!f.system.text.empty() && f.system.text != "pe") {
        ++counts_.other_system;
        item.kind = MarcxmlItem::Kind::Warning;
        item.message = make_message(MessageCode::OtherNotationSystem,
                                    {std::to_string(occurrence), f.system.text});
    } else if (const char* what = line_break_in(f)) {
        item.kind = MarcxmlItem::Kind::Error;
        item.message = make_message(MessageCode::SubfieldHoldsLineBreak,
                                    {std::to_string(occurrence), what});
        ++counts_.errors;
    } else {
        ++counts_.incipits;
        incipit_record(item.record, f, shared);
        markup_warnings(item.warnings, occurrence);
    }
}

// An incipit's record: its field's texts (taken), with the record's part
// of the description (composer, work title, source) shared.
void RecordGatherer::incipit_record(Record& out, Incipit031& f, const Description& shared)
{
    out.identifier = control_number_.text;
    out.number = std::move(f.a.text);
    out.number.append(1, '.').append(f.b.text).append(1, '.').append(f.c.text);
    out.clef = std::move(f.g.text);
    out.time = std::move(f.o.text);
    out.key = std::move(f.n.text);
    out.music = std::move(f.p.text);
    Description& d = out.description;
    d.composer = shared.composer;
    d.work_title = shared.work_title;
    d.source = shared.source;
    d.movement_number = out.number;
    d.role = std::move(f.e.text);
    d.note = std::move(f.q.text);
    d.movement_title = std::move(f.d.text);
    d.part_name = std::move(f.m.text);
    d.text_incipit = std::move(f.t.text);
    d.key_or_mode = std::move(f.r.text);
}

// Markup in the texts an incipit is made of: its own field's, the record's.
void RecordGatherer::markup_warnings(std::vector<Message>& warnings, int occurrence) const
{
    if (markup_.empty())
        return;
    const std::string here = "031 #" + std::to_string(occurrence) + " ";
    for (const std::string& where : markup_)
        if (where.compare(0, 4, "031 ") != 0 || where.compare(0, here.size(), here) == 0)
            warnings.push_back(make_message(MessageCode::SubfieldHoldsMarkup, {where}));
}

}  // namespace tav::detail
