// The pipe listener over the real pipe of the platform (a socket in a runtime folder of the
// test's own; a named pipe of a name of the test's own on Windows).
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "engine/Kelvaro/pipe_listener.h"
#include "platform/local_pipe.h"
#include "tests/server/session_harness.h"
#include "tests/support/scoped_env.h"
#include "fixtures/temp_folder.h"

namespace kov::test {
namespace {

namespace fs = std::filesystem;

std::string uniquePipeName() {
    static std::atomic<int> serial{0};
    return "\\\\.\\pipe\\Kelvaro_listener-test-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
           std::to_string(serial++);
}

// A runtime folder of this test (POSIX), closed to others as the server requires.
class ListenerTest : public ::testing::Test {
protected:
    ListenerTest() {
        fs::permissions(m_runtime.path(), fs::perms::owner_all, fs::perm_options::replace);
    }

    std::unique_ptr<C_PipeListener> listener(const std::string& name) {
        return std::make_unique<C_PipeListener>(&m_harness.source(), nullptr, m_harness.loop(),
                                                name, m_harness.tables());
    }
    C_SessionHarness::C_Client& connect(const std::string& name) {
        std::error_code ec;
        auto stream = platform::connectPipe(m_harness.loop(), name, ec);
        EXPECT_TRUE(stream) << ec.message();
        if (!stream)
            throw std::runtime_error("no connection");
        return m_harness.adopt(std::move(stream));
    }

    C_TempFolder m_runtime;
    C_ScopedEnv m_env{"XDG_RUNTIME_DIR", m_runtime.path().string()};
    C_SessionHarness m_harness;
};

TEST_F(ListenerTest, ClientsOneAfterTheOtherEachGetTheirOwnSession) {
    const std::string name = uniquePipeName();
    auto l = listener(name);
    ASSERT_TRUE(l->listen());
    auto& first = connect(name);
    EXPECT_EQ(first.open("no-ime")["ok"], true);
    auto& second = connect(name);
    EXPECT_EQ(second.request({{"cmd", "x"}})["error"], "Session not opened");
    EXPECT_EQ(first.request({{"cmd", "open"}})["error"], "Session already opened");
    first.close();
    auto& third = connect(name);
    EXPECT_EQ(third.open()["ok"], true);
}

TEST_F(ListenerTest, NobodyListensBeforeOrAfter) {
    const std::string name = uniquePipeName();
    std::error_code ec;
    EXPECT_FALSE(platform::connectPipe(m_harness.loop(), name, ec));
    EXPECT_TRUE(ec);
    {
        auto l = listener(name);
        ASSERT_TRUE(l->listen());
        connect(name);
    }
    m_harness.poll();  // the cancelled wait calls nobody back
    EXPECT_FALSE(platform::connectPipe(m_harness.loop(), name, ec));
}

// The Windows listener creates its first instance with the first-instance flag, so that nobody
// who took the name before the server can serve it; wine does not refuse a second first
// instance, so that refusal has no test here.
#ifndef _WIN32
TEST_F(ListenerTest, PeerOfAnotherUserIsClosedAndListeningGoesOn) {
    const std::string name = uniquePipeName();
    auto l = listener(name);
    std::optional<std::pair<uint32_t, uint32_t>> seen;
    l->acceptor().setPeerCheckForTest([&seen](uint32_t peer, uint32_t own) {
        seen.emplace(peer, own);
        return false;  // as if the peer were another user
    });
    ASSERT_TRUE(l->listen());
    auto& refused = connect(name);
    EXPECT_TRUE(refused.closedByServer());
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->first, seen->second);  // the credentials of this very process

    l->acceptor().setPeerCheckForTest([](uint32_t peer, uint32_t own) { return peer == own; });
    auto& admitted = connect(name);
    EXPECT_EQ(admitted.open()["ok"], true);
}

TEST_F(ListenerTest, SocketLeftAtThePathIsReplacedAndTheSocketIsPrivate) {
    const std::string name = uniquePipeName();
    platform::C_PipeAcceptor left(m_harness.loop());
    std::string error;
    ASSERT_TRUE(left.open(name, error)) << error;
    auto l = listener(name);
    ASSERT_TRUE(l->listen());
    EXPECT_EQ(connect(name).open()["ok"], true);
    const fs::path socket = platform::pipeLocation(name);
    EXPECT_EQ(fs::status(socket).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    l.reset();
    EXPECT_FALSE(fs::exists(fs::symlink_status(socket)));
}

TEST_F(ListenerTest, UnsafeOrUnusablePlacesAreRefused) {
    const std::string name = uniquePipeName();
    const std::string leaf = name.substr(name.rfind('\\') + 1);
    {
        std::ofstream(m_runtime.path() / leaf) << "not a socket";
        auto l = listener(name);
        std::string error;
        EXPECT_FALSE(l->listen(&error));
        EXPECT_NE(error.find("not a socket"), std::string::npos) << error;
        EXPECT_TRUE(l->pipeName().empty());
        fs::remove(m_runtime.path() / leaf);
    }
    struct S_Case {
        const char* what;
        std::function<fs::path()> folder;
    };
    C_TempFolder other;
    const std::vector<S_Case> cases = {
        {"open to others",
         [&] {
             fs::permissions(other.path(),
                             fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec,
                             fs::perm_options::replace);
             return other.path();
         }},
        {"a link to a private folder",
         [&] {
             fs::permissions(other.path(), fs::perms::owner_all, fs::perm_options::replace);
             fs::create_directory_symlink(other.path(), m_runtime.path() / "link");
             return m_runtime.path() / "link";
         }},
        {"missing", [&] { return m_runtime.path() / "missing"; }},
        {"socket path too long",
         [&] {
             fs::permissions(other.path(), fs::perms::owner_all, fs::perm_options::replace);
             const fs::path deep = other.path() / std::string(110, 'd');
             fs::create_directory(deep);
             fs::permissions(deep, fs::perms::owner_all, fs::perm_options::replace);
             return deep;
         }},
    };
    for (const auto& c : cases) {
        C_ScopedEnv env("XDG_RUNTIME_DIR", c.folder().string());
        auto l = listener(name);
        std::string error;
        EXPECT_FALSE(l->listen(&error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
}

TEST_F(ListenerTest, WithoutRuntimeVariableAPrivateFolderInTheTemporaryFolderServes) {
    C_TempFolder tmp;
    C_ScopedEnv noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    C_ScopedEnv tmpdir("TMPDIR", tmp.path().string());
    const std::string name = uniquePipeName();
    auto l = listener(name);
    ASSERT_TRUE(l->listen());
    const fs::path socket = platform::pipeLocation(name);
    EXPECT_EQ(socket.parent_path().parent_path(), tmp.path());
    EXPECT_EQ(socket.parent_path().filename().string().rfind("kelvaro-", 0), 0u);
    EXPECT_EQ(fs::status(socket.parent_path()).permissions() & fs::perms::all,
              fs::perms::owner_all);
    EXPECT_EQ(connect(name).open()["ok"], true);
}
#endif

}  // namespace
}  // namespace kov::test
