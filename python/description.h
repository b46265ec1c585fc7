// A catalogue record's description in the module: the properties of
// tav.CatalogueRecord beside its record's texts, and the source's state for
// pickling (None for none).
#pragma once

#include <pybind11/pybind11.h>

#include <memory>

#include "tav/marcxml.h"
#include "tav/tav.h"

void bind_description(pybind11::class_<tav::MarcxmlItem>& c);
pybind11::object source_state(const tav::Description& d);
std::shared_ptr<const tav::SourceDescription> source_from(const pybind11::handle& state);

// A MARCXML reader's counts as CatalogueReader.counts gives them, and the
// message codes of the counts that stand for messages (COUNT_CODES).
pybind11::dict counts_dict(const tav::MarcxmlCounts& c);
pybind11::dict count_codes();
