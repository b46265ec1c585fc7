// The options the module's functions share, read from their keywords, and
// the tables they take their choices from (tav.formats(), tav.input_forms()).
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "tav/readers.h"
#include "tav/tav.h"

// The options of the keywords: `format` a name of tav.formats(), `musicxml`
// a MusicXML version ("1.0", "4.0"), each None when not given (both given
// must name the same format); `compress` the format's compressed container;
// `record_uri` the template of a link to a catalogue record.
// ValueError for a name or version of no format, for two that differ, and
// for a container the format does not have.
tav::Options options_of(bool remove_mensural, bool remove_measure_rests,
                        const pybind11::object& musicxml, const pybind11::object& format,
                        bool compress, const std::string& record_uri);

// A row of the input forms; null for "auto".
const tav::InputForm* form_of(const std::string& from);

// tav.OutputFormat, tav.formats() and tav.input_forms().
void bind_tables(pybind11::module_& m, const pybind11::metaclass& plain_type);
