// Queries through the user layer over a small system dictionary: the lower layer's hits come
// first, the layer's own are added; voc2tailos reports its own readings first.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "engine/dict/user_db.h"
#include "fixtures/user_db_fixture.h"

namespace kov::test {
namespace {

using Strings = std::vector<std::string>;

// 甲 ká/kah, 台 tâi, 台灣 tâi-uân; exact key ka2; key arrays tai5 and tai5-uan5.
std::string systemTailo() {
    C_TailoFixture f;
    f.a = {{"ka2", {tRec("ká")}}, {"kah4", {hRec("甲")}}, {"tai5", {hRec("台")}}};
    f.b = {{"ka2", {tRec("ká", 3)}}};
    f.c = {{"tai5-uan5", {hRec("台灣", 2)}}};
    f.d = {{"甲", {"ká", "kah"}}, {"台", {"tâi"}}, {"台灣", {"tâi-uân"}}};
    return f.bytes();
}

std::vector<C_Candidate> candidates(const C_CompoUnit& unit) {
    auto span = unit.candidates();
    return std::vector<C_Candidate>(span.begin(), span.end());
}

class UserDbQuery : public ::testing::Test {
protected:
    UserDbQuery() : m_setup(std::nullopt, systemTailo()) {}
    void SetUp() override { m_db = &m_setup.open(); }

    const I_TailoDB& sys() const { return *m_setup.m_sys.m_db; }
    void addWord(const std::string& key, char type, const std::string& word, float weight = 0) {
        ASSERT_TRUE(m_db->addKeysToWord(key, type, word, weight, {}, 0));
    }
    void addVoc(const Strings& keys, char type, const std::string& word, float weight = 0) {
        ASSERT_TRUE(m_db->addKarrToVoc(keys, type, word, weight, {}, 0));
    }

    C_UserDbSetup m_setup;
    C_TestUserDB* m_db = nullptr;
};

TEST_F(UserDbQuery, CatsAndLoggerComeFromTheBottom) {
    EXPECT_EQ(&m_db->cats(), &sys().cats());
    EXPECT_EQ(&m_db->logger(), &sys().logger());
}

TEST_F(UserDbQuery, ExactKeysOfBothLayersMergeWhenEqual) {
    addWord("ka2", 'T', "ká",
            7.0f);  // the system's own Tai-lo word: merged, the user's source wins
    addWord("ka2", 'H', "乙", 1.0f);
    m_db->addHantTailo("乙", "ká");
    C_CompoUnit unit('K');
    m_db->addKeyVocs(unit, "ka2", true);
    const auto got = candidates(unit);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].m_readings, Strings{"Ká"});
    EXPECT_EQ(got[0].m_source, ST_USER_EXACT);
    EXPECT_EQ(got[0].m_weight, 7.0f);
    EXPECT_EQ(got[1].m_text, "乙");
    EXPECT_EQ(got[1].m_source, ST_USER_EXACT);
    EXPECT_EQ(got[1].m_count, 0);
    EXPECT_EQ(got[1].m_span, 3);
}

TEST_F(UserDbQuery, OwnReadingsComeFirstAndRepeatsStay) {
    addWord("kah4", 'H', "甲", 2.0f);
    m_db->addHantTailo("甲", "kah");
    Strings readings;
    m_db->voc2tailos("甲", [&](std::string_view r) { readings.emplace_back(r); });
    EXPECT_EQ(readings, (Strings{"kah", "ká", "kah"}));

    C_CompoUnit unit('k');
    m_db->addKeyVocs(unit, "kah4", false);
    ASSERT_EQ(unit.size(), 1u);
    EXPECT_EQ(unit.at(0)->m_readings, (Strings{"kah", "ká", "kah"}));
}

TEST_F(UserDbQuery, EmptyUserLayerAnswersAsTheSystem) {
    auto islandTexts = [](const I_TailoDB& db) {
        C_TypedLine line("tai5uan5");
        const auto first = line.syllable(0, 4, true);
        line.syllable(4, 4, false);
        db.getIslandVocs(line.consts(), *first, line.unitAt());
        std::vector<std::tuple<std::string, Strings, uint16_t, int>> out;
        for (const auto& c : candidates(line.unit(0)))
            out.emplace_back(c.m_text, c.m_readings, c.m_span, c.m_source);
        return out;
    };
    EXPECT_FALSE(islandTexts(sys()).empty());
    EXPECT_EQ(islandTexts(*m_db), islandTexts(sys()));
    Strings a, b;
    m_db->voc2tailos("甲", [&](std::string_view r) { a.emplace_back(r); });
    sys().voc2tailos("甲", [&](std::string_view r) { b.emplace_back(r); });
    EXPECT_EQ(a, b);
}

TEST_F(UserDbQuery, ToneLessSyllableFindsOwnWordsOfEveryTone) {
    addWord("ka1", 'T', "ka");
    addWord("ka3", 'T', "kà");
    addWord("kau2", 'T', "káu");  // goes on with a letter: not a tone of "ka"
    C_TypedLine line("ka");
    const auto isle = line.syllable(0, 2, true);
    m_db->getIslandVocs(line.consts(), *isle, line.unitAt());
    Strings own;
    for (const auto& c : candidates(line.unit(0))) {
        if (c.m_source != ST_USER_PREFIX)
            continue;
        own.push_back(c.m_readings.at(0));
        EXPECT_EQ(c.m_count, 1);
        EXPECT_EQ(c.m_span, 2);
    }
    EXPECT_EQ(own, (Strings{"ka", "kà"}));
}

TEST_F(UserDbQuery, WildcardWordMatchingOnlyTheFirstItemEndsWhereTheNextBegins) {
    addWord("ka1", 'T', "ka");
    C_TypedLine line("k?p?");
    const auto isle = line.wildcard(0, 4);
    m_db->getIslandVocs(line.consts(), *isle, line.unitAt());
    std::vector<std::pair<std::string, uint16_t>> own;
    for (const auto& c : candidates(line.unit(0)))
        if (c.m_source == ST_USER_WILDCARD)
            own.emplace_back(c.m_readings.at(0), c.m_span);
    EXPECT_EQ(own, (std::vector<std::pair<std::string, uint16_t>>{{"ka", 2}}));
}

TEST_F(UserDbQuery, KeyArrayWordsOfTheLayer) {
    addVoc({"tai5", "uan5"}, 'H', "臺灣", 4.0f);
    m_db->addHantTailo("臺灣", "Tâi-uân");
    addVoc({"tai5", "uan5", "lang5"}, 'T', "Tâi-uân-lâng");
    addVoc({"a1", "ma2"}, 'T', "a-má");  // rows of other first letters, before and after
    addVoc({"ua2", "tai5"}, 'T', "uá-tâi");
    C_TypedLine line("tai5uan5");
    const auto first = line.syllable(0, 4, true);
    line.syllable(4, 4, false);
    m_db->getIslandVocs(line.consts(), *first, line.unitAt());
    std::vector<std::tuple<std::string, uint16_t, int>> got;
    for (const auto& c : candidates(line.unit(0)))
        got.emplace_back(c.m_text, c.m_span, c.m_source);
    // Both layers' words, found alike (both syllables typed in full: exact finds).
    EXPECT_EQ(
        got,
        (std::vector<std::tuple<std::string, uint16_t, int>>{
            {"台灣", 8, ST_SYS_PREFIX}, {"台", 4, ST_SYS_PREFIX}, {"臺灣", 8, ST_USER_PREFIX}}));

    // Related choices: the layer's words that go on beyond the typed keys.
    C_TypedLine typed("tai5");
    const auto isle = typed.syllable(0, 4, true);
    std::vector<std::tuple<std::string, std::string, std::string>> related;
    m_db->getRelatedChoices(
        typed.consts(), *isle,
        [&](size_t pos, std::span<const C_SemiCandidate> cands, std::string_view text) {
            EXPECT_EQ(pos, 0u);
            ASSERT_EQ(cands.size(), 1u);
            related.emplace_back(cands[0].m_text, cands[0].m_readings.at(0), text);
        });
    EXPECT_EQ(related, (std::vector<std::tuple<std::string, std::string, std::string>>{
                           {"台灣", "tâi-uân", "uan5"},
                           {"臺灣", "Tâi-uân", "uan5"},
                           {"", "Tâi-uân-lâng", "uan5-lang5"}}));
}

TEST_F(UserDbQuery, RulesOfBothLayersAreVisited) {
    auto rule = std::make_shared<C_Rule>();
    rule->push_back(C_RuleElem{C_WordPat{"輸", {}, 1}, 1.0f});
    ASSERT_TRUE(m_db->addRule(rule));
    size_t visits = 0;
    m_db->visitWordRules("輸", {}, [&](const std::vector<C_RuleElem>&, size_t) { ++visits; });
    EXPECT_EQ(visits, 2u);  // the system's ad hoc rule and the user's
}

TEST_F(UserDbQuery, FaultsOfTheQueries) {
    {
        const auto lock = m_db->lockTables();
        C_TailoVoc odd;
        odd.type = '\x80';
        odd.word = "x";
        m_db->pool().keys2words["ka1"] = {odd};
    }
    C_CompoUnit unit('k');
    try {
        m_db->addKeyVocs(unit, "ka1", false);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unknown phrase mapped type: '\\x80'");
    }
    C_TypedLine line("ka");
    const auto isle = line.syllable(0, 2, true);
    try {
        m_db->getIslandVocs(line.consts(), *isle, [](size_t) -> C_CompoUnit* { return nullptr; });
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Null cu at 0");
    }
}

}  // namespace
}  // namespace kov::test
