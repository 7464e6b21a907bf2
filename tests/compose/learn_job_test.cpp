// Learning from one committed line, on the test thread: what the learner finds when the engine's
// own composition differs from the user's, the rules it derives and their weights, the words it
// pools, and that it stops.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/compose/learn_words.h"
#include "tests/compose/job_fixture.h"

namespace kov::test {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

class LearnJob : public ::testing::Test {
protected:
    explicit LearnJob(std::string_view tailo = {}) : m_setup(tailo) {}

    C_TestLearnDB& db() { return m_setup.learn(); }
    std::vector<std::string> rules() { return ruleTexts(db().rules()); }
    bool logged(std::string_view text, std::optional<int> level = std::nullopt) {
        return m_setup.policy().contains(text, level);
    }

    C_LearnSetup m_setup;
};

TEST_F(LearnJob, AUserWordInTheEnginesUnitIsLiftedAboveItAndTheEnginesWordLowered) {
    C_TestLine line("wx");
    line.add(0, cand("W", 1, 1));
    line.add(1, cand("Y", 1, 5)).add(1, cand("X", 1, 3));
    C_InputLineSnapshot job = commit(line, {{1, "X"}});

    db().learnJob(job);
    // Half of the gap plus one half goes up, as much goes down, each split over two rules:
    // the word with the one before it and the word with the one after (a gap at the end).
    EXPECT_THAT(rules(), UnorderedElementsAre("W[0]{}/X[0]{}:+0.75", "X[0]{}:+0.75/#",
                                              "W[0]{}/Y[0]{}:-0.75", "Y[0]{}:-0.75/#"));
    // The job's own matches record what was learned for the user's word.
    const auto& x = job.m_ruleMatches.at(C_CandidateURL{1, line.find(1, "X")->key()});
    EXPECT_EQ(x.size(), 2u);
    for (const auto& [element, weight] : x)
        EXPECT_FLOAT_EQ(weight, 0.75f);
    EXPECT_TRUE(db().dirty());
    EXPECT_TRUE(db().purgePending());
    EXPECT_FALSE(logged("generations"));
}

TEST_F(LearnJob, ATieIsBrokenByOneInFavourOfTheUser) {
    C_TestLine line("abc");
    line.add(0, cand("P", 2, 3)).add(0, cand("R", 1, 3));
    line.add(1, cand("S", 2, 3));
    line.add(2, cand("Q", 1, 3));
    C_InputLineSnapshot naive(line.snap().m_elements, CM_STD);
    naive.findWinners(3);
    ASSERT_EQ(winnerText(naive), "R@0 S@1");
    C_InputLineSnapshot job = commit(line, {{0, "P"}, {2, "Q"}});
    db().learnJob(job);
    // One per key over the closure's three keys, scaled back from the two words' mean, put on
    // the two keys of P.
    EXPECT_THAT(rules(), UnorderedElementsAre("#/P[0]{}:+0.99", "P[0]{}:+0.99/Q[0]{}"));
    EXPECT_FALSE(logged("generations"));
}

TEST_F(LearnJob, AStrongEngineWordIsMatchedByRaisingTheUserWordToFullStrengthAndOneMore) {
    C_TestLine line("x");
    line.add(0, cand("Y", 1, 100)).add(0, cand("X", 1, 10));
    C_InputLineSnapshot job = commit(line, {{0, "X"}});
    db().learnJob(job);
    // 90 raises X to 100 in two rules; the one more for the difference goes into the rules
    // just learned, which now match X.
    EXPECT_THAT(rules(), UnorderedElementsAre("#/X[0]{}:+45.5", "X[0]{}:+45.5/#"));
}

TEST_F(LearnJob, ClosuresOfDifferentWordsShareTheDifferenceScaledByTheirLength) {
    C_TestLine line("abc");
    line.add(0, cand("P", 2, 10)).add(0, cand("R", 1, 2));
    line.add(1, cand("S", 2, 2));
    line.add(2, cand("Q", 1, 10));
    C_InputLineSnapshot job = commit(line, {{0, "R"}, {1, "S"}});
    ASSERT_EQ(winnerText(job), "R@0 S@1");

    db().learnJob(job);
    const double scale = std::pow(2.0, -0.4);
    const double d = (10.0 * 2 + 10.0) / 3 * scale - (2.0 + 2.0 * 2) / 3 * scale;
    const double w = (d + 1.0) * 0.5 * std::pow(2.0, 0.4) * 3;  // over the closure's 3 keys
    const float r = float(w / 1 / 2), p = float(-w / 2 / 2);    // per key of R and of P, per rule
    std::map<std::string, float> weights;
    for (const auto& [key, entry] : db().rules().rules())
        for (const C_RuleElem& e : *entry.rule)
            if (e.weight != 0)
                weights[dumpRules(*entry.rule, db().cats())] = e.weight;
    ASSERT_EQ(weights.size(), 4u) << ::testing::PrintToString(rules());
    for (const auto& [text, weight] : weights) {
        if (text.find("R[0]") != std::string::npos)
            EXPECT_NEAR(weight, r, 1e-4) << text;
        else
            EXPECT_NEAR(weight, p, 1e-4) << text;
    }
    EXPECT_THAT(rules(), UnorderedElementsAre("#/R[0]{}:+6.99", "R[0]{}:+6.99/S[0]{}",
                                              "#/P[0]{}:-3.49", "P[0]{}:-3.49/Q[0]{}"));
}

TEST_F(LearnJob, ASingleUserWordAgainstSeveralIsLoweredBelowZeroAndLearningConverges) {
    C_TestLine line("ab");
    line.add(0, cand("AB", 2, 10, ST_USER_EXACT)).add(0, cand("A", 1, 0));
    line.add(1, cand("B", 1, 0));
    C_InputLineSnapshot job = commit(line, {{0, "A"}, {1, "B"}});
    ASSERT_EQ(winnerText(job), "A@0 B@1");

    db().learnJob(job);
    EXPECT_THAT(rules(), UnorderedElementsAre("#/AB[0]{}:-5.5", "AB[0]{}:-5.5/#"));
    EXPECT_FALSE(logged("generations"));

    // The next composition of the line takes the user's words.
    C_TestLine again("ab");
    again.add(0, cand("AB", 2, 10, ST_USER_EXACT)).add(0, cand("A", 1, 0));
    again.add(1, cand("B", 1, 0));
    again.find(0, "AB")->m_bonus = -11;  // what the two rules add
    again.snap().findWinners(2);
    EXPECT_EQ(winnerText(again.snap()), "A@0 B@1");
}

TEST_F(LearnJob, ASingleSystemWordAgainstSeveralRaisesTheUserWordsToFullStrength) {
    C_TestLine line("ab");
    line.add(0, cand("AB", 2, 10)).add(0, cand("A", 1, 0));
    line.add(1, cand("B", 1, 0));
    C_InputLineSnapshot job = commit(line, {{0, "A"}, {1, "B"}});
    db().learnJob(job);
    EXPECT_THAT(rules(),
                UnorderedElementsAre("#/A[0]{}:+50", "A[0]{}:+50/B[0]{}:+50", "B[0]{}:+50/#"));
    EXPECT_FALSE(logged("generations"));
}

TEST_F(LearnJob, RulesOfAWordBesideANoCrossMarkReachTheWordBeyondIt) {
    C_TestLine line("a|b");
    line.add(0, cand("Y", 1, 5)).add(0, cand("X", 1, 3));
    line.add(2, cand("V", 1, 5)).add(2, cand("Z", 1, 3));
    C_InputLineSnapshot job = commit(line, {{0, "X"}, {2, "Z"}});
    ASSERT_EQ(winnerText(job), "X@0 |@1 Z@2");

    db().learnJob(job);
    // The rule runner passes over the mark to the next word, so the rules name that word; the
    // mark's winner, which has no word, never becomes an element. The second generation sees
    // X already learned before V.
    EXPECT_THAT(rules(),
                UnorderedElementsAre("#/X[0]{}:+0.75", "X[0]{}:+0.75/Z[0]{}:+0.75",
                                     "Z[0]{}:+0.75/#", "#/Y[0]{}:-0.75", "Y[0]{}:-0.75/V[0]{}",
                                     "X[0]{}/V[0]{}:-0.75", "V[0]{}:-0.75/#"));
    EXPECT_FALSE(logged("generations"));
}

TEST_F(LearnJob, ARuleThatPulledTheOtherWayIsLearnedAgainWithTheWordsAroundIt) {
    C_TestLine line("wxn");
    line.add(0, cand("W", 1, 1));
    line.add(1, cand("Y", 1, 5)).add(1, cand("X", 1, 3));
    line.add(2, cand("N", 1, 1));
    C_InputLineSnapshot job = commit(line, {{1, "X"}});
    const C_Rule lowering{C_RuleElem{C_WordPat{"W", {}, 0}, 0},
                          C_RuleElem{C_WordPat{"X", {}, 0}, -2}};
    job.m_ruleMatches[C_CandidateURL{1, line.find(1, "X")->key()}]
                     [C_RuleElemURL{ruleKey(lowering), 1}] = -2;

    db().learnJob(job);
    EXPECT_THAT(rules(), UnorderedElementsAre("W[0]{}/X[0]{}:+0.5", "#/W[0]{}/X[0]{}:+0.5",
                                              "W[0]{}/X[0]{}:+0.5/N[0]{}", "W[0]{}/Y[0]{}:-0.75",
                                              "Y[0]{}:-0.75/N[0]{}"));
}

TEST_F(LearnJob, ALongerRuleReachingBackOverANoCrossMarkTakesTheMarkAsAGap) {
    C_TestLine line("n|wx");
    line.add(0, cand("N", 1, 1));
    line.add(2, cand("W", 1, 1));
    line.add(3, cand("Y", 1, 5)).add(3, cand("X", 1, 3));
    C_InputLineSnapshot job = commit(line, {{3, "X"}});
    const C_Rule lowering{C_RuleElem{C_WordPat{"W", {}, 0}, 0},
                          C_RuleElem{C_WordPat{"X", {}, 0}, -2}};
    job.m_ruleMatches[C_CandidateURL{3, line.find(3, "X")->key()}]
                     [C_RuleElemURL{ruleKey(lowering), 1}] = -2;

    db().learnJob(job);
    // Behind W the runner stops at the mark for a word but takes it as a gap.
    EXPECT_THAT(rules(), UnorderedElementsAre("W[0]{}/X[0]{}:+0.5", "#/W[0]{}/X[0]{}:+0.5",
                                              "W[0]{}/X[0]{}:+0.5/#", "W[0]{}/Y[0]{}:-0.75",
                                              "Y[0]{}:-0.75/#"));
    C_RuleRunner runner(db().cats(), job, job.m_elements.size());
    const C_Rule longer{C_RuleElem{C_GapPat{}, 0}, lowering[0], lowering[1]};
    EXPECT_TRUE(runner.run(3, *job.m_winners.back().m_candidate, longer, 2, nullptr));
}

TEST_F(LearnJob, WordsOfAnotherSpanInTheUnitAreLeftOutOfTheComparison) {
    // L ranks first in its unit and scores above X, but lost to Y and Z as a closure.
    C_TestLine line("wxy");
    line.add(0, cand("W", 1, 5)).add(0, cand("WW", 2, -5));
    line.add(1, cand("L", 2, 4)).add(1, cand("Y", 1, 5)).add(1, cand("X", 1, 3));
    line.add(2, cand("Z", 1, 9));
    C_InputLineSnapshot naive(line.snap().m_elements, CM_STD);
    naive.findWinners(3);
    ASSERT_EQ(winnerText(naive), "W@0 Y@1 Z@2");
    C_InputLineSnapshot job = commit(line, {{1, "X"}});

    db().learnJob(job);
    EXPECT_THAT(rules(), UnorderedElementsAre("W[0]{}/X[0]{}:+3.49", "X[0]{}:+3.49/Z[0]{}",
                                              "W[0]{}/Y[0]{}:-3.49", "Y[0]{}:-3.49/Z[0]{}"));
    EXPECT_FALSE(logged("generations"));
}

TEST_F(LearnJob, TheDoctrineLiftsALoneSyllableTo80WhenTheWordAboveSpansMore) {
    C_TestLine line("wx", CM_STD, true);
    line.add(0, cand("W", 1, 1));
    line.add(1, cand("Y", 1, 50, ST_SYS_EXACT, 2)).add(1, cand("X", 1, 30, ST_SYS_EXACT, 1));
    C_InputLineSnapshot job = commit(line, {{1, "X"}});
    db().learnJob(job);
    // Lifted to 80 and no further: the engine's word is left alone and the job ends.
    EXPECT_THAT(rules(), UnorderedElementsAre("W[0]{}/X[1]{}:+25", "X[1]{}:+25/#"));
}

TEST_F(LearnJob, AUserWordScoringNothingIsLiftedToTheMiddleOfTheWordsAboveIt) {
    C_TestLine line("x");
    for (auto [text, weight] : {std::pair{"C0", 50.f}, {"C1", 40.f}, {"C2", 30.f}, {"C3", 20.f}})
        line.add(0, cand(text, 1, weight));
    line.add(0, cand("X", 1, -5));
    C_InputLineSnapshot job = commit(line, {{0, "X"}});
    db().learnJob(job);
    EXPECT_THAT(rules(), UnorderedElementsAre("#/X[0]{}:+9", "X[0]{}:+9/#",    //
                                              "#/C2[0]{}:-9", "C2[0]{}:-9/#",  //
                                              "#/C3[0]{}:-6.5", "C3[0]{}:-6.5/#"));
}

TEST_F(LearnJob, ALineTheEngineRanksLowerThanTheUsersOwnLearnsNothing) {
    // Under the doctrine a word of a lower source ranks first; the comparison of closures
    // still prefers the user's.
    C_TestLine line("x", CM_STD, true);
    line.add(0, cand("Y", 1, 0, ST_SYS_EXACT, 2)).add(0, cand("X", 1, 0, ST_SYS_WILDCARD, 1));
    C_InputLineSnapshot naive(line.snap().m_elements, CM_STD);
    naive.findWinners(1);
    ASSERT_EQ(winnerText(naive), "Y@0");
    C_InputLineSnapshot job = commit(line, {{0, "X"}});
    db().learnJob(job);
    EXPECT_TRUE(rules().empty());
    EXPECT_TRUE(
        logged("Snapshot closure(expected composition) at 0+1 is already stronger than "
               "naive's at 0 with candidate Y",
               1));
}

TEST_F(LearnJob, AWordThatCannotBeStoredInARuleIsLogged) {
    C_TestLine line("x");
    line.add(0, cand("Y", 1, 5)).add(0, cand(std::string("X\0Z", 3), 1, 3));
    C_InputLineSnapshot job = commit(line, {{0, std::string("X\0Z", 3)}});
    db().learnJob(job);
    EXPECT_THAT(rules(), UnorderedElementsAre("#/Y[0]{}:-0.75", "Y[0]{}:-0.75/#"));
    const auto line1 = m_setup.policy().find("Fail to add rule: ");
    ASSERT_TRUE(line1);
    EXPECT_EQ(line1->m_level, 1);
    EXPECT_NE(line1->m_text.find("/1:0.750000"), std::string::npos);
    EXPECT_TRUE(logged("/0:0.750000"));
}

TEST_F(LearnJob, AnUnsolvableLineStopsAfterTwentyGenerationsWithoutApproval) {
    C_TestLine line("x");
    line.add(0, withReadings(cand("U", 1, 100, ST_USER_EXACT), {"tsi\u00e2nn"}));
    line.add(0, cand("S", 1, 0));
    C_InputLineSnapshot job = commit(line, {{0, "S"}});
    db().pool().keys2words["tsiann5"].push_back(C_TailoVoc{"U", {}, 100, 'H', {1, 0}});

    db().learnJob(job);
    EXPECT_EQ(m_setup.policy().count("(TBD) CC_SRCLEVEL, all PR100"), 20u);
    EXPECT_TRUE(logged("Taking 21 generations  to learn is way too much", 1));
    // The tail still ran: the engine's word the user passed over lost a count.
    EXPECT_EQ(wordsAt(db().pool(), "tsiann5"), "H:U#0");
}

class LearnJobPool : public LearnJob {
protected:
    static std::string tailo() {
        C_TailoFixture f;
        f.d = {{"W", {"h\u00f3"}}};
        return f.bytes();
    }
    LearnJobPool() : LearnJob(tailo()) {}
};

TEST_F(LearnJobPool, AUserWordOfALowerSourceGoesToThePoolWithItsReadings) {
    C_TestLine line("x");
    line.add(0, withReadings(cand("Y", 1, 0, ST_SYS_PREFIX), {"tsi\u00e2nn"}));
    line.add(
        0, withCats(withReadings(cand("X", 1, 3, ST_SYS_EXACT, 1), {"tsi\u00e2nn", "abc?"}), {2}));
    C_InputLineSnapshot job = commit(line, {{0, "X"}});

    db().learnJob(job);
    EXPECT_EQ(wordsAt(db().pool(), "tsiann5"), "H:X#0");
    const C_TailoVoc& voc = db().pool().keys2words.at("tsiann5").front();
    EXPECT_EQ(voc.weight, 3);
    EXPECT_EQ(voc.cats, std::vector<uint8_t>{2});
    EXPECT_THAT(db().pool().hant2tailo.at("X"), ElementsAre("tsi\u00e2nn"));
    EXPECT_TRUE(
        logged("Non-Tailo \"abc?\" calling m_candiPool.add_keys_to_word() or "
               "m_candiPool.add_karray_to_voc() 2/2",
               1));
    // The copy in the engine's unit now wins: the user's word is raised to the user level.
    EXPECT_EQ(job.m_winners[0].m_candidate->m_source, ST_USER_EXACT);
    EXPECT_TRUE(rules().empty());
    EXPECT_FALSE(logged("generations"));
    EXPECT_TRUE(db().purgePending());
}

TEST_F(LearnJobPool, ANailedWordWithAChosenReadingIsPooledAsThatReading) {
    C_TestLine line("x");
    line.add(0, withReadings(cand("Y", 1, 0, ST_SYS_PREFIX), {"tsi\u00e2nn"}));
    line.add(0, withReadings(cand("X", 1, 3, ST_SYS_EXACT, 1), {"tsi\u00e2nn", "tsiann"}));
    line.find(0, "X")->m_chosenReading = C_ChosenReading{1, true};
    C_InputLineSnapshot job = commit(line, {{0, "X"}});
    db().learnJob(job);
    EXPECT_EQ(wordsAt(db().pool(), "tsiann1"), "T:tsiann#0");
    EXPECT_EQ(wordsAt(db().pool(), "tsiann5"), "");
    EXPECT_TRUE(db().pool().hant2tailo.empty());
}

TEST_F(LearnJobPool, RuleWordsKeepReadingsOnlyWhereTheDictionariesKnowOthers) {
    C_TestLine line("wx");
    line.add(0, withReadings(cand("W", 1, 1, ST_SYS_EXACT, 1), {"h\u00f3"}));
    line.add(1, withReadings(cand("Y", 1, 5, ST_SYS_EXACT, 1), {"tsi\u00e2nn"}));
    line.add(1, withReadings(cand("X", 1, 3, ST_SYS_EXACT, 1), {"tsi\u00e2nn"}));
    line.find(1, "X")->m_chosenReading = C_ChosenReading{0, true};
    C_InputLineSnapshot job = commit(line, {{1, "X"}});
    db().learnJob(job);
    // W's readings are the dictionary's: its text alone. Y's are not known: they stay. The
    // nailed X with its chosen reading is that reading alone.
    EXPECT_THAT(rules(),
                UnorderedElementsAre("W[1]{}/[1]tsi\u00e2nn:+0.75", "[1]tsi\u00e2nn:+0.75/#",
                                     "W[1]{}/Y[1]tsi\u00e2nn:-0.75", "Y[1]tsi\u00e2nn:-0.75/#"));
}

TEST_F(LearnJob, SeveralUserWordsTheEngineKeepsAreJoinedWithBoundedReadings) {
    const std::vector<std::string> syllables = {"a",  "ba", "pa", "ta", "ka",
                                                "la", "ma", "na", "sa"};
    C_TestLine line("ab");
    line.add(0, cand("Z", 2, -1, ST_USER_EXACT));
    line.add(0, withReadings(cand("U1", 1, 1, ST_USER_EXACT, 1), syllables));
    line.add(0, withReadings(cand("S1", 1, 0, ST_SYS_EXACT, 1), {"a"}));
    line.add(1, withReadings(cand("U2", 1, 1, ST_USER_EXACT, 1), syllables));
    line.add(1, withReadings(cand("S2", 1, 0, ST_SYS_EXACT, 1), {"a"}));
    C_InputLineSnapshot naive(line.snap().m_elements, CM_STD);
    naive.findWinners(2);
    ASSERT_EQ(winnerText(naive), "U1@0 U2@1");
    C_InputLineSnapshot job = commit(line, {{0, "S1"}, {1, "S2"}});

    db().learnJob(job);
    std::vector<std::string> all;
    for (const std::string& a : syllables)
        for (const std::string& b : syllables)
            all.push_back(a + "-" + b);
    std::sort(all.begin(), all.end());
    all.resize(64);
    EXPECT_EQ(db().pool().hant2tailo.at("U1U2"), all);
    EXPECT_EQ(db().pool().karr2vocs.size(), 64u);
    EXPECT_EQ(vocsAt(db().pool(), {"a1", "a1"}), "H:U1U2#0");
    EXPECT_TRUE(logged("Joined word \"U1U2\" keeps the first 64 of its readings", 2));
}

TEST(JoinReadings, CombinationsInSortedOrderWithoutRepeatsCutToTheFirstOnes) {
    struct C_Case {
        std::vector<std::vector<std::string>> readings;
        size_t most;
        std::vector<std::string> expected;
        bool cut;
    };
    const C_Case cases[] = {
        {{{"b", "a"}, {"d", "c"}}, 64, {"a-c", "a-d", "b-c", "b-d"}, false},
        {{{"a", "a"}, {"c"}}, 64, {"a-c"}, false},
        {{{"b", "a"}, {"d", "c"}}, 3, {"a-c", "a-d", "b-c"}, true},
        {{{"a"}, {}}, 64, {}, false},
        {{{"tsi\u00e2nn"}}, 64, {"tsi\u00e2nn"}, false},
    };
    for (const C_Case& c : cases) {
        bool cut = false;
        EXPECT_EQ(joinReadings(c.readings, c.most, cut), c.expected);
        EXPECT_EQ(cut, c.cut);
    }
}

TEST(JoinReadings, ManyWordsOfManyReadingsBuildOnlyTheFirstOnes) {
    // 5^30 combinations: the walk follows only what can still be among the first 64.
    std::vector<std::vector<std::string>> readings(30, {"e", "d", "c", "b", "a"});
    bool cut = false;
    const std::vector<std::string> joined = joinReadings(readings, 64, cut);
    ASSERT_EQ(joined.size(), 64u);
    EXPECT_TRUE(cut);
    std::string first = "a";
    for (int i = 1; i < 30; ++i)
        first += "-a";
    EXPECT_EQ(joined.front(), first);
    EXPECT_TRUE(std::is_sorted(joined.begin(), joined.end()));
}

}  // namespace
}  // namespace kov::test
