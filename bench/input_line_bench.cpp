// Input line: one keystroke (insert a key, then the query that composes the line) on lines of
// real words from the bundled dictionary, 1 to 64 syllables long, and on a whole line of 1024
// elements. Each keystroke is timed alone; the counters give the median and the 99th
// percentile per keystroke in microseconds ("p50_us", "p99_us").

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/compose/input_line.h"
#include "engine/compose/islands.h"
#include "engine/dict/system_dict.h"
#include "engine/dict/tailo_cats.h"
#include "fixtures/bundled_dict.h"

namespace {

using namespace kov;

using C_Bundled = test::C_BundledDict;

const C_Bundled& bundled() { return test::bundledDict(); }

void runKeystrokes(benchmark::State& state, const std::string& keys) {
    const C_Bundled& b = bundled();
    C_InputLine line(*b.db);
    for (size_t i = 0; i + 1 < keys.size(); ++i)
        line.insertKey(keys[i]);
    line.winners();
    std::vector<double> times;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        line.insertKey(keys.back());
        benchmark::DoNotOptimize(line.winners().size());
        const auto t1 = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(t1 - t0).count();
        state.SetIterationTime(seconds);
        times.push_back(seconds * 1e6);
        line.removeKey(C_InputLine::DIR_BACKWARD);
        line.winners();
    }
    std::sort(times.begin(), times.end());
    if (!times.empty()) {
        state.counters["p50_us"] = times[times.size() / 2];
        state.counters["p99_us"] = times[std::min(times.size() - 1, times.size() * 99 / 100)];
    }
    state.counters["keys"] = double(keys.size());
}

void BM_KeystrokeOnRealWords(benchmark::State& state) {
    runKeystrokes(state, test::realWordKeys(size_t(state.range(0))));
    state.counters["syllables"] = double(state.range(0));
}
BENCHMARK(BM_KeystrokeOnRealWords)
    ->Arg(1)
    ->Arg(5)
    ->Arg(10)
    ->Arg(20)
    ->Arg(30)
    ->Arg(64)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// A whole line: the 1024th element typed at the end of 1023 keys of real words.
void BM_KeystrokeOnAFullLine(benchmark::State& state) {
    runKeystrokes(state, test::realWordKeys(100000, C_InputLine::kMaxElements));
}
BENCHMARK(BM_KeystrokeOnAFullLine)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// A wildcard inside a long run of letters: "m" 30 times, "?", then "m" typed up to the given
// length (the last key timed); 993 fills the line to its 1024 elements.
void BM_KeystrokeWithAWildcardInARunOfLetters(benchmark::State& state) {
    const size_t after = size_t(state.range(0));
    runKeystrokes(state, std::string(30, 'm') + "?" + std::string(after, 'm'));
}
BENCHMARK(BM_KeystrokeWithAWildcardInARunOfLetters)
    ->Arg(30)
    ->Arg(90)
    ->Arg(170)
    ->Arg(993)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// A full line of wildcard patterns one after another, with no key between them that ends a
// pattern: "tsa?" (0), "tsa*" (1) or "a?" (2) repeated to 1024 elements, the last key timed.
void BM_KeystrokeOnAFullLineOfWildcards(benchmark::State& state) {
    const char* pieces[] = {"tsa?", "tsa*", "a?"};
    const std::string piece = pieces[state.range(0)];
    std::string keys;
    while (keys.size() + piece.size() <= C_InputLine::kMaxElements)
        keys += piece;
    runKeystrokes(state, keys);
}
BENCHMARK(BM_KeystrokeOnAFullLineOfWildcards)
    ->DenseRange(0, 2)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// The first keystroke after start-up: a fresh system dictionary (its construction and the
// preparation of its lookups not timed, as the server does both before it reads a request) and a
// fresh line, then one key and the query, the whole composition of the first key of a session.
void BM_FirstKeystroke(benchmark::State& state) {
    const C_Bundled& b = bundled();
    const std::filesystem::path tailo =
        std::filesystem::path(KOV_BINARY_DIR) / "dict" / "tailo.tab";
    for (auto _ : state) {
        C_TailoDB db(tailo, *b.cats, b.policy);
        db.prepareLookups();
        C_InputLine line(db);
        const auto t0 = std::chrono::steady_clock::now();
        line.insertKey('k');
        benchmark::DoNotOptimize(line.winners().size());
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
}
// Each iteration loads the dictionary again (not timed), so the iterations are few.
BENCHMARK(BM_FirstKeystroke)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(30);

// The island cut alone, for a whole line of 1024 elements.
void BM_CutIslandsOfAFullLine(benchmark::State& state) {
    const std::string keys = test::realWordKeys(100000, C_InputLine::kMaxElements);
    for (auto _ : state)
        benchmark::DoNotOptimize(cutStdIslands(keys).m_islesByStart.size());
    state.counters["keys"] = double(keys.size());
}
BENCHMARK(BM_CutIslandsOfAFullLine)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
