// libxml2 reports some faults through the thread's error functions, which
// print them; while a LibxmlMessagesKept lives, the thread's functions keep
// the first such message instead, and the previous ones come back after.
#pragma once

#include <string>

#include <libxml/xmlerror.h>

namespace tav::detail {

class LibxmlMessagesKept {
public:
    // The first message (trimmed) goes to `kept` when `kept` is empty.
    explicit LibxmlMessagesKept(std::string& kept);
    ~LibxmlMessagesKept();
    LibxmlMessagesKept(const LibxmlMessagesKept&) = delete;
    LibxmlMessagesKept& operator=(const LibxmlMessagesKept&) = delete;

private:
    xmlGenericErrorFunc generic_;
    void* generic_context_;
    xmlStructuredErrorFunc structured_;
    void* structured_context_;
};

}  // namespace tav::detail
