// System dictionary: construction (the bundled dictionary and a synthetic one of about 500,000
// entries written by the compiler), exact keys, toneless prefixes, wildcards, key-array walks
// over islands of 1 to 6 syllables, and Han readings. Peak memory is reported as a counter
// ("peak_rss_kib", from /proc/self/status where there is one).

#include <benchmark/benchmark.h>

#include <chrono>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/dict/system_dict.h"
#include "engine/text/tailo.h"
#include "fixtures/capture_policy.h"
#include "fixtures/tailo_fixture.h"
#include "fixtures/tailo_regex.h"
#include "tools/dictc/dict_compiler.h"

namespace {

using namespace kov;
using test::kSyllableRegex;

double peakRssKib() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6));
    return 0;
}

std::string readWhole(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A dictionary folder: the bundled one when the build made it, else compiled from the lexicon.
struct C_DictFiles {
    std::filesystem::path tailo, cats;
    std::unique_ptr<test::C_TempFolder> folder;
};

C_DictFiles compiledFolder(const dictc::C_DictCompiler& c) {
    C_DictFiles f;
    f.folder = std::make_unique<test::C_TempFolder>();
    f.tailo = f.folder->path() / "tailo.tab";
    f.cats = f.folder->path() / "cats.tab";
    if (auto e = c.writeFiles(f.tailo, f.cats); !e.ok())
        throw std::runtime_error(e.text);
    return f;
}

const C_DictFiles& bundled() {
    static const C_DictFiles files = [] {
        C_DictFiles f;
        f.tailo = std::filesystem::path(KOV_BINARY_DIR) / "dict" / "tailo.tab";
        f.cats = std::filesystem::path(KOV_BINARY_DIR) / "dict" / "cats.tab";
        if (std::filesystem::exists(f.tailo) && std::filesystem::exists(f.cats))
            return f;
        dictc::C_DictCompiler c;
        c.addLexiconCsv(
            readWhole(std::filesystem::path(KOV_SOURCE_DIR) / "data" / "itaigi-lexicon.csv"),
            "lexicon");
        return compiledFolder(c);
    }();
    return files;
}

// About 500,000 entries: random words of 1 to 4 syllables, Han and Tai-lo, through the compiler.
const C_DictFiles& large() {
    static const C_DictFiles files = [] {
        static const char* initials[] = {"",   "p",   "ph", "b", "m", "t",  "th", "n",  "l",
                                         "ts", "tsh", "s",  "j", "k", "kh", "g",  "ng", "h"};
        static const char* rimes[] = {"a",   "ai",  "au", "e",   "i",  "ia", "iau", "io",  "iu",
                                      "o",   "oo",  "u",  "ua",  "ue", "ui", "an",  "ang", "ian",
                                      "ing", "ong", "un", "uan", "ap", "at", "ak"};
        std::mt19937 rng(42);
        std::string tsv;
        dictc::C_DictCompiler c;
        size_t words = 0;
        while (c.fixedWords().entryCount(E_TailoSection::KARR) < 250000) {
            const size_t n = 1 + rng() % 4;
            std::string reading, han;
            for (size_t s = 0; s < n; ++s) {
                std::string syl = std::string(initials[rng() % 18]) + rimes[rng() % 25];
                const char last = syl.back();
                const bool checked = last == 'p' || last == 't' || last == 'k';
                syl += char('0' + (checked ? (rng() % 2 ? 4 : 8) : 1 + rng() % 9 % 7));
                std::string toned = tonedKey2tailo(syl);
                reading += (s ? "-" : "") + toned;
                const unsigned cp = 0x4E00 + rng() % 0x5000;
                han += char(0xE0 | (cp >> 12));
                han += char(0x80 | ((cp >> 6) & 0x3F));
                han += char(0x80 | (cp & 0x3F));
            }
            c.addWord(han, reading, {}, int(rng() % 20) - 10);
            ++words;
        }
        return compiledFolder(c);
    }();
    return files;
}

size_t entries(const C_TailoDB& db) {
    return db.tonedCount() + db.exactCount() + db.karrCount() + db.hanCount();
}

void construct(benchmark::State& state, const C_DictFiles& files) {
    test::C_CapturePolicy policy;
    const C_TailoCats cats(files.cats);
    size_t n = 0;
    for (auto _ : state) {
        C_TailoDB db(files.tailo, cats, policy);
        n = entries(db);
        benchmark::DoNotOptimize(db.loaded());
    }
    state.counters["entries"] = double(n);
    state.counters["file_kib"] = double(std::filesystem::file_size(files.tailo)) / 1024.0;
    state.counters["peak_rss_kib"] = peakRssKib();
}

void BM_ConstructBundled(benchmark::State& state) { construct(state, bundled()); }
void BM_ConstructLarge(benchmark::State& state) { construct(state, large()); }

struct C_Loaded {
    test::C_CapturePolicy policy;
    C_TailoCats cats;
    C_TailoDB db;
    explicit C_Loaded(const C_DictFiles& f) : cats(f.cats), db(f.tailo, cats, policy) {}
};

const C_Loaded& loadedBundled() {
    static const C_Loaded l(bundled());
    return l;
}

void BM_ExactKey(benchmark::State& state) {
    const C_TailoDB& db = loadedBundled().db;
    const char* keys[] = {"tai5gi2", "tshui3", "su2su7", "tiam2lu1ing5boo7"};
    size_t i = 0, found = 0;
    for (auto _ : state) {
        C_CompoUnit unit('t');
        db.addKeyVocs(unit, keys[i++ % 4], false);
        found += unit.size();
    }
    state.counters["found_per_lookup"] = double(found) / double(state.iterations());
}

void BM_TonelessPrefix(benchmark::State& state) {
    const C_TailoDB& db = loadedBundled().db;
    const char* keys[] = {"ka", "tsui", "si", "ang"};
    size_t i = 0, found = 0;
    for (auto _ : state) {
        C_CompoUnit unit('k');
        db.addPrefixWords(unit, keys[i++ % 4]);
        found += unit.size();
    }
    state.counters["found_per_lookup"] = double(found) / double(state.iterations());
}

void BM_Wildcard(benchmark::State& state) {
    const C_TailoDB& db = loadedBundled().db;
    const std::vector<C_IsleItem> k = buildWildcardItems("k?");
    const C_WildcardMatcher matcher(k, 0, 1, true);
    const size_t spans[] = {2};
    size_t found = 0;
    for (auto _ : state) {
        C_CompoUnit unit('k');
        db.addWildcardWords(unit, spans, "k", matcher);
        found += unit.size();
    }
    state.counters["found_per_lookup"] = double(found) / double(state.iterations());
}

// Times the walk from the first island of a typed line, the line's units emptied before each
// walk; counts the candidates of the first unit.
void measureIslandWalk(benchmark::State& state, const C_TailoDB& db, test::C_TypedLine& line,
                       size_t typedLength, const C_StdIsle& first) {
    const C_VisitConsts vc = line.consts();
    const FC_UnitAt unitAt = line.unitAt();
    size_t found = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < typedLength; ++i)
            line.unit(i).clear();
        db.getIslandVocs(vc, first, unitAt);
        found += line.unit(0).size();
    }
    state.counters["candidates"] = double(found) / double(state.iterations());
}

// A real word of n syllables, typed in full, one island per syllable.
void BM_KarrWalk(benchmark::State& state) {
    static const char* words[] = {"tshuì",
                                  "sú-sū",
                                  "pó-tshinn-mo̍oh",
                                  "tiám-lu-îng-bōo",
                                  "tsah-sin-ji̍p-tiān-a̍p",
                                  "khì-ióng-hu̍t-thn̂g-hu̍t-sng"};
    const size_t n = size_t(state.range(0));
    const auto keys = std::get<0>(tailo2tonedKeys(words[n - 1]));
    std::string typed;
    for (const auto& k : keys)
        typed += k;
    const C_TailoDB& db = loadedBundled().db;
    test::C_TypedLine line(typed);
    std::shared_ptr<const C_StdIsle> first;
    size_t at = 0;
    for (const auto& k : keys) {
        auto isle =
            line.syllable(at, k.size(), k[0] != 'a' && k[0] != 'i' && k[0] != 'o' && k[0] != 'u');
        if (!first)
            first = isle;
        at += k.size();
    }
    measureIslandWalk(state, db, line, typed.size(), *first);
}

// The same words typed as bare initials (one plain island each): the widest walk.
void BM_KarrWalkInitials(benchmark::State& state) {
    static const char* words[] = {"pó-tshinn-mo̍oh", "tiám-lu-îng-bōo"};
    const auto keys = std::get<0>(tailo2tonedKeys(words[state.range(0) - 3]));
    std::string typed;
    std::vector<size_t> lengths;
    for (const auto& k : keys) {
        std::smatch m;
        std::regex_match(k, m, kSyllableRegex);
        typed += m[1].str();
        lengths.push_back(m[1].length());
    }
    test::C_TypedLine line(typed);
    std::shared_ptr<const C_StdIsle> first;
    size_t at = 0;
    for (size_t len : lengths) {
        auto isle = line.plain(at, len);
        if (!first)
            first = isle;
        at += len;
    }
    const C_TailoDB& db = loadedBundled().db;
    measureIslandWalk(state, db, line, typed.size(), *first);
}

void BM_Voc2tailos(benchmark::State& state) {
    const C_TailoDB& db = loadedBundled().db;
    const char* words[] = {"點攄螢幕", "台語", "喙喙"};  // whole, whole, composed from characters
    const char* word = words[state.range(0)];
    size_t n = 0;
    for (auto _ : state)
        db.voc2tailos(word, [&](std::string_view r) { n += r.size(); });
    benchmark::DoNotOptimize(n);
}

// The first keystroke after start-up: construction of the bundled dictionary, then the first
// walk of a 2-syllable word (what the walk needs at first use is built then, unless the load
// built it). Timed: the first walk alone; the counter "construct_us" gives the construction.
void BM_FirstWalkAfterLoad(benchmark::State& state) {
    const C_DictFiles& files = bundled();
    test::C_CapturePolicy policy;
    const C_TailoCats cats(files.cats);
    const auto keys = std::get<0>(tailo2tonedKeys("sú-sū"));
    double constructUs = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        C_TailoDB db(files.tailo, cats, policy);
        const auto t1 = std::chrono::steady_clock::now();
        test::C_TypedLine line(keys[0] + keys[1]);
        const auto first = line.syllable(0, keys[0].size(), true);
        line.syllable(keys[0].size(), keys[1].size(), true);
        const auto t2 = std::chrono::steady_clock::now();
        db.getIslandVocs(line.consts(), *first, line.unitAt());
        const auto t3 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t3 - t2).count());
        constructUs += std::chrono::duration<double, std::micro>(t1 - t0).count();
    }
    state.counters["construct_us"] = constructUs / double(state.iterations());
}

BENCHMARK(BM_ConstructBundled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstWalkAfterLoad)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConstructLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExactKey);
BENCHMARK(BM_TonelessPrefix);
BENCHMARK(BM_Wildcard)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KarrWalk)->DenseRange(1, 6)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KarrWalkInitials)->DenseRange(3, 4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Voc2tailos)->DenseRange(0, 2);

}  // namespace

BENCHMARK_MAIN();
