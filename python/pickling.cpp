// Pickling: the module's values as tuples of plain values, and back.

#include "pickling.h"

#include "description.h"
#include "melody.h"

#include <iterator>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

// The statuses by their index in a pickled result.
constexpr tav::Status kStatuses[] = {tav::Status::Converted, tav::Status::Written,
                                     tav::Status::Failed,    tav::Status::TooLarge,
                                     tav::Status::LineTooLong, tav::Status::Blank};

}  // namespace

py::tuple message_state(const tav::Message& m)
{
    return py::make_tuple(m.kind == tav::MessageKind::Warning, py::bytes(m.text), m.position,
                          m.byte, std::string(m.code));
}

tav::Message message_from(const py::tuple& t)
{
    const tav::MessageRule* rule =
        t.size() == 5 ? tav::find_message_rule(t[4].cast<std::string>()) : nullptr;
    if (rule == nullptr)
        throw py::value_error("not a pickled tav.Message");
    return tav::Message{t[0].cast<bool>() ? tav::MessageKind::Warning : tav::MessageKind::Error,
                        t[1].cast<std::string>(), t[2].cast<int64_t>(), t[3].cast<int>(),
                        rule->name, rule->code};
}

py::tuple result_state(const tav::Result& r)
{
    py::list messages;
    for (const tav::Message& m : r.messages)
        messages.append(message_state(m));
    return py::make_tuple(static_cast<int>(r.status), py::bytes(r.document),
                          py::bytes(r.file_name), messages, r.identifier, py::bytes(r.number),
                          melody_state(r.melody));
}

tav::Result result_from(const py::tuple& t)
{
    int status = t.size() == 7 ? t[0].cast<int>() : -1;
    if (status < 0 || status >= static_cast<int>(std::size(kStatuses)))
        throw py::value_error("not a pickled tav.Result");
    tav::Result r;
    r.status = kStatuses[status];
    r.document = t[1].cast<std::string>();
    r.file_name = t[2].cast<std::string>();
    for (const py::handle& m : t[3].cast<py::list>())
        r.messages.push_back(message_from(m.cast<py::tuple>()));
    r.identifier = t[4].cast<std::int32_t>();
    r.number = t[5].cast<std::string>();
    r.melody = melody_from(t[6]);
    return r;
}

// A catalogue record as a tuple of plain values, and back: its texts as
// bytes, the reader's warnings about it last.
py::tuple item_state(const tav::MarcxmlItem& i)
{
    const tav::Record& r = i.record;
    const tav::Description& d = r.description;
    py::list warnings;
    for (const tav::Message& w : i.warnings)
        warnings.append(message_state(w));
    return py::make_tuple(
        py::bytes(r.identifier), py::bytes(r.number), py::bytes(r.clef), py::bytes(r.time),
        py::bytes(r.time2), py::bytes(r.key), py::bytes(r.music), r.music_position,
        py::bytes(d.composer.str()), py::bytes(d.work_title.str()), py::bytes(d.movement_title),
        py::bytes(d.part_name), py::bytes(d.text_incipit), py::bytes(d.key_or_mode),
        py::bytes(i.control_number), i.occurrence, i.line, warnings, py::bytes(d.role),
        py::bytes(d.note), py::bytes(d.movement_number), source_state(d));
}

tav::MarcxmlItem item_from(const py::tuple& t)
{
    if (t.size() != 22)
        throw py::value_error("not a pickled tav.CatalogueRecord");
    auto text = [&t](std::size_t k) { return t[k].cast<std::string>(); };
    tav::MarcxmlItem i;
    tav::Record& r = i.record;
    r.identifier = text(0);
    r.number = text(1);
    r.clef = text(2);
    r.time = text(3);
    r.time2 = text(4);
    r.key = text(5);
    r.music = text(6);
    r.music_position = t[7].cast<std::int64_t>();
    tav::Description& d = r.description;
    d.composer = text(8);
    d.work_title = text(9);
    d.movement_title = text(10);
    d.part_name = text(11);
    d.text_incipit = text(12);
    d.key_or_mode = text(13);
    d.role = text(18);
    d.note = text(19);
    d.movement_number = text(20);
    d.source = source_from(t[21]);
    i.control_number = text(14);
    i.occurrence = t[15].cast<int>();
    i.line = t[16].cast<std::int64_t>();
    for (const py::handle& w : t[17].cast<py::list>())
        i.warnings.push_back(message_from(w.cast<py::tuple>()));
    return i;
}

