// tav_search: finds a melody in a catalogue database that tav_convert
// --database wrote.
//
//     tav_search catalogue.sqlite "'4C8DE/2F"      a melody in the code
//     tav_search catalogue.sqlite "+2 +2 +1"       chromatic intervals
//     tav_search catalogue.sqlite UUD              a gross contour
//     tav_search catalogue.sqlite --document 51650-1.1.1   a record's document

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "catalogue.h"
#include "hits_output.h"

namespace {

// Exit statuses: a database that cannot be searched, and a wrong command
// line or query.
constexpr int kExitDatabase = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxHits = 100000;

const char kUsage[] =
    "usage: tav_search DATABASE QUERY [options]\n"
    "       tav_search DATABASE --queries FILE [options]\n"
    "       tav_search DATABASE --document IDENTIFIER-NUMBER\n"
    "QUERY: a melody in the code ('4C8DE/2F), chromatic intervals (+2 +2 +1) or a contour (UUD)\n"
    "  --exact         the pitches as written, not only the intervals (a query in the code)\n"
    "  --rhythm        the notes' lengths too (a query in the code)\n"
    "  -n, --hits N    at most N hits (default 10)\n"
    "  --json          the hits as JSON Lines\n"
    "  --queries FILE  one query a line; each hit names its query\n"
    "  --timing        the median and 99th percentile of the queries' times on standard error\n"
    "  --document ID   the document of the incipit ID (as a hit names it: 51650-1.1.1) on\n"
    "                  standard output, byte for byte as tav_convert wrote it\n"
    "  -h, --help      this help\n"
    "Exit status: 0 when the queries ran (with hits or none), 1 when the database cannot be\n"
    "searched, 2 for a wrong command line or query.\n";

struct Command {
    std::string database;
    std::vector<std::string> queries;
    std::string queries_file;
    std::string document;   // --document: the incipit's name
    tav::db::SearchOptions options;
    bool json = false;
    bool timing = false;
};

bool read_hits(const char* text, int& hits)
{
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > kMaxHits)
        return false;
    hits = static_cast<int>(value);
    return true;
}

// False, with the message written, for a command line that is wrong.
bool read_command(int argc, char** argv, Command& c)
{
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool needs_value = a == "-n" || a == "--hits" || a == "--queries" || a == "--document";
        if (needs_value && i + 1 >= argc) {
            std::fprintf(stderr, "tav_search: %s needs a value\n%s", a.c_str(), kUsage);
            return false;
        }
        if (a == "--exact") {
            c.options.exact_pitch = true;
        } else if (a == "--rhythm") {
            c.options.rhythm = true;
        } else if (a == "--json") {
            c.json = true;
        } else if (a == "--timing") {
            c.timing = true;
        } else if (a == "--queries") {
            c.queries_file = argv[++i];
        } else if (a == "--document") {
            c.document = argv[++i];
        } else if (needs_value) {
            if (!read_hits(argv[++i], c.options.hits)) {
                std::fprintf(stderr, "tav_search: the number of hits is a whole number from 1 to %d\n",
                             kMaxHits);
                return false;
            }
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            std::fprintf(stderr, "tav_search: unknown option %s\n%s", a.c_str(), kUsage);
            return false;
        } else {
            words.push_back(a);
        }
    }
    std::size_t wanted = c.queries_file.empty() && c.document.empty() ? 2 : 1;
    if (words.size() != wanted) {
        std::fprintf(stderr, "%s", kUsage);
        return false;
    }
    c.database = words[0];
    if (wanted == 2)
        c.queries.push_back(words[1]);
    return true;
}

bool read_queries(Command& c)
{
    if (c.queries_file.empty())
        return true;
    std::ifstream in(c.queries_file);
    if (!in) {
        std::fprintf(stderr, "tav_search: cannot read %s\n", c.queries_file.c_str());
        return false;
    }
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            c.queries.push_back(line);
    return true;
}

void report_timing(std::vector<double> ms)
{
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    std::size_t p99 = std::min(ms.size() - 1, (ms.size() * 99 + 99) / 100 - 1);
    std::fprintf(stderr, "%zu queries: median %.2f ms, 99th percentile %.2f ms\n", ms.size(),
                 ms[ms.size() / 2], ms[p99]);
}

// Runs every query; the exit status.
int run(const Command& c, tav::db::Catalogue& catalogue)
{
    std::vector<double> times;
    bool many = c.queries.size() > 1 || !c.queries_file.empty();
    for (const std::string& text : c.queries) {
        auto start = std::chrono::steady_clock::now();
        tav::db::Query query;
        std::vector<tav::db::Hit> hits;
        std::string error;
        if (!tav::db::parse_query(text, query, error) ||
            !tav::db::check_options(query, c.options, error)) {
            std::fprintf(stderr, "tav_search: %s\n", error.c_str());
            return kExitUsage;
        }
        if (!catalogue.search(query, c.options, hits, error)) {
            std::fprintf(stderr, "tav_search: %s\n", error.c_str());
            return kExitDatabase;
        }
        times.push_back(std::chrono::duration<double, std::milli>(
                            std::chrono::steady_clock::now() - start).count());
        std::string out;
        if (c.json)
            append_hits_json(out, hits, many ? &text : nullptr);
        else
            append_hits_table(out, hits);
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    if (c.timing)
        report_timing(times);
    return std::fflush(stdout) == 0 ? 0 : kExitDatabase;
}

// --document: the identifier is a number, the incipit's number follows
// the first '-'.
int write_document(const Command& c, tav::db::Catalogue& catalogue)
{
    std::size_t dash = c.document.find('-');
    if (dash == std::string::npos || dash == 0) {
        std::fprintf(stderr, "tav_search: --document takes IDENTIFIER-NUMBER (51650-1.1.1)\n");
        return kExitUsage;
    }
    std::string name, document, error;
    if (!catalogue.document(c.document.substr(0, dash), c.document.substr(dash + 1), name,
                            document, error)) {
        std::fprintf(stderr, "tav_search: %s\n", error.c_str());
        return kExitDatabase;
    }
    std::fwrite(document.data(), 1, document.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : kExitDatabase;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return std::fflush(stdout) == 0 ? 0 : kExitDatabase;
        }
    }
    Command c;
    if (!read_command(argc, argv, c) || !read_queries(c))
        return kExitUsage;
    tav::db::Catalogue catalogue;
    std::string error;
    if (!catalogue.open(c.database, error)) {
        std::fprintf(stderr, "tav_search: %s\n", error.c_str());
        return kExitDatabase;
    }
    return c.document.empty() ? run(c, catalogue) : write_document(c, catalogue);
}
