// Per-record cost of converting in memory, without files: through the
// library's Converter, parse and render together, parse alone, render alone, building and freeing the same score
// shapes through the model's create/destroy functions alone, and a bare
// sign-by-sign pass over the music data, so that the shares of parsing,
// rendering, allocation and reading the signs can be read off.
//
// Records come from the fixed test corpus (2000 generated records), or from
// the file named by the environment variable TAV_BENCH_RECORDS.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "parser/convert.h"
#include "record/record_reader.h"
#include "score/pool.h"
#include "tav/formats.h"
#include "tav/tav.h"
#include "writer/output.h"

namespace {

using namespace tav::detail;

const std::vector<std::string>& records()
{
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> out;
        const char* name = std::getenv("TAV_BENCH_RECORDS");
        std::string path = name != nullptr ? name
                                           : std::string(TAV_BENCH_DIR) +
                                                 "/../tests/data/corpus_records.txt";
        std::FILE* in = std::fopen(path.c_str(), "r");
        if (in == nullptr) {
            std::fprintf(stderr, "cannot open %s\n", path.c_str());
            std::exit(1);
        }
        std::string line;
        for (int c; (c = std::fgetc(in)) != EOF;) {
            line.push_back(static_cast<char>(c));
            if (c == '\n') {
                out.push_back(line);
                line.clear();
            }
        }
        std::fclose(in);
        return out;
    }();
    return lines;
}

const ConvertOptions kOptions{};
const MessageSink kQuiet{};

ScorePools& bench_pools()
{
    static ScorePools pools;
    return pools;
}

// The record read into `reading`, its score into `incipit`.
bool parse(std::vector<char>& scratch, const std::string& line, tav::RecordReading& reading,
           Incipit& incipit)
{
    tav::detail::read_record_into(line, reading);
    return reading.ok() && parse_incipit(reading.record, scratch, kOptions, kQuiet, bench_pools(),
                                         incipit) == ParseStatus::Parsed;
}

struct Parsed {
    std::vector<tav::Record> records;
    std::vector<Incipit> incipits;
    Parsed()
    {
        std::vector<char> scratch;
        tav::RecordReading reading;
        for (const std::string& line : ::records()) {
            Incipit incipit;
            if (parse(scratch, line, reading, incipit)) {
                records.push_back(reading.record);
                incipits.push_back(std::move(incipit));
            }
        }
    }
};

const Parsed& parsed()
{
    static const Parsed p;
    return p;
}

// What a front end pays per record: one reused Converter, line in, document
// and messages out.
// Records through one reused converter; with the argument 1, to
// compressed MusicXML 4.0 files (.mxl), so that the cost of the archive
// shows beside the plain document's.
void BM_Converter(benchmark::State& state)
{
    const auto& lines = records();
    tav::Converter converter;
    tav::Options options;
    if (state.range(0) == 1) {
        options.format = tav::find_format("musicxml4");
        options.compressed = true;
        options.encoding_date = "2026-01-01";
    }
    size_t k = 0, bytes = 0;
    for (auto _ : state) {
        const tav::Result& r = converter.convert(lines[k], options);
        bytes += r.document.size();
        benchmark::DoNotOptimize(r.document.data());
        k = k + 1 == lines.size() ? 0 : k + 1;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["out_bytes"] = benchmark::Counter(static_cast<double>(bytes),
                                                     benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Converter)->Arg(0)->Arg(1);

void BM_ParseRender(benchmark::State& state)
{
    const auto& lines = records();
    std::vector<char> scratch;
    tav::RecordReading reading;
    DocumentBuffer text;  // reused, as the Converter does
    size_t k = 0, bytes = 0;
    for (auto _ : state) {
        Incipit incipit;
        if (parse(scratch, lines[k], reading, incipit)) {
            render_score(reading.record, incipit, text);
            bytes += text.length;
        }
        benchmark::DoNotOptimize(text.bytes.data());
        k = k + 1 == lines.size() ? 0 : k + 1;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["out_bytes"] = benchmark::Counter(static_cast<double>(bytes),
                                                     benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ParseRender);

void BM_Parse(benchmark::State& state)
{
    const auto& lines = records();
    std::vector<char> scratch;
    tav::RecordReading reading;
    size_t k = 0;
    for (auto _ : state) {
        Incipit incipit;
        parse(scratch, lines[k], reading, incipit);
        benchmark::DoNotOptimize(incipit.first_measure);
        k = k + 1 == lines.size() ? 0 : k + 1;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_Parse);

void BM_Render(benchmark::State& state)
{
    const auto& scores = parsed().incipits;
    const auto& read = parsed().records;
    DocumentBuffer text;  // reused, as the Converter does
    size_t k = 0;
    for (auto _ : state) {
        render_score(read[k], scores[k], text);
        benchmark::DoNotOptimize(text.bytes.data());
        k = k + 1 == scores.size() ? 0 : k + 1;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_Render);

// The same records the parser creates for a score, through the same
// create/add functions, then destroy_measure: the allocation share.
Measure* rebuild(const Measure* source)
{
    Measure* first = nullptr;
    Measure* last = nullptr;
    for (const Measure* m = source; m != nullptr; m = m->next) {
        Measure* copy = create_measure(bench_pools(), m->number, nullptr);
        if (m->time_signature != nullptr)
            copy->time_signature = create_time_signature(bench_pools(), m->time_signature->beats, m->time_signature->beat_type,
                                         m->time_signature->symbol, m->time_signature->mensural);
        for (const Attribute* a = m->first_attribute; a != nullptr; a = a->next)
            add_measure_attrib(create_attribute(bench_pools(), a->kind, a->value, nullptr), copy);
        for (const Note* n = m->first_note; n != nullptr; n = n->next) {
            Note* note = create_note(bench_pools(), n->step, n->octave, n->duration, nullptr);
            for (const Attribute* a = n->first_attribute; a != nullptr; a = a->next)
                add_note_attrib(create_attribute(bench_pools(), a->kind, a->value, nullptr), note);
            add_note(note, copy);
        }
        if (last == nullptr)
            first = copy;
        else
            last->next = copy;
        last = copy;
    }
    return first;
}

void BM_AllocateFree(benchmark::State& state)
{
    const auto& scores = parsed().incipits;
    size_t k = 0;
    for (auto _ : state) {
        Measure* copy = rebuild(scores[k].first_measure);
        benchmark::DoNotOptimize(copy);
        destroy_measure(bench_pools(), copy);
        k = k + 1 == scores.size() ? 0 : k + 1;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_AllocateFree);

// The least a sign-by-sign reading of these lines costs: the header fields
// passed over, then one switch per sign of the music data, as the scanning
// loop dispatches them, with no score built and no state kept beyond a few
// counters. Against BM_Parse it shows how much of parsing is the reading
// itself.
void BM_DispatchOnly(benchmark::State& state)
{
    const auto& lines = records();
    size_t k = 0;
    int64_t counts[4] = {};
    for (auto _ : state) {
        const char* p = lines[k].c_str();
        for (int tabs = 0; *p != '\0' && tabs < 5; ++p)
            tabs += *p == '\t';
        while (*p != '\0' && *p != '\n' && *p != '\t') {
            unsigned char c = static_cast<unsigned char>(*p++);
            switch (c) {
            case '\'':
            case ',':
                while (*p == static_cast<char>(c))
                    ++p;
                ++counts[0];
                break;
            case '0': case '1': case '2': case '3': case '4':
            case '5': case '6': case '7': case '8': case '9':
                while (*p == '.')
                    ++p;
                ++counts[1];
                break;
            case 'A': case 'B': case 'C': case 'D': case 'E': case 'F': case 'G': case '-':
                counts[2] += *p == '}';
                break;
            case ' ': case 'n': case 'x': case 'b': case '{': case '}': case '(': case ')':
            case ';': case 'g': case 'q': case 'r': case '/': case '%': case '@': case '$':
            case '=': case ':':
                ++counts[3];
                break;
            default: break;
            }
        }
        benchmark::DoNotOptimize(counts);
        k = k + 1 == lines.size() ? 0 : k + 1;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_DispatchOnly);

}  // namespace

BENCHMARK_MAIN();
