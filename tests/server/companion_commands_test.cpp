// The companion and settings commands through sessions, with the stand-in companion program and
// the launcher posting to the sessions' loop as the server's does: "prefs-changed" to every open
// session after the preferences program ends with exit code 0 and never otherwise, one program
// per slot, the release checker's argument, the error texts, and the settings file read and
// written through a session, never written over when it cannot be made sense of.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Kelvaro/companion_commands.h"
#include "engine/Kelvaro/server_loop.h"
#include "engine/Kelvaro/settings_file.h"
#include "engine/dict/mapped_file.h"
#include "tests/server/session_harness.h"
#include "tests/support/fake_companion.h"

namespace kov::test {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

const std::string kBom = "\xEF\xBB\xBF";

json ok() { return {{"ok", true}}; }
json failed(const std::string& error) { return {{"ok", false}, {"error", error}}; }

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Sessions whose server knows the stand-in as all four companions: the server program seems to
// live beside it. Two open sessions (one with an input line) and one that never opened.
struct S_Companions {
    C_FakeCompanion m_fake;
    C_SessionHarness m_harness{options()};
    C_CompanionLauncher m_launcher{serverLoopPoster()};
    fs::path m_serverExe = C_FakeCompanion::program().parent_path() / "Kelvaro.exe";
    fs::path m_settingsFolder = m_harness.userFolder();
    std::optional<C_CompanionServicesScope> m_scope;
    C_SessionHarness::C_Client& m_issuer = m_harness.connect();
    C_SessionHarness::C_Client& m_other = m_harness.connect();
    C_SessionHarness::C_Client& m_unopened = m_harness.connect();

    S_Companions() {
        lend(m_serverExe);
        EXPECT_EQ(m_issuer.open("no-ime"), ok());
        EXPECT_EQ(m_other.open("ime"), ok());
    }
    ~S_Companions() { EXPECT_TRUE(m_unopened.silent(5ms)); }

    static C_SessionHarness::S_Options options() {
        C_SessionHarness::S_Options o;
        // The configured names carry the program's own ending (".exe" on Windows).
        const std::string name = pathText(C_FakeCompanion::program().filename());
        o.config = {{"preferences", name},
                    {"about", name},
                    {"edit-user-dict", name},
                    {"check-release", name}};
        return o;
    }

    void lend(const fs::path& serverExe) {
        m_scope.reset();
        m_scope.emplace(C_CompanionServices{&m_launcher, serverExe, [this] {
                                                if (m_settingsFolder.empty())
                                                    throw std::runtime_error("no per-user folder");
                                                return m_settingsFolder;
                                            }});
    }

    // Runs the loop until the companion's slot is free again; the waiter has posted what it
    // posts by then.
    bool waitUntilIdle(E_Companion which) {
        return m_harness.runUntil([&] { return !m_launcher.isRunning(which); }, kProcessTimeout);
    }

    fs::path settingsFile() const { return m_settingsFolder / "Brumeli.json"; }
};

TEST(CompanionCommands, PrefsChangedReachesEveryOpenSessionOnlyAfterExitCodeZero) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    S_Companions s;
    struct S_Case {
        int m_exit;
        const char* m_crash;
        bool m_event;
    };
    const S_Case cases[] = {
        {0, "", true},
        {1, "", false},
        {0, "abort", false},
        {0, "kill", false},
        // After a crash or a kill the program was reaped and starts again.
        {0, "", true},
    };
    const json event = {{"event", "prefs-changed"}};
    size_t started = 0;
    for (const S_Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.m_exit) + " " + c.m_crash);
        s.m_fake.exitWith(c.m_exit);
        s.m_fake.crashWith(c.m_crash);
        EXPECT_EQ(s.m_issuer.request(command("run-preferences")), ok());
        ASSERT_TRUE(s.m_fake.waitForStarts(++started));
        ASSERT_TRUE(s.waitUntilIdle(COMPANION_PREFERENCES));
        if (c.m_event) {
            EXPECT_EQ(s.m_issuer.receive(1), std::vector<json>{event});
            EXPECT_EQ(s.m_other.receive(1), std::vector<json>{event});
        } else {
            EXPECT_TRUE(s.m_issuer.silent());
            EXPECT_TRUE(s.m_other.silent(5ms));
        }
    }
    EXPECT_EQ(s.m_fake.starts(), std::size(cases));
}

TEST(CompanionCommands, ARunningCompanionIsNotStartedTwice) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    S_Companions s;
    s.m_fake.holdUntilReleased();
    EXPECT_EQ(s.m_issuer.request(command("edit-user-dict")), ok());
    ASSERT_TRUE(s.m_fake.waitForStarts(1));
    // Asked again while it runs, from either session: its window is raised (here, where there
    // is none to raise, nothing is done) and the answer is ok.
    EXPECT_EQ(s.m_issuer.request(command("edit-user-dict")), ok());
    EXPECT_EQ(s.m_other.request(command("edit-user-dict")), ok());
    // Another companion is not held up by it.
    EXPECT_EQ(s.m_other.request(command("about")), ok());
    ASSERT_TRUE(s.m_fake.waitForStarts(2));
    s.m_fake.release();
    ASSERT_TRUE(s.waitUntilIdle(COMPANION_EDIT_USER_DICT));
    ASSERT_TRUE(s.waitUntilIdle(COMPANION_ABOUT));
    EXPECT_EQ(s.m_fake.starts(), 2u);
    // Neither of them tells the sessions anything when it ends.
    EXPECT_TRUE(s.m_issuer.silent());
    EXPECT_TRUE(s.m_other.silent(5ms));
    // Once it ended it starts again.
    EXPECT_EQ(s.m_issuer.request(command("edit-user-dict")), ok());
    EXPECT_TRUE(s.m_fake.waitForStarts(3));
    EXPECT_TRUE(s.waitUntilIdle(COMPANION_EDIT_USER_DICT));
}

TEST(CompanionCommands, AnEndAfterTheServerLoopStoppedIsDropped) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    S_Companions s;
    s.m_fake.holdUntilReleased();
    EXPECT_EQ(s.m_issuer.request(command("run-preferences")), ok());
    ASSERT_TRUE(s.m_fake.waitForStarts(1));
    // The server stops; its loop is not run again by the server.
    ASSERT_TRUE(stopServerLoop());
    s.m_fake.release();
    ASSERT_TRUE(waitUntil([&] { return !s.m_launcher.isRunning(COMPANION_PREFERENCES); }));
    // The waiter found no loop to post to: whatever runs on this loop now, no event comes.
    s.m_harness.loop().restart();
    EXPECT_TRUE(s.m_issuer.silent());
    EXPECT_TRUE(s.m_other.silent(5ms));
    EXPECT_EQ(s.m_fake.ends(), 1u);
}

TEST(CompanionCommands, TheReleaseCheckerGetsAutoExactlyWhenAsked) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    S_Companions s;
    struct S_Case {
        json m_request;
        const char* m_logged;
    };
    const S_Case cases[] = {
        {command("check-release", {{"auto", true}}), "start auto"},
        {command("check-release", {{"auto", false}}), "start"},
        {command("check-release", {{"auto", "true"}}), "start"},
        {command("check-release", {{"auto", 1}}), "start"},
        {command("check-release"), "start"},
    };
    size_t n = 0;
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_request.dump());
        EXPECT_EQ(s.m_issuer.request(c.m_request), ok());
        ASSERT_TRUE(s.m_fake.waitForEnds(++n));
        ASSERT_TRUE(s.waitUntilIdle(COMPANION_CHECK_RELEASE));
        const std::vector<std::string> log = s.m_fake.log();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], c.m_logged);
    }
}

TEST(CompanionCommands, ErrorTextsOfTheLaunch) {
    S_Companions s;
    const fs::path folder = s.m_serverExe.parent_path();
    struct S_Case {
        json m_config;
        std::string m_error;
    };
    const S_Case cases[] = {
        {nullptr, "Missed configuration"},
        {json::object(), "Missed configuration"},
        {json::array({"about", "x"}), "Missed configuration"},
        {{{"about", 3}}, "Missed configuration"},
        {{{"preferences", "x"}}, "Missed configuration"},
        {{{"about", "no-such-program"}},
         "Launch error 2 on path \"" + pathText(folder / "no-such-program") + "\""},
    };
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_config.dump());
        s.m_harness.config() = c.m_config;
        EXPECT_EQ(s.m_issuer.request(command("about")), failed(c.m_error));
        EXPECT_FALSE(s.m_launcher.isRunning(COMPANION_ABOUT));
    }
    // Without the server program's path nothing can be found; the configuration comes first.
    s.lend({});
    s.m_harness.config() = {{"about", "x"}};
    EXPECT_EQ(s.m_issuer.request(command("about")), failed("Fail to get server path"));
    s.m_harness.config() = json::object();
    EXPECT_EQ(s.m_issuer.request(command("about")), failed("Missed configuration"));
    EXPECT_EQ(s.m_fake.starts(), 0u);
    EXPECT_TRUE(s.m_other.silent(5ms));
}

TEST(CompanionCommands, WithoutTheServicesTheCommandsFail) {
    C_SessionHarness h;
    auto& client = h.connect();
    client.open("no-ime");
    for (const char* cmd :
         {"run-preferences", "about", "edit-user-dict", "check-release", "get-preferences"}) {
        SCOPED_TRACE(cmd);
        const json reply = client.request(command(cmd));
        EXPECT_EQ(reply.at("ok"), false);
        EXPECT_EQ(reply.at("error"),
                  "std::logic_error: Companion programs and settings are not set up");
    }
}

TEST(CompanionCommands, SettingsAreReadAndWrittenThroughTheSession) {
    S_Companions s;
    const auto day = [](json value) {
        return command("notify-release-checked", {{"last-check-release-day", std::move(value)}});
    };
    EXPECT_EQ(s.m_issuer.request(command("get-preferences")), failed("Missing preferences"));
    EXPECT_EQ(s.m_issuer.request(day(19876)), ok());
    EXPECT_EQ(readFile(s.settingsFile()), kBom + "{\r\n    \"last-check-release-day\": 19876\r\n}");
    EXPECT_EQ(s.m_other.request(command("get-preferences")),
              json({{"ok", true}, {"result", {{"last-check-release-day", 19876}}}}));

    // The front end's own members stay; the file is written again in the server's layout.
    writeFile(s.settingsFile(),
              "{\"theme\": \"dark\", \"keys\": [1, \"T\xC3\xA2i\"],\n"
              " \"last-check-release-day\": 1}");
    EXPECT_EQ(s.m_issuer.request(day(-2)), ok());
    EXPECT_EQ(readFile(s.settingsFile()), kBom +
                                              "{\r\n"
                                              "    \"keys\": [\r\n"
                                              "        1,\r\n"
                                              "        \"T\xC3\xA2i\"\r\n"
                                              "    ],\r\n"
                                              "    \"last-check-release-day\": -2,\r\n"
                                              "    \"theme\": \"dark\"\r\n"
                                              "}");
    EXPECT_EQ(
        s.m_issuer.request(command("get-preferences")),
        json({{"ok", true},
              {"result",
               {{"keys", {1, "T\xC3\xA2i"}}, {"last-check-release-day", -2}, {"theme", "dark"}}}}));
    // The day is the low 32 bits of a JSON integer; anything else is missing.
    EXPECT_EQ(s.m_issuer.request(day(4294967297LL)), ok());
    EXPECT_EQ(
        s.m_issuer.request(command("get-preferences")).at("result").at("last-check-release-day"),
        1);
    const std::string before = readFile(s.settingsFile());
    for (const json& bad : {json(1.5), json("7"), json(nullptr), json::array({7})}) {
        SCOPED_TRACE(bad.dump());
        EXPECT_EQ(s.m_issuer.request(day(bad)), failed("Missing last-check-release-day"));
    }
    EXPECT_EQ(s.m_issuer.request(command("notify-release-checked")),
              failed("Missing last-check-release-day"));
    EXPECT_EQ(readFile(s.settingsFile()), before);
    // Nothing here is an event.
    EXPECT_TRUE(s.m_other.silent(5ms));
}

TEST(CompanionCommands, ASettingsFileThatCannotBeUsedIsNeverWrittenOver) {
    S_Companions s;
    struct S_Case {
        std::string m_bytes;
        std::string m_error;  // "": the parser's exception text
    };
    const S_Case cases[] = {
        {"[1]", "Malformed preferences"},
        {kBom + "\"text\"", "Malformed preferences"},
        {"{\"a\": \"\xFF\"}", "Malformed preferences: not UTF-8 text"},
        {"{\"a\": " + std::string(100, '[') + std::string(100, ']') + "}",
         "Malformed preferences: nested deeper than 64 levels"},
        {"{\"a\": \"" + std::string(kMaxSettingsFileSize, 'x') + "\"}",
         "Malformed preferences: larger than 1048576 bytes"},
        {"{", ""},
        {"", ""},
    };
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_bytes.substr(0, 20));
        writeFile(s.settingsFile(), c.m_bytes);
        for (const json& request :
             {command("get-preferences"),
              command("notify-release-checked", {{"last-check-release-day", 5}})}) {
            const json reply = s.m_issuer.request(request);
            if (c.m_error.empty()) {
                EXPECT_EQ(reply.at("ok"), false);
                EXPECT_NE(reply.at("error").get<std::string>().find("parse_error"),
                          std::string::npos)
                    << reply.dump();
            } else {
                EXPECT_EQ(reply, failed(c.m_error));
            }
        }
        EXPECT_EQ(readFile(s.settingsFile()), c.m_bytes);
    }

    // A file that cannot be written answers so and stays as it was.
    writeFile(s.settingsFile(), "{\"a\": 1}");
    fs::create_directory(s.m_settingsFolder / "Brumeli.json.tmp");
    EXPECT_EQ(
        s.m_issuer.request(command("notify-release-checked", {{"last-check-release-day", 5}})),
        failed("Failed to write preferences"));
    EXPECT_EQ(readFile(s.settingsFile()), "{\"a\": 1}");

    // A per-user folder that cannot be found fails with its own text.
    s.m_settingsFolder.clear();
    EXPECT_EQ(s.m_issuer.request(command("get-preferences")),
              failed("std::runtime_error: no per-user folder"));
}

}  // namespace
}  // namespace kov::test
