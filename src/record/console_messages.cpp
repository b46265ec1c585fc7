// Messages in the console format of the 2005 program: on standard error
// with the note that the log has them, and in the log.

#include <cstdio>
#include <string>

#include "parser/report.h"
#include "tav/batch.h"

namespace tav {

void print_messages(const Result& result, std::FILE* err, std::FILE* log)
{
    if (result.messages.empty())
        return;
    std::string number = shown_text(result.number);
    for (const Message& m : result.messages) {
        const char* label = m.kind == MessageKind::Warning ? "WARNING" : "ERROR";
        // "\nLABEL,\n incipit: %d-%s, TEXT\n" on both streams; on standard
        // error followed by the note that the log has it too.
        if (err != nullptr)
            std::fprintf(err, "\n%s,\n incipit: %d-%s, %s\n...outputting to log file\n\n",
                         label, result.identifier, number.c_str(), m.text.c_str());
        if (log != nullptr)
            std::fprintf(log, "\n%s,\n incipit: %d-%s, %s\n", label, result.identifier,
                         number.c_str(), m.text.c_str());
    }
}

}  // namespace tav
