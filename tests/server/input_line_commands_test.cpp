// The input-line commands through in-process sessions: their replies, their argument errors
// (which change nothing), the integer conversions of their arguments, the flags, the
// composition mode, the line's limit and the pop-front events it causes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/server/line_commands_fixture.h"
#include "tests/server/session_harness.h"

namespace kov::test {
namespace {

using namespace line_commands;

// A request on a line typed and moved as given, its exact reply, and the line afterwards.
struct S_Case {
    const char* what;
    const char* typed;  // '|' a no-cross mark
    json before;        // requests sent after typing (their replies not checked)
    json request;
    json reply;
    const char* after;  // the layout afterwards
};

void runCases(C_SessionHarness& h, const std::vector<S_Case>& cases) {
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto& client = h.connect();
        client.open();
        type(client, c.typed);
        for (const json& r : c.before)
            client.request(r);
        EXPECT_EQ(client.request(c.request), c.reply);
        EXPECT_EQ(layout(client), c.after);
        client.close();
    }
}

json cmd(std::string_view name, json members = json::object()) {
    return command(name, std::move(members));
}

const json none = json::array();
const json home = json::array({{{"cmd", "move-home"}}});

TEST(InputLineCommands, RefusedArgumentsAnswerTheirTextAndChangeNothing) {
    C_SessionHarness h;
    const auto refused = [](const char* text) { return json{{"ok", false}, {"error", text}}; };
    const std::vector<S_Case> cases = {
        {"key of two letters", "ab", none, cmd("insert-key", {{"key", "cd"}}),
         refused("Invalid key"), "ab^"},
        {"empty key", "ab", none, cmd("insert-key", {{"key", ""}}), refused("Invalid key"), "ab^"},
        {"numeric key", "ab", none, cmd("insert-key", {{"key", 7}}), refused("Invalid key"), "ab^"},
        {"key of two bytes", "ab", none, cmd("insert-key", {{"key", "\u00e9"}}),
         refused("Invalid key"), "ab^"},
        {"no key", "ab", none, cmd("insert-key"), refused("Invalid key"), "ab^"},
        {"position with a fraction", "ab", none, cmd("move-to", {{"pos", 1.0}}),
         refused("Missing position"), "ab^"},
        {"position as text", "ab", none, cmd("move-to", {{"pos", "1"}}),
         refused("Missing position"), "ab^"},
        {"no position", "ab", none, cmd("move-to"), refused("Missing position"), "ab^"},
        {"boolean direction", "ab", none, cmd("remove-key", {{"dir", true}}),
         refused("Missing direction"), "ab^"},
        {"direction with a fraction", "ab", none, cmd("remove-key", {{"dir", -1.0}}),
         refused("Missing direction"), "ab^"},
        {"no direction", "ab", none, cmd("remove-key"), refused("Missing direction"), "ab^"},
        {"no poses", "abcd", none, cmd("get-key-sections"), refused("Missing/invalid poses"),
         "abcd^"},
        {"poses as text", "abcd", none, cmd("get-key-sections", {{"poses", "1"}}),
         refused("Missing/invalid poses"), "abcd^"},
        {"poses as object", "abcd", none, cmd("get-key-sections", {{"poses", {{"a", 1}}}}),
         refused("Missing/invalid poses"), "abcd^"},
        {"a pos as text", "abcd", none, cmd("get-key-sections", {{"poses", {1, "2"}}}),
         refused("Only integral pos allowed"), "abcd^"},
        {"a pos with a fraction", "abcd", none, cmd("get-key-sections", {{"poses", {1.5}}}),
         refused("Only integral pos allowed"), "abcd^"},
        {"a boolean pos", "abcd", none, cmd("get-key-sections", {{"poses", {true}}}),
         refused("Only integral pos allowed"), "abcd^"},
        {"a null pos", "abcd", none, cmd("get-key-sections", {{"poses", {2, nullptr}}}),
         refused("Only integral pos allowed"), "abcd^"},
        {"no limit", "ab", none, cmd("set-input-line-limit"), refused("Missing limit"), "ab^"},
        {"limit with a fraction", "ab", none, cmd("set-input-line-limit", {{"limit", 3.0}}),
         refused("Missing limit"), "ab^"},
        {"limit as text", "ab", none, cmd("set-input-line-limit", {{"limit", "3"}}),
         refused("Missing limit"), "ab^"},
    };
    runCases(h, cases);
}

TEST(InputLineCommands, KeysCaretAndMarks) {
    C_SessionHarness h;
    const json ok = {{"ok", true}};
    const std::vector<S_Case> cases = {
        {"insert a key",
         "ab",
         none,
         cmd("insert-key", {{"key", "c"}}),
         {{"ok", true}, {"empty", false}},
         "abc^"},
        {"an upper-case key as typed",
         "ab",
         none,
         cmd("insert-key", {{"key", "C"}}),
         {{"ok", true}, {"empty", false}},
         "abC^"},
        {"insert at the caret",
         "ab",
         home,
         cmd("insert-key", {{"key", "x"}}),
         {{"ok", true}, {"empty", false}},
         "x^ab"},
        {"clear", "a|b", none, cmd("clear-input-line"), {{"ok", true}, {"empty", true}}, "^"},
        {"clear an empty line",
         "",
         none,
         cmd("clear-input-line"),
         {{"ok", true}, {"empty", true}},
         "^"},
        {"move back", "ab", none, cmd("move-back"), {{"ok", true}, {"result", true}}, "a^b"},
        {"move back over a mark",
         "a|b",
         json::array({cmd("move-back")}),
         cmd("move-back"),
         {{"ok", true}, {"result", true}},
         "^a|b"},
        {"move back at 0", "ab", home, cmd("move-back"), {{"ok", true}, {"result", false}}, "^ab"},
        {"move forward", "ab", home, cmd("move-forward"), {{"ok", true}, {"result", true}}, "a^b"},
        {"move forward at the end",
         "ab",
         none,
         cmd("move-forward"),
         {{"ok", true}, {"result", false}},
         "ab^"},
        {"move home", "ab", none, cmd("move-home"), ok, "^ab"},
        {"move end", "ab", home, cmd("move-end"), ok, "ab^"},
        {"move to",
         "abc",
         none,
         cmd("move-to", {{"pos", 1}}),
         {{"ok", true}, {"result", true}},
         "a^bc"},
        {"move to the end",
         "abc",
         home,
         cmd("move-to", {{"pos", 3}}),
         {{"ok", true}, {"result", true}},
         "abc^"},
        {"move past the end",
         "abc",
         home,
         cmd("move-to", {{"pos", 4}}),
         {{"ok", true}, {"result", false}},
         "^abc"},
        {"move to -1: a huge position",
         "abc",
         home,
         cmd("move-to", {{"pos", -1}}),
         {{"ok", true}, {"result", false}},
         "^abc"},
        {"move to 2^64 - 1",
         "abc",
         home,
         cmd("move-to", {{"pos", 18446744073709551615ull}}),
         {{"ok", true}, {"result", false}},
         "^abc"},
        {"remove backward",
         "abc",
         none,
         cmd("remove-key", {{"dir", -1}}),
         {{"ok", true}, {"result", true}, {"empty", false}},
         "ab^"},
        {"remove backward, dir -7",
         "abc",
         none,
         cmd("remove-key", {{"dir", -7}}),
         {{"ok", true}, {"result", true}, {"empty", false}},
         "ab^"},
        {"remove forward, dir 5",
         "abc",
         home,
         cmd("remove-key", {{"dir", 5}}),
         {{"ok", true}, {"result", true}, {"empty", false}},
         "^bc"},
        {"remove the last key",
         "a",
         none,
         cmd("remove-key", {{"dir", -1}}),
         {{"ok", true}, {"result", true}, {"empty", true}},
         "^"},
        {"remove with dir 0 does nothing",
         "abc",
         none,
         cmd("remove-key", {{"dir", 0}}),
         {{"ok", true}, {"result", false}, {"empty", false}},
         "abc^"},
        {"remove with dir 0 on an empty line",
         "",
         none,
         cmd("remove-key", {{"dir", 0}}),
         {{"ok", true}, {"result", false}, {"empty", true}},
         "^"},
        {"remove backward at 0",
         "ab",
         home,
         cmd("remove-key", {{"dir", -1}}),
         {{"ok", true}, {"result", false}, {"empty", false}},
         "^ab"},
        // 4294967296 read as int is 0: nothing is removed.
        {"remove with dir 2^32",
         "abc",
         none,
         cmd("remove-key", {{"dir", 4294967296ll}}),
         {{"ok", true}, {"result", false}, {"empty", false}},
         "abc^"},
        {"remove with dir 2^32 - 1 (-1)",
         "abc",
         none,
         cmd("remove-key", {{"dir", 4294967295ll}}),
         {{"ok", true}, {"result", true}, {"empty", false}},
         "ab^"},
        {"remove a key with its marks",
         "a|b",
         none,
         cmd("remove-key", {{"dir", -1}}),
         {{"ok", true}, {"result", true}, {"empty", false}},
         "a^"},
        {"toggle a mark on",
         "ab",
         none,
         cmd("toggle-no-cross"),
         {{"ok", true}, {"empty", false}},
         "ab|^"},
        {"toggle a mark off",
         "a|b",
         json::array({cmd("move-to", {{"pos", 1}})}),
         cmd("toggle-no-cross"),
         {{"ok", true}, {"empty", false}},
         "a^b"},
        {"a mark alone", "", none, cmd("toggle-no-cross"), {{"ok", true}, {"empty", false}}, "|^"},
        {"size counts marks",
         "a|b|",
         none,
         cmd("get-input-line-size"),
         {{"ok", true}, {"result", 4}},
         "a|b|^"},
        {"caret",
         "abc",
         json::array({cmd("move-back")}),
         cmd("get-caret-position"),
         {{"ok", true}, {"result", 2}},
         "ab^c"},
        {"no-crosses",
         "|a|b|",
         none,
         cmd("get-no-crosses"),
         {{"ok", true}, {"result", {0, 2, 4}}},
         "|a|b|^"},
        {"no no-crosses",
         "ab",
         none,
         cmd("get-no-crosses"),
         {{"ok", true}, {"result", json::array()}},
         "ab^"},
        {"no-crosses after the caret too",
         "a|b|",
         home,
         cmd("get-no-crosses"),
         {{"ok", true}, {"result", {1, 3}}},
         "^a|b|"},
        {"empty line: nothing to pop",
         "",
         none,
         cmd("pop-front"),
         {{"ok", true}, {"result", 0}, {"empty", true}},
         "^"},
        {"caret at 0: nothing to pop",
         "ab",
         home,
         cmd("pop-front"),
         {{"ok", true}, {"result", 0}, {"empty", false}},
         "^ab"},
    };
    runCases(h, cases);
}

TEST(InputLineCommands, KeySections) {
    C_SessionHarness h;
    const auto sections = [](json s) { return json{{"ok", true}, {"result", std::move(s)}}; };
    const std::vector<S_Case> cases = {
        {"no positions", "abcd", none, cmd("get-key-sections", {{"poses", json::array()}}),
         sections({"abcd"}), "abcd^"},
        {"one position twice", "abcd", none, cmd("get-key-sections", {{"poses", {2, 2}}}),
         sections({"ab", "", "cd"}), "abcd^"},
        {"positions sorted", "abcd", none, cmd("get-key-sections", {{"poses", {3, 1}}}),
         sections({"a", "bc", "d"}), "abcd^"},
        {"past the end", "abcd", none, cmd("get-key-sections", {{"poses", {9}}}),
         sections({"abcd", ""}), "abcd^"},
        {"-1 is past the end", "abcd", none, cmd("get-key-sections", {{"poses", {-1, 0}}}),
         sections({"", "abcd", ""}), "abcd^"},
        {"marks leave no key", "a|b", none, cmd("get-key-sections", {{"poses", {1, 2}}}),
         sections({"a", "", "b"}), "a|b^"},
        {"empty line", "", none, cmd("get-key-sections", {{"poses", {0}}}), sections({"", ""}),
         "^"},
    };
    runCases(h, cases);
}

TEST(InputLineCommands, NailPositionAndDoneNailing) {
    C_SessionHarness h(withDictionary());
    auto& client = h.connect();
    client.open();
    EXPECT_EQ(client.request(cmd("done-nailing"))["result"], true);  // empty line
    type(client, "ho2tai5");
    EXPECT_EQ(client.request(cmd("get-nail-position")), json({{"ok", true}, {"result", 0}}));
    EXPECT_EQ(client.request(cmd("done-nailing")), json({{"ok", true}, {"result", false}}));
    // Two words open: entry 0 is the whole line, entry 1 the first word.
    client.request(cmd("get-candidate-count-at-nail-pos", {{"type", "H"}}));
    EXPECT_EQ(client.request(cmd("nail-candidate", {{"type", "H"}, {"index", 1}}))["result"], true);
    EXPECT_EQ(client.request(cmd("get-nail-position"))["result"], 3);
    client.request(cmd("get-candidate-count-at-nail-pos", {{"type", "H"}}));
    EXPECT_EQ(client.request(cmd("nail-candidate", {{"type", "H"}, {"index", 0}}))["result"], true);
    EXPECT_EQ(client.request(cmd("done-nailing"))["result"], true);
    client.request(cmd("move-back"));
    EXPECT_EQ(client.request(cmd("done-nailing"))["result"], false);  // caret before the end
}

TEST(InputLineCommands, FlagsAndTheirToggles) {
    C_SessionHarness h;
    auto& client = h.connect();
    client.open();
    const struct {
        const char* is;
        const char* toggle;
        bool initial;
    } flags[] = {
        {"is-spurious-spaces-enabled", "toggle-spurious-spaces", true},
        {"is-full-shape-symbols-enabled", "toggle-full-shape-symbols", true},
        {"is-raw-key-only-enabled", "toggle-raw-key-only", false},
        {"is-island-doctrine", "toggle-island-doctrine", true},
    };
    for (const auto& f : flags) {
        SCOPED_TRACE(f.toggle);
        EXPECT_EQ(client.request(cmd(f.is)), json({{"ok", true}, {"result", f.initial}}));
        EXPECT_EQ(client.request(cmd(f.toggle)), json({{"ok", true}, {"result", !f.initial}}));
        EXPECT_EQ(client.request(cmd(f.is)), json({{"ok", true}, {"result", !f.initial}}));
        EXPECT_EQ(client.request(cmd(f.toggle)), json({{"ok", true}, {"result", f.initial}}));
        EXPECT_EQ(client.request(cmd(f.is))["result"], f.initial);
    }
}

TEST(InputLineCommands, CompositionMode) {
    C_SessionHarness h;
    auto& client = h.connect();
    client.open();
    EXPECT_EQ(client.request(cmd("get-composition-mode")), json({{"ok", true}, {"result", "STD"}}));
    EXPECT_EQ(client.request(cmd("toggle-composition-mode")),
              json({{"ok", true}, {"result", "TAILO"}}));
    EXPECT_EQ(client.request(cmd("get-composition-mode")),
              json({{"ok", true}, {"result", "TAILO"}}));
    EXPECT_EQ(client.request(cmd("toggle-composition-mode")),
              json({{"ok", true}, {"result", "STD"}}));
    EXPECT_EQ(client.request(cmd("get-composition-mode")), json({{"ok", true}, {"result", "STD"}}));
}

// The words as the line commits them: "voc" of every committed word, spaces included.
std::vector<std::string> committed(C_SessionHarness::C_Client& client) {
    std::vector<std::string> out;
    const json reply = client.request(cmd("get-confirmed-candidates"));
    for (const json& c : reply["result"])
        out.push_back(c["voc"]);
    return out;
}

TEST(InputLineCommands, FullShapeSymbolsApplyToKeysTypedAfterTheToggle) {
    C_SessionHarness h;
    auto& client = h.connect();
    client.open();
    type(client, ",");
    EXPECT_EQ(client.request(cmd("toggle-full-shape-symbols"))["result"], false);
    type(client, ",");
    // The trailing space after a punctuation mark is the line's own.
    EXPECT_EQ(committed(client), (std::vector<std::string>{"\uff0c", ",", " "}));
}

TEST(InputLineCommands, SpuriousSpacesBetweenTaiLoWordsFromTheNextQueryOn) {
    C_SessionHarness h(withDictionary());
    auto& client = h.connect();
    client.open();
    type(client, "ka1ka1");
    EXPECT_EQ(committed(client), (std::vector<std::string>{"", " ", ""}));
    EXPECT_EQ(client.request(cmd("toggle-spurious-spaces"))["result"], false);
    EXPECT_EQ(committed(client), (std::vector<std::string>{"", ""}));
}

TEST(InputLineCommands, ANoImeSessionHasNone) {
    C_SessionHarness h;
    auto& client = h.connect();
    client.open("no-ime");
    for (const char* name :
         {"insert-key", "clear-input-line", "set-input-line-limit", "get-composition-mode"})
        EXPECT_EQ(
            client.request(cmd(name, {{"key", "a"}, {"limit", 1}})),
            json({{"ok", false}, {"error", "Unknown command \"" + std::string(name) + "\""}}));
}

// The limit is tested before each key: while the line holds more elements than the limit, words
// are popped first, and their events come before the reply to the key.
TEST(InputLineCommands, TheLimitPopsWordsBeforeTheKeyAndTheirEventsComeFirst) {
    C_SessionHarness h(withDictionary());
    auto& client = h.connect();
    client.open();
    EXPECT_EQ(client.request(cmd("set-input-line-limit", {{"limit", 4}})), json({{"ok", true}}));
    // "ho2k" and "a" are typed without popping: 4 elements are within the limit.
    for (const json& frame : type(client, "ho2ka"))
        EXPECT_EQ(frame, json({{"ok", true}, {"empty", false}}));
    EXPECT_EQ(client.exchange(cmd("insert-key", {{"key", "1"}})),
              (std::vector<json>{{{"event", "pop-front"},
                                  {"voc", HO},
                                  {"mode", "hant"},
                                  {"span-units", 3},
                                  {"words", 1},
                                  {"source-id", 4},
                                  {"weight", 5.0}},
                                 {{"ok", true}, {"empty", false}}}));
    EXPECT_EQ(layout(client), "ka1^");

    // A new limit replaces the old one; -1 is as good as none.
    EXPECT_EQ(client.request(cmd("set-input-line-limit", {{"limit", -1}})), json({{"ok", true}}));
    for (const json& frame : type(client, "ho2tai5ho2"))
        EXPECT_FALSE(frame.contains("event")) << frame;
    EXPECT_EQ(layout(client), "ka1ho2tai5ho2^");
    // 13 elements, one more than the new limit: the Tai-lo word goes, sent by its reading, after
    // the space the line puts between the Han word popped before and it.
    client.request(cmd("set-input-line-limit", {{"limit", 12}}));
    const auto frames = type(client, "a");
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0], json({{"event", "pop-front"},
                               {"voc", " "},
                               {"mode", ""},
                               {"span-units", 0},
                               {"words", 0},
                               {"source-id", 0},
                               {"weight", 0.0}}));
    EXPECT_EQ(frames[1], json({{"event", "pop-front"},
                               {"voc", "ka"},
                               {"mode", "tailo"},
                               {"span-units", 3},
                               {"words", 1},
                               {"source-id", 4},
                               {"weight", 3.0}}));
    EXPECT_EQ(frames[2], json({{"ok", true}, {"empty", false}}));
    EXPECT_EQ(layout(client), "ho2tai5ho2a^");
}

// No command makes the line hold more than 1024 elements.
TEST(InputLineCommands, TheLineHoldsAtMost1024Elements) {
    C_SessionHarness h;
    auto& client = h.connect();
    client.open();
    std::string keys;
    for (size_t i = 0; i < 1023; ++i)
        keys += i % 100 == 50 ? '|' : char('a' + i % 26);
    type(client, keys);
    EXPECT_EQ(client.request(cmd("insert-key", {{"key", "z"}})),
              json({{"ok", true}, {"empty", false}}));
    const json full = {{"ok", false},
                       {"error", "std::runtime_error: Input line limit reached: 1024"}};
    EXPECT_EQ(client.request(cmd("insert-key", {{"key", "z"}})), full);
    EXPECT_EQ(client.request(cmd("toggle-no-cross")), full);
    client.request(cmd("move-to", {{"pos", 10}}));
    EXPECT_EQ(client.request(cmd("insert-key", {{"key", "z"}})), full);
    EXPECT_EQ(client.request(cmd("get-input-line-size"))["result"], 1024);
    // A mark at the caret is removed, not added.
    client.request(cmd("move-to", {{"pos", 50}}));
    EXPECT_EQ(client.request(cmd("toggle-no-cross")), json({{"ok", true}, {"empty", false}}));
    EXPECT_EQ(client.request(cmd("get-input-line-size"))["result"], 1023);
    EXPECT_EQ(client.request(cmd("get-candidates-at-nail-pos",
                                 {{"type", "M"}, {"index", 0}, {"count", 1}}))["ok"],
              true);
}

}  // namespace
}  // namespace kov::test
