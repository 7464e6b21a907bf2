// Writes the seed inputs of every harness into the folder given as the first argument, one
// subfolder per harness, with the project's own writers: the dictionary fixtures' writers, a
// user and a learning dictionary saved by the dictionaries themselves, the settings file's
// writer and the framing of the pipe. Each seed is small; the harnesses' mutations do the rest.
//
//   fuzz_seed_writer fuzz/seeds

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/client_server_common.h"
#include "engine/Kelvaro/framing.h"
#include "engine/Kelvaro/settings_file.h"
#include "engine/compose/input_line.h"
#include "fixtures/cats_fixture.h"
#include "fixtures/temp_folder.h"
#include "fixtures/user_db_fixture.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/input_script.h"

namespace {

using namespace kov;
using nlohmann::json;
using namespace std::string_literals;
namespace fs = std::filesystem;

fs::path g_out;

void seed(const std::string& harness, const std::string& name, const std::string& bytes) {
    const fs::path folder = g_out / harness;
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string frames(const std::vector<json>& requests) {
    std::string out;
    for (const json& r : requests)
        appendFrame(out, r.dump());
    return out;
}

// Typing scripts (input_script.h): syllables, key arrays, wildcards, lists, nails, pops,
// related choices, caret moves and mode toggles.
const std::vector<std::string> kScripts = {
    "tai5uan5lang5{=\x01.,;\x00/"s,
    "tai0pak4}(=\x00[[]>|<$/\n"s,
    "t?i*k*{=\x00Ka1 ho2,;\x01"s,
    "kau2|ka1&~%#!tai5@\x02<<^]/."s,
};

// A user and a learning dictionary saved by themselves after the scripts were typed and learnt.
std::pair<std::string, std::string> savedDictionaries() {
    const test::C_TempFolder folder;
    {
        const auto source = fuzz::dictChain(folder.path());
        const uint8_t cats[] = {1};
        (void)source->userDB().addUserVoc(test::HO + test::PAK, "h\u00f3-pak",
                                          {'H', test::HO + test::PAK}, 2, cats, 1);
        (void)source->userDB().addUserVoc("kha", "kha", {'T', "kha"}, 0, {}, 1);
        for (const std::string& script : kScripts) {
            C_InputLine line(source->tailoDB());
            line.setLearner(source->learner());
            fuzz::runLineScript(line, script);
            line.clear();
        }
        source->runQueuedJobs();
        source->saveAll();
    }
    return {readFile(folder.path() / "user-db.tab"), readFile(folder.path() / "learn-db.tab")};
}

void sessionSeeds() {
    const json open = {
        {"cmd", "open"}, {"magic", pipeNameHash("\\\\.\\pipe\\Kelvaro_fuzz")}, {"agent", "ime"}};
    std::vector<json> typing = {open};
    for (char k : std::string("tai5uan5"))
        typing.push_back({{"cmd", "insert-key"}, {"key", std::string(1, k)}});
    typing.push_back({{"cmd", "get-candidate-count-at-nail-pos"}, {"type", "H"}});
    typing.push_back(
        {{"cmd", "get-candidates-at-nail-pos"}, {"type", "H"}, {"index", 0}, {"count", 5}});
    typing.push_back({{"cmd", "nail-candidate"}, {"type", "H"}, {"index", 0}});
    typing.push_back({{"cmd", "get-confirmed-candidates"}});
    typing.push_back({{"cmd", "get-count-of-related-choices"}, {"type", "H"}});
    typing.push_back({{"cmd", "get-related-choices"}, {"type", "H"}, {"index", 0}, {"count", 3}});
    typing.push_back({{"cmd", "insert-related-choice"}, {"type", "H"}, {"index", 0}});
    typing.push_back({{"cmd", "pop-front"}, {"echo", 7}});
    typing.push_back({{"cmd", "move-to"}, {"pos", 1}});
    typing.push_back({{"cmd", "get-key-sections"}, {"poses", {1, 2}}});
    typing.push_back({{"cmd", "remove-key"}, {"dir", 1}});
    typing.push_back({{"cmd", "toggle-no-cross"}});
    typing.push_back({{"cmd", "get-no-crosses"}});
    typing.push_back({{"cmd", "clear-input-line"}});
    seed("session", "typing", '\0' + frames(typing));
    seed("session", "typing-cut", std::string(1, '\x03') + frames(typing));

    std::vector<json> vocs = {open};
    vocs.push_back({{"cmd", "add-user-voc"},
                    {"hant", test::HO + test::PAK},
                    {"tailo", "h\u00f3-pak"},
                    {"weight", 1.5}});
    vocs.push_back({{"cmd", "get-count-of-user-vocs"}, {"search", ""}});
    vocs.push_back({{"cmd", "get-user-vocs"},
                    {"search", "h"},
                    {"order", {{3, true}, {0, false}}},
                    {"index", 0},
                    {"count", 9}});
    vocs.push_back({{"cmd", "update-user-voc"},
                    {"hant-old", test::HO + test::PAK},
                    {"tailo-old", "h\u00f3-pak"},
                    {"hant-new", test::HO},
                    {"tailo-new", "h\u00f3"}});
    vocs.push_back({{"cmd", "erase-user-voc"}, {"hant", test::HO}, {"tailo", "h\u00f3"}});
    vocs.push_back({{"cmd", "save-user-db"}});
    vocs.push_back({{"cmd", "notify-release-checked"}, {"last-check-release-day", 20000}});
    vocs.push_back({{"cmd", "get-preferences"}});
    vocs.push_back({{"cmd", "about"}});
    vocs.push_back({{"cmd", "clear-user-vocs"}});
    seed("session", "vocabulary", std::string(1, '\x01') + frames(vocs));

    std::vector<json> noIme = {{{"cmd", "open"},
                                {"magic", pipeNameHash("\\\\.\\pipe\\Kelvaro_fuzz")},
                                {"agent", "no-ime"}},
                               {{"cmd", "insert-key"}, {"key", "a"}},
                               {{"cmd", "set-input-line-limit"}, {"limit", 3}},
                               {{"cmd", "exit"}}};
    seed("session", "no-ime-exit", '\0' + frames(noIme));
    seed("session", "bad-frames",
         std::string("\x02") + frames({open}) + "  +12\0{\"cmd\":\"x\"}"s + "-1\0"s +
             "99999999999\0"s);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_seed_writer <seed folder>\n";
        return 2;
    }
    g_out = argv[1];

    // Settings file and configuration.
    seed("settings", "object",
         fuzz::joinParts({settingsFileBytes({{"last-check-release-day", 19000},
                                             {"theme", "dark"},
                                             {"keys", {1, 2, {{"x", nullptr}}}}}),
                          R"({"last-check-release-day": -5})"}));
    seed("settings", "not-an-object",
         fuzz::joinParts({"\xEF\xBB\xBF[1, 2]", R"({"last-check-release-day": 4294967296})"}));
    seed("config", "full",
         "\xEF\xBB\xBF" + json{{"db-dir", "dict/\u53f0"},
                               {"preferences", "prefs.exe"},
                               {"about", "about.exe"},
                               {"edit-user-dict", "edit.exe"},
                               {"check-release", "check.exe"}}
                              .dump(2));
    seed("config", "odd-types", R"({"db-dir": 5, "about": ["a"], "preferences": null})");

    // Text.
    seed("tailo", "marked", "T\u00e2i-u\u00e2n l\u00e2ng, tsi\u00e1nn-h\u00f3 TSI\u00c1NN");
    seed("tailo", "keys", "tsiann5");
    seed("tailo", "wildcards", "t?i*");
    seed("tailo", "combining", "a\u0301 m\u0304 N\u030d ng5 hm7");
    seed("unicode", "utf8-bom",
         "\x00\xEF\xBB\xBF"
         "T\u00e2i-u\u00e2n \u53f0\u7063"s);
    seed("unicode", "utf16le-bom",
         std::string("\x01\xFF\xFE"
                     "T\0\xE2\0i\0\x3D\xD8\x00\xDE",
                     11));
    seed("unicode", "utf32be",
         std::string("\x02\x00\x00\x00T\x00\x00\x00\xE2\x00\x01\xF6\x00", 13));
    seed("unicode", "big5", "\x03\xA5\x78\xC6\x57 ka");

    // Typing.
    for (size_t i = 0; i < kScripts.size(); ++i)
        seed("input_line", "script" + std::to_string(i), kScripts[i]);

    // Dictionary files.
    const std::string cats = test::C_SystemDictFixture::sampleCatsBytes();
    const std::string tailo = fuzz::dictionaryFixture().bytes();
    seed("system_dict", "sample", fuzz::joinParts({cats, tailo}));
    seed("system_dict", "truncated",
         fuzz::joinParts({test::truncated(cats, 20), test::truncated(tailo, tailo.size() / 2)}));
    const auto [user, learn] = savedDictionaries();
    seed("user_db", "saved", fuzz::joinParts({user, learn, kScripts[0]}));
    seed("user_db", "fixture", fuzz::joinParts({test::sampleUserDb().bytes(), "", kScripts[2]}));
    seed("user_db", "cut",
         fuzz::joinParts({test::truncated(user, user.size() - 3),
                          test::truncated(learn, learn.size() / 2), ""}));

    sessionSeeds();
    return 0;
}
