// tav.Melody: the melodic keys of a record, as Result.melody gives them,
// and its pickled form.
#pragma once

#include <pybind11/pybind11.h>

#include "tav/tav.h"

pybind11::list melody_state(const tav::Melody& melody);
tav::Melody melody_from(const pybind11::handle& state);

// tav.Melody, and Result.melody on the module's Result.
void bind_melody(pybind11::module_& m, const pybind11::metaclass& plain_type);
