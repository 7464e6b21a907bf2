#include "engine/Kelvaro/server_loop.h"

#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <utility>

namespace kov {

namespace {

struct C_LoopState {
    std::mutex mutex;
    asio::io_context* loop = nullptr;  // g_ioContext: set while the server runs
    std::thread::id loopThread;
    bool started = false;           // a loop was attached once: stop events wait
    std::promise<int> exitPromise;  // g_exitPromise
    std::shared_future<int> exitFuture = exitPromise.get_future().share();
    std::atomic<bool> tornDown{false};
};

// Never destroyed: a stop-event thread may still wait on the exit future, or return from the
// wait, while the process runs its exit handlers after main.
C_LoopState& state() {
    static C_LoopState* s = new C_LoopState;
    return *s;
}

}  // namespace

void attachServerLoop(asio::io_context& loop) {
    C_LoopState& s = state();
    std::lock_guard lock(s.mutex);
    s.loop = &loop;
    s.loopThread = std::this_thread::get_id();
    s.started = true;
}

void detachServerLoop(asio::io_context& loop) {
    C_LoopState& s = state();
    std::lock_guard lock(s.mutex);
    if (s.loop == &loop)
        s.loop = nullptr;
}

bool stopServerLoop() {
    C_LoopState& s = state();
    std::lock_guard lock(s.mutex);
    asio::io_context* loop = std::exchange(s.loop, nullptr);
    if (!loop)
        return false;
    loop->stop();
    return true;
}

bool postToServerLoop(std::function<void()> work) {
    C_LoopState& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.loop)
        return false;
    asio::post(*s.loop, std::move(work));
    return true;
}

void runOnServerLoop(std::function<void()> work) {
    C_LoopState& s = state();
    std::unique_lock lock(s.mutex);
    if (s.loopThread == std::this_thread::get_id()) {
        lock.unlock();
        work();
        return;
    }
    if (s.loop)
        asio::post(*s.loop, std::move(work));
}

void stopServer(bool wait) {
    C_LoopState& s = state();
    bool started;
    {
        std::lock_guard lock(s.mutex);
        started = s.started;
    }
    stopServerLoop();
    if (wait && started)
        s.exitFuture.wait();
}

void signalServerTornDown() {
    C_LoopState& s = state();
    if (!s.tornDown.exchange(true))
        s.exitPromise.set_value(1);
}

}  // namespace kov
