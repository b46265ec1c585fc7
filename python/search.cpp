// tav.search over the database tav_convert --database writes, with the
// query reader and the ranking of tav_search; each hit a dict with the
// names of tav_search --json.

#include "search.h"

#include <string>

#include "catalogue.h"

namespace py = pybind11;

namespace {

py::dict hit_dict(const tav::db::Hit& h)
{
    py::dict d;
    d["identifier"] = h.identifier;
    d["number"] = h.number;
    d["control_number"] = h.control_number;
    d["occurrence"] = h.occurrence;
    d["composer"] = h.composer;
    d["work_title"] = h.work_title;
    d["movement_title"] = h.movement_title;
    d["siglum"] = h.siglum;
    d["shelfmark"] = h.shelfmark;
    d["note"] = h.note;
    d["exact"] = h.exact;
    d["score"] = h.score;
    return d;
}

py::list search(const py::object& database, const std::string& text, bool exact, bool rhythm,
                int hits)
{
    std::string path = py::str(py::module_::import("os").attr("fspath")(database));
    tav::db::Query query;
    tav::db::SearchOptions options;
    options.exact_pitch = exact;
    options.rhythm = rhythm;
    options.hits = hits;
    std::string error;
    if (!tav::db::parse_query(text, query, error) || !tav::db::check_options(query, options, error))
        throw py::value_error(error);
    std::vector<tav::db::Hit> found;
    bool ok;
    {
        py::gil_scoped_release unlocked;
        tav::db::Catalogue catalogue;
        ok = catalogue.open(path, error) && catalogue.search(query, options, found, error);
    }
    if (!ok)
        throw std::runtime_error(error);
    py::list out;
    for (const tav::db::Hit& h : found)
        out.append(hit_dict(h));
    return out;
}

py::bytes document(const py::object& database, const std::string& identifier,
                   const std::string& number)
{
    std::string path = py::str(py::module_::import("os").attr("fspath")(database));
    std::string name, text, error;
    bool ok;
    {
        py::gil_scoped_release unlocked;
        tav::db::Catalogue catalogue;
        ok = catalogue.open(path, error) && catalogue.document(identifier, number, name, text, error);
    }
    if (!ok)
        throw std::runtime_error(error);
    return py::bytes(text);
}

}  // namespace

void bind_search(py::module_& m)
{
    m.def("search", &search, py::arg("database"), py::arg("query"), py::kw_only(),
          py::arg("exact") = false, py::arg("rhythm") = false, py::arg("hits") = 10,
          "search(database, query, *, exact=False, rhythm=False, hits=10) -> list\n\n"
          "Finds a melody in a catalogue database that tav_convert --database wrote. query: "
          "a melody in the code (\"'4C8DE/2F\"), chromatic intervals (\"+2 +2 +1\") or a "
          "gross contour (\"UUD\"). exact: the pitches as written, not only the intervals; "
          "rhythm: the notes' lengths too (both for a query in the code). Gives at most "
          "`hits` hits, exact matches of the whole query first, each a dict with "
          "identifier, number, control_number, occurrence, composer, work_title, "
          "movement_title, siglum, shelfmark, note (where the match starts, 1 the first "
          "note), exact and score, as tav_search --json gives them. Raises ValueError for "
          "a query that is none (empty, too long, not readable, fewer than two notes, exact "
          "or rhythm without music in the code) and "
          "RuntimeError when the database cannot be read or searched.");
    m.def("document", &document, py::arg("database"), py::arg("identifier"), py::arg("number"),
          "document(database, identifier, number) -> bytes\n\n"
          "The document of one incipit of a catalogue database that tav_convert --database "
          "wrote, byte for byte as tav_convert writes it to a file. Raises RuntimeError when "
          "the database cannot be read or holds no document of that incipit.");
}
