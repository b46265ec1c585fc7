// tav.search: a melody looked for in a catalogue database.
#pragma once

#include <pybind11/pybind11.h>

void bind_search(pybind11::module_& m);
