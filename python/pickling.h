// Pickling the module's values: each as a tuple of plain values (its texts
// as bytes), and back; a tuple that is not one raises ValueError.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "tav/marcxml.h"
#include "tav/tav.h"

pybind11::tuple message_state(const tav::Message& m);
tav::Message message_from(const pybind11::tuple& t);
pybind11::tuple result_state(const tav::Result& r);
tav::Result result_from(const pybind11::tuple& t);
// A catalogue record: the reader's warnings about it last.
pybind11::tuple item_state(const tav::MarcxmlItem& i);
tav::MarcxmlItem item_from(const pybind11::tuple& t);
