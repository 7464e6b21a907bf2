// The candidate and related-choice commands through in-process sessions over a small system
// dictionary: the candidate objects of the lists and of the committed words, nailing and its
// refusals, the pop-front events and where they stand, the related choices and their neutral
// answers, and replies that stay UTF-8 whatever the dictionary holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Kelvaro/voc_json.h"
#include "tests/server/line_commands_fixture.h"
#include "tests/server/session_harness.h"

namespace kov::test {
namespace {

using namespace line_commands;

json cmd(std::string_view name, json members = json::object()) {
    return command(name, std::move(members));
}

json list(const char* type, json index, json count) {
    return cmd("get-candidates-at-nail-pos",
               {{"type", type}, {"index", std::move(index)}, {"count", std::move(count)}});
}
json related(const char* type, json index, json count) {
    return cmd("get-related-choices",
               {{"type", type}, {"index", std::move(index)}, {"count", std::move(count)}});
}
json countOf(const char* type) { return cmd("get-candidate-count-at-nail-pos", {{"type", type}}); }
json relatedCount(const char* type) {
    return cmd("get-count-of-related-choices", {{"type", type}});
}
json nail(const char* type, json index) {
    return cmd("nail-candidate", {{"type", type}, {"index", std::move(index)}});
}
json insertRelated(const char* type, json index) {
    return cmd("insert-related-choice", {{"type", type}, {"index", std::move(index)}});
}

json result(json value) { return {{"ok", true}, {"result", std::move(value)}}; }

json candidate(std::string voc, json tailos, const char* mode, size_t pos, size_t span,
               size_t words, int source, double weight, bool isVirtual = false) {
    return {{"voc", voc},
            {"tailos", std::move(tailos)},
            {"mode", mode},
            {"pos", pos},
            {"span-units", span},
            {"words", words},
            {"half-shapes", halfshape_estimate_utf8(voc)},
            {"source-id", source},
            {"weight", weight},
            {"virtual", isVirtual}};
}

json popped(std::string voc, const char* mode, size_t span, size_t words, int source,
            double weight) {
    return {{"event", "pop-front"}, {"voc", std::move(voc)}, {"mode", mode},
            {"span-units", span},   {"words", words},        {"source-id", source},
            {"weight", weight}};
}

const json space = {{"event", "pop-front"}, {"voc", " "},     {"mode", ""},   {"span-units", 0},
                    {"words", 0},           {"source-id", 0}, {"weight", 0.0}};

// The candidate objects of the fixture's words, as typed alone.
const json TAI_READING = candidate("t\u00e2i", json::array(), "tailo", 0, 4, 1, 4, 5.0);
const json TAI_HAN = candidate(TAI, {"t\u00e2i"}, "hant", 0, 4, 1, 4, 5.0);

class CandidateCommands : public ::testing::Test {
protected:
    C_SessionHarness::C_Client& session(std::string_view typed = "") {
        auto& client = m_h.connect();
        client.open();
        type(client, typed);
        return client;
    }

    C_SessionHarness m_h{withDictionary()};
};

TEST_F(CandidateCommands, RefusedArgumentsAnswerTheFirstOneRefusedAndChangeNothing) {
    const auto refused = [](const char* text) { return json{{"ok", false}, {"error", text}}; };
    const struct {
        json request;
        const char* error;
    } cases[] = {
        {cmd("nail-candidate", {{"index", 0}}), "Missing type"},
        {cmd("nail-candidate", {{"type", "MT"}, {"index", 0}}), "Missing type"},
        {cmd("nail-candidate", {{"type", ""}, {"index", 0}}), "Missing type"},
        {cmd("nail-candidate", {{"type", 77}, {"index", 0}}), "Missing type"},
        {cmd("nail-candidate", {{"type", "\u00e9"}, {"index", 0}}), "Missing type"},
        {cmd("nail-candidate", {{"index", "x"}}), "Missing type"},
        {cmd("nail-candidate", {{"type", "M"}}), "Missing index"},
        {nail("M", 0.0), "Missing index"},
        {nail("M", "0"), "Missing index"},
        {cmd("get-candidates-at-nail-pos", {{"index", 0}, {"count", 1}}), "Missing type"},
        {cmd("get-candidates-at-nail-pos", {{"type", "HT"}, {"index", 0}, {"count", 1}}),
         "Missing type"},
        {cmd("get-candidates-at-nail-pos", {{"type", "M"}, {"count", 1}}), "Missing index"},
        {cmd("get-candidates-at-nail-pos", {{"type", "M"}, {"index", 0}}), "Missing count"},
        {list("M", 0, 2.0), "Missing count"},
        {list("M", 0, true), "Missing count"},
        {list("M", nullptr, "x"), "Missing index"},
        {cmd("get-candidate-count-at-nail-pos"), "Missing type"},
        {cmd("get-candidate-count-at-nail-pos", {{"type", nullptr}}), "Missing type"},
        {cmd("get-count-of-related-choices", {{"type", "MM"}}), "Missing type"},
        {cmd("get-related-choices", {{"type", "M"}, {"count", 1}}), "Missing index"},
        {related("M", 0, "1"), "Missing count"},
        {related("M", 0, 1.5), "Missing count"},
        {cmd("insert-related-choice", {{"index", 0}}), "Missing type"},
        {cmd("insert-related-choice", {{"type", "H"}}), "Missing index"},
        {insertRelated("H", -1.5), "Missing index"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.dump());
        auto& client = session("tai5");
        client.request(countOf("M"));
        client.request(relatedCount("H"));
        EXPECT_EQ(client.request(c.request), refused(c.error));
        EXPECT_EQ(layout(client), "tai5^");
        EXPECT_EQ(client.request(cmd("get-nail-position")), result(0));
        client.close();
    }
}

TEST_F(CandidateCommands, ListsAtTheNailPosition) {
    const json taiList = {TAI_READING, TAI_HAN};
    const struct {
        const char* what;
        const char* typed;
        json request;
        json reply;
    } cases[] = {
        {"nothing typed", "", list("M", 0, 10), result(json::array())},
        {"nothing typed, count", "", countOf("M"), result(0)},
        {"the whole list", "tai5", list("M", 0, -1), result(taiList)},
        {"count -1 from index 1", "tai5", list("M", 1, -1), result({TAI_HAN})},
        {"count 1", "tai5", list("M", 0, 1), result({TAI_READING})},
        {"count 0", "tai5", list("M", 0, 0), result(json::array())},
        {"index past the list", "tai5", list("M", 2, 5), result(json::array())},
        {"index -1", "tai5", list("M", -1, 1), result(json::array())},
        {"no list of type X", "tai5", list("X", 0, 10), result(json::array())},
        {"Han list", "tai5", list("H", 0, 10), result({TAI_HAN})},
        {"Tai-lo list", "tai5", list("T", 0, 10), result({TAI_READING})},
        {"count M", "tai5", countOf("M"), result(2)},
        {"count H", "tai5", countOf("H"), result(1)},
        {"count X", "tai5", countOf("X"), result(0)},
        {"caret at 0: no list", "tai5", list("M", 0, 10), result(json::array())},
        // Two words open: the rest of the line first, as one Tai-lo and one Han candidate.
        {"whole-line candidates", "ho2tai5", list("M", 0, 3),
         result({candidate("h\u00f3 t\u00e2i", json::array(), "tailo", 0, 7, 2, 0, 0.0, true),
                 candidate(HO + TAI, {"h\u00f3 t\u00e2i"}, "hant", 0, 7, 2, 0, 0.0, true),
                 candidate("h\u00f3", json::array(), "tailo", 0, 3, 1, 4, 5.0)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto& client = session(c.typed);
        if (std::string_view(c.what).starts_with("caret at 0"))
            client.request(cmd("move-home"));
        EXPECT_EQ(client.request(c.request), c.reply);
        client.close();
    }
}

TEST_F(CandidateCommands, TheToneNumberedModeShowsOneCandidate) {
    auto& client = session();
    client.request(cmd("toggle-composition-mode"));
    type(client, "tai5");
    EXPECT_EQ(client.request(countOf("M")), result(1));
    // The keys left out of the rime show as typed; the rime is spelled with its tone mark.
    EXPECT_EQ(client.request(list("M", 0, 10)),
              result({candidate("t \u00e2i", json::array(), "tailo", 0, 4, 1, 0, 0.0, true)}));
}

TEST_F(CandidateCommands, NailingAndItsRefusals) {
    auto& client = session("ho2tai5");
    // Right after typing the line is dirty; a list never counted or viewed cannot be nailed.
    EXPECT_EQ(client.request(nail("M", 2)), result(false));
    EXPECT_EQ(client.request(nail("M", 2)), result(false));
    EXPECT_EQ(client.request(countOf("M")), result(4));
    EXPECT_EQ(client.request(nail("T", 0)), result(false));
    EXPECT_EQ(client.request(nail("M", 4)), result(false));
    EXPECT_EQ(client.request(nail("M", -1)), result(false));
    EXPECT_EQ(client.request(cmd("get-nail-position")), result(0));
    // Entry 2 is the reading of the first word.
    EXPECT_EQ(client.request(nail("M", 2)), result(true));
    EXPECT_EQ(client.request(nail("M", 0)), result(false));  // dirty again
    EXPECT_EQ(client.request(cmd("get-nail-position")), result(3));
    EXPECT_EQ(client.request(cmd("get-confirmed-candidates")),
              result({candidate("h\u00f3", json::array(), "tailo", 0, 3, 1, 4, 5.0),
                      candidate(" ", json::array(), "", 3, 0, 0, 0, 0.0, true),
                      candidate(TAI, {"t\u00e2i"}, "hant", 3, 4, 1, 4, 5.0)}));
    EXPECT_EQ(client.request(list("M", 0, 10)),
              result({candidate("t\u00e2i", json::array(), "tailo", 3, 4, 1, 4, 5.0),
                      candidate(TAI, {"t\u00e2i"}, "hant", 3, 4, 1, 4, 5.0)}));
    EXPECT_EQ(client.request(nail("M", 1)), result(true));
    EXPECT_EQ(client.request(cmd("done-nailing")), result(true));
}

TEST_F(CandidateCommands, CommittedWordsWithMarksSpacesAndHiddenHyphens) {
    auto& client = session("ho2-ho2|ka1ka1");
    // The hyphen between the Han words is folded away; a Tai-lo word of no Han text shows by
    // its reading.
    EXPECT_EQ(client.request(cmd("get-confirmed-candidates")),
              result({candidate(HO, {"h\u00f3"}, "hant", 0, 3, 1, 4, 5.0),
                      candidate(HO, {"h\u00f3"}, "hant", 4, 3, 1, 4, 5.0),
                      candidate("", json::array(), "segment", 7, 1, 0, 0, 0.0),
                      candidate(" ", json::array(), "", 8, 0, 0, 0, 0.0, true),
                      candidate("", {"ka"}, "tailo", 8, 3, 1, 4, 3.0),
                      candidate(" ", json::array(), "", 11, 0, 0, 0, 0.0, true),
                      candidate("", {"ka"}, "tailo", 11, 3, 1, 4, 3.0)}));
}

TEST_F(CandidateCommands, PopFrontEventsComeBeforeTheReply) {
    auto& client = session("ho2-ho2|ka1ka1");
    const struct {
        std::vector<json> events;
        size_t span;
        bool empty;
    } pops[] = {
        {{popped(HO, "hant", 3, 1, 4, 5.0)}, 3, false},
        {{}, 1, false},  // the hidden hyphen: no event
        {{popped(HO, "hant", 3, 1, 4, 5.0)}, 3, false},
        // The mark goes with the word after it; the Tai-lo word is sent by its reading.
        {{space, popped("ka", "tailo", 3, 1, 4, 3.0)}, 4, false},
        {{space, popped("ka", "tailo", 3, 1, 4, 3.0)}, 3, true},
        {{}, 0, true},
    };
    for (const auto& p : pops) {
        std::vector<json> expected = p.events;
        expected.push_back({{"ok", true}, {"result", p.span}, {"empty", p.empty}});
        EXPECT_EQ(client.exchange(cmd("pop-front")), expected);
    }
    EXPECT_TRUE(client.silent());
}

TEST_F(CandidateCommands, AWordPoppedAfterNailingIsSentAsNailed) {
    auto& client = session("ka1tai5");
    client.request(countOf("M"));
    ASSERT_EQ(client.request(list("M", 2, 1)),
              result({candidate("ka", json::array(), "tailo", 0, 3, 1, 4, 3.0)}));
    EXPECT_EQ(client.request(nail("M", 2)), result(true));
    EXPECT_EQ(client.exchange(cmd("pop-front")),
              (std::vector<json>{popped("ka", "tailo", 3, 1, 4, 3.0),
                                 {{"ok", true}, {"result", 3}, {"empty", false}}}));
    EXPECT_EQ(client.exchange(cmd("pop-front")),
              (std::vector<json>{space,
                                 popped(TAI, "hant", 4, 1, 4, 5.0),
                                 {{"ok", true}, {"result", 4}, {"empty", true}}}));
}

// After a punctuation mark every pop, even of an empty line, sends a space; clearing the line
// forgets the mark.
TEST_F(CandidateCommands, SpacesAfterAPoppedPunctuationMark) {
    auto& client = session();
    client.request(cmd("toggle-full-shape-symbols"));
    type(client, "ka1!");
    const json bang = popped("!", "", 1, 0, 0, 0.0);
    EXPECT_EQ(client.exchange(cmd("pop-front")).size(), 2u);
    EXPECT_EQ(client.exchange(cmd("pop-front")),
              (std::vector<json>{bang, {{"ok", true}, {"result", 1}, {"empty", true}}}));
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(client.exchange(cmd("pop-front")),
                  (std::vector<json>{space, {{"ok", true}, {"result", 0}, {"empty", true}}}));
    client.request(cmd("clear-input-line"));
    EXPECT_EQ(client.exchange(cmd("pop-front")),
              (std::vector<json>{{{"ok", true}, {"result", 0}, {"empty", true}}}));
}

TEST_F(CandidateCommands, PopFrontEventsGoToThePoppingSessionOnly) {
    auto& other = session("ho2");
    auto& client = session("ho2");
    EXPECT_EQ(client.exchange(cmd("pop-front")).size(), 2u);
    EXPECT_TRUE(other.silent());
}

TEST_F(CandidateCommands, RelatedChoicesAfterTheLastWord) {
    const json all = {{UAN + LANG, "hant", 4}, {"-u\u00e2n-l\u00e2ng", "tailo", 9},
                      {UAN, "hant", 2},        {"-u\u00e2n", "tailo", 4},
                      {PAK, "hant", 2},        {"-pak", "tailo", 4}};
    const struct {
        const char* what;
        const char* typed;
        json request;
        json reply;
    } cases[] = {
        {"count M", "tai5", relatedCount("M"), result(6)},
        {"count H", "tai5", relatedCount("H"), result(3)},
        {"count T", "tai5", relatedCount("T"), result(3)},
        {"any other type lists as M", "tai5", relatedCount("X"), result(6)},
        {"all of M", "tai5", related("M", 0, -1), result(all)},
        {"a page", "tai5", related("M", 1, 2), result({all[1], all[2]})},
        {"past the list", "tai5", related("M", 6, 2), result(json::array())},
        {"count 0", "tai5", related("M", 0, 0), result(json::array())},
        {"Han only", "tai5", related("H", 0, 10), result({all[0], all[2], all[4]})},
        {"after the last word, not the first", "ho2tai5", relatedCount("M"), result(6)},
        {"toneless keys", "tai", relatedCount("H"), result(3)},
        // Where there are none: the neutral answers.
        {"empty line: count", "", relatedCount("M"), result(0)},
        {"empty line: list", "", related("M", 0, 10), result(json::array())},
        {"empty line: insert", "", insertRelated("M", 0), result(false)},
        {"last word a raw key: count", "tai5,", relatedCount("M"), result(0)},
        {"last word a raw key: list", "tai5,", related("M", 0, 10), result(json::array())},
        {"last word spelled from its keys", "tai5ko1", relatedCount("M"), result(0)},
        {"a no-cross mark last", "tai5|", relatedCount("M"), result(0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto& client = session(c.typed);
        EXPECT_EQ(client.request(c.request), c.reply);
        client.close();
    }
}

TEST_F(CandidateCommands, NoRelatedChoicesWithTheCaretBeforeTheEndOrInTheToneNumberedMode) {
    for (const json& move : {cmd("move-back"), cmd("toggle-composition-mode")}) {
        SCOPED_TRACE(move.dump());
        auto& client = session("tai5");
        client.request(cmd("get-nail-position"));
        client.request(move);
        const std::string before = layout(client);
        EXPECT_EQ(client.request(relatedCount("M")), result(0));
        EXPECT_EQ(client.request(related("M", 0, 10)), result(json::array()));
        EXPECT_EQ(client.request(insertRelated("M", 0)), result(false));
        EXPECT_EQ(layout(client), before);
        client.close();
    }
}

TEST_F(CandidateCommands, InsertingARelatedChoice) {
    auto& client = session("tai5");
    // Right after a key the line is dirty: nothing happens.
    EXPECT_EQ(client.request(insertRelated("H", 1)), result(false));
    EXPECT_EQ(layout(client), "tai5^");
    // After a query it is inserted: its keys are typed and the word is nailed.
    EXPECT_EQ(client.request(relatedCount("H")), result(3));
    EXPECT_EQ(client.request(insertRelated("H", 3)), result(false));  // past the list
    EXPECT_EQ(client.request(insertRelated("H", 1)), result(true));
    EXPECT_EQ(layout(client), "tai5uan5^");
    EXPECT_EQ(client.request(cmd("done-nailing")), result(true));
    EXPECT_EQ(client.request(cmd("get-confirmed-candidates")),
              result({candidate(TAI + UAN, {"t\u00e2i-u\u00e2n"}, "hant", 0, 8, 2, 4, 10.0)}));

    // By its reading, after an open word that is nailed first.
    auto& second = session("ho2tai5");
    EXPECT_EQ(second.request(related("T", 0, 10)), result({{"-u\u00e2n-l\u00e2ng", "tailo", 9},
                                                           {"-u\u00e2n", "tailo", 4},
                                                           {"-pak", "tailo", 4}}));
    EXPECT_EQ(second.request(insertRelated("T", 2)), result(true));
    EXPECT_EQ(layout(second), "ho2tai5pak4^");
    EXPECT_EQ(second.request(cmd("get-confirmed-candidates")),
              result({candidate("h\u00f3", json::array(), "tailo", 0, 3, 1, 4, 5.0),
                      candidate(" ", json::array(), "", 3, 0, 0, 0, 0.0, true),
                      candidate("t\u00e2i-pak", json::array(), "tailo", 3, 8, 2, 4, 8.0)}));
}

// Typing the choice's keys pops words off the front when the line is over the front end's limit:
// their events come before the reply, and the word is still nailed where its keys went.
TEST_F(CandidateCommands, ARelatedChoiceTypedOverTheLimitPopsWordsAndStaysInPlace) {
    auto& client = session();
    client.request(cmd("set-input-line-limit", {{"limit", 7}}));
    type(client, "ho2tai5");
    EXPECT_EQ(client.request(relatedCount("H")), result(3));
    EXPECT_EQ(client.exchange(insertRelated("H", 1)),
              (std::vector<json>{popped(HO, "hant", 3, 1, 4, 5.0), result(true)}));
    EXPECT_EQ(layout(client), "tai5uan5^");
    EXPECT_EQ(client.request(cmd("get-confirmed-candidates")),
              result({candidate(TAI + UAN, {"t\u00e2i-u\u00e2n"}, "hant", 0, 8, 2, 4, 10.0)}));
}

TEST_F(CandidateCommands, ARelatedChoiceThatDoesNotFitTheLineChangesNothing) {
    auto& client = session();
    std::string keys;
    while (keys.size() < 1017)
        keys += "ho2";
    type(client, keys + "tai5");
    ASSERT_EQ(client.request(cmd("get-input-line-size")), result(1021));
    EXPECT_EQ(client.request(relatedCount("H")), result(3));
    EXPECT_EQ(
        client.request(insertRelated("H", 1)),
        json({{"ok", false}, {"error", "std::runtime_error: Input line limit reached: 1024"}}));
    EXPECT_EQ(client.request(cmd("get-input-line-size")), result(1021));
    EXPECT_EQ(client.request(cmd("get-nail-position")), result(0));
}

// A damaged dictionary may hold words that are not UTF-8: every reply and event is still UTF-8,
// with U+FFFD for the bad bytes.
TEST(CandidateCommandsOverADamagedDictionary, RepliesStayUtf8) {
    const std::string cut = "\xe5\x8f";  // a Han character without its last byte
    C_TailoFixture fx;
    fx.a["ko1"] = {hRec(cut, 3)};
    fx.a["tai5"] = {hRec(TAI, 5)};
    fx.c["tai5-ko1"] = {hRec(TAI + cut, 9)};
    fx.d[cut] = {"ko"};
    fx.d[TAI] = {"t\u00e2i"};
    fx.d[TAI + cut] = {"t\u00e2i-ko"};
    C_SessionHarness::S_Options options;
    options.tailoBytes = fx.bytes();
    C_SessionHarness h(options);
    auto& client = h.connect();
    client.open();
    // The frames as sent; the harness reads each as JSON too, which fails on bytes that are not
    // UTF-8.
    const auto exchange = [&](const json& request, size_t n) {
        client.send(request);
        const std::vector<std::string> frames = client.receiveFrames(n);
        EXPECT_EQ(frames.size(), n);
        return frames;
    };
    const std::string replacement = "\xef\xbf\xbd";
    for (char k : std::string("tai5"))
        exchange(cmd("insert-key", {{"key", std::string(1, k)}}), 1);
    const auto relatedReply = exchange(related("H", 0, -1), 1);
    EXPECT_NE(relatedReply.at(0).find(replacement), std::string::npos) << relatedReply.at(0);
    exchange(cmd("clear-input-line"), 1);
    for (char k : std::string("ko1"))
        exchange(cmd("insert-key", {{"key", std::string(1, k)}}), 1);
    for (const json& query : {list("M", 0, -1), cmd("get-confirmed-candidates")}) {
        const auto reply = exchange(query, 1);
        EXPECT_NE(reply.at(0).find(replacement), std::string::npos) << reply.at(0);
    }
    const auto popping = exchange(cmd("pop-front"), 2);
    EXPECT_EQ(json::parse(popping.at(0)), popped(replacement, "hant", 3, 1, 4, 3.0));
}

}  // namespace
}  // namespace kov::test
