// The extension module "tav._tav" behind the package "tav": the converter
// library, in memory, with the interpreter's lock released while records
// convert and files are read and written. The signatures in the docstrings
// are those of the stub tav/__init__.pyi.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "file_run.h"
#include "options.h"
#include "description.h"
#include "melody.h"
#include "search.h"
#include "pickling.h"
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

// Each thread converts with a converter of its own, reused call after call.
tav::Converter& thread_converter()
{
    thread_local tav::Converter converter;
    return converter;
}

// A binary file object read in blocks for an InputStream: each block is
// read with the interpreter's lock taken back (the library's call runs
// without it) through readinto, or read where there is no readinto. An
// exception raised there fails the read and is kept, for raise_failure()
// to raise once the library's call has returned.
struct FileObject {
    py::object file;
    py::object readinto;  // None when the object has only read
    int fd = -1;          // its descriptor, when fileno() gives one
    std::exception_ptr failure;

    // A whole block, as fread gives one, however few bytes each call of
    // the object gives: the input's first block tells what it holds.
    std::int64_t read(char* to, std::size_t size)
    {
        py::gil_scoped_acquire held;
        std::size_t done = 0;
        try {
            while (!failure && done < size) {
                std::int64_t n = readinto.is_none() ? read_bytes(to + done, size - done)
                                                    : read_into(to + done, size - done);
                if (n == 0)
                    break;
                done += static_cast<std::size_t>(n);
            }
        } catch (...) {
            failure = std::current_exception();
        }
        return failure ? -1 : static_cast<std::int64_t>(done);
    }

    std::int64_t read_into(char* to, std::size_t size)
    {
        // The view is released before the block goes back to the library,
        // so that nothing the object kept (a traceback's frame) reaches it.
        py::memoryview view = py::memoryview::from_memory(to, static_cast<py::ssize_t>(size));
        py::object got;
        try {
            got = readinto(view);
        } catch (const py::error_already_set&) {
            if (py::object released = py::reinterpret_steal<py::object>(
                    PyObject_CallMethod(view.ptr(), "release", nullptr)); !released)
                PyErr_Clear();
            throw;
        }
        view.attr("release")();
        if (got.is_none()) {
            PyErr_SetString(PyExc_BlockingIOError,
                            "the file object has no bytes ready (it is non-blocking)");
            throw py::error_already_set();
        }
        auto n = got.cast<std::int64_t>();
        if (n < 0 || static_cast<std::uint64_t>(n) > size)
            throw py::value_error("readinto() returned " + std::to_string(n) + " for " +
                                  std::to_string(size) + " bytes");
        return n;
    }

    std::int64_t read_bytes(char* to, std::size_t size)
    {
        py::object got = file.attr("read")(size);
        if (PyUnicode_Check(got.ptr()))
            throw py::type_error("the file object gives str: open it in binary mode ('rb')");
        InputBytes in = input_bytes(got, "read()");
        if (in.view.size() > size)
            throw py::value_error("read(" + std::to_string(size) + ") gave " +
                                  std::to_string(in.view.size()) + " bytes");
        std::copy(in.view.begin(), in.view.end(), to);
        return static_cast<std::int64_t>(in.view.size());
    }

    tav::InputStream::ReadFunction function()
    {
        return [this](char* to, std::size_t size) { return read(to, size); };
    }

    void raise_failure()
    {
        if (failure)
            std::rethrow_exception(std::exchange(failure, nullptr));
    }
};

// The file object `source` is, or null when it is a path or bytes: an
// object with read or readinto, in binary mode.
std::unique_ptr<FileObject> file_object(const py::handle& source)
{
    if (PyUnicode_Check(source.ptr()) || PyBytes_Check(source.ptr()) ||
        PyByteArray_Check(source.ptr()) || PyMemoryView_Check(source.ptr()) ||
        py::hasattr(source, "__fspath__") ||
        !(py::hasattr(source, "readinto") || py::hasattr(source, "read")))
        return nullptr;
    if (py::isinstance(source, py::module_::import("io").attr("TextIOBase")))
        throw py::type_error("a text file object gives str: open the file in binary mode ('rb')");
    auto f = std::make_unique<FileObject>();
    f->file = py::reinterpret_borrow<py::object>(source);
    f->readinto = py::getattr(source, "readinto", py::none());
    try {
        f->fd = source.attr("fileno")().cast<int>();
    } catch (const std::exception&) {
        // no descriptor: io.BytesIO, say
    }
    return f;
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
    py::object holder;           // the bytes
    std::FILE* file = nullptr;   // the file opened by its path
    std::unique_ptr<FileObject> object;  // or the file object read
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
                {
                    py::gil_scoped_release released;
                    more = reader->next(item);
                }
                if (object)
                    object->raise_failure();
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
                for (const tav::Message& warning : item.warnings)
                    messages.append(py::make_tuple("warning", decode(warning.text),
                                                   decode(item.control_number), item.line));
                return item;
            }
            messages.append(py::make_tuple(tav::kind_name(item.message.kind),
                                           decode(item.message.text),
                                           decode(item.control_number), item.line));
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
    if ((s->object = file_object(source))) {
        s->reader = std::make_unique<tav::MarcxmlReader>(
            std::make_unique<tav::InputStream>(s->object->function()));
        s->object->raise_failure();
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
        PyErr_SetObject(PyExc_OSError,
                        (run.failure.empty() ? py::str("cannot read {}").format(path)
                                             : py::str("cannot read {}: {}")
                                                   .format(path, decode(run.failure)))
                            .ptr());
        break;
    }
    throw py::error_already_set();
}

void bind_message(py::module_& m, const py::metaclass& plain_type)
{
    py::class_<tav::Message>(m, "Message", plain_type, "A warning or error about a record.")
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
}

void bind_result(py::module_& m, const py::metaclass& plain_type)
{
    py::class_<tav::Result>(m, "Result", plain_type, "What one record became.")
        .def_property_readonly("ok", &tav::Result::ok,
                               "True when the record converted (data holds its document).")
        .def_property_readonly(
            "status", [](const tav::Result& r) { return tav::status_name(r.status); },
            "\"converted\", \"written\" (in convert_file's problems), \"failed\", "
            "\"too_large\", \"line_too_long\" or \"blank\".")
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
}

void bind_catalogue(py::module_& m, const py::metaclass& plain_type)
{
    py::class_<tav::MarcxmlItem> item(m, "CatalogueRecord", plain_type, "An incipit read from MARCXML, with its record's description.");
    bind_description(item);
    item.def_property_readonly("identifier", [](const tav::MarcxmlItem& i) { return decode(i.record.identifier); }, "The incipit identifier (001).")
        .def_property_readonly("number", [](const tav::MarcxmlItem& i) { return decode(i.record.number); }, "The incipit number, \"$a.$b.$c\" of 031.")
        .def_property_readonly("clef", [](const tav::MarcxmlItem& i) { return decode(i.record.clef); }, "The clef code (031 $g).")
        .def_property_readonly("time", [](const tav::MarcxmlItem& i) { return decode(i.record.time); }, "The time signature (031 $o).")
        .def_property_readonly("key", [](const tav::MarcxmlItem& i) { return decode(i.record.key); }, "The key signature (031 $n), read before the music.")
        .def_property_readonly("music", [](const tav::MarcxmlItem& i) { return decode(i.record.music); }, "The music in the Plaine & Easie Code (031 $p).")
        .def_property_readonly("composer", [](const tav::MarcxmlItem& i) { return decode(i.record.description.composer.str()); }, "The composer (100 $a); empty when none.")
        .def_property_readonly("work_title", [](const tav::MarcxmlItem& i) { return decode(i.record.description.work_title.str()); }, "The work's title (240 $a, else 245 $a); empty when none.")
        .def_property_readonly("movement_title", [](const tav::MarcxmlItem& i) { return decode(i.record.description.movement_title); }, "The movement's title (031 $d).")
        .def_property_readonly("part_name", [](const tav::MarcxmlItem& i) { return decode(i.record.description.part_name); }, "The part's name (031 $m).")
        .def_property_readonly("text_incipit", [](const tav::MarcxmlItem& i) { return decode(i.record.description.text_incipit); }, "The text incipit (031 $t).")
        .def_property_readonly("key_or_mode", [](const tav::MarcxmlItem& i) { return decode(i.record.description.key_or_mode); }, "The key or mode (031 $r) as written, e.g. \"E|b\".")
        .def_property_readonly("control_number", [](const tav::MarcxmlItem& i) { return decode(i.control_number); }, "The record's 001 as written; empty when it has none.")
        .def_property_readonly("occurrence", [](const tav::MarcxmlItem& i) { return i.occurrence; }, "Which 031 of the record, from 1.")
        .def_property_readonly("line", [](const tav::MarcxmlItem& i) { return i.line; }, "The line of the input where the field is.")
        .def("__repr__", [](const tav::MarcxmlItem& i) {
            return py::str("<tav.CatalogueRecord {} 031 #{}>").format(decode(i.control_number), i.occurrence);
        })
        .def(py::pickle([](const tav::MarcxmlItem& i) { return item_state(i); },
                        [](const py::tuple& t) { return item_from(t); }));

    py::class_<MarcxmlSource>(m, "MarcxmlReader", plain_type,
                              "The incipits of a MARCXML document, one by one; the reader's "
                              "warnings and errors met before each as (kind, text, "
                              "control_number, line) in messages.")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &MarcxmlSource::next)
        .def_readonly("messages", &MarcxmlSource::messages,
                      "The reader's warnings and errors met since the record given "
                      "before (at the end: after the last), as (kind, text, "
                      "control_number, line); a new list at each step.")
        .def_property_readonly(
            "counts",
            [](const MarcxmlSource& s) { return counts_dict(s.reader->counts()); },
            "What the reader has seen so far: record elements, incipits given, fields 031 "
            "without music and of another notation system passed over, records without a "
            "control number, errors (a dict; COUNT_CODES names the messages' codes).");
    m.attr("COUNT_CODES") = count_codes();

    m.def("read_marcxml", &open_marcxml, py::arg("source"),
          "Reads MARCXML (MARC 21 records, incipits in field 031) from a path, from bytes or "
          "from a binary file object (read in blocks; its exceptions come out of the "
          "iteration), gzip-compressed or not, as a stream: yields a CatalogueRecord for each "
          "031 field with music.");
}

void bind_conversions(py::module_& m)
{
    m.def(
        "convert",
        [](const py::handle& line, bool remove_mensural, bool remove_measure_rests,
           const py::object& musicxml, bool compress, const py::object& format, const std::string& record_uri) {
            tav::Options options =
                options_of(remove_mensural, remove_measure_rests, musicxml, format, compress, record_uri);
            if (py::isinstance<tav::MarcxmlItem>(line))
                return convert_item(line.cast<const tav::MarcxmlItem&>(), options);
            InputBytes in = input_bytes(line, "line");
            py::gil_scoped_release released;
            return thread_converter().convert(in.view, options);
        },
        py::arg("line"), py::kw_only(), py::arg("remove_mensural") = false,
        py::arg("remove_measure_rests") = false, py::arg("musicxml") = py::none(),
        py::arg("compress") = false, py::arg("format") = py::none(), py::arg("record_uri") = "",
        "convert(line, *, remove_mensural=False, remove_measure_rests=False, "
        "musicxml=None, compress=False, format=None, record_uri=\"\") -> Result\n\n"
        "Converts one record line (bytes or str; a line feed, if any, ends it) or a "
        "CatalogueRecord from read_marcxml. format: a name of formats() (the first is the "
        "default), or musicxml: a MusicXML version of them; compress: the result's data is "
        "the format's compressed file (MusicXML: .mxl); record_uri: for a CatalogueRecord, a link to the record in 4.0, \"{id}\" its 001.");

    m.def(
        "convert_fields",
        [](const py::handle& identifier, const py::handle& number, const py::handle& clef,
           const py::handle& time, const py::handle& time2, const py::handle& music,
           bool remove_mensural, bool remove_measure_rests, const py::object& musicxml,
           bool compress, const py::object& format) {
            InputBytes id = input_bytes(identifier, "identifier");
            InputBytes nb = input_bytes(number, "number");
            InputBytes c = input_bytes(clef, "clef");
            InputBytes t = input_bytes(time, "time");
            InputBytes t2 = input_bytes(time2, "time2");
            InputBytes mu = input_bytes(music, "music");
            tav::Options options =
                options_of(remove_mensural, remove_measure_rests, musicxml, format, compress, {});
            py::gil_scoped_release released;
            return thread_converter().convert(
                tav::Fields{id.view, nb.view, c.view, t.view, t2.view, mu.view}, options);
        },
        py::arg("identifier"), py::arg("number"), py::arg("clef"), py::arg("time"),
        py::arg("time2"), py::arg("music"), py::kw_only(), py::arg("remove_mensural") = false,
        py::arg("remove_measure_rests") = false, py::arg("musicxml") = py::none(),
        py::arg("compress") = false, py::arg("format") = py::none(),
        "convert_fields(identifier, number, clef, time, time2, music, *, "
        "remove_mensural=False, remove_measure_rests=False, musicxml=None, "
        "compress=False, format=None) -> Result\n\n"
        "Converts a record given as its fields (each bytes or str); an empty clef or time is "
        "a null field. A field holding a tab or a line end fails the record.");
}

// convert_file's work: the input, the run, and its problems as tuples.
py::tuple run_file(const py::object& source, const py::object& out_dir, bool remove_mensural,
                   bool remove_measure_rests, const py::object& musicxml, bool compress,
                   const std::string& from, const py::object& format, const std::string& record_uri)
{
        FileInput input;
        std::unique_ptr<FileObject> object = file_object(source);
        if (object) {
            input.read = object->function();
            input.fd = object->fd;
        } else {
            input.path = path_bytes(source);
        }
        std::string folder = path_bytes(out_dir);
        tav::Options options =
            options_of(remove_mensural, remove_measure_rests, musicxml, format, compress, record_uri);
        const tav::InputForm* form = form_of(from);
        FileRun run;
        {
            py::gil_scoped_release released;
            run = convert_file(input, folder, options, form);
        }
        if (object)
            object->raise_failure();
        if (run.end != FileRun::End::Done)
            raise_for(run, source, out_dir);
        // (line, result, control_number or None, occurrence, from_reader):
        // the package makes each a tav.Problem.
        py::list problems;
        for (Problem& p : run.problems)
            problems.append(py::make_tuple(
                p.line, std::move(p.result),
                p.catalogue ? py::object(decode(p.control_number)) : py::object(py::none()),
                p.occurrence, p.reader_message));
        return py::make_tuple(run.written, run.failed, run.blank_lines, problems);
}

}  // namespace

PYBIND11_MODULE(_tav, m)
{
    py::options signatures;
    signatures.disable_function_signatures();
    m.doc() = "The converter behind the package tav; use the package.";
    m.attr("__version__") = TAV_VERSION;
    // The classes are of type itself, as the stub declares them: none has
    // static members or a constructor, which pybind11's metaclass is for.
    const py::metaclass plain_type(reinterpret_cast<PyObject*>(&PyType_Type));
    bind_message(m, plain_type);
    bind_result(m, plain_type);
    bind_melody(m, plain_type);
    bind_search(m);
    bind_catalogue(m, plain_type);
    bind_conversions(m);
    bind_tables(m, plain_type);
    m.def(
        "convert_file",
        &run_file,
        py::arg("path"), py::arg("out_dir"), py::kw_only(), py::arg("remove_mensural") = false,
        py::arg("remove_measure_rests") = false, py::arg("musicxml") = py::none(),
        py::arg("compress") = false, py::arg("from_") = "auto", py::arg("format") = py::none(), py::arg("record_uri") = "",
        "convert_file(path, out_dir, *, remove_mensural=False, remove_measure_rests=False, "
        "musicxml=None, compress=False, from_=\"auto\", format=None, record_uri=\"\") -> FileReport\n\n"
        "Converts every record of a file (a path, or a binary file object read in blocks) "
        "into files in out_dir (made if missing), as the batch command does: a line ends in "
        "LF, CR LF or a lone CR, and blank lines are passed over and counted. "
        "from_=\"auto\" recognises the input's form by its first bytes (from a pipe or a "
        "file object too): MARCXML, the code's key-value form (\"@clef:G-2\" lines) or JSON "
        "form (objects with clef, keysig, timesig and data), tab-separated records "
        "otherwise; a name of input_forms() (\"tab\", \"marcxml\", \"pae\", \"json\") says "
        "which. MARCXML gives every incipit with music, with its description (record_uri: a link to its record in 4.0, \"{id}\" its 001); a record the reader cannot read is a failed problem, and a field it "
        "passes over (another notation system) a problem with its warning, counted neither "
        "written nor failed. Each problem is a Problem, the pair (line, result) with the "
        "record's control_number and occurrence. "
        "Raises OSError when the file cannot be opened or read or the folder cannot be "
        "made, the file object's own exception when its read raises one, ValueError for a "
        "zero byte in a path or when a record's file would be the input itself (for a "
        "tab-separated file named by its path, nothing is written then).");
}
