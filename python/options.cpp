// The keywords the module's functions share, and the tables of formats and
// input forms as the package shows them.

#include "options.h"

#include <pybind11/stl.h>

#include <string_view>
#include <vector>

#include "tav/batch.h"
#include "tav/formats.h"
#include "tav/shared_options.h"

namespace py = pybind11;

namespace {

// The format a keyword names: by its name (`format`) or as a MusicXML
// version (`musicxml`); null when the keyword is None.
const tav::OutputFormat* format_named(const py::object& value, bool by_name)
{
    if (value.is_none())
        return nullptr;
    const std::string text = value.cast<std::string>();
    const tav::OutputFormat* format =
        by_name ? tav::find_format(text) : tav::find_format("musicxml", text);
    if (format == nullptr)
        throw py::value_error(
            by_name ? "format must be \"" + tav::format_names("\", \"", "\" or \"") + "\""
                    : "musicxml must be \"" + tav::format_versions("musicxml", "\", \"",
                                                                  "\" or \"") + "\"");
    return format;
}

}  // namespace

tav::Options options_of(bool remove_mensural, bool remove_measure_rests,
                        const py::object& musicxml, const py::object& format, bool compress,
                        const std::string& record_uri)
{
    tav::Options options;
    options.remove_mensural = remove_mensural;
    options.remove_measure_rests = remove_measure_rests;
    const tav::OutputFormat* by_version = format_named(musicxml, false);
    options.format = format_named(format, true);
    if (options.format != nullptr && by_version != nullptr && options.format != by_version)
        throw py::value_error("format and musicxml name different formats");
    if (options.format == nullptr)
        options.format = by_version;
    const tav::OutputFormat& chosen =
        options.format != nullptr ? *options.format : tav::default_format();
    if (compress && !chosen.compressible())
        throw py::value_error("compress: " +
                              tav::message_text(tav::MessageCode::NotCompressible, {chosen.name}));
    options.compressed = compress;
    options.record_uri = record_uri;
    options.melody = true;   // Result.melody
    return options;
}

const tav::InputForm* form_of(const std::string& from)
{
    const tav::InputForm* form = tav::find_input_form(from);
    if (form == nullptr && from != "auto")
        throw py::value_error("from_ must be \"auto\", \"" +
                              tav::input_form_names("\", \"", "\" or \"") + "\"");
    return form;
}

namespace {

// The options, exit statuses and shown texts the batch commands share.
void bind_front_end_tables(py::module_& m)
{
    m.def("shared_options", [] {
              std::vector<py::dict> rows;
              for (const tav::SharedOption& o : tav::shared_options()) {
                  py::dict row;
                  row["name"] = o.name;
                  row["value"] = o.value;
                  row["choices"] = o.choices;
                  row["default"] = o.default_value;
                  row["help"] = o.help;
                  rows.push_back(row);
              }
              return rows;
          },
          "shared_options() -> list[dict[str, str]]\n\n"
          "The options the batch commands share (python -m tav and tav_convert), from the "
          "library's table: name (--NAME), value (its name in help, empty for a switch or a "
          "choice), choices (\"|\" between them; empty: any), default and help.");
    m.def("exit_statuses", [] {
              py::dict statuses;
              for (const tav::ExitStatusRow& row : tav::exit_statuses())
                  statuses[py::str(std::string(row.name))] = static_cast<int>(row.status);
              return statuses;
          },
          "exit_statuses() -> dict[str, int]\n\n"
          "The batch commands' exit statuses by name: all_converted, records_failed, "
          "run_error.");
    m.def("shown_text", [](const py::bytes& text) {
              return py::bytes(tav::shown_text(std::string(text)));
          },
          "shown_text(text: bytes) -> bytes\n\n"
          "The text with every control byte (below 32, and 127) written as \\xHH, as the "
          "batch commands show names and messages.");
}

}  // namespace

void bind_tables(py::module_& m, const py::metaclass& plain_type)
{
    using Format = tav::OutputFormat;
    auto text = [](std::string_view Format::*field) {
        return [field](const Format& f) { return std::string(f.*field); };
    };
    py::class_<Format>(m, "OutputFormat", plain_type,
                       "A format documents are written in: a row of the library's table.")
        .def_property_readonly("name", text(&Format::name), "What format= takes, e.g. \"musicxml4\".")
        .def_property_readonly("family", text(&Format::family), "\"musicxml\" for MusicXML's rows.")
        .def_property_readonly("version", text(&Format::version), "e.g. \"4.0\".")
        .def_property_readonly("suffix", text(&Format::suffix), "Of the file's name, e.g. \".xml\".")
        .def_property_readonly("media_type", text(&Format::media_type), "Of the document.")
        .def_property_readonly("description", text(&Format::description), "What it is.")
        .def_property_readonly("compressed_suffix", text(&Format::compressed_suffix),
                               "Of the compressed container (compress=True), e.g. \".mxl\"; "
                               "empty when the format has none.")
        .def_property_readonly("compressed_media_type", text(&Format::compressed_media_type),
                               "Of the compressed container; empty when the format has none.")
        .def_property_readonly("compressible", &Format::compressible,
                               "Whether compress=True can write it.")
        .def("__repr__", [](const Format& f) {
            return "<tav.OutputFormat " + std::string(f.name) + ">";
        });
    m.def("formats", [] {
              std::vector<const Format*> rows;
              for (const Format& f : tav::formats())
                  rows.push_back(&f);
              return rows;
          }, py::return_value_policy::reference,
          "formats() -> list[OutputFormat]\n\n"
          "The formats convert, convert_fields and convert_file write (their format=), from "
          "the library's table, the default first.");
    m.def("input_forms", [] {
              std::vector<std::string> names;
              for (const tav::InputForm& form : tav::input_forms())
                  names.emplace_back(form.name);
              return names;
          },
          "input_forms() -> list[str]\n\n"
          "The names of the forms convert_file reads (its from_ besides \"auto\"), from the "
          "library's table: \"tab\", \"marcxml\", \"pae\", \"json\".");
    bind_front_end_tables(m);
}
