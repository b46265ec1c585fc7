// The root element of a MARCXML document, as the reader keeps it for a
// parser that starts again inside it: its name and namespace declarations.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tav::detail {

// Namespace declarations: prefix (empty for the default namespace) and URI.
using RootNamespaces = std::vector<std::pair<std::string, std::string>>;

struct RootElement {
    std::string name;           // as written; empty while no element was seen
    std::string declarations;   // its namespace declarations, as attributes
    RootNamespaces namespaces;  // the same, as prefixes and URIs

    // Keeps the root of libxml2's start element: its local name, prefix
    // (or null) and `count` declarations (prefix or null, URI). A document
    // that is a single record restarts inside a collection of the record's
    // namespaces.
    void keep(const unsigned char* local, const unsigned char* prefix, int count,
              const unsigned char** declared);
};

}  // namespace tav::detail
