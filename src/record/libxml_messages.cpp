#include "record/libxml_messages.h"

#include <cstdarg>
#include <cstdio>

#include <libxml/globals.h>

#include "record/xml_names.h"

namespace tav::detail {

namespace {

void keep(void* data, std::string text)
{
    trim(text);
    std::string& kept = *static_cast<std::string*>(data);
    if (kept.empty())
        kept = std::move(text);
}

void on_thread_message(void* data, const char* format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    keep(data, text);
}

void on_thread_error(void* data, xmlErrorPtr e)
{
    if (e != nullptr && e->message != nullptr)
        keep(data, e->message);
}

}  // namespace

LibxmlMessagesKept::LibxmlMessagesKept(std::string& kept)
    : generic_(xmlGenericError), generic_context_(xmlGenericErrorContext),
      structured_(xmlStructuredError), structured_context_(xmlStructuredErrorContext)
{
    xmlSetGenericErrorFunc(&kept, &on_thread_message);
    xmlSetStructuredErrorFunc(&kept, &on_thread_error);
}

LibxmlMessagesKept::~LibxmlMessagesKept()
{
    xmlSetGenericErrorFunc(generic_context_, generic_);
    xmlSetStructuredErrorFunc(structured_context_, structured_);
}

}  // namespace tav::detail
