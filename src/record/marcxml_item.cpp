// The MARCXML reader's warnings before a conversion's messages, what an
// input that is MARCXML starts with, and the reader's ways of opening.

#include "tav/marcxml.h"

#include "parser/report.h"
#include "record/xml_names.h"

namespace tav {

using detail::is_xml_space;
using detail::kMarcNamespace;
using detail::local_name;

void add_reader_warnings(const std::vector<Message>& warnings, std::vector<Message>& messages)
{
    std::vector<Message> first;
    for (const Message& warning : warnings)
        first.push_back(detail::shown_message(warning));
    messages.insert(messages.begin(), first.begin(), first.end());
}

bool looks_like_marcxml(std::string_view start)
{
    if (start.substr(0, 2) == "\xFF\xFE" || start.substr(0, 2) == "\xFE\xFF")
        return true;   // UTF-16: no tab export is
    if (start.substr(0, 3) == "\xEF\xBB\xBF")
        start.remove_prefix(3);
    while (!start.empty() && is_xml_space(start.front()))
        start.remove_prefix(1);
    if (start.substr(0, 5) == "<?xml" || start.substr(0, 4) == "<!--" ||
        start.substr(0, 9) == "<!DOCTYPE")
        return true;
    if (start.empty() || start.front() != '<')
        return false;
    std::size_t end = 1;
    while (end < start.size() && !is_xml_space(start[end]) && start[end] != '>' && start[end] != '/')
        ++end;
    std::string_view name = local_name(start.substr(1, end - 1));
    // Records, or a response that holds records (SRU, OAI-PMH).
    return name == "collection" || name == "record" ||
           start.find(kMarcNamespace) != std::string_view::npos;
}

MarcxmlReader::MarcxmlReader(std::FILE* input)
    : MarcxmlReader(std::make_unique<InputStream>(input))
{
}

MarcxmlReader::MarcxmlReader(std::FILE* input, std::string_view already_read)
    : MarcxmlReader(std::make_unique<InputStream>(input, InputReading{}, already_read))
{
}

MarcxmlReader::MarcxmlReader(std::string_view document)
    : MarcxmlReader(std::make_unique<InputStream>(document))
{
}

bool MarcxmlReader::read_failed() const
{
    return input().failed();
}

std::uint64_t MarcxmlReader::consumed() const
{
    return input().consumed();
}


bool MarcxmlReader::available()
{
#ifdef TAV_HAVE_LIBXML2
    return true;
#else
    return false;
#endif
}

}  // namespace tav
