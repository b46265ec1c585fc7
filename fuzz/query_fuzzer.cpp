// A search query of arbitrary bytes through the query reader: it must end,
// and a query it takes must hold what a search needs (two notes or more,
// within the limits), or say why it holds none. Seeds: fuzz/corpus_query/.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "query.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    tav::db::Query query;
    std::string error;
    if (!tav::db::parse_query(text, query, error)) {
        if (error.empty())
            std::abort();
        return 0;
    }
    std::size_t steps = query.kind == tav::db::QueryKind::Contour ? query.contour.size()
                                                                  : query.intervals.size();
    if (steps == 0 || steps >= tav::db::kMaxQueryNotes)
        std::abort();
    if (query.kind == tav::db::QueryKind::Code &&
        (query.midi.size() != steps + 1 || query.durations.size() != steps + 1))
        std::abort();
    return 0;
}
