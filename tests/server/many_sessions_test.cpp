// Many sessions at once against the server in this process, over the real pipe: 64 users type
// real words, list candidates, nail and pop them and edit the user dictionary, all at the same
// time; every reply comes in order and well formed, every change reaches every session, and no
// session waits longer than its time limit. Then clients that misbehave (one that connects and
// says nothing, one that stops in the middle of a frame and reads nothing, one that announces a
// frame over the limit) do not hold up the others, and only the last one is ended.
//
// The same work with 10,000 requests per user, and the server's memory before and after it,
// is in bench/server_bench.cpp.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/Kelvaro/framing.h"
#include "fixtures/pipe_load.h"
#include "fixtures/temp_folder.h"
#include "tests/support/scoped_env.h"

namespace kov::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr unsigned kUsers = 64;
constexpr size_t kRequestsEach = 100;
const std::string kPipe = "\\\\.\\pipe\\Kelvaro_load";

class ManySessions : public ::testing::Test {
protected:
    static bool makePrivate(const C_TempFolder& folder) {
        fs::permissions(folder.path(), fs::perms::owner_all, fs::perm_options::replace);
        return true;
    }

    C_TempFolder m_runtime;
    bool m_private = makePrivate(m_runtime);  // the pipe's folder must be closed to others
    C_ScopedEnv m_env{"XDG_RUNTIME_DIR", m_runtime.path().string()};
    C_InProcessServer m_server{fs::path(KOV_BINARY_DIR) / "dict", kPipe};
};

TEST_F(ManySessions,
       EveryReplyInOrderAndEveryChangeToEverySessionThenMisbehavingClientsHoldUpNobody) {
    std::vector<std::unique_ptr<C_PipeClient>> clients;
    std::vector<std::unique_ptr<C_BusyUser>> users;
    for (unsigned id = 0; id < kUsers; ++id) {
        clients.push_back(std::make_unique<C_PipeClient>(kPipe));
        clients.back()->open(kPipe);
        users.push_back(std::make_unique<C_BusyUser>(*clients.back(), id, 30s));
    }
    // One round alone tells which changes a round makes; every session hears them.
    users[0]->round();
    for (auto& u : users)
        u->sync();
    const std::map<int, std::uint64_t> perRound = users[0]->changesSeen();
    ASSERT_FALSE(perRound.empty());
    for (auto& u : users)
        ASSERT_EQ(u->changesSeen(), perRound);

    // Every user works on its own thread and gets a thread of its own client loop.
    std::mutex lock;
    std::vector<std::string> failures;
    std::atomic<size_t> rounds{1};
    const auto work = [&](size_t requestsEach) {
        std::vector<std::thread> threads;
        for (unsigned id = 0; id < kUsers; ++id)
            threads.emplace_back([&, id] {
                try {
                    const auto start = users[id]->requests();
                    while (users[id]->requests() - start < requestsEach) {
                        users[id]->round();
                        ++rounds;
                    }
                } catch (const std::exception& e) {
                    std::lock_guard guard(lock);
                    failures.push_back(e.what());
                }
            });
        for (auto& t : threads)
            t.join();
        for (auto& u : users)
            u->sync();
    };
    work(kRequestsEach);
    ASSERT_EQ(failures, std::vector<std::string>());
    // The erasures only users make, so their counts are exact; the learner may add words too.
    for (unsigned id = 0; id < kUsers; ++id) {
        SCOPED_TRACE("user " + std::to_string(id));
        for (const auto& [kind, n] : perRound) {
            const std::uint64_t made = n * rounds;
            const std::uint64_t seen =
                users[id]->changesSeen().count(kind) ? users[id]->changesSeen().at(kind) : 0;
            if (kind == 1 || kind == 3)
                EXPECT_EQ(seen, made) << "kind " << kind;
            else
                EXPECT_GE(seen, made) << "kind " << kind;
        }
    }

    // A client that says nothing, one that sends half a frame and stops reading, and one that
    // announces a body one byte over the limit: only that one is ended, the others work on.
    C_PipeClient silent(kPipe);
    C_PipeClient halfFrame(kPipe);
    halfFrame.sendRaw(std::string("11") + '\0' + R"({"cmd")");
    C_PipeClient tooLong(kPipe);
    tooLong.sendRaw(std::to_string(kMaxFrameBody + 1) + '\0' + std::string(4096, ' '));
    EXPECT_TRUE(tooLong.closedByServer(10s));
    work(20);
    EXPECT_EQ(failures, std::vector<std::string>());
    EXPECT_FALSE(silent.closedByServer(50ms));
    EXPECT_FALSE(halfFrame.closedByServer(0ms));
    // The half frame, finished, is answered like any other.
    halfFrame.sendRaw(R"(:"x"})");
    EXPECT_EQ(halfFrame.receive(10s),
              nlohmann::json({{"ok", false}, {"error", "Session not opened"}}));
}

}  // namespace
}  // namespace kov::test
