// The code's key-value form of arbitrary bytes through its reader and a converter
// (fuzz/form_check.h). Seeds: fuzz/corpus_pae/.

#include "form_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return form_check::run("pae", data, size);
}
