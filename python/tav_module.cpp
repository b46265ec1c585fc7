// The Python module "tav": the converter library, in memory, with the GIL
// released while a record converts.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

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

tav::Options options_of(bool remove_mensural, bool remove_measure_rests)
{
    tav::Options options;
    options.remove_mensural = remove_mensural;
    options.remove_measure_rests = remove_measure_rests;
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

    m.def(
        "convert",
        [](const py::handle& line, bool remove_mensural, bool remove_measure_rests) {
            InputBytes in = input_bytes(line, "line");
            return convert_line(in.view, options_of(remove_mensural, remove_measure_rests));
        },
        py::arg("line"), py::kw_only(), py::arg("remove_mensural") = false,
        py::arg("remove_measure_rests") = false,
        "Converts one record line (bytes or str; a line feed, if any, ends it).");

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
                      bool remove_measure_rests) {
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
            tav::Options options = options_of(remove_mensural, remove_measure_rests);
            long written = 0, failed = 0;
            tav::StreamEnd end;
            {
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
            }
            std::fclose(input);
            if (end == tav::StreamEnd::ReadError) {
                PyErr_SetObject(PyExc_OSError, py::str("cannot read {}").format(path).ptr());
                throw py::error_already_set();
            }
            return file_counts(written, failed);
        },
        py::arg("path"), py::arg("out_dir"), py::kw_only(), py::arg("remove_mensural") = false,
        py::arg("remove_measure_rests") = false,
        "Converts every record of a file, one per line, into files in out_dir, as the program "
        "does (a blank line ends the records). Returns FileCounts(written, failed).");
}
