// Hits as a table for reading or as JSON Lines, one object per hit.
#pragma once

#include <string>
#include <vector>

#include "catalogue.h"

// Appends one JSON object per hit, each on its line; `query` (when not
// null) is given in each as "query".
void append_hits_json(std::string& out, const std::vector<tav::db::Hit>& hits,
                      const std::string* query);
// Appends the hits as a table with a header line, columns apart by two
// spaces; nothing for no hits.
void append_hits_table(std::string& out, const std::vector<tav::db::Hit>& hits);
