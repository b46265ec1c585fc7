// tav.Melody: the keys made by the library, under the names the report
// gives them (tav::append_keys_json), so that both say the same.

#include "melody.h"

#include <pybind11/stl.h>

#include <string>

namespace py = pybind11;

namespace {

// A note's fields in a pickled melody.
constexpr std::size_t kNoteFields = 7;

py::object beats_or_none(const tav::Melody& m)
{
    std::vector<double> places = tav::beats(m);
    if (places.empty() && !m.notes.empty())
        return py::none();
    return py::cast(places);
}

}  // namespace

py::list melody_state(const tav::Melody& melody)
{
    py::list notes;
    for (const tav::MelodyNote& n : melody.notes)
        notes.append(py::make_tuple(std::string(1, n.step), n.alter, n.octave, n.midi,
                                    n.duration, n.beat, n.measure));
    return notes;
}

tav::Melody melody_from(const py::handle& state)
{
    tav::Melody melody;
    for (const py::handle& item : state.cast<py::list>()) {
        py::tuple t = item.cast<py::tuple>();
        std::string step = t.size() == kNoteFields ? t[0].cast<std::string>() : std::string();
        if (step.size() != 1)
            throw py::value_error("not a pickled tav.Melody");
        melody.notes.push_back(tav::MelodyNote{step[0], t[1].cast<int>(), t[2].cast<int>(),
                                               t[3].cast<int>(), t[4].cast<double>(),
                                               t[5].cast<double>(), t[6].cast<int>()});
    }
    return melody;
}

void bind_melody(py::module_& m, const py::metaclass& plain_type)
{
    using tav::Melody;
    py::class_<Melody>(m, "Melody", plain_type,
                       "The melodic keys of a record: its notes as they sound, ties joined, "
                       "grace notes left out, the highest note of a chord.")
        .def_property_readonly("pitches", &tav::pitch_names,
                               "Pitch names, \"C4\", \"F#4\", \"Bb3\"; \"r\" for a rest.")
        .def_property_readonly("midi", &tav::midi_keys, "MIDI keys of the sounding notes.")
        .def_property_readonly("chromatic_intervals", &tav::chromatic_intervals,
                               "Semitones from each sounding note to the next.")
        .def_property_readonly("diatonic_intervals", &tav::diatonic_intervals,
                               "Staff steps from each sounding note to the next.")
        .def_property_readonly("gross_contour", &tav::gross_contour, "U, D or R per interval.")
        .def_property_readonly("refined_contour", &tav::refined_contour,
                               "u/U up by step/leap, d/D down, r repeated.")
        .def_property_readonly("durations", &tav::durations,
                               "Every note's length in quarters, rests included.")
        .def_property_readonly("beats", &beats_or_none,
                               "Where every note starts in its measure, in quarters; None "
                               "without a time signature.")
        .def("keys_json",
             [](const Melody& melody) {
                 std::string text = "{";
                 tav::append_keys_json(text, melody);
                 return text + "}";
             },
             "keys_json() -> str\n\nThe keys as one JSON object, as a --keys report line "
             "holds them.")
        .def("__len__", [](const Melody& melody) { return melody.notes.size(); })
        .def("__eq__", [](const Melody& a, const Melody& b) { return a == b; })
        .def("__repr__", [](const Melody& melody) {
            return "<tav.Melody " + tav::gross_contour(melody) + ">";
        })
        .def(py::pickle([](const Melody& melody) { return melody_state(melody); },
                        [](const py::list& state) { return melody_from(state); }));
    py::object result = m.attr("Result");
    py::object property = py::module_::import("builtins").attr("property");
    py::setattr(result, "melody",
                property(py::cpp_function([](const tav::Result& r) { return r.melody; },
                                          py::is_method(result)),
                         py::none(), py::none(),
                         "The record's melodic keys (Melody); empty when it failed."));
}
