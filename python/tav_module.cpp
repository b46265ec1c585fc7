// The extension module "tav._tav" behind the package "tav": the converter
// library, in memory, with the interpreter's lock released while records
// convert and files are read and written. The signatures in the docstrings
// are those of the stub tav/__init__.pyi.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "file_run.h"
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

// A path as the file system takes it: str, bytes or os.PathLike, encoded as
// open() encodes it; ValueError for a zero byte, as open() raises.
std::string path_bytes(const py::handle& path)
{
    PyObject* converted = nullptr;
    if (PyUnicode_FSConverter(path.ptr(), &converted) == 0)
        throw py::error_already_set();
    py::bytes bytes = py::reinterpret_steal<py::bytes>(converted);
    return std::string(bytes);
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

// A catalogue record's incipit through this thread's converter.
tav::Result convert_item(const tav::MarcxmlItem& item, const tav::Options& options)
{
    py::gil_scoped_release released;
    tav::Result r = thread_converter().convert(item.record, options);
    tav::add_reader_warnings(item.warnings, r.messages);
    return r;
}

// Iterates over the incipits of a MARCXML document; `messages` holds the
// reader's warnings and errors met since the incipit given before (and,
// at the end, those after the last), so that memory stays flat however
// long the document.
struct MarcxmlSource {
    py::object holder;           // the bytes, or the open file
    std::FILE* file = nullptr;
    std::unique_ptr<tav::MarcxmlReader> reader;
    py::list messages;
    bool busy = false;           // a thread is in next(); the lock guards it
    std::string lost;            // what memory that ran out left unread

    ~MarcxmlSource()
    {
        reader.reset();
        if (file != nullptr)
            std::fclose(file);
    }

    // One reader is read by one thread at a time, as a generator is.
    tav::MarcxmlItem next()
    {
        if (busy)
            throw py::value_error("the MARCXML reader is already reading in another thread");
        busy = true;
        struct Done {
            bool& busy;
            ~Done() { busy = false; }
        } done{busy};
        messages = py::list();
        if (!lost.empty())
            messages.append(py::make_tuple("error", decode(std::exchange(lost, {})), "", 0));
        for (;;) {
            tav::MarcxmlItem item;
            bool more;
            try {
                py::gil_scoped_release released;
                more = reader->next(item);
            } catch (const std::bad_alloc&) {
                // The next call says what was lost.
                lost = "out of memory after record " + std::to_string(reader->counts().records) +
                       ": what it was reading is passed over";
                throw;
            }
            if (!more) {
                if (reader->read_failed())
                    throw py::value_error("cannot read the MARCXML input to its end");
                throw py::stop_iteration();
            }
            if (item.kind == tav::MarcxmlItem::Kind::Incipit) {
                for (const std::string& text : item.warnings)
                    messages.append(py::make_tuple("warning", decode(text),
                                                   decode(item.control_number), item.line));
                return item;
            }
            messages.append(py::make_tuple(
                tav::kind_name(item.kind == tav::MarcxmlItem::Kind::Warning
                                   ? tav::MessageKind::Warning
                                   : tav::MessageKind::Error),
                decode(item.text), decode(item.control_number), item.line));
        }
    }
};

bool is_folder(std::FILE* file)
{
    struct stat st;
    return fstat(fileno(file), &st) == 0 && S_ISDIR(st.st_mode);
}

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
    std::string path = path_bytes(source);
    {
        py::gil_scoped_release released;
        s->file = std::fopen(path.c_str(), "rb");
    }
    if (s->file != nullptr && is_folder(s->file)) {
        std::fclose(s->file);
        s->file = nullptr;
        errno = EISDIR;
    }
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

// Pickling: a result as a tuple of plain values, and back.
constexpr tav::Status kStatuses[] = {tav::Status::Converted, tav::Status::Written,
                                     tav::Status::Failed,    tav::Status::TooLarge,
                                     tav::Status::LineTooLong, tav::Status::Blank};

py::tuple message_state(const tav::Message& m)
{
    return py::make_tuple(m.kind == tav::MessageKind::Warning, py::bytes(m.text), m.position,
                          m.byte);
}

tav::Message message_from(const py::tuple& t)
{
    if (t.size() != 4)
        throw py::value_error("not a pickled tav.Message");
    return tav::Message{t[0].cast<bool>() ? tav::MessageKind::Warning : tav::MessageKind::Error,
                        t[1].cast<std::string>(), t[2].cast<int64_t>(), t[3].cast<int>()};
}

py::tuple result_state(const tav::Result& r)
{
    py::list messages;
    for (const tav::Message& m : r.messages)
        messages.append(message_state(m));
    return py::make_tuple(static_cast<int>(r.status), py::bytes(r.document),
                          py::bytes(r.file_name), messages, r.identifier, py::bytes(r.number));
}

tav::Result result_from(const py::tuple& t)
{
    int status = t.size() == 6 ? t[0].cast<int>() : -1;
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
    return r;
}

// The exception for a run that could not go ahead; the run's own file
// errors carry errno and the path, as open() reports them.
[[noreturn]] void raise_for(const FileRun& run, const py::handle& path, const py::handle& folder)
{
    switch (run.end) {
    case FileRun::End::CannotMakeFolder:
        errno = run.error;
        PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, folder.ptr());
        break;
    case FileRun::End::CannotOpen:
        errno = run.error;
        PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path.ptr());
        break;
    case FileRun::End::InputClash:
        PyErr_SetObject(PyExc_ValueError,
                        py::str("the output file {} in {} would be the input {}; nothing "
                                "was written")
                            .format(decode(run.clash), folder, path)
                            .ptr());
        break;
    default:
        PyErr_SetObject(PyExc_OSError, py::str("cannot read {}").format(path).ptr());
        break;
    }
    throw py::error_already_set();
}

}  // namespace

PYBIND11_MODULE(_tav, m)
{
    py::options signatures;
    signatures.disable_function_signatures();
    m.doc() = "The converter behind the package tav; use the package.";
    m.attr("__version__") = TAV_VERSION;

    py::class_<tav::Message>(m, "Message", "A warning or error about a record.")
        .def_property_readonly(
            "kind", [](const tav::Message& msg) { return tav::kind_name(msg.kind); },
            "\"warning\" or \"error\".")
        .def_property_readonly(
            "text", [](const tav::Message& msg) { return decode(msg.text); },
            "The text as the program writes it after \"incipit: ID-NUMBER, \" (control bytes "
            "as \\xHH).")
        .def_property_readonly(
            "code", [](const tav::Message& msg) { return std::string(msg.code); },
            "A stable name for what the message is about, the same for every record, "
            "e.g. \"unknown_sign\".")
        .def_property_readonly(
            "position", [](const tav::Message& msg) { return none_if_negative(msg.position); },
            "For a sign the converter cannot read, its index in the line; None otherwise.")
        .def_property_readonly(
            "byte", [](const tav::Message& msg) { return none_if_negative(msg.byte); },
            "For a sign the converter cannot read, its byte value (0..255); None otherwise.")
        .def("__repr__",
             [](const tav::Message& msg) {
                 return py::str("<tav.Message {} {!r}>").format(tav::kind_name(msg.kind),
                                                                decode(msg.text));
             })
        .def(py::pickle([](const tav::Message& msg) { return message_state(msg); },
                        [](const py::tuple& t) { return message_from(t); }));

    py::class_<tav::Result>(m, "Result", "What one record became.")
        .def_property_readonly("ok", &tav::Result::ok,
                               "True when the record converted (data holds its document).")
        .def_property_readonly(
            "status", [](const tav::Result& r) { return tav::status_name(r.status); },
            "\"converted\", \"failed\", \"too_large\", \"line_too_long\" or \"blank\".")
        .def_property_readonly(
            "data", [](const tav::Result& r) { return py::bytes(r.document); },
            "The MusicXML document as bytes; empty unless ok.")
        .def_property_readonly(
            "xml", [](const tav::Result& r) { return decode(r.document); },
            "The document as str (decoded from UTF-8 with surrogateescape).")
        .def_property_readonly(
            "file_name", [](const tav::Result& r) { return decode(r.file_name); },
            "\"ID-NUMBER.xml\", the record's file name; empty when there is no document.")
        .def_property_readonly(
            "messages", [](const tav::Result& r) { return r.messages; },
            "The warnings, then at most one error (list of Message).")
        .def_property_readonly(
            "identifier", [](const tav::Result& r) { return r.identifier; },
            "The incipit identifier, as far as it was read (0 when none).")
        .def_property_readonly(
            "number", [](const tav::Result& r) { return decode(r.number); },
            "The incipit number as it stands in the line, e.g. \"1.1.1\".")
        .def("__repr__",
             [](const tav::Result& r) {
                 return py::str("<tav.Result {} {!r}>")
                     .format(tav::status_name(r.status), decode(r.file_name));
             })
        .def(py::pickle([](const tav::Result& r) { return result_state(r); },
                        [](const py::tuple& t) { return result_from(t); }));

    py::class_<tav::MarcxmlItem>(m, "CatalogueRecord",
                                 "An incipit read from MARCXML, with its record's description.")
        .def_property_readonly("identifier", [](const tav::MarcxmlItem& i) { return decode(i.record.identifier); }, "The incipit identifier (001).")
        .def_property_readonly("number", [](const tav::MarcxmlItem& i) { return decode(i.record.number); }, "The incipit number, \"$a.$b.$c\" of 031.")
        .def_property_readonly("clef", [](const tav::MarcxmlItem& i) { return decode(i.record.clef); }, "The clef code (031 $g).")
        .def_property_readonly("time", [](const tav::MarcxmlItem& i) { return decode(i.record.time); }, "The time signature (031 $o).")
        .def_property_readonly("key", [](const tav::MarcxmlItem& i) { return decode(i.record.key); }, "The key signature (031 $n), put before the music.")
        .def_property_readonly("music", [](const tav::MarcxmlItem& i) { return decode(i.record.music); }, "The music in the Plaine & Easie Code (031 $p).")
        .def_property_readonly("composer", [](const tav::MarcxmlItem& i) { return decode(i.record.description.composer.str()); }, "The composer (100 $a); empty when none.")
        .def_property_readonly("work_title", [](const tav::MarcxmlItem& i) { return decode(i.record.description.work_title.str()); }, "The work's title (240 $a, else 245 $a); empty when none.")
        .def_property_readonly("movement_title", [](const tav::MarcxmlItem& i) { return decode(i.record.description.movement_title); }, "The movement's title (031 $d).")
        .def_property_readonly("part_name", [](const tav::MarcxmlItem& i) { return decode(i.record.description.part_name); }, "The part's name (031 $m).")
        .def_property_readonly("text_incipit", [](const tav::MarcxmlItem& i) { return decode(i.record.description.text_incipit); }, "The text incipit (031 $t).")
        .def_property_readonly("key_or_mode", [](const tav::MarcxmlItem& i) { return decode(i.record.description.key_or_mode); }, "The key or mode (031 $r).")
        .def_property_readonly("control_number", [](const tav::MarcxmlItem& i) { return decode(i.control_number); }, "The record's 001 as written; empty when it has none.")
        .def_property_readonly("occurrence", [](const tav::MarcxmlItem& i) { return i.occurrence; }, "Which 031 of the record, from 1.")
        .def_property_readonly("line", [](const tav::MarcxmlItem& i) { return i.line; }, "The line of the input where the field is.")
        .def("__repr__", [](const tav::MarcxmlItem& i) {
            return py::str("<tav.CatalogueRecord {} 031 #{}>").format(decode(i.control_number), i.occurrence);
        });

    py::class_<MarcxmlSource>(m, "MarcxmlReader",
                              "The incipits of a MARCXML document, one by one; the reader's "
                              "warnings and errors met before each as (kind, text, "
                              "control_number, line) in messages.")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &MarcxmlSource::next)
        .def_readonly("messages", &MarcxmlSource::messages,
                      "The reader's warnings and errors met since the record given "
                      "before (at the end: after the last), as (kind, text, "
                      "control_number, line); a new list at each step.");

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
            py::gil_scoped_release released;
            return thread_converter().convert(in.view, options);
        },
        py::arg("line"), py::kw_only(), py::arg("remove_mensural") = false,
        py::arg("remove_measure_rests") = false, py::arg("musicxml") = "1.0",
        py::arg("compress") = false,
        "convert(line, *, remove_mensural=False, remove_measure_rests=False, "
        "musicxml=\"1.0\", compress=False) -> Result\n\n"
        "Converts one record line (bytes or str; a line feed, if any, ends it) or a "
        "CatalogueRecord from read_marcxml. musicxml: \"1.0\" or \"4.0\"; compress: the "
        "result's data is a compressed MusicXML file (.mxl).");

    m.def(
        "convert_fields",
        [](const py::handle& identifier, const py::handle& number, const py::handle& clef,
           const py::handle& time, const py::handle& time2, const py::handle& music,
           bool remove_mensural, bool remove_measure_rests, const std::string& musicxml,
           bool compress) {
            InputBytes id = input_bytes(identifier, "identifier");
            InputBytes nb = input_bytes(number, "number");
            InputBytes c = input_bytes(clef, "clef");
            InputBytes t = input_bytes(time, "time");
            InputBytes t2 = input_bytes(time2, "time2");
            InputBytes mu = input_bytes(music, "music");
            tav::Options options =
                options_of(remove_mensural, remove_measure_rests, musicxml, compress);
            py::gil_scoped_release released;
            return thread_converter().convert(
                tav::Fields{id.view, nb.view, c.view, t.view, t2.view, mu.view}, options);
        },
        py::arg("identifier"), py::arg("number"), py::arg("clef"), py::arg("time"),
        py::arg("time2"), py::arg("music"), py::kw_only(), py::arg("remove_mensural") = false,
        py::arg("remove_measure_rests") = false, py::arg("musicxml") = "1.0",
        py::arg("compress") = false,
        "convert_fields(identifier, number, clef, time, time2, music, *, "
        "remove_mensural=False, remove_measure_rests=False, musicxml=\"1.0\", "
        "compress=False) -> Result\n\n"
        "Converts a record given as its fields (each bytes or str); an empty clef or time is "
        "a null field. A field holding a tab or a line end fails the record.");

    py::object file_report = py::module_::import("collections").attr("namedtuple")(
        "FileReport", "written failed blank_lines problems");
    file_report.attr("__module__") = "tav";
    file_report.attr("__doc__") =
        "What convert_file did: the files written, the records failed, the blank lines "
        "passed over, and the records with warnings or errors as (line, Result) pairs "
        "(lines counted from 1, blank lines included; the Results without their documents).";
    m.attr("FileReport") = file_report;

    m.def(
        "convert_file",
        [file_report](const py::object& path, const py::object& out_dir, bool remove_mensural,
                      bool remove_measure_rests, const std::string& musicxml, bool compress) {
            std::string in_path = path_bytes(path);
            std::string folder = path_bytes(out_dir);
            tav::Options options =
                options_of(remove_mensural, remove_measure_rests, musicxml, compress);
            FileRun run;
            {
                py::gil_scoped_release released;
                run = convert_file(in_path, folder, options);
            }
            if (run.end != FileRun::End::Done)
                raise_for(run, path, out_dir);
            py::list problems;
            for (auto& [line, result] : run.problems)
                problems.append(py::make_tuple(line, std::move(result)));
            return file_report(run.written, run.failed, run.blank_lines, problems);
        },
        py::arg("path"), py::arg("out_dir"), py::kw_only(), py::arg("remove_mensural") = false,
        py::arg("remove_measure_rests") = false, py::arg("musicxml") = "1.0",
        py::arg("compress") = false,
        "convert_file(path, out_dir, *, remove_mensural=False, remove_measure_rests=False, "
        "musicxml=\"1.0\", compress=False) -> FileReport\n\n"
        "Converts every record of a file, one per line, into files in out_dir (made if "
        "missing), as the batch command does: a line ends in LF, CR LF or a lone CR, and blank "
        "lines are passed over and counted. "
        "A MARCXML file (recognised by its start; not through a pipe) gives every incipit "
        "with music, with its description; a record the reader cannot read is a failed "
        "problem, and a field it passes over (another notation system) a problem with its "
        "warning, counted neither written nor failed. "
        "Raises OSError when the file cannot be opened or read or the folder cannot be "
        "made, ValueError for a zero byte in a path or when a record's file would be the "
        "input itself (then nothing is written).");
}
