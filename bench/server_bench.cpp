// Server: the round trip of a small command over the pipe (the client writes the framed
// request, the server's session answers, the client has read the whole reply), alone and with 64
// sessions connected of which 8 send requests without pause; one keystroke as a front end makes
// it (the key, then a page of candidates) on lines of real words, and the first keystroke of a
// freshly started program; the time from starting the server program until it accepts
// connections, with the bundled dictionary (and, to compare, the start and end of /bin/true);
// the resident memory of an idle server with one session; 64 busy users at once on the server
// program, with its memory after the warm-up and after the run.
//
// The round trip's command is "get-input-line-size" of an "ime" session. Round trips and
// keystrokes are timed one by one (manual time); "p50_us" and "p99_us" are the median and the
// 99th percentile.

#include <benchmark/benchmark.h>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/client_server_common.h"
#include "engine/Kelvaro/framing.h"
#include "platform/driven_process.h"
#include "platform/environment.h"
#include "platform/local_pipe.h"
#include "fixtures/bundled_dict.h"
#include "fixtures/pipe_load.h"
#include "fixtures/temp_folder.h"

namespace {

using namespace kov;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kPipeName = "\\\\.\\pipe\\Kelvaro_bench";
const fs::path kDict = fs::path(KOV_BINARY_DIR) / "dict";

// A private runtime folder for the pipe and the lock, for this process and the servers it starts.
const fs::path& runtimeFolder() {
    static const test::C_TempFolder folder;
    static const bool set = [] {
        fs::permissions(folder.path(), fs::perms::owner_all, fs::perm_options::replace);
        platform::setEnvironmentVariable("XDG_RUNTIME_DIR", folder.path().string());
        return true;
    }();
    (void)set;
    return folder.path();
}

// One session's client, with its own event loop, driven by the calling thread.
class C_Client {
public:
    explicit C_Client(const std::string& pipeName) {
        std::error_code ec;
        m_stream = platform::connectPipe(m_loop, pipeName, ec);
        if (!m_stream)
            throw std::runtime_error("connect: " + ec.message());
        roundTrip(
            nlohmann::json{{"cmd", "open"}, {"magic", pipeNameHash(pipeName)}, {"agent", "ime"}}
                .dump());
    }

    // Sends one request and reads frames until one came; returns that frame's body.
    std::string roundTrip(const std::string& body) { return roundTrips({body}).front(); }

    // Sends the requests in one write, without waiting between them, and reads as many frames;
    // returns their bodies.
    std::vector<std::string> roundTrips(const std::vector<std::string>& bodies) {
        std::string frames;
        for (const std::string& body : bodies)
            appendFrame(frames, body);
        bool written = false;
        m_stream->asyncWrite(frames.data(), frames.size(),
                             [&](const std::error_code& ec, std::size_t) {
                                 if (ec)
                                     throw std::runtime_error("write: " + ec.message());
                                 written = true;
                             });
        std::vector<std::string> replies;
        std::string_view reply;
        while (replies.size() < bodies.size()) {
            if (m_reader.next(reply) == C_FrameReader::FRAME) {
                replies.emplace_back(reply);
                continue;
            }
            bool read = false;
            m_stream->asyncReadSome(m_buffer, sizeof m_buffer,
                                    [&](const std::error_code& ec, std::size_t n) {
                                        if (ec)
                                            throw std::runtime_error("read: " + ec.message());
                                        m_reader.feed(std::string_view(m_buffer, n));
                                        read = true;
                                    });
            while (!read)
                m_loop.run_one();
        }
        while (!written)
            m_loop.run_one();
        return replies;
    }

private:
    asio::io_context m_loop;
    // Without it the loop would count as stopped once it ran out of work between round trips.
    asio::executor_work_guard<asio::io_context::executor_type> m_work =
        asio::make_work_guard(m_loop);
    std::unique_ptr<platform::I_PipeStream> m_stream;
    C_FrameReader m_reader;
    char m_buffer[4096];
};

// The server in this process, on the bench's runtime folder.
class C_InProcessServer : public test::C_InProcessServer {
public:
    C_InProcessServer() : test::C_InProcessServer((runtimeFolder(), kDict), kPipeName) {}
};

void reportPercentiles(benchmark::State& state, std::vector<double>& times) {
    if (times.empty())
        return;
    std::sort(times.begin(), times.end());
    state.counters["p50_us"] = times[times.size() / 2];
    state.counters["p99_us"] = times[std::min(times.size() - 1, times.size() * 99 / 100)];
}

const std::string kRequest = R"({"cmd":"get-input-line-size"})";

// Arguments: sessions connected besides the timed one, and how many of them are busy.
void BM_RoundTrip(benchmark::State& state) {
    C_InProcessServer server;
    const int others = static_cast<int>(state.range(0));
    const int busy = static_cast<int>(state.range(1));
    std::vector<std::unique_ptr<C_Client>> idle;
    for (int i = busy; i < others; ++i)
        idle.push_back(std::make_unique<C_Client>(kPipeName));
    std::atomic<bool> stop{false};
    std::atomic<int> ready{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < busy; ++i)
        workers.emplace_back([&] {
            C_Client client(kPipeName);
            ++ready;
            while (!stop)
                client.roundTrip(kRequest);
        });
    while (ready < busy)
        std::this_thread::yield();

    C_Client client(kPipeName);
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(client.roundTrip(kRequest));
        const std::chrono::duration<double> took = Clock::now() - start;
        state.SetIterationTime(took.count());
        times.push_back(took.count() * 1e6);
    }
    stop = true;
    for (auto& w : workers)
        w.join();
    reportPercentiles(state, times);
}
BENCHMARK(BM_RoundTrip)
    ->Args({0, 0})
    ->Args({63, 8})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

const std::string kCandidatePage =
    R"({"cmd":"get-candidates-at-nail-pos","count":10,"index":0,"type":"M"})";
const std::string kRemoveKeyBack = R"({"cmd":"remove-key","dir":-1})";

// One keystroke as a front end makes it: the key, then the first page of 10 candidates at the
// nail position (which composes the line); the second request sent after the first one's reply
// came, or, pipelined, both in one write. Its time in microseconds.
double keystroke(C_Client& client, char key, bool pipelined = false) {
    const std::string insert =
        nlohmann::json{{"cmd", "insert-key"}, {"key", std::string(1, key)}}.dump();
    const auto start = Clock::now();
    if (pipelined) {
        benchmark::DoNotOptimize(client.roundTrips({insert, kCandidatePage}));
    } else {
        benchmark::DoNotOptimize(client.roundTrip(insert));
        benchmark::DoNotOptimize(client.roundTrip(kCandidatePage));
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Arguments: the syllables of the line of real words, and 1 for the pipelined keystroke. The
// line is typed key by key as a front end does, the first keystroke on the fresh server given as
// "first_us"; then its last key is typed again and again (timed), each time removed afterwards
// and the line composed (not timed).
void BM_KeystrokeOverThePipe(benchmark::State& state) {
    C_InProcessServer server;
    C_Client client(kPipeName);
    const std::string keys = test::realWordKeys(size_t(state.range(0)));
    const bool pipelined = state.range(1) != 0;
    const double first = keystroke(client, keys.front(), pipelined);
    for (size_t i = 1; i + 1 < keys.size(); ++i)
        keystroke(client, keys[i], pipelined);
    if (keys.size() == 1)
        client.roundTrips({kRemoveKeyBack, kCandidatePage});
    std::vector<double> times;
    for (auto _ : state) {
        const double us = keystroke(client, keys.back(), pipelined);
        state.SetIterationTime(us / 1e6);
        times.push_back(us);
        client.roundTrips({kRemoveKeyBack, kCandidatePage});
    }
    reportPercentiles(state, times);
    state.counters["first_us"] = first;
    state.counters["keys"] = double(keys.size());
}
BENCHMARK(BM_KeystrokeOverThePipe)
    ->ArgsProduct({{1, 5, 10, 20, 30, 64}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// The server program with the bundled dictionary, in folders of its own.
class C_ServerProgram {
public:
    C_ServerProgram() {
        const fs::path config =
            m_folder.write("Kelvaro.json", nlohmann::json{{"db-dir", kDict.string()}}.dump());
        m_options.argv = {KOV_SERVER_EXE, config.string()};
        m_options.env = {{"XDG_RUNTIME_DIR", runtimeFolder().string()},
                         {"XDG_CONFIG_HOME", m_folder.path().string()}};
    }
    ~C_ServerProgram() { stop(); }

    // Starts the program and waits until a client can connect; the time that took.
    std::chrono::duration<double> startUntilAccepting() {
        std::string error;
        const auto start = Clock::now();
        if (!m_process.start(m_options, error))
            throw std::runtime_error(error);
        asio::io_context loop;
        const std::string pipe = getPipeName();
        for (;;) {
            std::error_code ec;
            if (platform::connectPipe(loop, pipe, ec))
                return Clock::now() - start;
            if (m_process.wait(std::chrono::milliseconds(0)))
                throw std::runtime_error("the server ended at start");
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }
    void stop() {
        if (m_process.running()) {
            m_process.interrupt();
            m_process.wait(std::chrono::seconds(10));
        }
    }
    platform::C_DrivenProcess& process() { return m_process; }

private:
    test::C_TempFolder m_folder;
    platform::C_DrivenProcess::S_Options m_options;
    platform::C_DrivenProcess m_process;
};

void BM_StartUntilAccepting(benchmark::State& state) {
    std::vector<double> times;
    for (auto _ : state) {
        C_ServerProgram server;
        const auto took = server.startUntilAccepting();
        state.SetIterationTime(took.count());
        times.push_back(took.count() * 1e6);
    }
    reportPercentiles(state, times);
}
BENCHMARK(BM_StartUntilAccepting)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

// What starting any program costs on this machine: /bin/true, from the start until it ended.
void BM_StartAndEndOfTrue(benchmark::State& state) {
    std::vector<double> times;
    platform::C_DrivenProcess::S_Options options;
    options.argv = {"/bin/true"};
    for (auto _ : state) {
        platform::C_DrivenProcess child;
        std::string error;
        const auto start = Clock::now();
        if (!child.start(options, error) || !child.wait(std::chrono::seconds(10)))
            throw std::runtime_error("/bin/true: " + error);
        const std::chrono::duration<double> took = Clock::now() - start;
        state.SetIterationTime(took.count());
        times.push_back(took.count() * 1e6);
    }
    reportPercentiles(state, times);
}
BENCHMARK(BM_StartAndEndOfTrue)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

// The first keystroke that the program answers after it started with the bundled dictionary:
// start, connect and open (not timed), then one keystroke on the empty line. For comparison, the
// same keystroke made again (the key removed in between) right after ("again_p50_us") and after
// a pause of 300 ms, as between a user's keystrokes ("paused_p50_us").
void BM_FirstKeystrokeAfterStart(benchmark::State& state) {
    std::vector<double> times, again, paused;
    const auto median = [](std::vector<double>& v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    for (auto _ : state) {
        C_ServerProgram server;
        server.startUntilAccepting();
        C_Client client(getPipeName());
        const double us = keystroke(client, 't');
        state.SetIterationTime(us / 1e6);
        times.push_back(us);
        client.roundTrips({kRemoveKeyBack, kCandidatePage});
        again.push_back(keystroke(client, 't'));
        client.roundTrips({kRemoveKeyBack, kCandidatePage});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        paused.push_back(keystroke(client, 't'));
    }
    reportPercentiles(state, times);
    state.counters["again_p50_us"] = median(again);
    state.counters["paused_p50_us"] = median(paused);
}
BENCHMARK(BM_FirstKeystrokeAfterStart)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(30);

void BM_IdleServerWithOneSession(benchmark::State& state) {
    for (auto _ : state) {
        C_ServerProgram server;
        server.startUntilAccepting();
        C_Client client(getPipeName());
        benchmark::DoNotOptimize(client.roundTrip(kRequest));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        state.counters["rss_mib"] =
            static_cast<double>(server.process().residentBytes().value_or(0)) / (1024.0 * 1024.0);
    }
}
BENCHMARK(BM_IdleServerWithOneSession)->Iterations(1)->Unit(benchmark::kMillisecond);

// 64 users at once on the server program, each typing, listing candidates, nailing, popping
// and editing the user dictionary (fixtures/pipe_load.h) for 10,000 requests after a warm-up
// of 500; the time of the run, the requests per second, and the server's resident memory after
// the warm-up and after the run ("rss_growth" their ratio). A user that is through with its
// share goes on reading its pipe until all are through: a session that stops reading piles up
// the others' change events in the server. Every reply must be well-formed and
// carry its request's echo number in order (C_BusyUser checks), and every session must have
// heard every erasure of every user exactly once and at least every addition (the learner may
// add words too); else the benchmark reports an error.
void BM_ManySessions(benchmark::State& state) {
    constexpr unsigned kUsers = 64;
    constexpr size_t kWarmUp = 500, kRequests = 10000;
    for (auto _ : state) {
        C_ServerProgram server;
        server.startUntilAccepting();
        const std::string pipe = getPipeName();
        std::vector<std::unique_ptr<test::C_PipeClient>> clients;
        std::vector<std::unique_ptr<test::C_BusyUser>> users;
        for (unsigned id = 0; id < kUsers; ++id) {
            clients.push_back(std::make_unique<test::C_PipeClient>(pipe));
            clients.back()->open(pipe);
            users.push_back(
                std::make_unique<test::C_BusyUser>(*clients.back(), id, std::chrono::seconds(60)));
        }
        // One round alone tells which changes a round makes.
        users[0]->round();
        for (auto& u : users)
            u->sync();
        const std::map<int, std::uint64_t> perRound = users[0]->changesSeen();
        std::atomic<std::uint64_t> rounds{1};
        // Each user does its share of requests; one that is through goes on reading its events
        // (as a front end does) until every user is through. The requests of its share only.
        const auto work = [&](size_t requestsEach) {
            std::vector<std::thread> threads;
            std::atomic<bool> failed{false};
            std::atomic<unsigned> working{kUsers};
            std::atomic<size_t> requests{0};
            for (unsigned id = 0; id < kUsers; ++id)
                threads.emplace_back([&, id] {
                    try {
                        const auto start = users[id]->requests();
                        while (users[id]->requests() - start < requestsEach) {
                            users[id]->round();
                            ++rounds;
                        }
                        requests += users[id]->requests() - start;
                        --working;
                        while (working > 0 && !failed) {
                            users[id]->sync();
                            std::this_thread::sleep_for(std::chrono::milliseconds(2));
                        }
                    } catch (const std::exception& e) {
                        std::fprintf(stderr, "%s\n", e.what());
                        failed = true;
                        --working;
                    }
                });
            for (auto& t : threads)
                t.join();
            if (failed)
                throw std::runtime_error("a user's work failed");
            for (auto& u : users)
                u->sync();
            return size_t(requests);
        };
        state.PauseTiming();
        work(kWarmUp);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const double warm = double(server.process().residentBytes().value_or(0));
        state.ResumeTiming();
        const auto start = Clock::now();
        const size_t requests = work(kRequests);
        const std::chrono::duration<double> took = Clock::now() - start;
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const double after = double(server.process().residentBytes().value_or(0));
        std::uint64_t eventsSeen = 0;
        bool missed = perRound.empty();
        for (auto& u : users) {
            for (const auto& [kind, n] : perRound) {
                const std::uint64_t made = n * rounds;
                const auto it = u->changesSeen().find(kind);
                const std::uint64_t seen = it == u->changesSeen().end() ? 0 : it->second;
                missed |= (kind == 1 || kind == 3) ? seen != made : seen < made;
            }
            for (const auto& [kind, n] : u->changesSeen())
                eventsSeen += n;
        }
        if (missed)
            state.SkipWithError("a session did not hear every change of the user dictionary");
        state.counters["requests"] = double(requests);
        state.counters["requests_per_s"] = double(requests) / took.count();
        state.counters["events_seen"] = double(eventsSeen);
        state.counters["rss_warm_mib"] = warm / (1024.0 * 1024.0);
        state.counters["rss_after_mib"] = after / (1024.0 * 1024.0);
        state.counters["rss_growth"] = warm > 0 ? after / warm : 0;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ManySessions)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
