// The keys as the database writes them.

#include "keys_text.h"

#include <cstdlib>

#include "score/number_text.h"

namespace tav::db {

namespace {

constexpr int kIntervalBias = 128;   // an interval of -127..127 as 1..255
constexpr int kIntervalBits = 8;

template <typename Value, typename Read>
std::vector<Value> values_of(std::string_view list, Read read)
{
    std::vector<Value> values;
    std::string text(list);
    const char* p = text.c_str();
    while (*p != '\0') {
        if (*p == ',') {
            ++p;
            continue;
        }
        char* end = nullptr;
        values.push_back(static_cast<Value>(read(p, &end)));
        if (end == p)
            break;
        p = end;
    }
    return values;
}

// Each number as the keys' JSON writes it: a length reads back as the
// very length written, so that a query's rhythm compares equal to it.
template <typename Value>
std::string list_of(const std::vector<Value>& values)
{
    std::string out = ",";
    for (Value v : values) {
        detail::append_number(out, v);
        out += ',';
    }
    return out;
}

}  // namespace

std::string number_list(const std::vector<int>& values) { return list_of(values); }

std::string number_list(const std::vector<double>& values) { return list_of(values); }

std::vector<int> integers_of(std::string_view list)
{
    return values_of<int>(list, [](const char* p, char** end) { return std::strtol(p, end, 10); });
}

std::vector<double> reals_of(std::string_view list)
{
    return values_of<double>(list, [](const char* p, char** end) { return std::strtod(p, end); });
}

std::int64_t trigram(const int* intervals)
{
    std::int64_t value = 0;
    for (std::size_t k = 0; k < kGramIntervals; ++k)
        value = (value << kIntervalBits) | (intervals[k] + kIntervalBias);
    return value;
}

std::vector<Gram> trigrams(const std::vector<int>& intervals)
{
    std::vector<Gram> grams;
    for (std::size_t k = 0; k + kGramIntervals <= intervals.size(); ++k)
        grams.push_back({trigram(&intervals[k]), static_cast<int>(k)});
    return grams;
}

}  // namespace tav::db
