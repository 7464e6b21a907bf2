#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "engine/dict/user_db.h"
#include "fixtures/user_db_fixture.h"

namespace kov::test {
namespace {

using Words = std::vector<std::string>;
using Orders = std::vector<C_UserVocOrder>;

// Five records in table order: 甲 (kah4), 台 and Tâi (tai5), 台灣 (tai5-uan5), tsi̍t-ê (tsit8-e5).
class UserDbSearch : public ::testing::Test {
protected:
    void SetUp() override {
        m_db = &m_setup.open();
        add("台", "tâi", 1.0f, 300);
        add("", "Tâi", 3.0f, 0xFFFFFFF0u);  // a stamp beyond 2038 in signed terms
        add("台灣", "Tâi-uân", 3.0f, 100);
        add("", "tsi̍t-ê", std::numeric_limits<float>::quiet_NaN(), 200);
        add("甲", "kah", -1.0f, 10);
        m_db->addHantTailo("台", "tāi");  // keys tai7: not a reading of the record under tai5
    }
    void TearDown() override {
        m_setup.close();
        setNowForTest(std::nullopt);
    }

    void add(const std::string& hant, const std::string& tailo, float weight, uint32_t time) {
        setNowForTest(time);
        C_HantTailoAttr attr;
        ASSERT_EQ(classifyHantTailo(hant, tailo, attr), UVE_OK);
        ASSERT_EQ(m_db->addUserVoc(hant, tailo, attr, weight, {}, 0), UVE_OK);
    }

    Words list(std::string_view search, const Orders& orders = {}, size_t index = 0,
               size_t count = std::numeric_limits<size_t>::max()) {
        Words words;
        m_db->visitUserVocs(search, orders, index, count,
                            [&](const C_Bikey&, const C_TailoVoc& v,
                                const std::vector<std::string>&) { words.push_back(v.word); });
        return words;
    }

    C_UserDbSetup m_setup;
    C_UserTailoDB* m_db = nullptr;
};

TEST_F(UserDbSearch, EmptySearchListsEveryRecordInTableOrder) {
    EXPECT_EQ(m_db->countUserVocs(""), 5u);
    EXPECT_EQ(list(""), (Words{"甲", "台", "Tâi", "台灣", "tsi̍t-ê"}));
}

TEST_F(UserDbSearch, SearchIgnoresCaseButNotToneMarks) {
    const Words tai{"台", "Tâi", "台灣"};
    EXPECT_EQ(list("tâi"), tai);
    EXPECT_EQ(list("TÂI"), tai);
    EXPECT_EQ(list("tÂi"), tai);
    EXPECT_EQ(m_db->countUserVocs("TÂI"), 3u);
    EXPECT_EQ(list("tai"), Words{});        // the tone mark counts
    EXPECT_EQ(list("uÂn"), Words{"台灣"});  // a piece of a Han word's reading
    EXPECT_EQ(list("灣"), Words{"台灣"});
    EXPECT_EQ(list("tāi"), Words{});  // a reading whose keys are not the record's keys
}

TEST_F(UserDbSearch, ItemsCarryTheirKeyAndMatchingReadings) {
    std::vector<std::pair<std::string, Words>> seen;
    m_db->visitUserVocs(
        "", {}, 0, 5,
        [&](const C_Bikey& key, const C_TailoVoc&, const std::vector<std::string>& t) {
            seen.emplace_back(bikeyText(key), t);
        });
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0], (std::pair<std::string, Words>{"kah4", {"kah"}}));
    EXPECT_EQ(seen[1], (std::pair<std::string, Words>{"tai5", {"tâi"}}));
    EXPECT_EQ(seen[2], (std::pair<std::string, Words>{"tai5", {}}));
    EXPECT_EQ(seen[3], (std::pair<std::string, Words>{"tai5-uan5", {"Tâi-uân"}}));
}

TEST_F(UserDbSearch, Paging) {
    EXPECT_EQ(list("", {}, 3, 10), (Words{"台灣", "tsi̍t-ê"}));
    EXPECT_EQ(list("", {}, 1, 2), (Words{"台", "Tâi"}));
    EXPECT_EQ(list("", {}, 4, 1), Words{"tsi̍t-ê"});
    EXPECT_EQ(list("", {}, 5, 1), Words{});
    EXPECT_EQ(list("", {}, 99, 1), Words{});
    EXPECT_EQ(list("", {}, 0, 0), Words{});
    EXPECT_EQ(list("", {}, std::numeric_limits<size_t>::max(), 3), Words{});
    EXPECT_EQ(list("", {}, 2, std::numeric_limits<size_t>::max()),
              (Words{"Tâi", "台灣", "tsi̍t-ê"}));
}

TEST_F(UserDbSearch, SortsByEachOrder) {
    struct Case {
        const char* name;
        Orders orders;
        Words want;
    };
    const Case cases[] = {
        {"keys", {{ORDER_BY_KEYS, false}}, {"甲", "台", "Tâi", "台灣", "tsi̍t-ê"}},
        {"keys desc", {{ORDER_BY_KEYS, true}}, {"tsi̍t-ê", "台灣", "台", "Tâi", "甲"}},
        {"key count desc", {{ORDER_BY_KEY_COUNT, true}}, {"台灣", "tsi̍t-ê", "甲", "台", "Tâi"}},
        // Letters after other characters, tone-marked letters after a-z, a prefix first.
        {"word", {{ORDER_BY_WORD, false}}, {"台", "台灣", "甲", "tsi̍t-ê", "Tâi"}},
        {"word length", {{ORDER_BY_WORD_LENGTH, false}}, {"甲", "台", "台灣", "Tâi", "tsi̍t-ê"}},
        // A Tai-lo record sorts by its own word.
        {"tailo", {{ORDER_BY_TAILO, false}}, {"甲", "tsi̍t-ê", "台", "Tâi", "台灣"}},
        {"weight", {{ORDER_BY_WEIGHT, false}}, {"甲", "台", "Tâi", "台灣", "tsi̍t-ê"}},
        // Heaviest first, equal weights in table order, NaN still last.
        {"weight desc", {{ORDER_BY_WEIGHT, true}}, {"Tâi", "台灣", "台", "甲", "tsi̍t-ê"}},
        // Stamps compare as unsigned seconds: 0xFFFFFFF0 is the latest.
        {"time", {{ORDER_BY_TIME, false}}, {"甲", "台灣", "tsi̍t-ê", "台", "Tâi"}},
        {"time desc", {{ORDER_BY_TIME, true}}, {"Tâi", "台", "tsi̍t-ê", "台灣", "甲"}},
        {"chain",
         {{ORDER_BY_KEY_COUNT, false}, {ORDER_BY_WEIGHT, true}},
         {"Tâi", "台", "甲", "台灣", "tsi̍t-ê"}},
        {"chain reversed",
         {{ORDER_BY_WEIGHT, true}, {ORDER_BY_KEY_COUNT, true}},
         {"台灣", "Tâi", "台", "甲", "tsi̍t-ê"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(list("", c.orders), c.want);
        EXPECT_EQ(list("", c.orders, 1, 2), (Words{c.want[1], c.want[2]}));  // the cached copy
    }
}

TEST_F(UserDbSearch, WordWithAnIllFormedDescriptionSequenceSortsAsWidthZero) {
    add("\xE2\xBF\xB0", "ta", 0.0f, 500);  // U+2FF0 without its two operands
    EXPECT_EQ(list("", {{ORDER_BY_WORD_LENGTH, false}}),
              (Words{"\xE2\xBF\xB0", "甲", "台", "台灣", "Tâi", "tsi̍t-ê"}));
}

TEST_F(UserDbSearch, UnknownOrderTypeFailsEveryTimeWhenThereIsSomethingToSort) {
    const Orders bad{{ORDER_BY_KEYS, false}, {7, false}};
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            list("", bad);
            ADD_FAILURE() << "no exception";
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), "Unknown order type: 7");
        }
    }
    EXPECT_EQ(list("甲", bad), Words{"甲"});  // one item: nothing to sort, types not examined
}

TEST_F(UserDbSearch, ChangesDropTheCaches) {
    EXPECT_EQ(m_db->countUserVocs("tâi"), 3u);
    EXPECT_EQ(list("tâi", {{ORDER_BY_WEIGHT, true}}), (Words{"Tâi", "台灣", "台"}));
    add("臺", "tâi", 9.0f, 400);
    EXPECT_EQ(m_db->countUserVocs("tâi"), 4u);
    EXPECT_EQ(list("tâi", {{ORDER_BY_WEIGHT, true}}), (Words{"臺", "Tâi", "台灣", "台"}));
    ASSERT_TRUE(m_db->eraseWord("tai5", 'T', "Tâi"));
    EXPECT_EQ(m_db->countUserVocs("tâi"), 3u);
}

TEST_F(UserDbSearch, ManySearchesAndOrdersStayRight) {
    // More searches and order lists than the caches keep: the answers stay the same.
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 40; ++i) {
            std::string search = "x";
            search += std::to_string(i);
            EXPECT_EQ(m_db->countUserVocs(search), 0u);
        }
        EXPECT_EQ(m_db->countUserVocs("tâi"), 3u);
        for (uint32_t t = 0; t <= ORDER_BY_TIME; ++t)
            for (const bool desc : {false, true})
                EXPECT_EQ(list("", {{t, desc}}).size(), 5u);
        EXPECT_EQ(list("", {{ORDER_BY_WEIGHT, true}}),
                  (Words{"Tâi", "台灣", "台", "甲", "tsi̍t-ê"}));
    }
}

TEST_F(UserDbSearch, VisitorMayEraseTheRecordsItIsShown) {
    // Erasing drops the caches and frees the records; the listing goes on with what it showed.
    Words seen;
    const Orders byWeight{{ORDER_BY_WEIGHT, true}};
    m_db->visitUserVocs(
        "", byWeight, 0, 5,
        [&](const C_Bikey& key, const C_TailoVoc& v, const std::vector<std::string>&) {
            seen.push_back(v.word);
            if (const auto* k = std::get_if<const std::string*>(&key))
                EXPECT_TRUE(m_db->eraseWord(**k, v.type, v.word));
            else
                EXPECT_TRUE(m_db->eraseVoc(*std::get<const std::vector<std::string>*>(key), v.type,
                                           v.word));
        });
    EXPECT_EQ(seen, (Words{"Tâi", "台灣", "台", "甲", "tsi̍t-ê"}));
    EXPECT_EQ(m_db->countUserVocs(""), 0u);
}

TEST_F(UserDbSearch, EmptyCallbackRaisesBadFunctionCall) {
    EXPECT_THROW(m_db->visitUserVocs("", {}, 0, 1, {}), std::bad_function_call);
}

}  // namespace
}  // namespace kov::test
