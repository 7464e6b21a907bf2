// User dictionary: load and save of 1,000 / 10,000 / 100,000 records, a query through the
// two-layer chain (user layer over the system dictionary), and the vocabulary listing of
// 100,000 records: building a search with its sorted copy, and a page of 50 from the cache.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/dict/user_db.h"
#include "engine/text/tailo.h"
#include "fixtures/tailo_fixture.h"
#include "qiv/utf8.h"

namespace {

using namespace kov;

// Toned syllable keys: initial x rime x tone, in a fixed order.
const std::vector<std::string>& syllables() {
    static const std::vector<std::string> keys = [] {
        const char* initials[] = {"",   "p",   "ph", "b", "m", "t",  "th", "n",  "l",
                                  "ts", "tsh", "s",  "j", "k", "kh", "g",  "ng", "h"};
        const char* rimes[] = {"a",  "e",  "i",  "o",  "u",  "ai", "au",  "ia",  "iu",
                               "ua", "ue", "oo", "an", "in", "un", "ang", "ing", "ong"};
        std::vector<std::string> out;
        for (const char* i : initials)
            for (const char* r : rimes)
                for (char tone : std::string("123579"))
                    out.push_back(std::string(i) + r + tone);
        return out;
    }();
    return keys;
}

std::string tailoOf(const std::vector<std::string>& keys) {
    std::string out;
    for (const std::string& k : keys) {
        if (!out.empty())
            out += '-';
        out += tonedKey2tailo(k);
    }
    return out;
}

// A distinct Han word of one or two characters for each n below 20,000 x 20,000.
std::string hanWord(size_t n, size_t chars) {
    std::string out(qiv::u32toutf8(0x4E00 + static_cast<unsigned>(n % 20000)));
    if (chars > 1)
        out += qiv::u32toutf8(0x4E00 + static_cast<unsigned>(n / 20000));
    return out;
}

// Fills the dictionary with n records: one in ten under a single key, the rest under two
// keys; every other record a Han word with its reading.
void fill(C_UserTailoDB& db, size_t n) {
    const auto& syl = syllables();
    for (size_t i = 0; i < n; ++i) {
        std::vector<std::string> keys;
        if (i % 10 == 0) {
            keys = {syl[(i / 10) % syl.size()]};
        } else {
            keys = {syl[i % syl.size()], syl[(i / syl.size() + i) % syl.size()]};
        }
        const bool han = i % 2 == 0;
        const std::string tailo = tailoOf(keys);
        const std::string word = han ? hanWord(i, keys.size()) : tailo;
        const float weight = static_cast<float>(i % 97) - 40.0f;
        const uint8_t cats[] = {static_cast<uint8_t>(1 + i % 3)};
        const bool added = keys.size() == 1
                               ? db.addKeysToWord(keys[0], han ? 'H' : 'T', word, weight, cats, 0)
                               : db.addKarrToVoc(keys, han ? 'H' : 'T', word, weight, cats, 0);
        if (!added)
            throw std::runtime_error("refused: " + word);
        if (han)
            db.addHantTailo(word, tailo);
    }
}

// Makes the dictionary dirty without changing its content.
void touch(C_UserTailoDB& db) {
    db.addKeysToWord("bue7", 'T', "buē", 0, {}, 0);
    db.eraseWord("bue7", 'T', "buē");
}

struct C_Bed {
    explicit C_Bed(size_t n) : sys(test::C_TailoFixture{}.bytes()) {
        file = sys.m_folder.path() / "user-db.tab";
        C_UserTailoDB db(file, *sys.m_db);
        fill(db, n);
        touch(db);
        if (!db.save())
            throw std::runtime_error("save failed");
    }
    test::C_SystemDictFixture sys;
    std::filesystem::path file;
};

void BM_Load(benchmark::State& state) {
    C_Bed bed(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        auto db = std::make_unique<C_UserTailoDB>(bed.file, *bed.sys.m_db);
        benchmark::DoNotOptimize(db->loaded());
        state.PauseTiming();  // the teardown is not part of the load
        db.reset();
        state.ResumeTiming();
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(bed.file));
}
BENCHMARK(BM_Load)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_Save(benchmark::State& state) {
    C_Bed bed(static_cast<size_t>(state.range(0)));
    C_UserTailoDB db(bed.file, *bed.sys.m_db);
    for (auto _ : state) {
        state.PauseTiming();
        touch(db);
        state.ResumeTiming();
        if (!db.save())
            state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_Save)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// A two-syllable island typed in full, looked up through the user layer (10,000 records) over
// the system dictionary: the walk over both key-array tables and the prefix lookups.
void BM_QueryThroughChain(benchmark::State& state) {
    test::C_TailoFixture f;
    f.a = {{"tai5", {test::hRec("台")}}};
    f.c = {{"tai5-uan5", {test::hRec("台灣", 2)}}};
    f.d = {{"台", {"tâi"}}, {"台灣", {"tâi-uân"}}};
    test::C_SystemDictFixture sys(f.bytes());
    C_UserTailoDB db("", *sys.m_db);
    fill(db, 10000);
    db.addKarrToVoc({"tai5", "uan5"}, 'H', "臺灣", 3, {}, 0);
    db.addHantTailo("臺灣", "Tâi-uân");
    for (auto _ : state) {
        test::C_TypedLine line("tai5uan5");
        const auto first = line.syllable(0, 4, true);
        line.syllable(4, 4, false);
        db.getIslandVocs(line.consts(), *first, line.unitAt());
        benchmark::DoNotOptimize(line.unit(0).size());
    }
}
BENCHMARK(BM_QueryThroughChain)->Unit(benchmark::kMicrosecond);

struct C_ListingBed {
    C_ListingBed() : sys(test::C_TailoFixture{}.bytes()), db("", *sys.m_db) { fill(db, 100000); }
    test::C_SystemDictFixture sys;
    C_UserTailoDB db;
};

const std::vector<C_UserVocOrder> kOrders{{ORDER_BY_WEIGHT, true}, {ORDER_BY_KEYS, false}};

size_t page(C_UserTailoDB& db, std::string_view search, size_t index) {
    size_t n = 0;
    db.visitUserVocs(
        search, kOrders, index, 50,
        [&](const C_Bikey&, const C_TailoVoc&, const std::vector<std::string>&) { ++n; });
    return n;
}

// A search over 100,000 records and its sorted copy, built afresh (a change drops the caches).
void BM_SearchAndSort(benchmark::State& state) {
    C_ListingBed bed;
    const std::string search = state.range(0) ? "â" : "";
    for (auto _ : state) {
        state.PauseTiming();
        touch(bed.db);
        state.ResumeTiming();
        benchmark::DoNotOptimize(page(bed.db, search, 0));
    }
    state.counters["matches"] = static_cast<double>(bed.db.countUserVocs(search));
}
BENCHMARK(BM_SearchAndSort)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A page of 50 from the cached sorted copy of 100,000 records.
void BM_ListingPageCached(benchmark::State& state) {
    C_ListingBed bed;
    page(bed.db, "", 0);
    size_t index = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(page(bed.db, "", index));
        index = (index + 50) % 100000;
    }
}
BENCHMARK(BM_ListingPageCached)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
