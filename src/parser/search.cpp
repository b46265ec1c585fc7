#include "parser/search.h"

namespace tav::detail {

namespace {

bool is_pitch_letter(unsigned char c) { return c >= 'A' && c <= 'G'; }

// Scans [from, line end) for `sign`, counting pitch letters on the way.
void scan_forward(const Line& line, int32_t from, unsigned char sign, ForwardCache& cache,
                  int64_t& work)
{
    int32_t letters = 0;
    int32_t i = from;
    while (i < line.end && line.at(i) != sign) {
        if (is_pitch_letter(line.at(i)))
            ++letters;
        ++i;
    }
    work += i - from + 1;
    cache.from = from;
    cache.found = i < line.end ? i : -1;
    cache.letters = letters;
}

// Serves a search from `from` out of the cache when the cached search
// started at or before `from` and had not passed it; moves the cache's
// start up to `from`, dropping the letters it passes.
bool serve_from_cache(const Line& line, int32_t from, ForwardCache& cache, int64_t& work)
{
    if (cache.from < 0 || from < cache.from)
        return false;
    int32_t stop = cache.found >= 0 ? cache.found : line.end;
    if (from > stop)
        return false;
    for (int32_t i = cache.from; i < from; ++i)
        if (is_pitch_letter(line.at(i)))
            --cache.letters;
    work += from - cache.from;
    cache.from = from;
    return true;
}

}  // namespace

int32_t find_forward(const Line& line, int32_t from, unsigned char sign, ForwardCache& cache,
                     int64_t& work)
{
    if (from >= line.end)
        return -1;
    if (!serve_from_cache(line, from, cache, work))
        scan_forward(line, from, sign, cache, work);
    return cache.found;
}

int32_t find_grace_group_end(const Line& line, int32_t from, ForwardCache& cache, int64_t& work,
                             int32_t& letters)
{
    int32_t found = find_forward(line, from, 'r', cache, work);
    letters = from < line.end ? cache.letters : 0;
    return found;
}

int32_t find_bang_before(const Line& line, int32_t before, BackwardCache& cache, int64_t& work)
{
    if (before > line.end)
        before = line.end;
    // With a cached answer for an earlier start, only the bytes between the
    // two starts are new.
    int32_t floor = (cache.before >= 0 && cache.before <= before) ? cache.before : 0;
    int32_t found = -1;
    int32_t i = before - 1;
    for (; i >= floor; --i) {
        if (line.at(i) == '!') {
            found = i;
            break;
        }
    }
    work += before - i;
    if (found < 0 && floor > 0)
        found = cache.found;
    cache.before = before;
    cache.found = found;
    return found;
}

}  // namespace tav::detail
