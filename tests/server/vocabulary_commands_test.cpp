// The vocabulary commands through sessions, over a real user dictionary in a temporary folder:
// the result codes of the edits with the events each one sends (to every open session, the
// issuer's before its reply, none to an unopened client), the listing with its user vocabulary
// objects, orders and pages, counts, clearing, saving, and requests that must change nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "engine/Kelvaro/vocabulary_commands.h"
#include "engine/compose/learn_db.h"
#include "engine/dict/usage_stamp.h"
#include "engine/dict/user_db.h"
#include "fixtures/learn_db_fixture.h"
#include "tests/server/session_harness.h"
#include "tests/support/recording_learner.h"
#include "tests/support/scoped_env.h"

namespace kov::test {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

json ok() { return {{"ok", true}}; }
json result(json value) { return {{"ok", true}, {"result", std::move(value)}}; }
json failed(const std::string& error) { return {{"ok", false}, {"error", error}}; }
json changed(int kind) { return {{"event", "user-db-changed"}, {"kind", kind}}; }

json add(std::string hant, std::string tailo) {
    return command("add-user-voc", {{"hant", std::move(hant)}, {"tailo", std::move(tailo)}});
}
json erase(std::string hant, std::string tailo) {
    return command("erase-user-voc", {{"hant", std::move(hant)}, {"tailo", std::move(tailo)}});
}
json update(std::string hantOld, std::string tailoOld, std::string hantNew, std::string tailoNew) {
    return command("update-user-voc", {{"hant-old", std::move(hantOld)},
                                       {"tailo-old", std::move(tailoOld)},
                                       {"hant-new", std::move(hantNew)},
                                       {"tailo-new", std::move(tailoNew)}});
}
json list(std::string search = "", json order = json::array(), json index = 0, json count = 100) {
    return command("get-user-vocs", {{"search", std::move(search)},
                                     {"index", std::move(index)},
                                     {"count", std::move(count)},
                                     {"order", std::move(order)}});
}
json countOf(std::string search) {
    return command("get-count-of-user-vocs", {{"search", std::move(search)}});
}

// The "voc" members of a listing's reply, in order.
std::vector<std::string> words(const json& reply) {
    std::vector<std::string> out;
    for (const json& item : reply.at("result"))
        out.push_back(item.at("voc").get<std::string>());
    return out;
}

// An issuing session without an input line, another open one with a line, and a client that
// never opened: events go to the first two only.
struct S_Sessions {
    C_SessionHarness m_harness;
    C_SessionHarness::C_Client& m_issuer;
    C_SessionHarness::C_Client& m_other;
    C_SessionHarness::C_Client& m_unopened;

    explicit S_Sessions(C_SessionHarness::S_Options options = {})
        : m_harness(std::move(options)),
          m_issuer(m_harness.connect()),
          m_other(m_harness.connect()),
          m_unopened(m_harness.connect()) {
        EXPECT_EQ(m_issuer.open("no-ime"), ok());
        EXPECT_EQ(m_other.open("ime"), ok());
    }

    // The issuer's reply to request, after checking that the events before it were exactly
    // those of the given kinds and that the other open session received the same.
    json run(const json& request, const std::vector<int>& kinds) {
        std::vector<json> events;
        for (int kind : kinds)
            events.push_back(changed(kind));
        std::vector<json> frames = m_issuer.exchange(request);
        const json reply = frames.back();
        frames.pop_back();
        EXPECT_EQ(frames, events) << request.dump();
        if (events.empty())
            EXPECT_TRUE(m_other.silent(5ms)) << request.dump();
        else
            EXPECT_EQ(m_other.receive(events.size()), events) << request.dump();
        return reply;
    }

    ~S_Sessions() { EXPECT_TRUE(m_unopened.silent(5ms)); }
};

TEST(VocabularyCommands, EditsAnswerTheirResultCodesAndSendTheirEvents) {
    S_Sessions s;
    struct S_Case {
        json m_request;
        int m_result;
        std::vector<int> m_events;
    };
    const S_Case cases[] = {
        // A Han word of two syllables: its record, then its reading.
        {add("台灣", "Tâi-uân"), UVE_OK, {VOC_ADDED, HANT2TAILO_ADDED}},
        // Again: the record is refreshed, the reading told again.
        {add("台灣", "Tâi-uân"), UVE_OK, {VOC_ADDED, HANT2TAILO_ADDED}},
        // The same text in another case is a Tai-lo word: no reading.
        {add("KA", "ka"), UVE_OK, {VOC_ADDED}},
        // An empty Han text is given, so no argument error: a Tai-lo word.
        {add("", "kah"), UVE_OK, {VOC_ADDED}},
        {add("tâi", "tai5"), UVE_HANT_IS_TAILO, {}},
        {add("甲", ""), UVE_NO_SYLLABLE, {}},
        {add("甲", "kä"), UVE_NON_ASCII, {}},
        {add("甲", "xyz"), UVE_BAD_SYLLABLE, {}},
        {add(std::string("甲\0乙", 7), "kah"), UVE_REFUSED, {}},
        {add("甲", std::string("kah\0", 4)), UVE_REFUSED, {}},
        {erase("台灣", "Tâi-uân"), UVE_OK, {VOC_ERASED, HANT2TAILO_ERASED}},
        {erase("台灣", "Tâi-uân"), UVE_REFUSED, {}},
        {erase("tâi", "tai5"), UVE_HANT_IS_TAILO, {}},
        {erase("ka", "ka"), UVE_OK, {VOC_ERASED}},
        {update("乙", "it", "甲", "kah"), UVE_NOT_FOUND, {}},
        // The Tai-lo word "kah" becomes the Han word 甲 read kah.
        {update("", "kah", "甲", "kah"), UVE_OK, {VOC_ERASED, VOC_ADDED, HANT2TAILO_ADDED}},
        // Refused updates leave the old record (checked below) and tell nobody.
        {update("甲", "kah", "乙", ""), UVE_NO_SYLLABLE, {}},
        {update("甲", "kah", "tâi", "tai5"), UVE_HANT_IS_TAILO, {}},
        {update("甲", "kah", "乙", "xyz"), UVE_BAD_SYLLABLE, {}},
        {update("甲", "kah", std::string("乙\0", 4), "it"), UVE_REFUSED, {}},
        {update("甲", "kah", "乙", "ït"), UVE_NON_ASCII, {}},
        {update("tâi", "tai5", "乙", "it"), UVE_HANT_IS_TAILO, {}},
    };
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_request.dump());
        EXPECT_EQ(s.run(c.m_request, c.m_events), result(c.m_result));
    }
    const json listing = s.m_issuer.request(list());
    ASSERT_EQ(listing.at("result").size(), 1u);
    EXPECT_EQ(listing.at("result")[0].at("voc"), "甲");
    EXPECT_EQ(listing.at("result")[0].at("tailos"), json::array({"kah"}));
}

TEST(VocabularyCommands, WeightIsTakenOnlyFromAFloatingPointNumber) {
    S_Sessions s;
    struct S_Case {
        const char* m_syllable;
        json m_weight;  // null: no "weight" member
        int m_result;
        double m_stored;
    };
    const S_Case cases[] = {
        {"ba", 2.5, UVE_OK, 2.5},
        {"be", -0.25, UVE_OK, -0.25},
        {"bi", 2, UVE_OK, 0},
        {"bo", json(), UVE_OK, 0},
        {"bu", "2.5", UVE_OK, 0},
        {"ga", true, UVE_OK, 0},
        {"ge", 1e300, UVE_BAD_WEIGHT, 0},
        {"gi", -1e300, UVE_BAD_WEIGHT, 0},
    };
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_weight.dump());
        json request = add("", c.m_syllable);
        if (!c.m_weight.is_null())
            request["weight"] = c.m_weight;
        const std::vector<int> events =
            c.m_result == UVE_OK ? std::vector<int>{VOC_ADDED} : std::vector<int>{};
        EXPECT_EQ(s.run(request, events), result(c.m_result));
        const json listing = s.m_issuer.request(list(c.m_syllable));
        if (c.m_result != UVE_OK) {
            EXPECT_EQ(listing, result(json::array()));
            continue;
        }
        ASSERT_EQ(listing.at("result").size(), 1u);
        EXPECT_EQ(listing.at("result")[0].at("weight"), c.m_stored);
    }
}

TEST(VocabularyCommands, ArgumentErrorsAnswerTheirTextAndChangeNothing) {
    S_Sessions s;
    ASSERT_EQ(s.run(add("台灣", "Tâi-uân"), {VOC_ADDED, HANT2TAILO_ADDED}), result(UVE_OK));
    const json members = {{"hant", "台灣"}, {"tailo", "Tâi-uân"}};
    const json pairs = {{"hant-old", "台灣"},
                        {"tailo-old", "Tâi-uân"},
                        {"hant-new", "臺灣"},
                        {"tailo-new", "Tâi-uân"}};
    const auto without = [](json request, const char* member) {
        request.erase(member);
        return request;
    };
    const auto with = [](json request, const char* member, json value) {
        request[member] = std::move(value);
        return request;
    };
    struct S_Case {
        json m_request;
        std::string m_error;
    };
    const S_Case cases[] = {
        {command("add-user-voc"), "Missing hant"},
        {command("add-user-voc", without(members, "hant")), "Missing hant"},
        {command("add-user-voc", without(members, "tailo")), "Missing tailo"},
        {command("add-user-voc", with(members, "hant", 1)), "Missing hant"},
        {command("add-user-voc", with(members, "tailo", json::array({"ka"}))), "Missing tailo"},
        {command("erase-user-voc", without(members, "tailo")), "Missing tailo"},
        {command("erase-user-voc", with(members, "hant", nullptr)), "Missing hant"},
        {command("erase-learned-voc", without(members, "hant")), "Missing hant"},
        {command("update-user-voc"), "Missing hant-old"},
        {command("update-user-voc", without(pairs, "tailo-old")), "Missing tailo-old"},
        {command("update-user-voc", without(pairs, "hant-new")), "Missing hant-new"},
        {command("update-user-voc", without(pairs, "tailo-new")), "Missing tailo-new"},
        {command("update-user-voc", with(pairs, "tailo-new", 5)), "Missing tailo-new"},
        {command("get-user-vocs"), "Missing search string"},
        {without(list(), "search"), "Missing search string"},
        {with(list(), "search", 1), "Missing search string"},
        {with(list(), "search", std::string("ta\0i", 4)),
         "Invalid search string: it holds a NUL character"},
        {without(list(), "index"), "Missing index"},
        {with(list(), "index", 1.0), "Missing index"},
        {with(list(), "index", "1"), "Missing index"},
        {without(list(), "count"), "Missing count"},
        {with(list(), "count", 3.5), "Missing count"},
        {with(list(), "count", true), "Missing count"},
        {without(list(), "order"), "Missing order"},
        {list("", 5), "Missing order"},
        {list("", nullptr), "Missing order"},
        {list("", {{"type", 5}}), "Missing order"},
        {list("", "[5, true]"), "Missing order"},
        {list("", {5}), "Ill-formatted order"},
        {list("", {{5}}), "Ill-formatted order"},
        {list("", {true, 5}), "Ill-formatted order"},
        {list("", {5, true, 1}), "Ill-formatted order"},
        {list("", {5.0, true}), "Ill-formatted order"},
        {list("", {5, 1}), "Ill-formatted order"},
        {list("", {{5, true}, 7}), "Ill-formatted order"},
        {list("", {{5, true}, {2.5, false}}), "Ill-formatted order"},
        {list("", {{5, true}, {{2, false}}}), "Ill-formatted order"},
        {list("", {{5, true}, json::object()}), "Ill-formatted order"},
        {list("", {json::array(), json::array()}), "Ill-formatted order"},
        {command("get-count-of-user-vocs"), "Missing search string"},
        {command("get-count-of-user-vocs", {{"search", false}}), "Missing search string"},
        {countOf(std::string("\0", 1)), "Invalid search string: it holds a NUL character"},
    };
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_request.dump());
        EXPECT_EQ(s.run(c.m_request, {}), failed(c.m_error));
    }
    EXPECT_EQ(s.m_issuer.request(countOf("")), result(1));
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(1));
}

// A dictionary of 15 Tai-lo words of one syllable ("ba" to "pa") with weights, and two Han
// words with readings.
void fillDictionary(S_Sessions& s) {
    const char* const syllables[] = {"ba", "be", "bi", "bo", "bu", "ga", "ge", "gi",
                                     "go", "gu", "ka", "ke", "ki", "ko", "ku"};
    for (size_t i = 0; i < std::size(syllables); ++i) {
        json request = add("", syllables[i]);
        request["weight"] = static_cast<double>(i % 3) + 0.5;
        ASSERT_EQ(s.run(request, {VOC_ADDED}), result(UVE_OK));
    }
    ASSERT_EQ(s.run(add("台灣", "Tâi-uân"), {VOC_ADDED, HANT2TAILO_ADDED}), result(UVE_OK));
    ASSERT_EQ(s.run(add("大灣", "Tāi-uân"), {VOC_ADDED, HANT2TAILO_ADDED}), result(UVE_OK));
}

TEST(VocabularyCommands, UserVocabularyObjectHoldsExactlyItsMembers) {
    S_Sessions s;
    setNowForTest(1700000000);
    ASSERT_EQ(s.run(add("台灣", "Tâi-uân"), {VOC_ADDED, HANT2TAILO_ADDED}), result(UVE_OK));
    json request = add("", "Ka");
    request["weight"] = 1.5;
    ASSERT_EQ(s.run(request, {VOC_ADDED}), result(UVE_OK));
    setNowForTest(std::nullopt);

    const json listing = s.m_issuer.request(list());
    ASSERT_EQ(listing.at("result").size(), 2u);
    const std::string when = lastAccessText(1700000000);
    // Records of one key come before those of several.
    EXPECT_EQ(listing.at("result")[0], json({{"keys", "ka1"},
                                             {"mode", "tailo"},
                                             {"voc", "Ka"},
                                             {"tailos", json::array()},
                                             {"weight", 1.5},
                                             {"last-access", when}}));
    EXPECT_EQ(listing.at("result")[1], json({{"keys", "tai5-uan5"},
                                             {"mode", "hant"},
                                             {"voc", "台灣"},
                                             {"tailos", {"Tâi-uân"}},
                                             {"weight", 0.0},
                                             {"last-access", when}}));
    EXPECT_TRUE(listing.at("result")[1].at("weight").is_number_float());
    // Local time, as the machine's zone gives it.
    EXPECT_TRUE(std::regex_match(when, std::regex(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2})")))
        << when;
}

TEST(VocabularyCommands, LastAccessIsTheLocalTimeOfTheStamp) {
    struct S_Case {
        const char* m_zone;
        uint32_t m_stamp;
        const char* m_text;
    };
    const S_Case cases[] = {
        {"UTC0", 0, "1970/01/01 00:00:00"},           {"JST-9", 0, "1970/01/01 09:00:00"},
        {"JST-9", 1700000000, "2023/11/15 07:13:20"}, {"JST-9", 4294967295u, "2106/02/07 15:28:15"},
        {"UTC0", 4294967295u, "2106/02/07 06:28:15"},
    };
    for (const S_Case& c : cases) {
        SCOPED_TRACE(std::string(c.m_zone) + " " + std::to_string(c.m_stamp));
        const C_ScopedEnv zone("TZ", c.m_zone);
        EXPECT_EQ(lastAccessText(c.m_stamp), c.m_text);
    }
    const C_ScopedEnv zone("TZ", "JST-9");
    C_TailoVoc voc;
    voc.word = "甲";
    voc.type = 'H';
    voc.weight = 0.5f;
    voc.stamp = C_UsageStamp{3, 0};
    const std::vector<std::string> keys = {"kah4", "a1"};
    EXPECT_EQ(userVocToJson(C_Bikey(&keys), voc, {"kah-á"}),
              json({{"keys", "kah4-a1"},
                    {"mode", "hant"},
                    {"voc", "甲"},
                    {"tailos", {"kah-á"}},
                    {"weight", 0.5},
                    {"last-access", "1970/01/01 09:00:00"}}));
}

TEST(VocabularyCommands, ListingInAChosenOrder) {
    S_Sessions s;
    fillDictionary(s);
    struct S_Case {
        json m_order;
        std::vector<std::string> m_words;
    };
    const S_Case cases[] = {
        // Keys2words in key order, then karr2vocs.
        {json::array(),
         {"ba", "be", "bi", "bo", "bu", "ga", "ge", "gi", "go", "gu", "ka", "ke", "ki", "ko", "ku",
          "台灣", "大灣"}},
        // One pair: the heaviest first, equal weights in table order.
        {{5, true},
         {"bi", "ga", "go", "ke", "ku", "be", "bu", "gi", "ka", "ko", "ba", "bo", "ge", "gu", "ki",
          "台灣", "大灣"}},
        // Several items: the first that tells two entries apart decides.
        {{{1, true}, {5, false}, {2, true}},
         {"大灣", "台灣", "ki", "gu", "ge", "bo", "ba", "ko", "ka", "gi", "bu", "be", "ku", "ke",
          "go", "ga", "bi"}},
        // Elements after the first two are ignored; a type given again decides nothing more.
        {{{5, false, "x", 3}, {5, true}, {0, true}},
         {"大灣", "台灣", "ki", "gu", "ge", "bo", "ba", "ko", "ka", "gi", "bu", "be", "ku", "ke",
          "go", "ga", "bi"}},
    };
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_order.dump());
        EXPECT_EQ(words(s.m_issuer.request(list("", c.m_order))), c.m_words);
    }
    // A long list of pairs is read like the few distinct ones in it.
    json longOrder = json::array();
    for (int i = 0; i < 20000; ++i)
        longOrder.push_back({i % 2 ? 5 : 1, i % 3 == 0});
    EXPECT_EQ(words(s.m_issuer.request(list("", longOrder))),
              words(s.m_issuer.request(list("", {{1, true}, {5, false}}))));
}

TEST(VocabularyCommands, UnknownOrderTypeIsRefusedWithWhatTheClientSent) {
    S_Sessions s;
    fillDictionary(s);
    struct S_Case {
        std::string m_search;
        json m_order;
        json m_reply;
    };
    const S_Case cases[] = {
        {"", {7, true}, failed("Unknown order type: 7")},
        {"", {{2, true}, {7, false}}, failed("Unknown order type: 7")},
        {"", {-1, false}, failed("Unknown order type: 4294967295")},
        {"", {4294967303LL, false}, failed("Unknown order type: 7")},
        {"uân", {9, false}, failed("Unknown order type: 9")},
        // Refused alike when there is nothing to sort: no entry, or one.
        {"nothing", {7, true}, failed("Unknown order type: 7")},
        {"ka", {7, true}, failed("Unknown order type: 7")},
        // The first fault of the list is the one told.
        {"", {{8, true}, {2, "x"}}, failed("Unknown order type: 8")},
        {"", {{2, "x"}, {8, true}}, failed("Ill-formatted order")},
    };
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_search + " " + c.m_order.dump());
        EXPECT_EQ(s.m_issuer.request(list(c.m_search, c.m_order)), c.m_reply);
        // The same request fails the same way again: nothing was cached.
        EXPECT_EQ(s.m_issuer.request(list(c.m_search, c.m_order)), c.m_reply);
    }
    // The last known type still lists.
    EXPECT_EQ(words(s.m_issuer.request(list("ka", {6, true}))), std::vector<std::string>{"ka"});
}

TEST(VocabularyCommands, PagesStopAtTheEndOfTheList) {
    S_Sessions s;
    fillDictionary(s);
    const std::vector<std::string> all = words(s.m_issuer.request(list()));
    ASSERT_EQ(all.size(), 17u);
    const auto slice = [&all](size_t from, size_t to) {
        return std::vector<std::string>(all.begin() + from, all.begin() + to);
    };
    struct S_Case {
        json m_index;
        json m_count;
        std::vector<std::string> m_words;
    };
    const S_Case cases[] = {
        {0, 5, slice(0, 5)},
        {10, 10, slice(10, 17)},
        {16, 1, slice(16, 17)},
        {17, 1, {}},
        {100, 10, {}},
        {3, 0, {}},
        // A negative number is the largest size; a count that large lists to the end, an index
        // that large lists nothing.
        {3, -1, slice(3, 17)},
        {-1, 5, {}},
        {-1, -1, {}},
        {std::numeric_limits<uint64_t>::max(), 1, {}},
        {5, std::numeric_limits<uint64_t>::max(), slice(5, 17)},
        {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max(), {}},
    };
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_index.dump() + " " + c.m_count.dump());
        EXPECT_EQ(words(s.m_issuer.request(list("", json::array(), c.m_index, c.m_count))),
                  c.m_words);
    }
}

TEST(VocabularyCommands, SearchAndCountIgnoreLetterCase) {
    S_Sessions s;
    fillDictionary(s);
    struct S_Case {
        std::string m_search;
        size_t m_count;
    };
    const S_Case cases[] = {
        {"", 17},
        {"ka", 1},
        {"KA", 1},
        {"Ka", 1},
        {"a", 3},
        // Han words are found through their readings, tone marks counting.
        {"tâi", 1},
        {"TÂI", 1},
        {"tĀi", 1},
        {"UÂN", 2},
        {"-u", 2},
        {"台", 1},
        {"灣", 2},
        {"tai", 0},
        {"kah", 0},
        {"âI-U", 1},
    };
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_search);
        EXPECT_EQ(s.m_issuer.request(countOf(c.m_search)), result(c.m_count));
        EXPECT_EQ(s.m_issuer.request(list(c.m_search)).at("result").size(), c.m_count);
    }
    EXPECT_EQ(words(s.m_issuer.request(list("TÂI-UÂN"))), std::vector<std::string>{"台灣"});
    // A change shows in the next count.
    ASSERT_EQ(s.run(add("", "kap"), {VOC_ADDED}), result(UVE_OK));
    EXPECT_EQ(s.m_issuer.request(countOf("KA")), result(2));
}

TEST(VocabularyCommands, ClearingSendsItsEventsOnlyForWhatItEmptied) {
    S_Sessions s;
    const fs::path file = s.m_harness.userFolder() / "user-db.tab";
    EXPECT_EQ(s.run(command("clear-user-vocs"), {}), ok());
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(0));
    EXPECT_FALSE(fs::exists(file));

    ASSERT_EQ(s.run(add("", "ka"), {VOC_ADDED}), result(UVE_OK));
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(1));
    EXPECT_EQ(s.run(command("clear-user-vocs"), {VOC_ERASED}), ok());
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(1));

    fillDictionary(s);
    EXPECT_EQ(s.run(command("clear-user-vocs"), {VOC_ERASED, HANT2TAILO_ERASED}), ok());
    EXPECT_EQ(s.m_issuer.request(list()), result(json::array()));
    EXPECT_EQ(s.m_issuer.request(countOf("")), result(0));
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(1));
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(0));
    EXPECT_EQ(s.run(command("clear-user-vocs"), {}), ok());
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(0));
}

TEST(VocabularyCommands, SaveWritesOnlyAfterAChange) {
    S_Sessions s;
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(0));
    ASSERT_EQ(s.run(add("甲", "kah"), {VOC_ADDED, HANT2TAILO_ADDED}), result(UVE_OK));
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(1));
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(0));
    // Refusals change nothing, so nothing is written.
    ASSERT_EQ(s.run(erase("乙", "it"), {}), result(UVE_REFUSED));
    ASSERT_EQ(s.run(update("乙", "it", "丙", "piann"), {}), result(UVE_NOT_FOUND));
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(0));
    ASSERT_EQ(s.run(erase("甲", "kah"), {VOC_ERASED, HANT2TAILO_ERASED}), result(UVE_OK));
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(1));
}

// The server's database source with a learning dictionary of the test's own as its learner
// (or a learner that cannot erase, or none); saving reports the learning file in bit 1.
class C_SourceWithLearner final : public I_DBSource {
public:
    enum E_Learner { LEARNING_DICTIONARY, PLAIN_LEARNER, NO_LEARNER };

    C_SourceWithLearner(const I_TailoDB& sysDB, const fs::path& folder, E_Learner kind)
        : m_inner(makeDBSource(sysDB, folder)),
          m_learn(folder / "learned.tab", m_inner->userDB(), serverPolicy()),
          m_kind(kind) {}

    const I_TailoDB& tailoDB() override { return m_learn; }
    C_UserTailoDB& userDB() override { return m_inner->userDB(); }
    const I_Learner* learner() override {
        switch (m_kind) {
            case LEARNING_DICTIONARY:
                return &m_learn;
            case PLAIN_LEARNER:
                return &m_plain;
            case NO_LEARNER:
                break;
        }
        return nullptr;
    }
    unsigned saveAll() override { return m_inner->saveAll() | (m_learn.save() ? 2u : 0u); }

    C_TestLearnDB& learn() { return m_learn; }

private:
    std::unique_ptr<I_DBSource> m_inner;
    C_TestLearnDB m_learn;
    C_RecordingLearner m_plain;
    E_Learner m_kind;
};

C_SessionHarness::S_Options withLearner(C_SourceWithLearner::E_Learner kind,
                                        C_SourceWithLearner** made) {
    C_SessionHarness::S_Options options;
    options.makeSource = [kind, made](const I_TailoDB& sysDB, const fs::path& folder) {
        auto source = std::make_unique<C_SourceWithLearner>(sysDB, folder, kind);
        *made = source.get();
        return source;
    };
    return options;
}

TEST(VocabularyCommands, EraseLearnedVocErasesFromTheLearningDictionaryOnly) {
    C_SourceWithLearner* source = nullptr;
    S_Sessions s(withLearner(C_SourceWithLearner::LEARNING_DICTIONARY, &source));
    ASSERT_TRUE(source);
    C_CandiPool& learned = source->learn().pool();
    ASSERT_FALSE(learned.add_karray_to_voc({"tai5", "uan5"}, 'H', "台灣", 0, {}, 1).failed);
    learned.add_hant2tailo("台灣", "Tâi-uân");
    ASSERT_FALSE(learned.add_keys_to_word("ka1", 'T', "ka", 0, {}, 1).failed);
    // The same word in the user dictionary stays.
    ASSERT_EQ(s.run(add("台灣", "Tâi-uân"), {VOC_ADDED, HANT2TAILO_ADDED}), result(UVE_OK));
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(1));

    const auto eraseLearned = [](std::string hant, std::string tailo) {
        return command("erase-learned-voc",
                       {{"hant", std::move(hant)}, {"tailo", std::move(tailo)}});
    };
    struct S_Case {
        json m_request;
        int m_result;
    };
    const S_Case cases[] = {
        {eraseLearned("台灣", "Tâi-uân"), UVE_OK}, {eraseLearned("台灣", "Tâi-uân"), UVE_REFUSED},
        {eraseLearned("", "ka"), UVE_OK},          {eraseLearned("tâi", "tai5"), UVE_HANT_IS_TAILO},
        {eraseLearned("甲", ""), UVE_NO_SYLLABLE}, {eraseLearned("甲", "xyz"), UVE_BAD_SYLLABLE},
    };
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_request.dump());
        // The learning dictionary tells no one.
        EXPECT_EQ(s.run(c.m_request, {}), result(c.m_result));
    }
    EXPECT_TRUE(learned.karr2vocs.empty());
    EXPECT_TRUE(learned.keys2words.empty());
    EXPECT_TRUE(learned.hant2tailo.empty());
    EXPECT_EQ(s.m_issuer.request(countOf("")), result(1));
    // Only the learning dictionary changed.
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(2));
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(0));
}

TEST(VocabularyCommands, EraseLearnedVocWithoutALearningDictionaryIsAnError) {
    for (const auto kind : {C_SourceWithLearner::PLAIN_LEARNER, C_SourceWithLearner::NO_LEARNER}) {
        SCOPED_TRACE(static_cast<int>(kind));
        C_SourceWithLearner* source = nullptr;
        S_Sessions s(withLearner(kind, &source));
        EXPECT_EQ(s.run(command("erase-learned-voc", {{"hant", "台灣"}, {"tailo", "Tâi-uân"}}), {}),
                  failed("Learner database eraser not available"));
        // The texts are read first.
        EXPECT_EQ(s.run(command("erase-learned-voc", {{"hant", "台灣"}}), {}),
                  failed("Missing tailo"));
    }
}

TEST(VocabularyCommands, ARequestThatIsNotJsonEndsOnlyItsSessionAndChangesNothing) {
    S_Sessions s;
    ASSERT_EQ(s.run(add("", "ka"), {VOC_ADDED}), result(UVE_OK));
    auto& bad = s.m_harness.connect();
    ASSERT_EQ(bad.open("no-ime"), ok());
    // Texts in a request are UTF-8 or the request is no JSON text.
    std::string frame;
    appendFrame(frame, R"({"cmd":"add-user-voc","hant":")"
                       "\xFF"
                       R"(","tailo":"kah"})");
    appendFrame(frame, R"({"cmd":"get-count-of-user-vocs","search":"k)"
                       "\xC3"
                       R"("})");
    bad.sendRaw(frame);
    EXPECT_TRUE(bad.closedByServer());
    EXPECT_TRUE(bad.receive(1, 5ms).empty());
    EXPECT_TRUE(s.m_other.silent(5ms));
    EXPECT_EQ(s.m_issuer.request(countOf("")), result(1));
    EXPECT_EQ(s.m_issuer.request(command("save-user-db")), result(1));
}

}  // namespace
}  // namespace kov::test
