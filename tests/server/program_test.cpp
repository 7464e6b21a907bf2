// The server and client programs run as processes: the exit codes of start-up, one server per
// user, "exit", stop signals, a server killed and started again, clients that send half a frame
// or garbage, a client without a server.
//
// Every test has folders of its own (runtime folder, configuration home, dictionaries). The
// native programs are always tested. When KOV_WINE_BUILD names the build folder of the 64-bit
// Windows programs (scripts/test.sh sets it), the same tests run against them under wine, each
// program started by wine64 and driven through the Windows client; SIGINT stands for the console
// events. Those share the wine prefix (its user folder and its names), so they must run one
// after another, as one test program does.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/client_server_common.h"
#include "engine/Kelvaro/settings_file.h"
#include "platform/driven_process.h"
#include "platform/environment.h"
#include "platform/local_pipe.h"
#include "platform/user_account.h"
#include "fixtures/pipe_load.h"
#include "fixtures/temp_folder.h"
#include "fixtures/user_db_fixture.h"
#include "tests/support/fake_companion.h"
#include "tests/support/scoped_env.h"

namespace kov::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;

struct S_Backend {
    std::string name;
    bool wine = false;
    fs::path server, testServer, client, relay;
    std::string loader = "/usr/lib/wine/wine64";  // of the wine programs
};

void PrintTo(const S_Backend& backend, std::ostream* out) { *out << backend.name; }

std::vector<S_Backend> backends() {
    std::vector<S_Backend> out;
#ifndef _WIN32
    out.push_back(
        {"Native", false, KOV_SERVER_EXE, KOV_TEST_SERVER_EXE, KOV_CLIENT_EXE, KOV_RELAY_EXE});
    if (const auto build = platform::environmentVariable("KOV_WINE_BUILD");
        build && !build->empty()) {
        const fs::path b = *build;
        out.push_back({"Wine64", true, b / "engine/Kelvaro/Kelvaro.exe",
                       b / "tests/server/kelvaro-test-server.exe",
                       b / "tools/client/kelvaro-client.exe",
                       b / "tests/server/kelvaro-test-relay.exe"});
    }
    // The 32-bit programs; scripts/test.sh runs only the transcript with them, and only where the
    // kernel starts 32-bit programs itself (under the emulator each start costs a minute).
    if (const auto build = platform::environmentVariable("KOV_WINE32_BUILD");
        build && !build->empty()) {
        const fs::path b = *build;
        out.push_back({"Wine32", true, b / "engine/Kelvaro/Kelvaro.exe",
                       b / "tests/server/kelvaro-test-server.exe",
                       b / "tools/client/kelvaro-client.exe",
                       b / "tests/server/kelvaro-test-relay.exe", "/usr/lib/wine/wine"});
    }
#endif
    return out;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct S_ClientRun {
    int exitCode = -1;
    std::vector<std::string> lines;
    std::string errors;
};

// One test's world: its folders, its server and its clients.
class ProgramTest : public ::testing::TestWithParam<S_Backend> {
protected:
    ProgramTest() : m_backend(GetParam()) {
        for (const char* sub : {"run", "config", "dict", "work"})
            fs::create_directories(m_root.path() / sub);
        fs::permissions(m_root.path() / "run", fs::perms::owner_all, fs::perm_options::replace);
        writeDictionaries(dictFolder());
        if (m_backend.wine)
            fs::remove_all(userFolder());
    }
    ~ProgramTest() override {
        if (m_backend.wine) {
            std::error_code ec;
            fs::remove_all(userFolder(), ec);
        }
    }

    const fs::path& root() const { return m_root.path(); }
    fs::path dictFolder() const { return root() / "dict"; }
    fs::path runtimeFolder() const { return root() / "run"; }

    // The per-user folder the server uses.
    fs::path userFolder() const {
        if (!m_backend.wine)
            return root() / "config/Dravenhall/Orlathe";
        std::string user;
        platform::S_CallError error;
        platform::currentUserName(user, error);
        return fs::path(*platform::environmentVariable("WINEPREFIX")) / "drive_c/users" / user /
               "AppData/Roaming/Dravenhall/Orlathe";
    }

    // A path as the program sees it (wine: the Z: drive).
    std::string programPath(const fs::path& path) const {
        if (!m_backend.wine)
            return path.string();
        std::string p = "Z:" + path.string();
        for (char& c : p)
            if (c == '/')
                c = '\\';
        return p;
    }

    // Dictionary files: empty ones unless told otherwise (an empty file is an empty table).
    void writeDictionaries(const fs::path& folder, std::string_view cats = "",
                           std::string_view tailo = "") {
        std::ofstream(folder / "cats.tab", std::ios::binary) << cats;
        std::ofstream(folder / "tailo.tab", std::ios::binary) << tailo;
    }
    fs::path writeFile(const fs::path& path, std::string_view bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    // A configuration file naming the dictionary folder.
    fs::path writeConfig() {
        return writeFile(root() / "Kelvaro.json",
                         json{{"db-dir", programPath(dictFolder())}}.dump());
    }

    platform::C_DrivenProcess::S_Options options(std::vector<std::string> args) const {
        platform::C_DrivenProcess::S_Options o;
        if (m_backend.wine)
            args.insert(args.begin(), m_backend.loader);
        o.argv = std::move(args);
        o.cwd = root() / "work";
        if (!m_backend.wine)
            o.env = {{"XDG_RUNTIME_DIR", runtimeFolder().string()},
                     {"XDG_CONFIG_HOME", (root() / "config").string()}};
        return o;
    }

    std::unique_ptr<platform::C_DrivenProcess> start(
        std::vector<std::string> args, platform::C_DrivenProcess::S_Options extra = {}) {
        auto o = options(std::move(args));
        o.pipeStdin = extra.pipeStdin;
        o.pipeStdout = extra.pipeStdout;
        for (auto& e : extra.env)
            o.env.push_back(e);
        o.stderrFile = root() / ("stderr-" + std::to_string(m_started++));
        auto child = std::make_unique<platform::C_DrivenProcess>();
        std::string error;
        if (!child->start(o, error))
            throw std::runtime_error(error);
        return child;
    }

    std::unique_ptr<platform::C_DrivenProcess> startServer(std::vector<std::string> args = {},
                                                           const fs::path* exe = nullptr) {
        args.insert(args.begin(), (exe ? *exe : m_backend.server).string());
        return start(std::move(args));
    }
    std::unique_ptr<platform::C_DrivenProcess> startConfiguredServer(
        const fs::path* exe = nullptr) {
        return startServer({programPath(writeConfig())}, exe);
    }
    // A server over the bundled dictionary of the build.
    std::unique_ptr<platform::C_DrivenProcess> startBundledServer() {
        for (const char* f : {"cats.tab", "tailo.tab"})
            fs::copy_file(fs::path(KOV_BINARY_DIR) / "dict" / f, dictFolder() / f,
                          fs::copy_options::overwrite_existing);
        return startConfiguredServer();
    }
    // The client program reading requests from the lines written to it and printing every frame.
    std::unique_ptr<platform::C_DrivenProcess> startPipedClient() {
        platform::C_DrivenProcess::S_Options io;
        io.pipeStdin = io.pipeStdout = true;
        return start({m_backend.client.string()}, io);
    }

    std::chrono::milliseconds patience() const { return m_backend.wine ? 60s : 20s; }

    // Runs the client with the requests as arguments until it ends.
    S_ClientRun runClient(const std::vector<json>& requests, std::vector<std::string> flags = {}) {
        std::vector<std::string> args = {m_backend.client.string()};
        args.insert(args.end(), flags.begin(), flags.end());
        for (const json& r : requests)
            args.push_back(r.dump());
        platform::C_DrivenProcess::S_Options o;
        o.pipeStdout = true;
        const size_t index = m_started;
        auto client = start(args, o);
        S_ClientRun run;
        while (auto line = client->readLine(patience()))
            run.lines.push_back(*line);
        run.exitCode = client->wait(patience()).value_or(-1);
        run.errors = readFile(root() / ("stderr-" + std::to_string(index)));
        return run;
    }
    // The replies and events of a client run, without the reply to "open".
    static std::vector<json> answers(const S_ClientRun& run) {
        std::vector<json> out;
        for (size_t i = 1; i < run.lines.size(); ++i)
            out.push_back(json::parse(run.lines[i]));
        return out;
    }

    // Waits until the server answers a session; false when it ended first or took too long.
    bool waitReady(platform::C_DrivenProcess& server) {
        const auto deadline = std::chrono::steady_clock::now() + patience();
        while (std::chrono::steady_clock::now() < deadline) {
            if (server.wait(0ms))
                return false;
            if (runClient({}).exitCode == 0)
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // Connects this process to the server as an "ime" session, waiting until it listens.
    void connect(platform::C_DrivenProcess& server, const std::string& pipe,
                 std::unique_ptr<C_PipeClient>& client) {
        const auto deadline = std::chrono::steady_clock::now() + patience();
        while (!client) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the server did not start";
            ASSERT_FALSE(server.wait(0ms))
                << readFile(root() / ("stderr-" + std::to_string(m_started - 1)));
            try {
                auto c = std::make_unique<C_PipeClient>(pipe);
                c->open(pipe);
                client = std::move(c);
            } catch (const std::runtime_error&) {
                std::this_thread::sleep_for(2ms);
            }
        }
    }

    // The reply to the last request sent; none when the server ended the stream first.
    std::optional<json> nextReply(C_PipeClient& client) const {
        try {
            for (;;) {
                json frame = client.receive(patience());
                if (frame.contains("ok"))
                    return frame;
            }
        } catch (const std::runtime_error&) {
            return std::nullopt;
        }
    }

    // How long after asking for a save the server is killed: the first save is left to finish
    // (its time is saveTime), every later one is cut at a moment up to 1.25 times that.
    std::chrono::microseconds killDelay(int run, std::chrono::microseconds saveTime,
                                        std::mt19937& random) const {
        if (run == 0)
            return std::chrono::microseconds(patience());
        return std::chrono::microseconds(
            std::uniform_int_distribution<long long>(0, saveTime.count() * 5 / 4)(random));
    }

    // Ends a server that runs with "exit"; its exit code.
    std::optional<int> exitServer(platform::C_DrivenProcess& server) {
        const auto run = runClient({{{"cmd", "exit"}}});
        EXPECT_EQ(answers(run), std::vector<json>({{{"ok", true}}})) << run.errors;
        return server.wait(patience());
    }

    S_Backend m_backend;
    C_TempFolder m_root;
    size_t m_started = 0;
};

TEST_P(ProgramTest, StartUpFailuresEndWithCode1) {
    struct S_Case {
        const char* what;
        std::function<std::vector<std::string>()> prepare;  // the server's arguments
        bool nativeOnly = false;
    };
    const std::vector<S_Case> cases = {
        {"cats.tab missing",
         [&] {
             fs::remove(dictFolder() / "cats.tab");
             return std::vector<std::string>{programPath(writeConfig())};
         }},
        {"tailo.tab missing",
         [&] {
             fs::remove(dictFolder() / "tailo.tab");
             return std::vector<std::string>{programPath(writeConfig())};
         }},
        {"db-dir missing",
         [&] {
             return std::vector<std::string>{programPath(writeFile(
                 root() / "k.json", json{{"db-dir", programPath(root() / "nowhere")}}.dump()))};
         }},
        {"configuration of zero bytes",
         [&] { return std::vector<std::string>{programPath(writeFile(root() / "k.json", ""))}; }},
        {"configuration not JSON",
         [&] { return std::vector<std::string>{programPath(writeFile(root() / "k.json", "{"))}; }},
        {"configuration with a comment",
         [&] {
             return std::vector<std::string>{programPath(writeFile(root() / "k.json", "{} // x"))};
         }},
        {"configuration with a second value",
         [&] {
             return std::vector<std::string>{programPath(writeFile(root() / "k.json", "{} {}"))};
         }},
        {"no configuration and no dictionaries beside the program",
         [&] { return std::vector<std::string>{}; }},
        {"per-user folder cannot be made",
         [&] {
             writeFile(root() / "config/Dravenhall", "a file where the folder should be");
             return std::vector<std::string>{programPath(writeConfig())};
         },
         true},
        {"runtime folder open to others",
         [&] {
             fs::permissions(runtimeFolder(),
                             fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec,
                             fs::perm_options::replace);
             return std::vector<std::string>{programPath(writeConfig())};
         },
         true},
    };
    for (const auto& c : cases) {
        if (c.nativeOnly && m_backend.wine)
            continue;
        SCOPED_TRACE(c.what);
        writeDictionaries(dictFolder());
        fs::permissions(runtimeFolder(), fs::perms::owner_all, fs::perm_options::replace);
        fs::remove_all(root() / "config");
        fs::remove_all(userFolder());
        auto server = startServer(c.prepare());
        EXPECT_EQ(server->wait(patience()), 1);
    }
}

TEST_P(ProgramTest, ConfigurationsThatStartTheServer) {
    // A copy of the program with the bundled dictionary beside it, for the cases that look for
    // the dictionaries in the program's folder.
    const fs::path bin = root() / "bin";
    fs::create_directories(bin);
    const fs::path exe = bin / m_backend.server.filename();
    fs::copy_file(m_backend.server, exe);
    for (const char* f : {"cats.tab", "tailo.tab"})
        fs::copy_file(fs::path(KOV_BINARY_DIR) / "dict" / f, bin / f);

    struct S_Case {
        const char* what;
        std::function<std::vector<std::string>()> prepare;
        bool besideProgram = false;
    };
    const std::vector<S_Case> cases = {
        {"no configuration file, dictionaries beside the program",
         [&] { return std::vector<std::string>{}; }, true},
        {"configuration file named but absent",
         [&] { return std::vector<std::string>{programPath(root() / "absent.json")}; }, true},
        {"configuration that is an array",
         [&] { return std::vector<std::string>{programPath(writeFile(root() / "k.json", "[1]"))}; },
         true},
        {"db-dir that is a number",
         [&] {
             return std::vector<std::string>{
                 programPath(writeFile(root() / "k.json", R"({"db-dir":7})"))};
         },
         true},
        {"configuration with a byte-order mark",
         [&] {
             return std::vector<std::string>{
                 programPath(writeFile(root() / "k.json", "\xef\xbb\xbf{} \n"))};
         },
         true},
        {"relative db-dir, from the current folder",
         [&] {
             writeDictionaries(root() / "work");
             return std::vector<std::string>{
                 programPath(writeFile(root() / "k.json", R"({"db-dir":"."})"))};
         }},
        {"damaged dictionaries",
         [&] {
             writeDictionaries(dictFolder(), "not a category table", "not a dictionary");
             writeFile(userFolder() / "user-db.tab", "not a user dictionary");
             writeFile(userFolder() / "learn-db.tab", "not a learning dictionary");
             return std::vector<std::string>{programPath(writeConfig())};
         }},
        {"rule elements of an unknown kind in the user and learning dictionaries",
         [&] {
             // Loaded up to the rule; what follows it is lost, but not the server.
             C_UserDbFixture f;
             f.rules = {ruleRecord(0, 0, {std::string(1, '\x03')})};
             writeFile(userFolder() / "user-db.tab", f.bytes());
             writeFile(userFolder() / "learn-db.tab", f.bytes());
             return std::vector<std::string>{programPath(writeConfig())};
         }},
        {"unknown rule kind in user-db.tab",
         [&] {
             C_UserDbFixture f;
             f.rules = {ruleRecord(0, 0, {std::string(1, '\x03')})};
             writeFile(userFolder() / "user-db.tab", f.bytes());
             return std::vector<std::string>{programPath(writeConfig())};
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto server = startServer(c.prepare(), c.besideProgram ? &exe : nullptr);
        ASSERT_TRUE(waitReady(*server)) << readFile(root() / "stderr-0");
        EXPECT_EQ(exitServer(*server), 0);
        EXPECT_TRUE(fs::is_directory(userFolder()));
    }
}

TEST_P(ProgramTest, SecondServerOfTheUserEndsWithCode1AndTheFirstGoesOn) {
    auto first = startConfiguredServer();
    ASSERT_TRUE(waitReady(*first));
    auto second = startConfiguredServer();
    EXPECT_EQ(second->wait(patience()), 1);
    const auto run = runClient({{{"cmd", "nope"}}}, {"--no-ime"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(answers(run),
              std::vector<json>({{{"ok", false}, {"error", "Unknown command \"nope\""}}}));
    EXPECT_EQ(exitServer(*first), 0);
}

TEST_P(ProgramTest, ExitAnswersThenTheServerEndsWithCode0AndThePipeIsGone) {
    auto server = startConfiguredServer();
    ASSERT_TRUE(waitReady(*server));
    const auto run = runClient({{{"cmd", "exit"}, {"echo", "bye"}}});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(answers(run), std::vector<json>({{{"ok", true}, {"echo", "bye"}}}));
    EXPECT_EQ(server->wait(patience()), 0);
    if (!m_backend.wine) {
        for (const auto& entry : fs::directory_iterator(runtimeFolder()))
            EXPECT_EQ(entry.path().extension(), ".lock") << entry.path();
    }
    const auto after = runClient({{{"cmd", "x"}}});
    EXPECT_EQ(after.exitCode, 2);
    EXPECT_NE(after.errors.find("no Kelvaro server is running"), std::string::npos) << after.errors;
}

TEST_P(ProgramTest, StopSignalsSaveTheDictionariesAndEndWithCode0) {
    std::vector<std::pair<const char*, std::function<bool(platform::C_DrivenProcess&)>>> signals = {
        {"SIGINT", [](platform::C_DrivenProcess& p) { return p.interrupt(); }},
    };
    if (!m_backend.wine)  // wine ends a program at SIGTERM without its console handler
        signals.push_back({"SIGTERM", [](platform::C_DrivenProcess& p) { return p.terminate(); }});
    for (const auto& [name, send] : signals) {
        SCOPED_TRACE(name);
        fs::remove_all(userFolder());
        auto server = startServer({programPath(writeConfig())}, &m_backend.testServer);
        ASSERT_TRUE(waitReady(*server));
        // A word of the user, and a line committed for the learner (keys no dictionary knows,
        // which it learns as a word).
        const auto run = runClient({{{"cmd", "test-add-user-word"}, {"key", "ka1"}, {"word", "ka"}},
                                    {{"cmd", "test-commit"}, {"keys", "bo5"}},
                                    {{"cmd", "test-learned"}}});
        EXPECT_EQ(answers(run), std::vector<json>({{{"event", "user-db-changed"}, {"kind", 2}},
                                                   {{"ok", true}, {"result", true}},
                                                   {{"event", "pop-front"},
                                                    {"mode", "tailo"},
                                                    {"source-id", 1},
                                                    {"span-units", 3},
                                                    {"voc", "bô"},
                                                    {"weight", 0.0},
                                                    {"words", 1}},
                                                   {{"ok", true}, {"result", 3}},
                                                   {{"ok", true}, {"result", true}}}));
        ASSERT_TRUE(send(*server));
        EXPECT_EQ(server->wait(patience()), 0);
        EXPECT_NE(readFile(userFolder() / "user-db.tab").find("ka1"), std::string::npos);
        EXPECT_NE(readFile(userFolder() / "learn-db.tab").find("bo5"), std::string::npos);
        EXPECT_FALSE(fs::exists(userFolder() / "user-db.tab.tmp"));
        EXPECT_FALSE(fs::exists(userFolder() / "learn-db.tab.tmp"));
    }
}

TEST_P(ProgramTest, ServerKilledWithoutTeardownIsReplacedAtTheNextStart) {
    auto killed = startConfiguredServer();
    ASSERT_TRUE(waitReady(*killed));
    ASSERT_TRUE(killed->kill());
    ASSERT_TRUE(killed->wait(patience()));
    if (!m_backend.wine) {
        size_t sockets = 0;
        for (const auto& entry : fs::directory_iterator(runtimeFolder()))
            sockets += fs::is_socket(entry.status());
        EXPECT_EQ(sockets, 1u);  // left behind
    }
    auto next = startConfiguredServer();
    ASSERT_TRUE(waitReady(*next));
    EXPECT_EQ(exitServer(*next), 0);
}

TEST_P(ProgramTest, ChangeOfOneClientReachesAnother) {
    auto server = startServer({programPath(writeConfig())}, &m_backend.testServer);
    ASSERT_TRUE(waitReady(*server));
    platform::C_DrivenProcess::S_Options io;
    io.pipeStdin = io.pipeStdout = true;
    auto watcher = start({m_backend.client.string(), "--no-ime"}, io);
    EXPECT_EQ(watcher->readLine(patience()), R"({"ok":true})");
    const auto run = runClient({{{"cmd", "test-add-user-word"}, {"key", "ka1"}, {"word", "ka"}}});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(watcher->readLine(patience()), R"({"event":"user-db-changed","kind":2})");
    watcher->closeStdin();
    EXPECT_EQ(watcher->wait(patience()), 0);
    EXPECT_EQ(exitServer(*server), 0);
}

TEST_P(ProgramTest, HalfAFrameOrGarbageDoNotHoldUpOtherClients) {
    auto server = startConfiguredServer();
    ASSERT_TRUE(waitReady(*server));
    platform::C_DrivenProcess::S_Options io;
    io.pipeStdin = io.pipeStdout = true;
    auto slow = start({m_backend.relay.string()}, io);
    ASSERT_TRUE(slow->writeStdin(std::string("11") + '\0' + R"({"cmd")"));
    auto garbage = start({m_backend.relay.string()}, io);
    ASSERT_TRUE(garbage->writeStdin(std::string("x") + '\0'));
    EXPECT_EQ(garbage->readLine(patience()), "EOF");

    const auto run = runClient({{{"cmd", "nope"}}});
    EXPECT_EQ(answers(run),
              std::vector<json>({{{"ok", false}, {"error", "Unknown command \"nope\""}}}));

    ASSERT_TRUE(slow->writeStdin(R"(:"x"})"));
    EXPECT_EQ(slow->readLine(patience()), R"({"error":"Session not opened","ok":false})");
    slow->closeStdin();
    EXPECT_EQ(exitServer(*server), 0);
}

// A user types real words of the bundled dictionary, by their toned keys and without tones,
// picks each among the candidates at the nail position, and commits it: the pop-front event
// carries the word.
TEST_P(ProgramTest, TypingRealWordsNailingAndPoppingThem) {
    auto server = startBundledServer();
    ASSERT_TRUE(waitReady(*server));
    auto client = startPipedClient();
    ASSERT_EQ(client->readLine(patience()), R"({"ok":true})");
    // The next frame, passing over the learner's news of the user dictionary.
    const auto next = [&]() -> json {
        while (auto line = client->readLine(patience())) {
            json frame = json::parse(*line);
            if (frame.value("event", "") != "user-db-changed")
                return frame;
        }
        ADD_FAILURE() << "the client ended or said nothing";
        return json();
    };
    const auto ask = [&](const json& request) {
        EXPECT_TRUE(client->writeStdin(request.dump() + "\n"));
        return next();
    };

    const struct {
        std::string word, keys;
    } words[] = {
        {"\u98df\u98ef", "tsiah8png7"},  // 食飯
        {"\u98df\u98ef", "tsiahpng"},
        {"\u56e1\u4ed4", "gin2a2"},  // 囡仔
        {"\u56e1\u4ed4", "gina"},
    };
    for (const auto& w : words) {
        SCOPED_TRACE(w.keys);
        for (char k : w.keys)
            ASSERT_EQ(ask({{"cmd", "insert-key"}, {"key", std::string(1, k)}}),
                      json({{"ok", true}, {"empty", false}}));
        EXPECT_EQ(ask({{"cmd", "get-nail-position"}}), json({{"ok", true}, {"result", 0}}));
        const json page = ask(
            {{"cmd", "get-candidates-at-nail-pos"}, {"type", "M"}, {"index", 0}, {"count", 10}});
        size_t index = 0;
        while (index < page["result"].size() &&
               !(page["result"][index]["voc"] == w.word &&
                 page["result"][index]["span-units"] == w.keys.size()))
            ++index;
        ASSERT_LT(index, page["result"].size()) << page.dump();
        EXPECT_EQ(page["result"][index]["mode"], "hant");
        EXPECT_EQ(ask({{"cmd", "nail-candidate"}, {"type", "M"}, {"index", index}}),
                  json({{"ok", true}, {"result", true}}));
        EXPECT_EQ(ask({{"cmd", "done-nailing"}}), json({{"ok", true}, {"result", true}}));
        const json event = ask({{"cmd", "pop-front"}});
        EXPECT_EQ(event["event"], "pop-front");
        EXPECT_EQ(event["voc"], w.word);
        EXPECT_EQ(event["mode"], "hant");
        EXPECT_EQ(event["span-units"], w.keys.size());
        EXPECT_EQ(event["words"], 2);
        EXPECT_EQ(next(), json({{"ok", true}, {"result", w.keys.size()}, {"empty", true}}));
    }
    client->closeStdin();
    EXPECT_EQ(client->wait(patience()), 0);
    EXPECT_EQ(exitServer(*server), 0);
}

TEST_P(ProgramTest, ClientWithoutServerSaysSoAndEndsWithCode2) {
    const auto run = runClient({{{"cmd", "x"}}});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.lines.empty());
    EXPECT_NE(run.errors.find("no Kelvaro server is running"), std::string::npos) << run.errors;
}

TEST_P(ProgramTest, CompanionsStartTheirEndReachesTheSessionsAndTeardownLeavesThemRunning) {
    // The stand-in of the same build as the server; the server passes on the environment that
    // tells it what to do, so each round's settings are made before the server starts.
    C_FakeCompanion fake;
    const fs::path companion = m_backend.wine
                                   ? m_backend.server.parent_path().parent_path().parent_path() /
                                         "tests/support/fake_companion/kov_fake_companion.exe"
                                   : C_FakeCompanion::program();
    const fs::path config =
        writeFile(root() / "Kelvaro.json", json{{"db-dir", programPath(dictFolder())},
                                                {"preferences", programPath(companion)},
                                                {"about", programPath(companion)}}
                                               .dump());
    fake.holdUntilReleased();
    auto server = startServer({programPath(config)});
    ASSERT_TRUE(waitReady(*server));
    platform::C_DrivenProcess::S_Options io;
    io.pipeStdin = io.pipeStdout = true;
    auto watcher = start({m_backend.client.string(), "--no-ime"}, io);
    EXPECT_EQ(watcher->readLine(patience()), R"({"ok":true})");
    EXPECT_EQ(answers(runClient({{{"cmd", "run-preferences"}}})),
              std::vector<json>({{{"ok", true}}}));
    ASSERT_TRUE(fake.waitForStarts(1));
    fake.release();
    EXPECT_EQ(watcher->readLine(patience()), R"({"event":"prefs-changed"})");
    watcher->closeStdin();
    EXPECT_EQ(watcher->wait(patience()), 0);
    EXPECT_EQ(exitServer(*server), 0);
    ASSERT_TRUE(fake.waitForEnds(1));

    // A companion that still runs when the server stops is left running.
    fake.holdUntilReleased();
    server = startServer({programPath(config)});
    ASSERT_TRUE(waitReady(*server));
    EXPECT_EQ(answers(runClient({{{"cmd", "about"}}})), std::vector<json>({{{"ok", true}}}));
    ASSERT_TRUE(fake.waitForStarts(2));
    EXPECT_EQ(exitServer(*server), 0);
    EXPECT_EQ(fake.ends(), 1u);
    fake.release();
    EXPECT_TRUE(fake.waitForEnds(2));
}

// A transcript of requests (settings, vocabulary, errors, typing, candidates, related choices)
// gives the same replies, byte for byte, from every build of the server: the replies of the
// file tests/server/transcript_replies.jsonl, with times and paths masked. KOV_TRANSCRIPT_OUT
// names a file to write the replies of this run to (to make the expected file anew).
TEST_P(ProgramTest, ScriptedTranscriptGivesTheSameRepliesFromEveryBuild) {
    auto server = startBundledServer();
    ASSERT_TRUE(waitReady(*server));
    auto client = startPipedClient();
    ASSERT_TRUE(client->writeStdin(
        readFile(fs::path(KOV_SOURCE_DIR) / "tests/server/transcript_requests.jsonl")));
    client->closeStdin();

    // Times and the paths of this machine's folders differ from run to run and build to build.
    std::function<void(json&)> mask = [&](json& value) {
        if (value.is_object()) {
            for (auto& [name, member] : value.items()) {
                if (name == "last-access")
                    member = "<time>";
                else
                    mask(member);
            }
        } else if (value.is_array()) {
            for (json& item : value)
                mask(item);
        } else if (value.is_string()) {
            const std::string text = value;
            if (text.find(root().string()) != std::string::npos ||
                text.find(programPath(root())) != std::string::npos ||
                text.find("AppData") != std::string::npos)
                value = "<path>";
        }
    };
    std::string replies;
    while (auto line = client->readLine(patience())) {
        json frame = json::parse(*line);
        mask(frame);
        replies += frame.dump() + "\n";
    }
    EXPECT_EQ(client->wait(patience()), 0);
    if (const auto out = platform::environmentVariable("KOV_TRANSCRIPT_OUT"); out && !out->empty())
        std::ofstream(*out, std::ios::binary) << replies;
    EXPECT_EQ(replies,
              readFile(fs::path(KOV_SOURCE_DIR) / "tests/server/transcript_replies.jsonl"));
    EXPECT_EQ(exitServer(*server), 0);
}

// Toned syllables, all different: initial, final, then the tone digit.
std::vector<std::string> syllables(std::string_view tones) {
    static const char* const initials[] = {"p",  "ph", "b",  "m", "t",  "th",  "n", "l", "k",
                                           "kh", "g",  "ng", "h", "ts", "tsh", "s", "j"};
    static const char* const finals[] = {"a",  "i",  "u",  "e",  "oo", "o",
                                         "ai", "au", "am", "an", "ang"};
    std::vector<std::string> out;
    for (char tone : tones)
        for (const char* i : initials)
            for (const char* f : finals)
                out.push_back(std::string(i) + f + tone);
    return out;
}

// The server is killed with SIGKILL at random moments of a save of the user and the learning
// dictionary ("save-user-db", or the shutdown that SIGINT asks for), again and again, each time
// after one more word of the user and one more learned line. After every kill both files load
// whole; each is the file before the save or the new one; the user dictionary holds every word
// it held before; both hold the new word and line when the save answered. At most the side
// file of the unfinished save lies beside them, and the next server removes it when it loads.
// The moments are drawn from a fixed seed, so a failure comes back the same (within the jitter
// of the machine); the trace names the run and the delay.
TEST_P(ProgramTest, KillsDuringSavesLoseNoAnsweredSaveAndLeaveNoHalfWrittenFile) {
    if (m_backend.wine)
        return;  // SIGKILL would end wine's loader, not the Windows server inside it
    // At most kRuns runs, and no new one after kTimeBudget: a sanitizer build on a busy machine
    // takes most of a second to start the server.
    constexpr int kRuns = 300;
    constexpr auto kTimeBudget = 40s;
    constexpr std::uint32_t kSeed = 20261210;
    const auto began = std::chrono::steady_clock::now();
    std::mt19937 random(kSeed);

    // Both dictionaries start with some hundred kilobytes of words, so that a save takes long
    // enough for the kills to land inside it.
    C_UserDbFixture initial;
    int n = 0;
    for (const std::string& key : syllables("123")) {
        C_UserDbFixture::C_Row row{key, {}};
        for (int j = 0; j < 20; ++j)
            row.recs.push_back({'T', 1, 0, 0.0f, "w" + std::to_string(n++), {}});
        initial.words.push_back(std::move(row));
    }
    writeFile(userFolder() / "user-db.tab", initial.bytes());
    // The learning dictionary keeps at most 100 keys of one-key words (it trims the least used
    // ones when it learned more), so its file has fewer keys with more words each.
    initial.words.resize(90);
    for (auto& row : initial.words)
        row.recs.resize(100, {'T', 1, 0, 0.0f, "w" + std::to_string(n++), {}});
    writeFile(userFolder() / "learn-db.tab", initial.bytes());
    const std::vector<std::string> learnKeys = syllables("57");
    ASSERT_GE(learnKeys.size(), size_t(kRuns));

    // The words of the user (under "ka1") that the file held after the last kill: a kill may
    // cut the save short, but never takes away what the file held.
    std::set<std::string> words;
    std::chrono::microseconds saveTime{0};  // of the first save, which is left to finish
    int answered = 0, sideFilesLeft = 0;

    // Loads a dictionary file as the server would; the keys of the table, and the words under
    // "ka1". The file must load whole.
    const auto load = [&](const char* name) {
        SCOPED_TRACE(name);
        C_UserDbSetup setup(readFile(userFolder() / name));
        const C_TestUserDB& db = setup.open();
        EXPECT_TRUE(db.loaded()) << db.error().text;
        const auto lock = db.lockTables();
        std::pair<std::set<std::string>, std::set<std::string>> found;
        for (const auto& [key, vocs] : lock.candiPool().keys2words) {
            found.first.insert(key);
            if (key == "ka1")
                for (const auto& voc : vocs)
                    found.second.insert(voc.word);
        }
        return found;
    };
    const auto includes = [](const std::set<std::string>& big, const std::set<std::string>& small) {
        return std::includes(big.begin(), big.end(), small.begin(), small.end());
    };

    C_ScopedEnv runtime("XDG_RUNTIME_DIR", runtimeFolder().string());
    const std::string pipe = getPipeName();
    std::string userBefore = readFile(userFolder() / "user-db.tab");
    std::string learnBefore = readFile(userFolder() / "learn-db.tab");
    int run = 0;
    for (; run < kRuns && !HasFailure() && std::chrono::steady_clock::now() - began < kTimeBudget;
         ++run) {
        auto server = startServer({programPath(writeConfig())}, &m_backend.testServer);
        // This process is the client (starting a client program for each run would take longer
        // than the run itself).
        std::unique_ptr<C_PipeClient> client;
        ASSERT_NO_FATAL_FAILURE(connect(*server, pipe, client));
        // The server loaded the files: the side file of a save cut short is gone.
        for (const auto& entry : fs::directory_iterator(userFolder())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "user-db.tab" || name == "learn-db.tab")
                << "run " << run << ": " << name;
        }

        const std::string word = "u" + std::to_string(run);
        const std::string& key = learnKeys[size_t(run)];
        client->send({{{"cmd", "test-add-user-word"}, {"key", "ka1"}, {"word", word}},
                      {{"cmd", "test-commit"}, {"keys", key}},
                      {{"cmd", "test-learned"}}});
        ASSERT_EQ(nextReply(*client), json({{"ok", true}, {"result", true}})) << "run " << run;
        ASSERT_EQ(nextReply(*client), json({{"ok", true}, {"result", key.size()}}))
            << "run " << run;
        ASSERT_EQ(nextReply(*client), json({{"ok", true}, {"result", true}})) << "run " << run;

        const std::chrono::microseconds delay = killDelay(run, saveTime, random);
        SCOPED_TRACE("run " + std::to_string(run) + ", killed " + std::to_string(delay.count()) +
                     " us after the save was asked for");
        // Every other run the save is the one of the shutdown that SIGINT asks for; it answered
        // when the server ended with code 0 before the kill.
        const bool atShutdown = run % 2 == 1;
        const auto asked = std::chrono::steady_clock::now();
        if (atShutdown)
            ASSERT_TRUE(server->interrupt());
        else
            client->send({{{"cmd", "save-user-db"}}});
        if (run == 0) {
            ASSERT_EQ(nextReply(*client), json({{"ok", true}, {"result", 3}}));
            saveTime = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - asked);
        } else {
            std::this_thread::sleep_until(asked + delay);
        }
        server->kill();
        const std::optional<int> exitCode = server->wait(patience());
        ASSERT_TRUE(exitCode);
        std::optional<json> reply;
        if (atShutdown) {
            if (*exitCode == 0)
                reply = json({{"ok", true}, {"result", 3}});
        } else {
            reply = run == 0 ? std::optional<json>(json({{"ok", true}, {"result", 3}}))
                             : nextReply(*client);
        }
        client.reset();
        if (reply) {
            ASSERT_EQ(*reply, json({{"ok", true}, {"result", 3}}));
        }
        answered += reply.has_value();

        bool sideFile = false;
        for (const auto& entry : fs::directory_iterator(userFolder())) {
            const std::string name = entry.path().filename().string();
            sideFile |= name == "user-db.tab.tmp" || name == "learn-db.tab.tmp";
            EXPECT_TRUE(name == "user-db.tab" || name == "learn-db.tab" ||
                        name == "user-db.tab.tmp" || name == "learn-db.tab.tmp")
                << name;
        }
        sideFilesLeft += sideFile;
        // Each file is the one before the run, or the new one with this run's word or line.
        const std::set<std::string> nowWords = load("user-db.tab").second,
                                    nowKeys = load("learn-db.tab").first;
        const std::string userBytes = readFile(userFolder() / "user-db.tab");
        const std::string learnBytes = readFile(userFolder() / "learn-db.tab");
        EXPECT_TRUE(includes(nowWords, words));
        EXPECT_TRUE(nowWords.count(word) || userBytes == userBefore);
        EXPECT_TRUE(nowKeys.count(key) || learnBytes == learnBefore);
        if (reply) {
            EXPECT_TRUE(nowWords.count(word)) << word;
            EXPECT_TRUE(nowKeys.count(key)) << key;
        }
        words = nowWords;
        userBefore = userBytes;
        learnBefore = learnBytes;
    }
    std::cout << "[ kill runs ] " << run << " runs (seed " << kSeed << "), a save took "
              << saveTime.count() << " us; " << answered << " saves answered before the kill, "
              << sideFilesLeft << " kills left a side file" << std::endl;
}

// The same for the settings file: the server is killed at random moments of the rewrite that
// "notify-release-checked" makes, each run with a new day. After every kill the file reads whole,
// with every other member kept, and holds the day before the run or the new one, the new one
// when the request answered. The side file of a rewrite cut short is gone once the server
// started again.
TEST_P(ProgramTest, KillsDuringSettingsSavesLoseNoAnsweredSaveAndLeaveNoHalfWrittenFile) {
    if (m_backend.wine)
        return;  // SIGKILL would end wine's loader, not the Windows server inside it
    constexpr int kRuns = 300;
    constexpr auto kTimeBudget = 30s;
    constexpr std::uint32_t kSeed = 20261211;
    const auto began = std::chrono::steady_clock::now();
    std::mt19937 random(kSeed);

    // Members of the front end's own, long texts of some hundred kilobytes in all, so that
    // writing the file takes a good part of a rewrite and the kills land inside it too.
    json settings = json::object();
    for (int i = 0; i < 16; ++i)
        settings["member-" + std::to_string(i)] = std::string(48 * 1024, char('a' + i));
    constexpr int kFirstDay = 20000;
    settings["last-check-release-day"] = kFirstDay;
    const size_t members = settings.size();
    writeFile(userFolder() / kSettingsFileName, settingsFileBytes(settings));

    C_ScopedEnv runtime("XDG_RUNTIME_DIR", runtimeFolder().string());
    const std::string pipe = getPipeName();
    std::chrono::microseconds saveTime{0};  // of the first rewrite, which is left to finish
    int day = kFirstDay, answered = 0, sideFilesLeft = 0, run = 0;
    for (; run < kRuns && !HasFailure() && std::chrono::steady_clock::now() - began < kTimeBudget;
         ++run) {
        auto server = startServer({programPath(writeConfig())}, &m_backend.testServer);
        std::unique_ptr<C_PipeClient> client;
        ASSERT_NO_FATAL_FAILURE(connect(*server, pipe, client));
        ASSERT_FALSE(fs::exists(userFolder() / (std::string(kSettingsFileName) + ".tmp")))
            << "run " << run;

        const int newDay = kFirstDay + 1 + run;
        const std::chrono::microseconds delay = killDelay(run, saveTime, random);
        SCOPED_TRACE("run " + std::to_string(run) + ", killed " + std::to_string(delay.count()) +
                     " us after the rewrite was asked for");
        const auto asked = std::chrono::steady_clock::now();
        client->send({{{"cmd", "notify-release-checked"}, {"last-check-release-day", newDay}}});
        std::optional<json> reply;
        if (run == 0) {
            reply = nextReply(*client);
            saveTime = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - asked);
        } else {
            std::this_thread::sleep_until(asked + delay);
        }
        server->kill();
        ASSERT_TRUE(server->wait(patience()));
        if (run != 0)
            reply = nextReply(*client);
        client.reset();
        if (reply) {
            ASSERT_EQ(*reply, json({{"ok", true}}));
        }
        answered += reply.has_value();

        for (const auto& entry : fs::directory_iterator(userFolder())) {
            const std::string name = entry.path().filename().string();
            sideFilesLeft += name == std::string(kSettingsFileName) + ".tmp";
            EXPECT_TRUE(name == kSettingsFileName ||
                        name == std::string(kSettingsFileName) + ".tmp")
                << name;
        }
        json read;
        getPreferences(userFolder(), read);
        ASSERT_EQ(read.value("ok", false), true) << read.dump();
        const json& now = read["result"];
        EXPECT_EQ(now.size(), members);
        EXPECT_EQ(now.value("member-15", ""), std::string(48 * 1024, 'p'));
        const int nowDay = now.value("last-check-release-day", 0);
        EXPECT_TRUE(nowDay == day || nowDay == newDay) << nowDay;
        if (reply) {
            EXPECT_EQ(nowDay, newDay);
        }
        day = nowDay;
    }
    std::cout << "[ kill runs ] " << run << " runs (seed " << kSeed << "), a rewrite took "
              << saveTime.count() << " us; " << answered << " rewrites answered before the kill, "
              << sideFilesLeft << " kills left a side file" << std::endl;
}

INSTANTIATE_TEST_SUITE_P(, ProgramTest, ::testing::ValuesIn(backends()),
                         [](const ::testing::TestParamInfo<S_Backend>& info) {
                             return info.param.name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ProgramTest);

}  // namespace
}  // namespace kov::test
