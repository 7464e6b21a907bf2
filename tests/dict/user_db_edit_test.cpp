#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <thread>
#include <string>
#include <vector>

#include "engine/dict/user_db.h"
#include "fixtures/user_db_fixture.h"

namespace kov::test {
namespace {

using Keys = std::vector<std::string>;
using Changes = std::vector<E_UserTailoChange>;

class UserDbEdit : public ::testing::Test {
protected:
    void SetUp() override {
        setNowForTest(5000);
        m_db = &m_setup.open();
        m_db->addListener(1, [this](E_UserTailoChange c) { m_changes.push_back(c); });
    }
    void TearDown() override {
        m_setup.close();
        setNowForTest(std::nullopt);
    }

    E_UserVocError add(const std::string& hant, const std::string& tailo, float weight = 0,
                       std::vector<uint8_t> cats = {}, uint32_t count = 0) {
        C_HantTailoAttr attr;
        if (const E_UserVocError r = classifyHantTailo(hant, tailo, attr))
            return r;
        return m_db->addUserVoc(hant, tailo, attr, weight, cats, count);
    }
    E_UserVocError erase(const std::string& hant, const std::string& tailo) {
        C_HantTailoAttr attr;
        if (const E_UserVocError r = classifyHantTailo(hant, tailo, attr))
            return r;
        return m_db->eraseUserVoc(hant, tailo, attr);
    }
    const C_CandiPool& pool() const { return m_db->lockTables().candiPool(); }
    C_CapturePolicy& log() { return m_setup.m_sys.m_policy; }

    C_UserDbSetup m_setup;
    C_UserTailoDB* m_db = nullptr;
    Changes m_changes;
};

TEST(ClassifyHantTailo, TypeAndText) {
    struct Case {
        std::string hant, tailo;
        E_UserVocError result;
        char type;
        std::string text;
    };
    const Case cases[] = {
        {"台", "tâi", UVE_OK, 'H', "台"},          {"", "tâi", UVE_OK, 'T', "tâi"},
        {"TÂI", "tÂi", UVE_OK, 'T', "tÂi"},         // equal but for ASCII case
        {"Tâi", "tai5", UVE_HANT_IS_TAILO, 0, ""},  // the Han text is Tai-lo itself
        {"台x", "tâi", UVE_OK, 'H', "台x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hant);
        C_HantTailoAttr attr;
        EXPECT_EQ(classifyHantTailo(c.hant, c.tailo, attr), c.result);
        EXPECT_EQ(attr.type, c.type);
        EXPECT_EQ(attr.text, c.text);
    }
}

TEST_F(UserDbEdit, AddUserVocFilesOneKeyAndKeyArrayWords) {
    EXPECT_EQ(add("台", "tâi", 1.5f, {2}, 4), UVE_OK);
    EXPECT_EQ(m_changes, (Changes{VOC_ADDED, HANT2TAILO_ADDED}));
    const C_TailoVoc& v = pool().keys2words.at("tai5").at(0);
    EXPECT_EQ(v.type, 'H');
    EXPECT_EQ(v.word, "台");
    EXPECT_EQ(v.weight, 1.5f);
    EXPECT_EQ(v.cats, (std::vector<uint8_t>{2}));
    EXPECT_EQ(v.stamp, (C_UsageStamp{4, 5000}));
    EXPECT_EQ(pool().hant2tailo.at("台"), Keys{"tâi"});

    m_changes.clear();
    EXPECT_EQ(add("Tâi-uân", "tâi-uân"), UVE_OK);  // equal but for case: a Tai-lo word
    EXPECT_EQ(m_changes, Changes{VOC_ADDED});
    EXPECT_EQ(pool().karr2vocs.at(Keys{"tai5", "uan5"}).at(0).type, 'T');
    EXPECT_EQ(pool().hant2tailo.count("Tâi-uân"), 0u);
    EXPECT_TRUE(m_db->dirty());
}

TEST_F(UserDbEdit, AddUserVocRefusals) {
    struct Case {
        std::string hant, tailo;
        E_UserVocError result;
        const char* log;
    };
    const Case cases[] = {
        {"tsit", "tsi̍t", UVE_HANT_IS_TAILO, nullptr},
        {"台", "", UVE_NO_SYLLABLE, nullptr},
        {"台", "- ,", UVE_NO_SYLLABLE, nullptr},
        {"台", "t中i", UVE_NON_ASCII, "Tailo-to-keys error(1) at "},
        {"台", "xq", UVE_BAD_SYLLABLE, "Tailo-to-keys error(2) at xq"},
        {"台", std::string("ta\0i", 4), UVE_REFUSED, nullptr},
        {std::string("台\0灣", 7), "tâi", UVE_REFUSED, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tailo);
        log().clear();
        EXPECT_EQ(add(c.hant, c.tailo), c.result);
        if (c.log) {
            EXPECT_TRUE(log().contains(c.log, 1));
        }
    }
    EXPECT_TRUE(m_changes.empty());
    EXPECT_TRUE(pool().keys2words.empty());
    EXPECT_TRUE(pool().karr2vocs.empty());
    EXPECT_TRUE(pool().hant2tailo.empty());
    EXPECT_FALSE(m_db->dirty());
}

TEST_F(UserDbEdit, TableOperationsNotifyOnlyWhenTheyChangeSomething) {
    EXPECT_FALSE(m_db->addKeysToWord("ta", 'T', "ta", 0, {}, 0));
    EXPECT_TRUE(log().contains("Failed to add keys to word: Invalid tailo keys: \"ta\"", 1));
    EXPECT_FALSE(m_db->addKarrToVoc({"ta1"}, 'T', "ta", 0, {}, 0));
    EXPECT_TRUE(log().contains("Failed to add key array to voc: ", 1));
    EXPECT_FALSE(m_db->eraseWord("ta1", 'T', "ta"));
    EXPECT_FALSE(m_db->eraseVoc({"ta1", "ta2"}, 'T', "ta"));
    EXPECT_FALSE(m_db->eraseHantTailo("台", "tâi"));
    EXPECT_FALSE(m_db->addRule(nullptr));
    EXPECT_TRUE(m_changes.empty());

    m_db->addHantTailo("台", "tâi");
    m_db->addHantTailo("台", "tâi");  // already there: still a change notice
    m_db->addHantTailo("台", "");     // refused: nothing to tell
    EXPECT_EQ(m_changes, (Changes{HANT2TAILO_ADDED, HANT2TAILO_ADDED}));
    m_changes.clear();

    auto rule = std::make_shared<C_Rule>();
    rule->push_back(C_RuleElem{C_WordPat{"台", {}, 1}, 2.0f});
    EXPECT_TRUE(m_db->addRule(rule));
    EXPECT_TRUE(m_db->eraseHantTailo("台", "tâi"));
    EXPECT_TRUE(m_db->addKeysToWord("ta1", 'T', "ta", 0, {}, 0));
    EXPECT_TRUE(m_db->eraseWord("ta1", 'T', "ta"));
    EXPECT_EQ(m_changes, (Changes{RULE_ADDED, HANT2TAILO_ERASED, VOC_ADDED, VOC_ERASED}));
}

TEST_F(UserDbEdit, EraseUserVoc) {
    ASSERT_EQ(add("台灣", "Tâi-uân"), UVE_OK);
    m_changes.clear();
    EXPECT_EQ(erase("台灣", "Tâi-tiong"), UVE_REFUSED);  // other keys: no such record
    EXPECT_EQ(erase("臺灣", "Tâi-uân"), UVE_REFUSED);
    EXPECT_TRUE(m_changes.empty());
    EXPECT_EQ(erase("台灣", "Tâi-uân"), UVE_OK);
    EXPECT_EQ(m_changes, (Changes{VOC_ERASED, HANT2TAILO_ERASED}));
    EXPECT_TRUE(pool().karr2vocs.empty());
    EXPECT_TRUE(pool().hant2tailo.empty());
}

TEST_F(UserDbEdit, FindUserVoc) {
    ASSERT_EQ(add("台", "tâi", 3.0f), UVE_OK);
    ASSERT_EQ(add("台灣", "Tâi-uân"), UVE_OK);
    std::optional<C_TailoVoc> seen;
    auto keep = [&](const C_TailoVoc& v) { seen = v; };
    EXPECT_FALSE(m_db->findUserVoc({}, 'H', "台", keep));
    EXPECT_FALSE(m_db->findUserVoc({"tai5"}, 'T', "台", keep));
    EXPECT_FALSE(seen);
    EXPECT_TRUE(m_db->findUserVoc({"tai5"}, 'H', "台", keep));
    EXPECT_EQ(seen->weight, 3.0f);
    EXPECT_TRUE(m_db->findUserVoc({"tai5", "uan5"}, 'H', "台灣", keep));
    EXPECT_EQ(seen->word, "台灣");
    EXPECT_THROW(m_db->findUserVoc({"tai5"}, 'H', "台", {}), std::bad_function_call);
}

TEST_F(UserDbEdit, UpdateMovesTheRecordKeepingItsWeightCategoriesAndCount) {
    ASSERT_EQ(add("台", "tâi", 2.5f, {3}, 6), UVE_OK);
    setNowForTest(6000);
    m_changes.clear();
    EXPECT_EQ(m_db->updateUserVoc("台", "tâi", "臺", "tāi"), UVE_OK);
    EXPECT_EQ(m_changes, (Changes{VOC_ERASED, HANT2TAILO_ERASED, VOC_ADDED, HANT2TAILO_ADDED}));
    EXPECT_EQ(pool().keys2words.count("tai5"), 0u);
    const C_TailoVoc& v = pool().keys2words.at("tai7").at(0);
    EXPECT_EQ(v.word, "臺");
    EXPECT_EQ(v.weight, 2.5f);
    EXPECT_EQ(v.cats, (std::vector<uint8_t>{3}));
    EXPECT_EQ(v.stamp, (C_UsageStamp{6, 6000}));
    EXPECT_EQ(pool().hant2tailo.at("臺"), Keys{"tāi"});
    EXPECT_EQ(pool().hant2tailo.count("台"), 0u);
}

TEST_F(UserDbEdit, UpdateThatCannotStoreTheNewPairChangesNothing) {
    ASSERT_EQ(add("台", "tâi", 2.5f), UVE_OK);
    m_changes.clear();
    struct Case {
        std::string hantOld, tailoOld, hantNew, tailoNew;
        E_UserVocError result;
    };
    const Case cases[] = {
        {"台", "tāi", "臺", "tāi", UVE_NOT_FOUND},
        {"tsit", "tâi", "臺", "tāi", UVE_HANT_IS_TAILO},
        {"台", "tâi", "tsit", "tāi", UVE_HANT_IS_TAILO},
        {"台", "", "臺", "tāi", UVE_NO_SYLLABLE},
        {"台", "xq", "臺", "tāi", UVE_BAD_SYLLABLE},
        {"台", "tâi", "臺", "", UVE_NO_SYLLABLE},
        {"台", "tâi", "臺", "xq", UVE_BAD_SYLLABLE},
        {"台", "tâi", "臺", "t中i", UVE_NON_ASCII},
        {"台", "tâi", "臺", std::string("tāi\0", 5), UVE_REFUSED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tailoNew);
        EXPECT_EQ(m_db->updateUserVoc(c.hantOld, c.tailoOld, c.hantNew, c.tailoNew), c.result);
        ASSERT_EQ(pool().keys2words.size(), 1u);
        EXPECT_EQ(pool().keys2words.at("tai5").at(0).weight, 2.5f);
        EXPECT_EQ(pool().hant2tailo.at("台"), Keys{"tâi"});
    }
    EXPECT_TRUE(m_changes.empty());
}

TEST_F(UserDbEdit, ClearingEmptiesTheTablesThenTellsListenersAndKeepsRules) {
    m_db->clearUserVocs();
    EXPECT_TRUE(m_changes.empty());
    EXPECT_FALSE(m_db->dirty());

    ASSERT_EQ(add("台", "tâi"), UVE_OK);
    auto rule = std::make_shared<C_Rule>();
    rule->push_back(C_RuleElem{C_WordPat{"台", {}, 1}, 2.0f});
    ASSERT_TRUE(m_db->addRule(rule));
    m_changes.clear();
    size_t wordsSeen = 0;
    m_db->addListener(2, [&](E_UserTailoChange) { wordsSeen = pool().keys2words.size(); });
    m_db->clearUserVocs();
    EXPECT_EQ(m_changes, (Changes{VOC_ERASED, HANT2TAILO_ERASED}));
    EXPECT_EQ(wordsSeen, 0u);  // a listener sees the change made
    EXPECT_TRUE(pool().emptyOfVocs());
    EXPECT_TRUE(pool().hant2tailo.empty());
    EXPECT_EQ(m_db->lockTables().ruleTable().size(), 1u);
    EXPECT_EQ(m_db->countUserVocs(""), 0u);
}

TEST_F(UserDbEdit, ListenersRunInOrderAndCanBeRemoved) {
    std::vector<int> order;
    m_db->addListener(7, [&](E_UserTailoChange) { order.push_back(7); });
    m_db->addListener(8, [&](E_UserTailoChange) { order.push_back(8); });
    m_db->addHantTailo("台", "tâi");
    EXPECT_EQ(order, (std::vector<int>{7, 8}));
    EXPECT_TRUE(m_db->removeListener(7));
    EXPECT_FALSE(m_db->removeListener(7));
    m_db->addHantTailo("台", "tâi");
    EXPECT_EQ(order, (std::vector<int>{7, 8, 8}));
}

TEST_F(UserDbEdit, ListenerThatThrowsReachesTheCallerAfterTheChange) {
    m_db->addListener(9, [](E_UserTailoChange) { throw std::runtime_error("listener broke"); });
    EXPECT_THROW(m_db->addKeysToWord("ta1", 'T', "ta", 0, {}, 0), std::runtime_error);
    EXPECT_EQ(pool().keys2words.count("ta1"), 1u);
    // The high-level operations catch it, log it and answer 9.
    EXPECT_EQ(add("台", "tâi"), UVE_EXCEPTION);
    EXPECT_TRUE(log().contains("addUserVoc() caught std::runtime_error: listener broke", 1));
    EXPECT_EQ(erase("", "ta"), UVE_EXCEPTION);
    EXPECT_TRUE(log().contains("eraseUserVoc() caught std::runtime_error: listener broke", 1));
    // The lock was released on the way out.
    std::thread other([&] { EXPECT_EQ(m_db->countUserVocs(""), 1u); });
    other.join();
}

TEST_F(UserDbEdit, ClearingWithAListenerThatThrowsStillEmptiesTheTables) {
    ASSERT_EQ(add("台", "tâi"), UVE_OK);
    ASSERT_TRUE(m_db->save());
    m_db->addListener(9, [](E_UserTailoChange) { throw std::runtime_error("listener broke"); });
    EXPECT_THROW(m_db->clearUserVocs(), std::runtime_error);
    EXPECT_TRUE(pool().emptyOfVocs());
    EXPECT_TRUE(pool().hant2tailo.empty());
    EXPECT_EQ(m_db->countUserVocs(""), 0u);
    EXPECT_TRUE(m_db->dirty());  // the next save writes the emptied tables
}

TEST_F(UserDbEdit, EmptyListenerRaisesBadFunctionCall) {
    m_db->addListener(10, {});
    EXPECT_THROW(m_db->addHantTailo("台", "tâi"), std::bad_function_call);
}

}  // namespace
}  // namespace kov::test
