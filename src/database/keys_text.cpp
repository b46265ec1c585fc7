// The keys as the database holds them.

#include "keys_text.h"

#include <algorithm>
#include <cstdlib>

namespace tav::db {

namespace {

constexpr int kIntervalBias = 128;   // an interval of -127..127 as 1..255
constexpr int kIntervalBits = 8;
constexpr std::string_view kRest = "r";

// The text between the brackets of the array `name`; false without one.
bool array_of(std::string_view json, std::string_view name, std::string_view& items)
{
    std::string key = "\"" + std::string(name) + "\":[";
    std::size_t at = json.find(key);
    if (at == std::string_view::npos)
        return false;
    at += key.size();
    std::size_t end = json.find(']', at);
    if (end == std::string_view::npos)
        return false;
    items = json.substr(at, end - at);
    return true;
}

template <typename Value, typename Read>
bool numbers_of(std::string_view json, std::string_view name, std::vector<Value>& values, Read read)
{
    std::string_view items;
    if (!array_of(json, name, items))
        return false;
    std::string text(items);   // strtod and strtol need an end
    const char* p = text.c_str();
    const char* stop = p + text.size();
    values.clear();
    while (p < stop) {
        char* end = nullptr;
        values.push_back(static_cast<Value>(read(p, &end)));
        if (end == p)
            return false;
        p = end + (*end == ',' ? 1 : 0);
    }
    return true;
}

// Which notes of the pitches array are rests.
bool rests_of(std::string_view json, std::vector<bool>& rests)
{
    std::string_view items;
    if (!array_of(json, "pitches", items))
        return false;
    rests.clear();
    for (std::size_t at = 0; at < items.size();) {
        std::size_t open = items.find('"', at);
        std::size_t close = open == std::string_view::npos ? open : items.find('"', open + 1);
        if (close == std::string_view::npos)
            return open == std::string_view::npos;
        rests.push_back(items.substr(open + 1, close - open - 1) == kRest);
        at = close + 1;
    }
    return true;
}

bool text_of(std::string_view json, std::string_view name, std::string& text)
{
    std::string key = "\"" + std::string(name) + "\":\"";
    std::size_t at = json.find(key);
    std::size_t end = at == std::string_view::npos ? at : json.find('"', at + key.size());
    if (end == std::string_view::npos)
        return false;
    text = std::string(json.substr(at + key.size(), end - at - key.size()));
    return true;
}

}  // namespace

bool search_keys_of(std::string_view json, const KeysWanted& wanted, SearchKeys& keys)
{
    auto integer = [](const char* p, char** end) { return std::strtol(p, end, 10); };
    auto real = [](const char* p, char** end) { return std::strtod(p, end); };
    if (!numbers_of(json, "chromatic_intervals", keys.intervals, integer) ||
        (wanted.midi && !numbers_of(json, "midi", keys.midi, integer)) ||
        (wanted.contour && !text_of(json, "gross_contour", keys.contour)))
        return false;
    if (!wanted.durations)
        return true;
    std::vector<double> all;
    std::vector<bool> rests;
    if (!numbers_of(json, "durations", all, real) || !rests_of(json, rests) ||
        rests.size() != all.size())
        return false;
    keys.durations.clear();
    for (std::size_t k = 0; k < all.size(); ++k)
        if (!rests[k])
            keys.durations.push_back(all[k]);
    return true;
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

std::vector<std::int64_t> distinct_trigrams(const std::vector<int>& intervals)
{
    std::vector<std::int64_t> grams;
    for (const Gram& g : trigrams(intervals))
        grams.push_back(g.value);
    std::sort(grams.begin(), grams.end());
    grams.erase(std::unique(grams.begin(), grams.end()), grams.end());
    return grams;
}

}  // namespace tav::db
