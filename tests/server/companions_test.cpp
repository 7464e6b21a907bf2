// The companion launcher and its commands, with the stand-in companion program: one program
// per slot at a time, a callback on the event loop only after exit code 0, the command-line
// argument of the release checker, the error texts, and waiters that outlive the loop.

#include "engine/Kelvaro/companions.h"

#include <gtest/gtest.h>

#include <asio.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/dict/mapped_file.h"
#include "tests/support/fake_companion.h"

namespace kov {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::chrono_literals;

// An event loop like the server's: the loop pointer is read and posted to under one mutex, and
// cleared under it before the loop goes, so a late post is refused instead of touching it.
class C_TestLoop {
public:
    C_TestLoop() : m_context(std::make_unique<asio::io_context>()) {}

    FC_PostToLoop poster() {
        return [this](FC_CompanionExit callback) {
            ++m_posts;
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_context) {
                ++m_refused;
                return false;
            }
            asio::post(*m_context, std::move(callback));
            return true;
        };
    }

    // Runs what was posted so far.
    void poll() {
        m_context->restart();
        m_context->poll();
    }

    void destroy() {
        std::unique_ptr<asio::io_context> gone;
        std::lock_guard<std::mutex> lock(m_mutex);
        gone = std::move(m_context);
    }

    int posts() const { return m_posts; }
    int refused() const { return m_refused; }

private:
    std::mutex m_mutex;
    std::unique_ptr<asio::io_context> m_context;
    std::atomic<int> m_posts{0};
    std::atomic<int> m_refused{0};
};

// The server program lives next to the stand-in, so a configured file name finds it.
struct S_Setup {
    test::C_FakeCompanion m_fake;
    C_TestLoop m_loop;
    json m_config = {{"preferences", "kov_fake_companion"},
                     {"about", "kov_fake_companion"},
                     {"edit-user-dict", "kov_fake_companion"},
                     {"check-release", "kov_fake_companion"}};
    C_CompanionLauncher m_launcher{m_loop.poster()};
    std::vector<std::string> m_broadcasts;

    S_Setup() {
        // The configured names carry the program's own ending (".exe" on Windows).
        const std::string name = pathText(test::C_FakeCompanion::program().filename());
        for (auto& [key, value] : m_config.items())
            value = name;
    }

    C_CompanionContext context(const json* config) {
        return {config, test::C_FakeCompanion::program().parent_path() / "Kelvaro.exe",
                &m_launcher};
    }
    C_CompanionContext context() { return context(&m_config); }

    json runPreferences() {
        json reply;
        kov::runPreferences(
            context(), [this](const std::string& text) { m_broadcasts.push_back(text); }, reply);
        return reply;
    }

    // Waits until the slot is free again; the waiter posts before it frees the slot, so the
    // loop then holds whatever was posted.
    bool waitUntilIdle(E_Companion which) {
        return test::waitUntil([&] { return !m_launcher.isRunning(which); });
    }
};

const json kOk = {{"ok", true}};

json failed(const std::string& error) { return {{"ok", false}, {"error", error}}; }

TEST(Companions, ARunningCompanionIsRaisedNotStartedAgain) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    S_Setup s;
    s.m_fake.holdUntilReleased();
    EXPECT_EQ(s.runPreferences(), kOk);
    ASSERT_TRUE(s.m_fake.waitForStarts(1));
    EXPECT_TRUE(s.m_launcher.isRunning(COMPANION_PREFERENCES));
    // Raising the window is all the second command does (on POSIX a no-op), and it answers ok.
    EXPECT_EQ(s.runPreferences(), kOk);
    EXPECT_EQ(s.runPreferences(), kOk);
    // Another slot is not blocked by it.
    json about;
    runAbout(s.context(), about);
    EXPECT_EQ(about, kOk);
    ASSERT_TRUE(s.m_fake.waitForStarts(2));

    s.m_fake.release();
    ASSERT_TRUE(s.waitUntilIdle(COMPANION_PREFERENCES));
    ASSERT_TRUE(s.waitUntilIdle(COMPANION_ABOUT));
    EXPECT_EQ(s.m_fake.starts(), 2u);
    s.m_loop.poll();
    // The preferences editor's clean end is broadcast once; the about box has no callback.
    EXPECT_EQ(s.m_broadcasts, std::vector<std::string>{R"({"event":"prefs-changed"})"});
    EXPECT_EQ(s.m_loop.posts(), 1);
}

TEST(Companions, OnlyAnEndWithExitCodeZeroRunsTheCallbackOnTheLoop) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    struct S_Case {
        int m_exit;
        const char* m_crash;
        size_t m_broadcasts;
    };
    const S_Case cases[] = {
        {0, "", 1},     {1, "", 0}, {255, "", 0}, {0, "abort", 0},  // a crash
        {0, "kill", 0},                                             // killed
    };
    S_Setup s;
    size_t started = 0;
    for (const S_Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.m_exit) + " " + c.m_crash);
        s.m_broadcasts.clear();
        s.m_fake.exitWith(c.m_exit);
        s.m_fake.crashWith(c.m_crash);
        // After a crash the slot is free again and the next case starts a new program.
        ASSERT_EQ(s.runPreferences(), kOk);
        ASSERT_TRUE(s.m_fake.waitForStarts(++started));
        ASSERT_TRUE(s.waitUntilIdle(COMPANION_PREFERENCES));
        // Nothing runs on the waiter's thread: the callback waits for the loop.
        EXPECT_TRUE(s.m_broadcasts.empty());
        s.m_loop.poll();
        EXPECT_EQ(s.m_broadcasts.size(), c.m_broadcasts);
        if (c.m_broadcasts) {
            EXPECT_EQ(s.m_broadcasts[0], prefsChangedEvent());
        }
    }
    EXPECT_EQ(s.m_fake.starts(), std::size(cases));
}

TEST(Companions, TheReleaseCheckerGetsAutoExactlyWhenAsked) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    struct S_Case {
        json m_request;
        const char* m_logged;
    };
    const S_Case cases[] = {
        {{{"cmd", "check-release"}, {"auto", true}}, "start auto"},
        {{{"cmd", "check-release"}, {"auto", false}}, "start"},
        {{{"cmd", "check-release"}, {"auto", "true"}}, "start"},
        {{{"cmd", "check-release"}, {"auto", 1}}, "start"},
        {{{"cmd", "check-release"}, {"auto", nullptr}}, "start"},
        {{{"cmd", "check-release"}}, "start"},
    };
    S_Setup s;
    size_t n = 0;
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_request.dump());
        json reply;
        runCheckRelease(c.m_request, s.context(), reply);
        EXPECT_EQ(reply, kOk);
        ASSERT_TRUE(s.m_fake.waitForEnds(++n));
        ASSERT_TRUE(s.waitUntilIdle(COMPANION_CHECK_RELEASE));
        const std::vector<std::string> log = s.m_fake.log();
        EXPECT_EQ(log[log.size() - 2], c.m_logged);
    }
}

TEST(Companions, AConfigurationWithoutTheProgramAnswersMissedConfiguration) {
    const json configs[] = {
        nullptr,
        json::array({"about", "x"}),
        json::object(),
        {{"preferences", "x"}},
        {{"about", 3}},
        {{"about", nullptr}},
        {{"about", {{"path", "x"}}}},
    };
    S_Setup s;
    for (const json& config : configs) {
        SCOPED_TRACE(config.dump());
        json reply;
        runAbout(s.context(&config), reply);
        EXPECT_EQ(reply, failed("Missed configuration"));
    }
    json reply;
    runAbout(s.context(nullptr), reply);
    EXPECT_EQ(reply, failed("Missed configuration"));
    // The configuration is looked at before the server path.
    C_CompanionContext noPath{nullptr, {}, &s.m_launcher};
    reply = json();
    runEditUserDict(noPath, reply);
    EXPECT_EQ(reply, failed("Missed configuration"));
    EXPECT_FALSE(s.m_launcher.isRunning(COMPANION_ABOUT));
    EXPECT_EQ(s.m_fake.starts(), 0u);
}

TEST(Companions, AnUnknownServerPathAnswersFailToGetServerPath) {
    S_Setup s;
    C_CompanionContext noPath{&s.m_config, {}, &s.m_launcher};
    json reply;
    runEditUserDict(noPath, reply);
    EXPECT_EQ(reply, failed("Fail to get server path"));
    EXPECT_EQ(s.m_fake.starts(), 0u);
}

TEST(Companions, AFailedStartAnswersLaunchErrorWithCodeAndPath) {
    S_Setup s;
    const fs::path folder = test::C_FakeCompanion::program().parent_path();
    struct S_Case {
        std::string m_configured;
        unsigned m_code;
    };
    const S_Case cases[] = {
        {"no-such-program.exe", 2},  // ENOENT, ERROR_FILE_NOT_FOUND
#ifdef _WIN32
        {std::string("kov_fake_companion.exe\0x", 24), 123},  // ERROR_INVALID_NAME
#else
        {std::string("kov_fake_companion\0x", 20), 22},  // EINVAL: never cut at the NUL
#endif
    };
    for (const S_Case& c : cases) {
        const json config = {{"about", c.m_configured}};
        json reply;
        runAbout(s.context(&config), reply);
        const fs::path program =
            folder / fs::path(std::u8string(c.m_configured.begin(), c.m_configured.end()));
        EXPECT_EQ(reply, failed("Launch error " + std::to_string(c.m_code) + " on path \"" +
                                pathText(program) + "\""));
        EXPECT_FALSE(s.m_launcher.isRunning(COMPANION_ABOUT));
    }
    EXPECT_EQ(s.m_fake.starts(), 0u);
    // The slot is not spoilt by a failed start.
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    json reply;
    runAbout(s.context(), reply);
    EXPECT_EQ(reply, kOk);
    EXPECT_TRUE(s.m_fake.waitForStarts(1));
}

TEST(Companions, AnAbsoluteConfiguredPathStandsForItself) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    S_Setup s;
    const json config = {{"about", pathText(test::C_FakeCompanion::program())}};
    const C_CompanionContext elsewhere{&config, s.m_fake.folder() / "server" / "Kelvaro.exe",
                                       &s.m_launcher};
    json reply;
    runAbout(elsewhere, reply);
    EXPECT_EQ(reply, kOk);
    EXPECT_TRUE(s.m_fake.waitForStarts(1));
}

TEST(Companions, AWaiterThatOutlivesTheLoopNeverPostsIntoIt) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    S_Setup s;
    s.m_fake.holdUntilReleased();
    auto token = std::make_shared<int>(0);
    json reply;
    s.m_launcher.launch(COMPANION_PREFERENCES, &s.m_config, s.context().m_serverExePath, reply,
                        [token] { ++*token; });
    ASSERT_EQ(reply, kOk);
    ASSERT_TRUE(s.m_fake.waitForStarts(1));
    s.m_loop.destroy();
    s.m_fake.release();
    ASSERT_TRUE(s.waitUntilIdle(COMPANION_PREFERENCES));
    // The waiter offered its callback once; the loop was gone, so it was refused and dropped
    // unrun (its captures released on the waiter's side).
    EXPECT_EQ(s.m_loop.posts(), 1);
    EXPECT_EQ(s.m_loop.refused(), 1);
    EXPECT_EQ(*token, 0);
    EXPECT_EQ(token.use_count(), 1);
}

TEST(Companions, DestroyingTheLauncherLeavesACompanionRunningAndRunsNothing) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    test::C_FakeCompanion fake;
    fake.holdUntilReleased();
    C_TestLoop loop;
    const json config = {{"about", pathText(test::C_FakeCompanion::program())}};
    auto launcher = std::make_unique<C_CompanionLauncher>(loop.poster());
    json reply;
    launcher->launch(COMPANION_ABOUT, &config, test::C_FakeCompanion::program(), reply,
                     [] { FAIL() << "no callback after the launcher is gone"; });
    ASSERT_EQ(reply, kOk);
    ASSERT_TRUE(fake.waitForStarts(1));
    const auto before = std::chrono::steady_clock::now();
    launcher.reset();
    // The waiter was asked to stop and joined within a poll or two.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    EXPECT_EQ(fake.ends(), 0u);  // still running
    fake.release();
    ASSERT_TRUE(fake.waitForEnds(1));
    loop.poll();
    EXPECT_EQ(loop.posts(), 0);
}

}  // namespace
}  // namespace kov
