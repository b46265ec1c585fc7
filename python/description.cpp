// A catalogue record's description as the properties of tav.CatalogueRecord,
// and as a tuple of plain values for pickling.

#include "description.h"

#include "tav/messages.h"

#include <pybind11/stl.h>

namespace py = pybind11;

namespace {

py::str text(std::string_view bytes)
{
    PyObject* t = PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()),
                                       "surrogateescape");
    if (t == nullptr)
        throw py::error_already_set();
    return py::reinterpret_steal<py::str>(t);
}

const tav::SourceDescription& source_of(const tav::MarcxmlItem& i)
{
    static const tav::SourceDescription none;
    return i.record.description.source != nullptr ? *i.record.description.source : none;
}

using Item = tav::MarcxmlItem;
using Source = tav::SourceDescription;

}  // namespace

void bind_description(py::class_<tav::MarcxmlItem>& c)
{
    auto of_source = [](std::string Source::*field) {
        return [field](const Item& i) { return text(source_of(i).*field); };
    };
    c.def_property_readonly("role", [](const Item& i) { return text(i.record.description.role); }, "The role (031 $e, repeated ones joined by \"; \").")
        .def_property_readonly("note", [](const Item& i) { return text(i.record.description.note); }, "The general note (031 $q).")
        .def_property_readonly("movement_number", [](const Item& i) { return text(i.record.description.movement_number); }, "The movement's number, \"$a.$b.$c\" of 031.")
        .def_property_readonly("key_in_words", [](const Item& i) { return text(tav::key_in_words(i.record.description.key_or_mode)); }, "The key or mode in words (\"E|b\": \"E\u266D major\"); another value as it stands.")
        .def_property_readonly("siglum", of_source(&Source::siglum), "The library's siglum (852 $a).")
        .def_property_readonly("shelfmark", of_source(&Source::shelfmark), "The shelfmark (852 $c).")
        .def_property_readonly("location", [](const Item& i) { return text(source_of(i).location()); }, "Siglum and shelfmark, \"D-B Mus.ms. 1234\".")
        .def_property_readonly("composer_dates", of_source(&Source::composer_dates), "The composer's dates (100 $d).")
        .def_property_readonly("work_number", of_source(&Source::work_number), "The work's number (240 $n, else 383 $b).")
        .def_property_readonly("scoring", of_source(&Source::scoring), "The scoring (240 $m, else 594 $b joined by \", \").")
        .def_property_readonly("source_title", of_source(&Source::source_title), "The source's title (245 $a).")
        .def_property_readonly("date", of_source(&Source::date), "The date (260 $c).")
        .def_property_readonly(
            "creators",
            [](const Item& i) {
                py::list creators;
                for (const tav::Creator& c : source_of(i).creators)
                    creators.append(py::make_tuple(text(c.role), text(c.name)));
                return creators;
            },
            "The lyricists, librettists and arrangers (700 with $4 lyr, lbt, arr) as (role, "
            "name), in the record's order.");
}

py::object source_state(const tav::Description& d)
{
    if (d.source == nullptr)
        return py::none();
    const Source& s = *d.source;
    py::list creators;
    for (const tav::Creator& c : s.creators)
        creators.append(py::make_tuple(py::bytes(c.role), py::bytes(c.name)));
    return py::make_tuple(py::bytes(s.control_number), py::bytes(s.siglum),
                          py::bytes(s.shelfmark), py::bytes(s.composer_dates), creators,
                          py::bytes(s.work_number), py::bytes(s.scoring),
                          py::bytes(s.source_title), py::bytes(s.date));
}

std::shared_ptr<const tav::SourceDescription> source_from(const py::handle& state)
{
    if (state.is_none())
        return nullptr;
    py::tuple t = state.cast<py::tuple>();
    if (t.size() != 9)
        throw py::value_error("not a pickled tav.CatalogueRecord");
    auto bytes = [&t](std::size_t k) { return t[k].cast<std::string>(); };
    auto s = std::make_shared<Source>();
    s->control_number = bytes(0);
    s->siglum = bytes(1);
    s->shelfmark = bytes(2);
    s->composer_dates = bytes(3);
    for (const py::handle& c : t[4].cast<py::list>()) {
        py::tuple pair = c.cast<py::tuple>();
        s->creators.push_back({pair[0].cast<std::string>(), pair[1].cast<std::string>()});
    }
    s->work_number = bytes(5);
    s->scoring = bytes(6);
    s->source_title = bytes(7);
    s->date = bytes(8);
    return s;
}

pybind11::dict counts_dict(const tav::MarcxmlCounts& c)
{
    pybind11::dict counts;
    counts["records"] = c.records;
    counts["incipits"] = c.incipits;
    counts["without_music"] = c.without_music;
    counts["other_system"] = c.other_system;
    counts["without_control_number"] = c.without_control_number;
    counts["errors"] = c.errors;
    return counts;
}

pybind11::dict count_codes()
{
    pybind11::dict codes;
    codes["other_system"] =
        std::string(tav::message_rule(tav::MessageCode::OtherNotationSystem).name);
    codes["without_control_number"] =
        std::string(tav::message_rule(tav::MessageCode::NoControlNumber).name);
    return codes;
}
