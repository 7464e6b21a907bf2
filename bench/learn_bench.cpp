// The learner over the bundled dictionary: learning one committed line of ten real words (as the
// engine composed it, and with one word nailed otherwise), handing a job over on the session
// thread while the learner is busy, and a keystroke on the session thread while the learner
// promotes words into the user dictionary. Times that vary are taken one by one; the counters
// give the median and the 99th percentile in microseconds ("p50_us", "p99_us").

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <variant>
#include <filesystem>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/compose/input_line.h"
#include "engine/dict/system_dict.h"
#include "engine/dict/tailo_cats.h"
#include "engine/dict/user_db.h"
#include "engine/text/tailo.h"
#include "fixtures/bundled_dict.h"
#include "fixtures/learn_db_fixture.h"

namespace {

using namespace kov;
using Clock = std::chrono::steady_clock;

using C_Bundled = test::C_BundledDict;

const C_Bundled& bundled() { return test::bundledDict(); }

// A user and a learning dictionary without files over the bundled dictionary.
struct C_LearnStack {
    explicit C_LearnStack(bool thread)
        : user({}, *bundled().db), learn({}, user, bundled().policy, thread) {}

    C_UserTailoDB user;
    test::C_TestLearnDB learn;
};

// The keys of n real words, one after the other.
std::string lineKeys(size_t n, size_t from = 0) {
    const C_Bundled& b = bundled();
    std::string keys;
    for (size_t i = 0, w = from; i < n; ++i, w = (w + 7919) % b.words.size())
        for (const std::string& s : b.words[w])
            keys += s;
    return keys;
}

// The job of a line of ten words as the engine composes it; with nail, the winner in the
// middle of the line is replaced by another word of its unit, as if the user had chosen it.
C_InputLineSnapshot committedLine(const I_TailoDB& db, bool nail) {
    C_InputLine line(db);
    for (char k : lineKeys(10))
        line.insertKey(k);
    const std::vector<C_Winner>& winners = line.winners();
    if (nail) {
        for (size_t i = winners.size() / 2; i < winners.size(); ++i) {
            C_CompoUnit* unit = line.snapshot().unitAt(winners[i].m_start);
            const C_Candidate* won = winners[i].m_candidate;
            if (!unit || !won)
                continue;
            auto other = std::find_if(
                unit->candidates().begin(), unit->candidates().end(), [&](const C_Candidate& c) {
                    return &c != won && c.m_span == won->m_span && c.m_source != ST_RAW_KEY;
                });
            if (other == unit->candidates().end())
                continue;
            other->m_rank = RANK_NAILED;
            unit->markUnsorted();
            line.toggleSpuriousSpaces();  // composes again with the nail
            line.toggleSpuriousSpaces();
            line.winners();
            break;
        }
    }
    return C_InputLineSnapshot(line.snapshot());
}

std::vector<double> percentiles(benchmark::State& state, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    if (!times.empty()) {
        state.counters["p50_us"] = times[times.size() / 2];
        state.counters["p99_us"] = times[std::min(times.size() - 1, times.size() * 99 / 100)];
        state.counters["max_us"] = times.back();
    }
    return times;
}

void learnLine(benchmark::State& state, bool nail) {
    C_LearnStack stack(false);
    const C_InputLineSnapshot master = committedLine(stack.learn, nail);
    std::vector<double> times;
    for (auto _ : state) {
        C_InputLineSnapshot job(master);
        const auto t0 = Clock::now();
        stack.learn.learnJob(job);
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(seconds);
        times.push_back(seconds * 1e6);
    }
    percentiles(state, times);
    state.counters["rules"] = double(stack.learn.lockTables().ruleTable().size());
    state.counters["keys"] = double(master.m_elements.size());
}

void BM_LearnLineAsComposed(benchmark::State& state) { learnLine(state, false); }
BENCHMARK(BM_LearnLineAsComposed)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_LearnLineWithANailedWord(benchmark::State& state) { learnLine(state, true); }
BENCHMARK(BM_LearnLineWithANailedWord)->UseManualTime()->Unit(benchmark::kMicrosecond);

// enqueue on the session thread while the learner works through the jobs before.
void BM_EnqueueWhileLearning(benchmark::State& state) {
    C_LearnStack stack(true);
    const C_InputLineSnapshot master = committedLine(stack.learn, true);
    std::vector<double> times;
    for (auto _ : state) {
        auto job = std::make_unique<C_InputLineSnapshot>(master);
        const auto t0 = Clock::now();
        stack.learn.enqueue(job);
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(seconds);
        times.push_back(seconds * 1e6);
    }
    percentiles(state, times);
    state.counters["queued_at_end"] = double(stack.learn.queuedJobs());
}
BENCHMARK(BM_EnqueueWhileLearning)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(5000);

// A committed line of ten words as the engine composed it, followed by one learned word that
// this commit approves a third time, so that it moves to the user dictionary.
std::unique_ptr<C_InputLineSnapshot> promotingJob(const C_InputLineSnapshot& line,
                                                  const std::string& reading) {
    auto job = std::make_unique<C_InputLineSnapshot>(line);
    auto unit = std::make_unique<C_CompoUnit>('k');
    C_Candidate c;
    c.m_readings = {reading};
    c.m_source = ST_USER_EXACT;
    c.m_count = 1;
    unit->add(c);
    job->m_elements.emplace_back(std::move(unit));
    job->findWinners(job->m_elements.size());
    return job;
}

// The learned word a promoting job approves: its reading and keys.
bool plantPromotedWord(test::C_TestLearnDB& learn, const C_InputLineSnapshot& job) {
    const std::string& reading = job.m_winners.back().m_candidate->m_readings.front();
    const C_TonedKeysResult r = tailo2tonedKeys(reading);
    const auto* keys = std::get_if<std::vector<std::string>>(&r);
    if (!keys || keys->empty())
        return false;
    C_CandiPool& pool = learn.pool();
    const C_VocTableError e = keys->size() == 1
                                  ? pool.add_keys_to_word(keys->front(), 'T', reading, 0, {}, 2)
                                  : pool.add_karray_to_voc(*keys, 'T', reading, 0, {}, 2);
    return !e.failed;
}

// Keystrokes at the end of a line of ten words, one every 2 ms, each timed alone: the learner
// idle, or learning committed lines throughout, each of which promotes a word of the lexicon
// into the user dictionary (the learner puts every job back at the end of its queue, with the
// word learned again, so that it never runs out of work).
void keystrokes(benchmark::State& state, bool promoting, bool changeBetween = false) {
    const C_Bundled& b = bundled();
    std::atomic<size_t> promotions{0};
    test::C_TestLearnDB* self = nullptr;
    C_UserTailoDB user({}, *b.db);
    test::C_TestLearnDB learn({}, user, b.policy, true, [&](C_InputLineSnapshot& job) {
        {
            const auto lock = self->lockTables_();
            plantPromotedWord(*self, job);
        }
        auto again = std::make_unique<C_InputLineSnapshot>(job);
        self->learnJob(job);
        ++promotions;
        self->enqueue(again);
    });
    self = &learn;
    const std::string keys = lineKeys(10, 101);
    C_InputLine line(learn);
    for (size_t i = 0; i + 1 < keys.size(); ++i)
        line.insertKey(keys[i]);
    line.winners();
    if (promoting) {
        const C_InputLineSnapshot line10 = committedLine(learn, false);
        for (size_t w = 0; w < 64; ++w) {
            std::string reading;
            for (const std::string& k : b.words[w * 13]) {
                if (!reading.empty())
                    reading += '-';
                reading += tonedKey2tailo(k);
            }
            auto job = promotingJob(line10, reading);
            learn.enqueue(job);
        }
    }
    std::vector<double> times;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (changeBetween)
            user.addKeysToWord("a1", 'T', std::string("a").append(std::to_string(times.size())), 0,
                               {}, 0);
        const auto t0 = Clock::now();
        line.insertKey(keys.back());
        benchmark::DoNotOptimize(line.winners().size());
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(seconds);
        times.push_back(seconds * 1e6);
        line.removeKey(C_InputLine::DIR_BACKWARD);
        line.winners();
    }
    percentiles(state, times);
    state.counters["promotions"] = double(promotions.load());
    state.counters["keys"] = double(keys.size());
}

void BM_KeystrokeWhilePromoting(benchmark::State& state) { keystrokes(state, true); }
BENCHMARK(BM_KeystrokeWhilePromoting)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(2000);

void BM_KeystrokeLearnerIdle(benchmark::State& state) { keystrokes(state, false); }
BENCHMARK(BM_KeystrokeLearnerIdle)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(2000);

// The same with the learner idle and one word added to the user dictionary before each
// keystroke on the session thread: what a keystroke costs after any change of the words.
void BM_KeystrokeAfterAChangeOfWords(benchmark::State& state) { keystrokes(state, false, true); }
BENCHMARK(BM_KeystrokeAfterAChangeOfWords)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(2000);

}  // namespace

BENCHMARK_MAIN();
