// The root element a MARCXML reader keeps (see record/marcxml_root.h).

#include "record/marcxml_root.h"

#include <cstring>

#include "writer/xml_text.h"

namespace tav::detail {

void RootElement::keep(const unsigned char* local, const unsigned char* prefix, int count,
                       const unsigned char** declared)
{
    auto text_of = [](const unsigned char* s) {
        return s != nullptr ? reinterpret_cast<const char*>(s) : "";
    };
    name.clear();
    if (prefix != nullptr)
        name.append(text_of(prefix)).append(1, ':');
    name.append(text_of(local));
    if (std::strcmp(text_of(local), "record") == 0)
        name.replace(name.size() - 6, 6, "collection");
    declarations.clear();
    namespaces.clear();
    for (int i = 0; i < count; ++i) {
        const unsigned char* declared_prefix = declared[2 * i];
        namespaces.emplace_back(text_of(declared_prefix), text_of(declared[2 * i + 1]));
        declarations += " xmlns";
        if (declared_prefix != nullptr)
            declarations.append(1, ':').append(text_of(declared_prefix));
        declarations += "=\"";
        append_escaped(declarations, namespaces.back().second, XmlContext::Attribute);
        declarations += '"';
    }
}

}  // namespace tav::detail
