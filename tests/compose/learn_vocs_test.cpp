// The counting steps of learning, on the test thread: approval and promotion of the words the
// user keeps committing, disapproval of the words passed over, ripening of rules, Tai-lo spelled
// from the keys learned as words, and the trim to the limits.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/compose/job_fixture.h"

namespace kov::test {
namespace {

using ::testing::ElementsAre;

const std::string kTsiann = "tsi\u00e2nn";
const std::string kHo = "h\u00f3";

// A word of a user layer, as the dictionaries offer it.
C_Candidate userWord(std::string text, std::vector<std::string> readings, uint16_t span = 1,
                     float weight = 1) {
    return withReadings(cand(std::move(text), span, weight, ST_USER_EXACT, 1), std::move(readings));
}

// Tai-lo spelled from tone-numbered keys.
C_Candidate spelled(std::string reading, uint16_t span = 1) {
    return withReadings(cand("", span, 0, ST_SPELLED, 1), {std::move(reading)});
}

C_Candidate rawKey(std::string key) { return cand(std::move(key), 1, 0, ST_RAW_KEY); }

// Every word and key-array record of the pool: "key=type:word#count" in table order.
std::string poolText(const C_CandiPool& pool) {
    std::string out;
    const auto entry = [&out](const std::string& key, const C_CandiPool::Vocs& vocs) {
        if (!out.empty())
            out += ' ';
        out += key;
        out += '=';
        out += vocsText(&vocs);
    };
    for (const auto& [key, vocs] : pool.keys2words)
        entry(key, vocs);
    for (const auto& [keys, vocs] : pool.karr2vocs) {
        std::string k;
        for (const std::string& s : keys) {
            if (!k.empty())
                k += '-';
            k += s;
        }
        entry(k, vocs);
    }
    return out;
}

class LearnVocs : public ::testing::Test {
protected:
    LearnVocs() { setNowForTest(5000); }
    ~LearnVocs() override { setNowForTest(std::nullopt); }

    C_TestLearnDB& db() { return m_setup.learn(); }
    C_RefusingUserDB& user() { return m_setup.user(); }
    void plantWord(const std::string& key, char type, const std::string& word, uint32_t count,
                   float weight = 1) {
        db().pool().keys2words[key].push_back(C_TailoVoc{word, {}, weight, type, {count, 100}});
    }
    void plantVoc(const std::vector<std::string>& keys, char type, const std::string& word,
                  uint32_t count) {
        db().pool().karr2vocs[keys].push_back(C_TailoVoc{word, {}, 2, type, {count, 100}});
    }
    // Learns a line of one unit per candidate, which the engine composes as the user did.
    void learnAgreeing(const std::vector<C_Candidate>& words) {
        C_TestLine line(std::string(words.size(), 'k'));
        for (size_t i = 0; i < words.size(); ++i)
            line.add(i, words[i]);
        C_InputLineSnapshot job = commit(line);
        db().learnJob(job);
    }
    bool userHas(const std::vector<std::string>& keys, char type, const std::string& word,
                 uint32_t* count = nullptr) {
        return user().findUserVoc(keys, type, word, [&](const C_TailoVoc& v) {
            if (count)
                *count = v.stamp.count;
        });
    }

    C_LearnSetup m_setup;
};

TEST_F(LearnVocs, AWordRipensAtItsThirdApprovalAndMovesToTheUserDictionary) {
    struct C_Case {
        uint32_t before;
        std::string after;  // the learning table's entry afterwards
        bool promoted;
    };
    for (const C_Case& c : {C_Case{0, "T:" + kTsiann + "#1", false},
                            C_Case{1, "T:" + kTsiann + "#2", false}, C_Case{2, "", true}}) {
        C_LearnSetup setup;
        setup.learn().pool().keys2words["tsiann5"].push_back(
            C_TailoVoc{kTsiann, {}, 1.5f, 'T', {c.before, 100}});
        C_TestLine line("k");
        line.add(0, userWord("", {kTsiann}));
        C_InputLineSnapshot job = commit(line);
        setup.learn().learnJob(job);

        EXPECT_EQ(wordsAt(setup.learn().pool(), "tsiann5"), c.after) << c.before;
        EXPECT_EQ(setup.learn().pool().keys2words.count("tsiann5"), c.promoted ? 0u : 1u);
        if (!c.promoted) {
            EXPECT_EQ(setup.learn().pool().keys2words.at("tsiann5")[0].stamp.time, 5000u);
        }
        uint32_t count = 99;
        float weight = 0;
        EXPECT_EQ(setup.user().findUserVoc({"tsiann5"}, 'T', kTsiann,
                                           [&](const C_TailoVoc& v) {
                                               count = v.stamp.count;
                                               weight = v.weight;
                                           }),
                  c.promoted);
        if (c.promoted) {
            EXPECT_EQ(count, 0u);
            EXPECT_EQ(weight, 1.5f);
        }
        EXPECT_TRUE(setup.learn().dirty());
    }
}

TEST_F(LearnVocs, AWordTheLearningTableDoesNotHoldIsNeitherCountedNorPromoted) {
    learnAgreeing({userWord("", {kTsiann})});
    EXPECT_EQ(poolText(db().pool()), "");
    EXPECT_FALSE(db().dirty());
    EXPECT_FALSE(userHas({"tsiann5"}, 'T', kTsiann));
}

TEST_F(LearnVocs, AHanWordTakesAlongTheReadingsOfItsOwnKeys) {
    const std::string han = "\u53f0\u7063";
    plantVoc({"tai5", "uan5"}, 'H', han, 2);
    db().pool().hant2tailo[han] = {"T\u00e2i-u\u00e2n", "t\u00e2i-u\u00e2n", "t\u0101i-uan"};
    learnAgreeing({userWord(han, {"T\u00e2i-u\u00e2n"}, 1)});

    EXPECT_EQ(vocsAt(db().pool(), {"tai5", "uan5"}), "");
    EXPECT_TRUE(userHas({"tai5", "uan5"}, 'H', han));
    EXPECT_THAT(user().pool().hant2tailo.at(han),
                ElementsAre("T\u00e2i-u\u00e2n", "t\u00e2i-u\u00e2n"));
    EXPECT_THAT(db().pool().hant2tailo.at(han), ElementsAre("t\u0101i-uan"));
}

TEST_F(LearnVocs, ANailedWordIsApprovedAsItsChosenReading) {
    const std::string han = "\u6210";
    plantWord("sing5", 'T', "s\u00eeng", 0);
    plantWord("tsiann5", 'H', han, 0);
    C_Candidate c = userWord(han, {kTsiann, "s\u00eeng"});
    c.m_rank = RANK_NAILED;
    c.m_chosenReading = C_ChosenReading{1, true};
    learnAgreeing({c});
    EXPECT_EQ(poolText(db().pool()), "sing5=T:s\u00eeng#1 tsiann5=H:" + han + "#0");
}

TEST_F(LearnVocs, ARefusedPromotionStaysInTheLearningTable) {
    user().m_refuseWords = true;
    plantWord("tsiann5", 'T', kTsiann, 2);
    plantVoc({"tai5", "uan5"}, 'H', "\u53f0\u7063", 2);
    learnAgreeing({userWord("", {kTsiann}), userWord("\u53f0\u7063", {"T\u00e2i-u\u00e2n"})});
    EXPECT_EQ(poolText(db().pool()), "tsiann5=T:" + kTsiann + "#3 tai5-uan5=H:\u53f0\u7063#3");
    EXPECT_TRUE(m_setup.policy().contains(
        "Failed to upgrade ripe keys to word: tsiann5/" + kTsiann + " with type T", 1));
    EXPECT_TRUE(m_setup.policy().contains(
        "Failed to upgrade ripe karray to voc: tai5-uan5/\u53f0\u7063 with type H", 1));
}

TEST_F(LearnVocs, WordsOfTheUserLayersThatThePassedOverAreDisapproved) {
    const std::string good = "\u597d";
    plantWord("ho3", 'T', "h\u00f2", 0);    // count 0: erased
    plantWord("ho2", 'H', good, 2);         // count 2: one less
    plantWord("tsiann5", 'T', kTsiann, 1);  // inside the committed word
    plantWord("ho1", 'T', "ho", 4);         // the committed word itself: approved, ripe
    C_TestLine line("kk");
    line.add(0, userWord("", {"ho"}, 2, 9));
    line.add(0, userWord("", {"h\u00f2"}));
    line.add(0, userWord(good, {kHo}));
    line.add(0, withReadings(cand("", 1, 0, ST_USER_WILDCARD), {"abc?"}));
    line.add(0, withReadings(cand("\u7cfb", 1, 0, ST_SYS_EXACT), {kHo}));  // system: left alone
    line.add(1, userWord("", {kTsiann}));
    C_InputLineSnapshot job = commit(line);
    ASSERT_EQ(winnerText(job), "@0");
    db().learnJob(job);

    EXPECT_EQ(poolText(db().pool()), "ho2=H:" + good + "#1 ho3= tsiann5=T:" + kTsiann + "#0");
    EXPECT_TRUE(userHas({"ho1"}, 'T', "ho"));
    EXPECT_TRUE(m_setup.policy().contains("Non-Tailo \"abc?\" calling disapproveVoc_() 2/2", 1));
}

TEST_F(LearnVocs, RulesThatKeepMatchingRipenAndMoveToTheUserDictionary) {
    const C_Rule rule{C_RuleElem{C_WordPat{"W", {}, 0}, 0},
                      C_RuleElem{C_WordPat{"X", {}, 0}, 0.5f}};
    const std::string key = ruleKey(rule);
    ASSERT_TRUE(db().rules().insertRule(std::make_shared<C_Rule>(rule), C_UsageStamp{2, 100}));
    const auto learnMatching = [&] {
        C_TestLine line("kk");
        line.add(0, cand("W", 1, 1)).add(1, cand("X", 1, 1));
        C_InputLineSnapshot job = commit(line);
        job.m_ruleMatches[C_CandidateURL{1, line.find(1, "X")->key()}][C_RuleElemURL{key, 1}] =
            0.5f;
        job.m_ruleMatches[C_CandidateURL{1, line.find(1, "X")->key()}][C_RuleElemURL{"absent", 0}] =
            1;
        db().learnJob(job);
    };

    learnMatching();
    ASSERT_NE(db().rules().find(key), nullptr);
    EXPECT_EQ(db().rules().find(key)->stamp, (C_UsageStamp{3, 5000}));
    EXPECT_EQ(user().lockTables().ruleTable().find(key), nullptr);

    learnMatching();
    EXPECT_EQ(db().rules().find(key), nullptr);
    ASSERT_NE(user().lockTables().ruleTable().find(key), nullptr);
    EXPECT_EQ(ruleTexts(user().lockTables().ruleTable()),
              std::vector<std::string>{"W[0]{}/X[0]{}:+0.5"});
}

TEST_F(LearnVocs, ARipeRuleTheUserDictionaryRefusesKeepsItsCountAndIsOfferedAgain) {
    const C_Rule rule{C_RuleElem{C_WordPat{"X", {}, 0}, 1}};
    const std::string key = ruleKey(rule);
    ASSERT_TRUE(db().rules().insertRule(std::make_shared<C_Rule>(rule), C_UsageStamp{3, 100}));
    const auto learnMatching = [&] {
        C_TestLine line("k");
        line.add(0, cand("X", 1, 1));
        C_InputLineSnapshot job = commit(line);
        job.m_ruleMatches[C_CandidateURL{0, line.find(0, "X")->key()}][C_RuleElemURL{key, 0}] = 1;
        db().learnJob(job);
    };
    user().m_refuseRules = true;
    learnMatching();
    ASSERT_NE(db().rules().find(key), nullptr);
    EXPECT_EQ(db().rules().find(key)->stamp, (C_UsageStamp{4, 5000}));
    EXPECT_TRUE(m_setup.policy().contains("Failed to add ripe rule to the upper DB: X[0]{}:+1", 1));

    user().m_refuseRules = false;
    learnMatching();
    EXPECT_EQ(db().rules().find(key), nullptr);
    EXPECT_NE(user().lockTables().ruleTable().find(key), nullptr);
}

TEST_F(LearnVocs, TaiLoSpelledFromTheKeysIsLearnedAsWordsAndRunsOfThem) {
    const std::string han = "\u597d";
    struct C_Case {
        const char* name;
        std::vector<C_Candidate> words;
        std::string pool;
    };
    const C_Case cases[] = {
        {"two spelled words",
         {spelled(kTsiann), spelled(kHo)},
         "ho2=T:" + kHo + "#0 tsiann5=T:" + kTsiann + "#0 tsiann5-ho2=T:" + kTsiann + "-" + kHo +
             "#0"},
        {"a hyphen key between",
         {spelled(kTsiann), rawKey("-"), spelled(kHo)},
         "ho2=T:" + kHo + "#0 tsiann5=T:" + kTsiann + "#0 tsiann5-ho2=T:" + kTsiann + "-" + kHo +
             "#0"},
        {"a Han word between",
         {spelled(kTsiann), userWord(han, {kHo}), spelled(kHo)},
         "ho2=T:" + kHo + "#0 tsiann5=T:" + kTsiann + "#0"},
        {"one word and a trailing hyphen",
         {spelled(kTsiann), rawKey("-")},
         "tsiann5=T:" + kTsiann + "#0"},
        {"a Tai-lo word of a user layer in the run",
         {userWord("", {kTsiann}), spelled(kHo)},
         "ho2=T:" + kHo + "#0 tsiann5-ho2=T:" + kTsiann + "-" + kHo + "#0"},
        {"another raw key ends the run",
         {spelled(kTsiann), rawKey(","), spelled(kHo)},
         "ho2=T:" + kHo + "#0 tsiann5=T:" + kTsiann + "#0"},
    };
    for (const C_Case& c : cases) {
        C_LearnSetup setup;
        C_TestLine line(std::string(c.words.size(), 'k'));
        for (size_t i = 0; i < c.words.size(); ++i)
            line.add(i, c.words[i]);
        C_InputLineSnapshot job = commit(line);
        setup.learn().learnJob(job);
        EXPECT_EQ(poolText(setup.learn().pool()), c.pool) << c.name;
        EXPECT_TRUE(setup.learn().purgePending()) << c.name;
    }
}

TEST_F(LearnVocs, SpelledTextThatIsNoTaiLoIsLogged) {
    learnAgreeing({spelled("abc?")});
    EXPECT_EQ(poolText(db().pool()), "");
    EXPECT_TRUE(
        m_setup.policy().contains("Non-Tailo \"abc?\" calling m_candiPool.add_keys_to_word() or "
                                  "m_candiPool.add_karray_to_voc() for ADHOC_TAILO",
                                  1));
    EXPECT_FALSE(db().purgePending());
}

TEST_F(LearnVocs, ATrimWithinTheLimitsOnlyClearsThePendingFlag) {
    learnAgreeing({spelled(kTsiann)});
    ASSERT_TRUE(db().purgePending());
    ASSERT_TRUE(db().save());
    db().purge();
    EXPECT_FALSE(db().purgePending());
    EXPECT_FALSE(db().dirty());
    EXPECT_FALSE(m_setup.policy().contains("Purged"));
}

TEST_F(LearnVocs, ATrimKeepsTheTablesWithinTheLimitsWithoutCountingEmptyEntries) {
    m_setup.policy().setLimit(MAX_RULES, 1);
    m_setup.policy().setLimit(MAX_VOCS, 1);
    m_setup.policy().setLimit(MAX_WORDS, 2);
    // Two words and three entries that disapproval left empty: nothing real goes for those.
    plantWord("a1", 'T', "a", 5);
    plantWord("tsiann5", 'T', kTsiann, 0);
    for (const char* empty : {"ba1", "pa1", "ta1"})
        db().pool().keys2words[empty];
    plantVoc({"a1", "a1"}, 'T', "a-a", 0);
    plantVoc({"ba1", "ba1"}, 'T', "ba-ba", 3);
    for (const char* text : {"X", "Y"})
        db().rules().insertRule(
            std::make_shared<C_Rule>(C_Rule{C_RuleElem{C_WordPat{text, {}, 0}, 1}}),
            C_UsageStamp{0, 100});
    learnAgreeing({spelled(kTsiann)});  // known already: nothing new, a trim due
    ASSERT_TRUE(db().purgePending());
    ASSERT_TRUE(db().save());

    db().purge();
    EXPECT_EQ(poolText(db().pool()), "a1=T:a#5 tsiann5=T:" + kTsiann + "#0 ba1-ba1=T:ba-ba#3");
    EXPECT_EQ(db().rules().size(), 1u);
    EXPECT_TRUE(db().dirty());
    EXPECT_TRUE(m_setup.policy().contains("Purged 1 rules from learning DB", 3));
    EXPECT_TRUE(m_setup.policy().contains("Purged 1 vocs from learning DB", 3));
    EXPECT_FALSE(m_setup.policy().contains("words from learning DB"));
}

}  // namespace
}  // namespace kov::test
