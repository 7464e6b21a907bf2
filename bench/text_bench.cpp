// Tai-lo text: tailo2tonedKeys on a few words, against its slow reference form (tone tables
// searched entry by entry, the toned-syllable regex run on every syllable), and each syllable
// check of engine/text/syllable_match.h against the full regex match it stands for, over a
// mix of keys that match and keys that do not.

#include <benchmark/benchmark.h>

#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/syllable_match.h"
#include "engine/text/tailo.h"
#include "fixtures/tailo_reference.h"
#include "fixtures/tailo_regex.h"

namespace {

using namespace kov;
using test::kInitialRegex;
using test::kRimeToneRegex;
using test::kSyllableRegex;
using test::kWildcardQueryRegex;
using test::tonedSyllableRegex;

const std::vector<std::string> kWords = {
    "tsi\u00e2nn",                              // one marked syllable
    "tu\u0101-l\u00e2ng",                       // two marked syllables
    "tsit-tshut-tsiah",                         // three unmarked (tones 4, 4 and 4)
    "T\u00e2i-u\u00e2n l\u00e2ng",              // capitals and a space
    "tsiann5-tsiah8",                           // tone digits
    "g\u00edn-\u00e1 kh\u00ec tshit-th\u00f4",  // a phrase of five syllables
};

void wordArgs(benchmark::internal::Benchmark* b) {
    for (size_t i = 0; i < kWords.size(); ++i)
        b->Arg(static_cast<int64_t>(i));
}

void BM_TonedKeys(benchmark::State& state) {
    const std::string& word = kWords[size_t(state.range(0))];
    for (auto _ : state)
        benchmark::DoNotOptimize(tailo2tonedKeys(word));
    state.SetLabel(word);
}
BENCHMARK(BM_TonedKeys)->Apply(wordArgs);

void BM_TonedKeysByRegex(benchmark::State& state) {
    const std::string& word = kWords[size_t(state.range(0))];
    for (auto _ : state)
        benchmark::DoNotOptimize(test::tonedKeysByRegex(word));
    state.SetLabel(word);
}
BENCHMARK(BM_TonedKeysByRegex)->Apply(wordArgs);

// Keys of every shape: toned syllables, rimes with a tone, initials, wildcard queries, and
// near misses. Times are per key.
const std::vector<std::string> kKeys = {"tsiann5", "lang5", "ngh4",     "uainnh8", "iann5", "ng1",
                                        "tsh",     "ph",    "ts?a",     "k?",      "h1",    "tsa0",
                                        "kh1",     "x1",    "tsiannn5", "a?b"};

enum E_Check { TONED, RIME_TONE, INITIAL, QUERY, SYLLABLE };

void checkArgs(benchmark::internal::Benchmark* b) {
    for (int64_t c = TONED; c <= SYLLABLE; ++c)
        b->Arg(c);
}

const char* checkName(int64_t c) {
    static const char* const names[] = {"toned syllable", "rime and tone", "initial",
                                        "wildcard query", "syllable"};
    return names[c];
}

void BM_CheckByRegex(benchmark::State& state) {
    const std::regex* res[] = {&tonedSyllableRegex(), &kRimeToneRegex, &kInitialRegex,
                               &kWildcardQueryRegex, &kSyllableRegex};
    const std::regex& re = *res[state.range(0)];
    for (auto _ : state)
        for (const std::string& k : kKeys)
            benchmark::DoNotOptimize(test::fullMatch(k, re));
    state.SetItemsProcessed(int64_t(state.iterations() * kKeys.size()));
    state.SetLabel(checkName(state.range(0)));
}
BENCHMARK(BM_CheckByRegex)->Apply(checkArgs);

void BM_CheckByHand(benchmark::State& state) {
    const int64_t check = state.range(0);
    for (auto _ : state) {
        for (const std::string& k : kKeys) {
            switch (check) {
                case TONED:
                    benchmark::DoNotOptimize(isTonedSyllable(k));
                    break;
                case RIME_TONE:
                    benchmark::DoNotOptimize(isRimeTone(k));
                    break;
                case INITIAL:
                    benchmark::DoNotOptimize(isInitial(k));
                    break;
                case QUERY:
                    benchmark::DoNotOptimize(isWildcardQuery(k));
                    break;
                default:
                    benchmark::DoNotOptimize(matchSyllable(k));
                    break;
            }
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kKeys.size()));
    state.SetLabel(checkName(check));
}
BENCHMARK(BM_CheckByHand)->Apply(checkArgs);

}  // namespace

BENCHMARK_MAIN();
