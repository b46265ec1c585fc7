// The code's JSON form of arbitrary bytes through its reader and a converter
// (fuzz/form_check.h). Seeds: fuzz/corpus_json/.

#include "form_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return form_check::run("json", data, size);
}
