// The Python module "tav": the converter library, in memory, with the GIL
// released while a record converts.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "tav/marcxml.h"
#include "tav/tav.h"

namespace py = pybind11;

namespace {

// Bytes in as they are; a str is encoded as UTF-8 with surrogateescape, so
// that a str decoded that way from bytes gives those bytes back.
struct InputBytes {
    py::object holder;  // keeps the bytes alive
    std::string_view view;
};

InputBytes input_bytes(const py::handle& value, const char* what)
{
    py::object bytes;
    if (PyBytes_Check(value.ptr())) {
        bytes = py::reinterpret_borrow<py::object>(value);
    } else if (PyUnicode_Check(value.ptr())) {
        bytes = py::reinterpret_steal<py::object>(
            PyUnicode_AsEncodedString(value.ptr(), "utf-8", "surrogateescape"));
        if (!bytes)
            throw py::error_already_set();
    } else if (PyByteArray_Check(value.ptr()) || PyMemoryView_Check(value.ptr())) {
        bytes = py::reinterpret_steal<py::object>(PyBytes_FromObject(value.ptr()));
        if (!bytes)
            throw py::error_already_set();
    } else {
        throw py::type_error(std::string(what) + " must be bytes or str");
    }
    char* data = nullptr;
    Py_ssize_t size = 0;
    PyBytes_AsStringAndSize(bytes.ptr(), &data, &size);
    return InputBytes{bytes, std::string_view(data, static_cast<size_t>(size))};
}

py::str decode(std::string_view bytes)
{
    PyObject* text = PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()),
                                          "surrogateescape");
    if (text == nullptr)
        throw py::error_already_set();
    return py::reinterpret_steal<py::str>(text);
}

tav::Options options_of(bool remove_mensural, bool remove_measure_rests,
                        const std::string& musicxml = "1.0", bool compress = false)
{
    tav::Options options;
    options.remove_mensural = remove_mensural;
    options.remove_measure_rests = remove_measure_rests;
    if (musicxml == "4.0")
        options.musicxml = tav::MusicXmlVersion::V4_0;
    else if (musicxml != "1.0")
        throw py::value_error("musicxml must be \"1.0\" or \"4.0\"");
    options.compress = compress;
    return options;
}


// Each thread converts with a converter of its own, reused call after call.
tav::Converter& thread_converter()
{
    thread_local tav::Converter converter;
    return converter;
}

template <typename Input>
tav::Result convert_line(const Input& input, const tav::Options& options)
{
    py::gil_scoped_release released;
    return thread_converter().convert(input, options);
}

tav::Description description_of(const tav::MarcxmlItem& item)
{
    return {item.composer,  item.work_title,   item.movement_title,
            item.part_name, item.text_incipit, item.key_or_mode};
}

// A catalogue record's incipit through this thread's converter.
tav::Result convert_item(const tav::MarcxmlItem& item, const tav::Options& options)
{
    py::gil_scoped_release released;
    std::string storage;
    return thread_converter().convert(item.fields(storage), options, description_of(item));
}

// Iterates over the incipits of a MARCXML document; the reader's warnings
// and errors are kept in `messages`.
struct MarcxmlSource {
    py::object holder;           // the bytes, or the open file
    std::FILE* file = nullptr;
    std::unique_ptr<tav::MarcxmlReader> reader;
    py::list messages;

    ~MarcxmlSource()
    {
        reader.reset();
        if (file != nullptr)
            std::fclose(file);
    }

    tav::MarcxmlItem next()
    {
        for (;;) {
            tav::MarcxmlItem item;
            bool more;
            {
                py::gil_scoped_release released;
                more = reader->next(item);
            }
            if (!more) {
                if (reader->read_failed())
                    throw py::value_error("cannot read the MARCXML input to its end");
                throw py::stop_iteration();
            }
            if (item.kind == tav::MarcxmlItem::Kind::Incipit)
                return item;
            messages.append(py::make_tuple(
                item.kind == tav::MarcxmlItem::Kind::Warning ? "warning" : "error",
                decode(item.text), decode(item.control_number), item.line));
        }
    }
};

std::unique_ptr<MarcxmlSource> open_marcxml(const py::handle& source)
{
    auto s = std::make_unique<MarcxmlSource>();
    if (PyBytes_Check(source.ptr()) || PyByteArray_Check(source.ptr()) ||
        PyMemoryView_Check(source.ptr())) {
        InputBytes in = input_bytes(source, "source");
        s->holder = in.holder;
        s->reader = std::make_unique<tav::MarcxmlReader>(in.view);
        return s;
    }
    py::module_ os = py::module_::import("os");
    std::string path = py::bytes(os.attr("fsencode")(source));
    s->file = std::fopen(path.c_str(), "rb");
    if (s->file == nullptr) {
        PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, source.ptr());
        throw py::error_already_set();
    }
    s->reader = std::make_unique<tav::MarcxmlReader>(s->file);
    return s;
}

py::object none_if_negative(int64_t value)
{
    return value < 0 ? py::object(py::none()) : py::object(py::int_(value));
}

}  // namespace

PYBIND11_MODULE(tav, m)
{
    m.doc() = "Plaine & Easie incipit records to MusicXML 1.0 documents, in memory.";

    py::class_<tav::Message>(m, "Message", "A warning or error about a record.")
        .def_property_readonly("kind",
                               [](const tav::Message& msg) {
                                   return msg.kind == tav::MessageKind::Warning ? "warning"
                                                                                : "error";
                               })
        .def_property_readonly("text", [](const tav::Message& msg) { return decode(msg.text); })
        .def_property_readonly("position",
                               [](const tav::Message& msg) { return none_if_negative(msg.position); })
        .def_property_readonly("byte",
                               [](const tav::Message& msg) { return none_if_negative(msg.byte); })
        .def("__repr__", [](const tav::Message& msg) {
            return py::str("<tav.Message {} {!r}>")
                .format(msg.kind == tav::MessageKind::Warning ? "warning" : "error",
                        decode(msg.text));
        });

    py::class_<tav::Result>(m, "Result", "What one record became.")
        .def_property_readonly("ok", &tav::Result::ok)
        .def_property_readonly("status", [](const tav::Result& r) { return tav::status_name(r.status); })
        .def_property_readonly("data", [](const tav::Result& r) { return py::bytes(r.document); })
        .def_property_readonly("xml", [](const tav::Result& r) { return decode(r.document); })
        .def_property_readonly("file_name", [](const tav::Result& r) { return decode(r.file_name); })
        .def_property_readonly("messages", [](const tav::Result& r) { return r.messages; })
        .def_property_readonly("identifier", [](const tav::Result& r) { return r.identifier; })
        .def_property_readonly("number", [](const tav::Result& r) { return decode(r.number); })
        .def("__repr__", [](const tav::Result& r) {
            return py::str("<tav.Result {} {!r}>").format(tav::status_name(r.status), decode(r.file_name));
        });

    py::class_<tav::MarcxmlItem>(m, "CatalogueRecord",
                                 "An incipit read from MARCXML, with its record's description.")
        .def_property_readonly("identifier", [](const tav::MarcxmlItem& i) { return decode(i.identifier); })
        .def_property_readonly("number", [](const tav::MarcxmlItem& i) { return decode(i.number); })
        .def_property_readonly("clef", [](const tav::MarcxmlItem& i) { return decode(i.clef); })
        .def_property_readonly("time", [](const tav::MarcxmlItem& i) { return decode(i.time); })
        .def_property_readonly("key", [](const tav::MarcxmlItem& i) { return decode(i.key); })
        .def_property_readonly("music", [](const tav::MarcxmlItem& i) { return decode(i.music); })
        .def_property_readonly("composer", [](const tav::MarcxmlItem& i) { return decode(i.composer); })
        .def_property_readonly("work_title", [](const tav::MarcxmlItem& i) { return decode(i.work_title); })
        .def_property_readonly("movement_title", [](const tav::MarcxmlItem& i) { return decode(i.movement_title); })
        .def_property_readonly("part_name", [](const tav::MarcxmlItem& i) { return decode(i.part_name); })
        .def_property_readonly("text_incipit", [](const tav::MarcxmlItem& i) { return decode(i.text_incipit); })
        .def_property_readonly("key_or_mode", [](const tav::MarcxmlItem& i) { return decode(i.key_or_mode); })
        .def_property_readonly("control_number", [](const tav::MarcxmlItem& i) { return decode(i.control_number); })
        .def_property_readonly("occurrence", [](const tav::MarcxmlItem& i) { return i.occurrence; })
        .def_property_readonly("line", [](const tav::MarcxmlItem& i) { return i.line; })
        .def("__repr__", [](const tav::MarcxmlItem& i) {
            return py::str("<tav.CatalogueRecord {} 031 #{}>").format(decode(i.control_number), i.occurrence);
        });

    py::class_<MarcxmlSource>(m, "MarcxmlReader",
                              "The incipits of a MARCXML document, one by one; the reader's "
                              "warnings and errors as (kind, text, control_number, line) in "
                              "messages.")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &MarcxmlSource::next)
        .def_readonly("messages", &MarcxmlSource::messages);

    m.def("read_marcxml", &open_marcxml, py::arg("source"),
          "Reads MARCXML (MARC 21 records, incipits in field 031) from a path or from bytes, "
          "as a stream: yields a CatalogueRecord for each 031 field with music.");

    m.def(
        "convert",
        [](const py::handle& line, bool remove_mensural, bool remove_measure_rests,
           const std::string& musicxml, bool compress) {
            tav::Options options =
                options_of(remove_mensural, remove_measure_rests, musicxml, compress);
            if (py::isinstance<tav::MarcxmlItem>(line))
                return convert_item(line.cast<const tav::MarcxmlItem&>(), options);
            InputBytes in = input_bytes(line, "line");
            return convert_line(in.view, options);
        },
        py::arg("line"), py::kw_only(), py::arg("remove_mensural") = false,
        py::arg("remove_measure_rests") = false, py::arg("musicxml") = "1.0",
        py::arg("compress") = false,
        "Converts one record line (bytes or str; a line feed, if any, ends it) or a "
        "CatalogueRecord from read_marcxml. musicxml: \"1.0\" or \"4.0\"; compress: the "
        "result's data is a compressed MusicXML file (.mxl).");

    m.def(
        "convert_fields",
        [](const py::handle& identifier, const py::handle& number, const py::handle& clef,
           const py::handle& time, const py::handle& time2, const py::handle& music,
           bool remove_mensural, bool remove_measure_rests) {
            InputBytes id = input_bytes(identifier, "identifier");
            InputBytes nb = input_bytes(number, "number");
            InputBytes c = input_bytes(clef, "clef");
            InputBytes t = input_bytes(time, "time");
            InputBytes t2 = input_bytes(time2, "time2");
            InputBytes mu = input_bytes(music, "music");
            return convert_line(tav::Fields{id.view, nb.view, c.view, t.view, t2.view, mu.view},
                                options_of(remove_mensural, remove_measure_rests));
        },
        py::arg("identifier"), py::arg("number"), py::arg("clef"), py::arg("time"),
        py::arg("time2"), py::arg("music"), py::kw_only(), py::arg("remove_mensural") = false,
        py::arg("remove_measure_rests") = false,
        "Converts a record given as its fields; an empty clef or time is a null field. A "
        "field holding a tab or a line end fails the record.");

    py::object file_counts = py::module_::import("collections").attr("namedtuple")(
        "FileCounts", "written failed");
    file_counts.attr("__module__") = "tav";
    m.attr("FileCounts") = file_counts;

    m.def(
        "convert_file",
        [file_counts](const py::object& path, const py::object& out_dir, bool remove_mensural,
                      bool remove_measure_rests, const std::string& musicxml, bool compress) {
            py::module_ os = py::module_::import("os");
            std::string in_path = py::bytes(os.attr("fsencode")(path));
            std::string dir = py::bytes(os.attr("fsencode")(out_dir));
            if (!py::bool_(os.attr("path").attr("isdir")(out_dir))) {
                PyErr_SetObject(PyExc_NotADirectoryError, out_dir.ptr());
                throw py::error_already_set();
            }
            std::FILE* input = std::fopen(in_path.c_str(), "rb");
            if (input == nullptr) {
                PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path.ptr());
                throw py::error_already_set();
            }
            tav::Options options =
                options_of(remove_mensural, remove_measure_rests, musicxml, compress);
            long written = 0, failed = 0;
            tav::StreamEnd end = tav::StreamEnd::EndOfInput;
            char start[512];
            std::size_t got = std::fread(start, 1, sizeof start, input);
            if (tav::looks_like_marcxml(std::string_view(start, got))) {
                py::gil_scoped_release released;
                tav::MarcxmlReader reader(input, std::string_view(start, got));
                tav::Converter converter;
                tav::WriteRun run;
                tav::MarcxmlItem item;
                std::string storage;
                while (reader.next(item)) {
                    if (item.kind == tav::MarcxmlItem::Kind::Warning)
                        continue;
                    if (item.kind == tav::MarcxmlItem::Kind::Error) {
                        ++failed;
                        continue;
                    }
                    converter.convert(item.fields(storage), options, description_of(item));
                    tav::write_file(converter.result(), dir, &run);
                    ++(converter.result().status == tav::Status::Written ? written : failed);
                }
                if (reader.read_failed())
                    end = tav::StreamEnd::ReadError;
            } else if (std::fseek(input, 0, SEEK_SET) == 0) {
                py::gil_scoped_release released;
                tav::Converter converter;
                tav::WriteRun run;  // not started: it carries the cheaper way to open
                end = tav::convert_stream(input, converter, options, [&](tav::Result& r) {
                    if (r.status == tav::Status::Blank)
                        return false;
                    tav::write_file(r, dir, &run);
                    ++(r.status == tav::Status::Written ? written : failed);
                    return true;
                });
            } else {
                end = tav::StreamEnd::ReadError;
            }
            std::fclose(input);
            if (end == tav::StreamEnd::ReadError) {
                PyErr_SetObject(PyExc_OSError, py::str("cannot read {}").format(path).ptr());
                throw py::error_already_set();
            }
            return file_counts(written, failed);
        },
        py::arg("path"), py::arg("out_dir"), py::kw_only(), py::arg("remove_mensural") = false,
        py::arg("remove_measure_rests") = false, py::arg("musicxml") = "1.0",
        py::arg("compress") = false,
        "Converts every record of a file, one per line, into files in out_dir, as the program "
        "does (a blank line ends the records); or, for a MARCXML file (recognised by its "
        "start), every incipit with music, with its description (a record the reader cannot "
        "read counts as failed). Returns FileCounts(written, failed).");
}
