// Learning end to end: an input line over a small system dictionary written per test, a real
// user dictionary and a real learning dictionary with the server's limits. The user types,
// nails and commits lines; the learner takes each committed line as the thread would (on the
// test thread, one job after the other, trimming when idle); what the next composition of the
// line chooses is what the user sees.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/compose/input_line.h"
#include "tests/compose/job_fixture.h"
#include "tests/compose/line_fixture.h"

namespace kov::test {
namespace {

using ::testing::UnorderedElementsAre;

const std::string kCheng = "\u6210";  // tsiânn, the engine's first choice
const std::string kTsing = "\u60c5";  // tsiânn, less weight
const std::string kHo = "\u597d";     // hó
const std::string kBo = "\u7121";     // bô

std::string systemTailo() {
    C_TailoFixture f;
    f.a = {{"tsiann5", {hRec(kCheng, 5), hRec(kTsing, 3)}}, {"ho2", {hRec(kHo, 5)}}};
    f.d = {{kCheng, {"tsi\u00e2nn"}},
           {kTsing, {"tsi\u00e2nn"}},
           {kHo, {"h\u00f3"}},
           {kBo, {"b\u00f4"}}};
    return f.bytes();
}

class LearnLine : public ::testing::Test {
protected:
    explicit LearnLine(std::string tailo = systemTailo()) : m_setup(tailo) { open(); }

    void open() {
        m_line.reset();
        m_line = std::make_unique<C_InputLine>(m_setup.learn());
    }
    // Types keys into an empty line and shows the winners.
    std::string typed(std::string_view keys) {
        type(*m_line, keys);
        return winnersText(*m_line);
    }
    // Chooses the entry with this text (a word's text, or a reading) from the mixed list at the
    // nail position, as the user choosing it would.
    void nail(const std::string& text) {
        const size_t n = m_line->getCandidateCountAtNailPos('M');
        std::string seen;
        size_t index = 0, found = n;
        m_line->getCandidatesAtNailPos('M', 0, n, [&](size_t, const C_VocCandidate& v) {
            if (found == n && v.m_text == text)
                found = index;
            seen += " " + v.m_text;
            ++index;
        });
        ASSERT_LT(found, n) << text << " not in" << seen;
        ASSERT_TRUE(m_line->nailCandidate('M', found));
    }
    // Commits the whole line: its words are popped off the front one by one, each pop handing
    // the line to the learner, which learns the jobs as its thread would.
    void commit() {
        while (m_line->popFront() > 0) {
        }
        m_line->clear();
        m_setup.learn().runQueuedJobs();
    }
    // Types, commits, and tells what the line showed.
    std::string typeAndCommit(std::string_view keys) {
        const std::string shown = typed(keys);
        commit();
        return shown;
    }
    C_TestLearnDB& learn() { return m_setup.learn(); }
    C_RefusingUserDB& user() { return m_setup.user(); }
    bool logged(std::string_view text) { return m_setup.policy().contains(text); }

    C_LearnSetup m_setup;
    std::unique_ptr<C_InputLine> m_line;
};

TEST_F(LearnLine, AWordTheUserNailsInItsContextWinsNextTimeAndAfterAReload) {
    EXPECT_EQ(typed("ho2tsiann5"), "0:" + kHo + "/3 3:" + kCheng + "/7");
    nail(kHo);
    nail(kTsing);
    EXPECT_EQ(winnersText(*m_line), "0:" + kHo + "/3* 3:" + kTsing + "/7*");
    commit();

    // Without nailing, the user's word now wins after the same word.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(typeAndCommit("ho2tsiann5"), "0:" + kHo + "/3 3:" + kTsing + "/7") << i;
    // The rules that kept matching have ripened into the user dictionary.
    EXPECT_THAT(ruleTexts(user().lockTables().ruleTable()),
                UnorderedElementsAre(kHo + "[1]{}/" + kTsing + "[1]{}:+0.75",
                                     kHo + "[1]{}/" + kCheng + "[1]{}:-0.75"));
    // Each pop hands over the rest of the line: the user's word was also committed alone, at
    // the front of what was left, and learned there against the line's start and end.
    EXPECT_THAT(ruleTexts(learn().rules()),
                UnorderedElementsAre("#/" + kTsing + "[1]{}:+0.75", "#/" + kCheng + "[1]{}:-0.75",
                                     kTsing + "[1]{}:+1.5/#", kCheng + "[1]{}:-1.5/#"));
    EXPECT_FALSE(logged("Caught"));
    EXPECT_FALSE(logged("generations"));

    m_line.reset();
    m_setup.reopen();
    open();
    EXPECT_EQ(typed("ho2tsiann5"), "0:" + kHo + "/3 3:" + kTsing + "/7");
}

TEST_F(LearnLine, ApprovedWordsMoveToTheUserDictionaryOnceAndLeaveTheLearningDictionary) {
    size_t added = 0;
    user().addListener(7, [&](E_UserTailoChange change) { added += change == VOC_ADDED; });
    // Keys no dictionary knows are spelled; committing them teaches the word.
    EXPECT_EQ(typeAndCommit("bo5"), "0:{b\u00f4}/3");
    EXPECT_EQ(wordsAt(learn().lockTables().candiPool(), "bo5"), "T:b\u00f4#0");
    for (int approvals = 1; approvals <= 3; ++approvals) {
        EXPECT_EQ(typeAndCommit("bo5"), "0:{b\u00f4}/3") << approvals;
        if (approvals < 3) {
            EXPECT_EQ(wordsAt(learn().lockTables().candiPool(), "bo5"),
                      "T:b\u00f4#" + std::to_string(approvals));
        }
    }
    EXPECT_EQ(learn().lockTables().candiPool().keys2words.count("bo5"), 0u);
    uint32_t count = 99;
    EXPECT_TRUE(user().findUserVoc({"bo5"}, 'T', "b\u00f4",
                                   [&](const C_TailoVoc& v) { count = v.stamp.count; }));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(added, 1u);
    // Further commits find nothing left to approve.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(typeAndCommit("bo5"), "0:{b\u00f4}/3");
    EXPECT_EQ(added, 1u);
    EXPECT_EQ(learn().lockTables().candiPool().keys2words.count("bo5"), 0u);
}

TEST_F(LearnLine, WordsTheUserPassesOverLoseTheirCounts) {
    // A learned Tai-lo word at two approvals, and a system word the user prefers over it.
    typeAndCommit("tsiann5tsiann5");  // nothing to learn from the system's own words
    EXPECT_EQ(typeAndCommit("bo5"), "0:{b\u00f4}/3");
    typeAndCommit("bo5");
    typeAndCommit("bo5");
    ASSERT_EQ(wordsAt(learn().lockTables().candiPool(), "bo5"), "T:b\u00f4#2");

    EXPECT_EQ(typed("bo5tsiann5"), "0:{b\u00f4}/3 3:" + kCheng + "/7");
    nail("b\u00f4");
    nail(kTsing);
    commit();
    // Shown at a unit whose committed word it is: kept. Passed over in the same unit: lowered.
    EXPECT_EQ(wordsAt(learn().lockTables().candiPool(), "bo5"), "T:b\u00f4#2");
    learn().pool().keys2words["tsiann5"].push_back(C_TailoVoc{"tsi\u00e2nn", {}, 0, 'T', {1, 1}});
    EXPECT_EQ(typed("tsiann5"), "0:{tsi\u00e2nn}/7");
    nail(kCheng);
    commit();
    EXPECT_EQ(wordsAt(learn().lockTables().candiPool(), "tsiann5"),
              "T:tsi\u00e2nn#0 H:" + kCheng + "#0");
    typed("tsiann5");
    nail(kCheng);
    commit();
    // At count 0 the next disapproval erases it; the user's word, pooled the first time, is
    // approved now that the engine chose it too.
    EXPECT_EQ(wordsAt(learn().lockTables().candiPool(), "tsiann5"), "H:" + kCheng + "#1");
}

// Ten distinct syllables no dictionary knows, typed with tone digits.
std::string syllables(size_t first, size_t n) {
    static const char* initials[] = {"p", "b", "m", "t", "n", "l", "k", "g", "ts", "s"};
    static const char* rimes[] = {"a", "i", "u", "e", "o"};
    static const char* tones[] = {"1", "2", "3", "5", "7"};
    std::string keys;
    for (size_t i = first; i < first + n; ++i)
        keys += std::string(initials[i % 10]) + rimes[(i / 10) % 5] + tones[(i / 50) % 5];
    return keys;
}

size_t recordCount(const C_CandiPool& pool) {
    size_t n = 0;
    for (const auto& [key, vocs] : pool.keys2words)
        n += vocs.size();
    return n;
}

TEST_F(LearnLine, TheTrimKeepsTheLearnedWordsWithinTheLimitWithoutCountingEmptyEntries) {
    for (size_t line = 0; line < 10; ++line)
        typeAndCommit(syllables(10 * line, 10));
    ASSERT_EQ(recordCount(learn().lockTables().candiPool()), 100u);
    // Each pop hands over the rest of the line, whose run of spelled words is learned too:
    // runs of 10 down to 2 syllables per line.
    ASSERT_EQ(learn().lockTables().candiPool().karr2vocs.size(), 90u);
    EXPECT_FALSE(logged("Purged"));

    // The first line again: its learned run wins as one word, and each single word shown under
    // it is passed over. Their entries are left empty.
    const std::string first = typed(syllables(0, 10));
    EXPECT_EQ(first.find(' '), std::string::npos) << first;
    commit();
    EXPECT_EQ(recordCount(learn().lockTables().candiPool()), 90u);
    EXPECT_EQ(learn().lockTables().candiPool().keys2words.size(), 100u);

    // Five new words: 95 words in 105 entries, within the limit.
    typeAndCommit(syllables(100, 5));
    EXPECT_EQ(recordCount(learn().lockTables().candiPool()), 95u);
    EXPECT_FALSE(logged("words from learning DB"));
    // Ten more: five over, and five go.
    typeAndCommit(syllables(105, 10));
    EXPECT_EQ(recordCount(learn().lockTables().candiPool()), 100u);
    EXPECT_TRUE(m_setup.policy().contains("Purged 5 words from learning DB", 3));
    EXPECT_LE(learn().lockTables().candiPool().karr2vocs.size(), 500u);
}

TEST_F(LearnLine, AWordNextToANoCrossMarkIsLearned) {
    EXPECT_EQ(typed("tsiann5|ho2"), "0:" + kCheng + "/7 7:| 8:" + kHo + "/3");
    nail(kTsing);
    commit();
    // The word after the mark takes part, as the rule runner reaches over the mark to it.
    EXPECT_THAT(ruleTexts(learn().rules()),
                UnorderedElementsAre(
                    "#/" + kTsing + "[1]{}:+0.75", kTsing + "[1]{}:+0.75/" + kHo + "[1]{}",
                    "#/" + kCheng + "[1]{}:-0.75", kCheng + "[1]{}:-0.75/" + kHo + "[1]{}"));
    EXPECT_EQ(typed("tsiann5|ho2"), "0:" + kTsing + "/7 7:| 8:" + kHo + "/3");
    EXPECT_FALSE(logged("Caught"));
}

TEST_F(LearnLine, ALineTheEngineComposesRightKeepsItsWinnersHoweverOftenItIsCommitted) {
    const std::string shown = typed("bo5ho2tsiann5");
    EXPECT_EQ(shown, "0:{b\u00f4}/3 3:" + kHo + "/3 6:" + kCheng + "/7");
    commit();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(typeAndCommit("bo5ho2tsiann5"), shown) << i;
    EXPECT_TRUE(learn().rules().empty());
    EXPECT_TRUE(user().lockTables().ruleTable().empty());
    // The spelled word was learned, approved and promoted on the way, and still wins.
    EXPECT_TRUE(user().findUserVoc({"bo5"}, 'T', "b\u00f4", [](const C_TailoVoc&) {}));
    EXPECT_FALSE(logged("Caught"));
}

TEST_F(LearnLine, ASingleUserWordAgainstTheUsersSeveralWordsConverges) {
    C_HantTailoAttr attr;
    ASSERT_EQ(classifyHantTailo(kHo + kCheng, "h\u00f3-tsi\u00e2nn", attr), UVE_OK);
    ASSERT_EQ(user().addUserVoc(kHo + kCheng, "h\u00f3-tsi\u00e2nn", attr, 2, {}, 0), UVE_OK);
    EXPECT_EQ(typed("ho2tsiann5"), "0:" + kHo + kCheng + "/10");
    nail(kHo);
    nail(kCheng);
    EXPECT_EQ(winnersText(*m_line), "0:" + kHo + "/3* 3:" + kCheng + "/7*");
    commit();
    EXPECT_FALSE(logged("generations"));
    EXPECT_EQ(learn().rules().size(), 2u);

    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(typeAndCommit("ho2tsiann5"), "0:" + kHo + "/3 3:" + kCheng + "/7") << i;
    EXPECT_EQ(learn().rules().size(), 2u);
    EXPECT_FALSE(logged("generations"));
}

}  // namespace
}  // namespace kov::test
