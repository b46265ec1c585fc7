// One MARC record's fields of interest, gathered while the XML parser reads
// it, and handed out as incipits and messages when it closes.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tav/marcxml.h"

namespace tav::detail {

// The elements of a MARC record (in the MARC 21 namespace or in none) that
// the reader looks at; every other element is Other.
enum class MarcElement { Record, Controlfield, Datafield, Subfield, Other };

// What an element is, by its local name, when it is in the MARC 21
// namespace or in none (`marc`); Other else.
MarcElement marc_element(std::string_view local, bool marc);

class RecordGatherer {
public:
    // A record's gathered text beyond this is an error, not memory.
    static constexpr std::size_t kMaxRecordBytes = std::size_t{1} << 26;
    // Every field counts fewer bytes than 64 times those of its start tag,
    // so that a document of at most this many bytes cannot reach the limit.
    static constexpr std::size_t kBytesWithinLimit = kMaxRecordBytes / 64;

    // Items go to `ready`, counted in `counts`.
    RecordGatherer(std::deque<MarcxmlItem>& ready, MarcxmlCounts& counts)
        : ready_(ready), counts_(counts)
    {
    }

    // An element starts, at `line`: `key` is a field's tag or a subfield's
    // code. A record that starts while one is open closes that one as an
    // error: none of its fields is read, nor given to the new record.
    // The elements met most, a record's subfields of fields passed by and
    // the ends of its subfields, are taken here without a call.
    void start(MarcElement element, std::string_view key, std::int64_t line)
    {
        if (element != MarcElement::Subfield || field_ != Field::None || target_ != nullptr ||
            !in_record_)
            start_element(element, key, line);
    }
    void end(MarcElement element)
    {
        if (element == MarcElement::Subfield && in_record_ && markup_depth_ == 0)
            target_ = nullptr;
        else
            end_element(element);
    }
    void text(const char* text, std::size_t length);
    // Whether text is gathered now (else text() passes it by).
    bool gathering() const { return target_ != nullptr; }

    bool in_record() const { return in_record_; }
    // Records reported as not closed whose elements are still open.
    int unclosed() const { return unclosed_; }
    // Malformed XML: the record being read (if any) is dropped; gives its
    // 001 as far as it was read.
    std::string abandon();
    // Gives an error item (about the record, or the XML).
    void error(std::string control_number, std::int64_t line, Message message);

private:
    struct Value {
        std::string text;
        bool seen = false;
        void clear()
        {
            text.clear();
            seen = false;
        }
    };
    struct Incipit031 {
        std::int64_t line = 0;
        Value a, b, c, d, e, g, m, n, o, p, q, r, t, system;
    };
    // A 700: a person, a creator when the relator code names one.
    struct Person700 {
        Value name, relator;
    };
    // The record's fields that describe its source.
    struct SourceFields {
        Value siglum, shelfmark, composer_dates, uniform_number, uniform_scoring,
            subject_number, scoring, date;
        std::vector<Person700> persons;
        // Its texts but the persons'.
        std::array<Value*, 8> texts()
        {
            return {&siglum,          &shelfmark,      &composer_dates, &uniform_number,
                    &uniform_scoring, &subject_number, &scoring,        &date};
        }
    };
    enum class Field {
        None, Control001, Incipit, Composer, UniformTitle, Title, Person, Subject, Imprint,
        Scoring, Location
    };

    // Where gathered text is: a field's tag, the number of its incipit field
    // (0 for another field) and the subfield's code (0 for none).
    struct Where {
        std::string_view tag;
        std::size_t occurrence = 0;
        char code = 0;
        std::string text() const;   // "031 #2 $p", "100 $a", "001"
    };

    void start_element(MarcElement element, std::string_view key, std::int64_t line);
    void end_element(MarcElement element);
    static Field field_of(std::string_view tag);
    void open_record(std::int64_t line);
    void gather(Value& value, bool repeats, Where where, std::string_view joint = "; ");
    void datafield(std::string_view tag, std::int64_t line);
    void subfield(char code);
    bool record_subfield(char code);
    void finish_record();
    bool readable();
    std::shared_ptr<const SourceDescription> finish_source();
    void finish_incipit(Incipit031& f, int occurrence, const Description& shared);
    void fill_item(MarcxmlItem& item, Incipit031& f, int occurrence, const Description& shared);
    void incipit_record(Record& out, Incipit031& f, const Description& shared);
    void markup_warnings(std::vector<Message>& warnings, int occurrence) const;

    std::deque<MarcxmlItem>& ready_;
    MarcxmlCounts& counts_;

    bool in_record_ = false;
    int unclosed_ = 0;
    std::int64_t line_ = 0;
    Value control_number_, composer_, uniform_title_, title_;
    SourceFields source_;
    std::vector<Incipit031> fields_;
    std::size_t bytes_ = 0;
    bool too_large_ = false;
    // Subfields whose text had markup in it, as "031 #2 $p".
    std::vector<std::string> markup_;

    Field field_ = Field::None;
    Value* target_ = nullptr;    // the text being gathered
    Where target_where_;         // where it is
    int markup_depth_ = 0;       // elements open inside the gathered subfield
};

}  // namespace tav::detail
