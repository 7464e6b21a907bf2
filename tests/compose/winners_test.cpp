// The winner search: which covering sequence of candidates wins, how closures compare and
// score, and how the search copes with marks, nails and units without usable candidates.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/compose/snapshot.h"
#include "tests/compose/snapshot_fixture.h"

namespace kov {
namespace {

using test::C_TestLine;
using test::cand;
using test::winnerText;
using test::withRank;

TEST(WinnersSearch, UnitsWithoutCandidatesWinWithTheirRawKeys) {
    C_TestLine line("ab");
    line.snap().findWinners(2);
    EXPECT_EQ(winnerText(line.snap()), "a@0 b@1");
    ASSERT_EQ(line.snap().m_closures.size(), 2u);
    EXPECT_EQ(line.unit(0).at(0)->m_source, ST_RAW_KEY);
    EXPECT_EQ(line.unit(0).size(), 1u);
}

TEST(WinnersSearch, OneWordBeatsSeveralWeakOnesAtTheTop) {
    C_TestLine line("ab");
    line.add(0, cand("a", 1, 50)).add(1, cand("b", 1, 50)).add(0, cand("ab", 2, 0));
    line.snap().findWinners(2);
    EXPECT_EQ(winnerText(line.snap()), "ab@0");
    ASSERT_EQ(line.snap().m_closures.size(), 1u);
    EXPECT_EQ(test::closureText(line.snap().m_closures[0].m_candidates), "ab");
}

TEST(WinnersSearch, StrongWordsBeatAWeakSingleWord) {
    C_TestLine line("ab");
    line.add(0, cand("a", 1, 100)).add(1, cand("b", 1, 100)).add(0, cand("ab", 2, 50));
    line.snap().findWinners(2);
    EXPECT_EQ(winnerText(line.snap()), "a@0 b@1");
}

// Inside the extension of a path a single word no longer wins by being single: from position
// 1, "b"+"c" outscores "bc". At the top, "a"+"b"+"c" outscores "ab"+"c".
TEST(WinnersSearch, ScoresDecideInsideAnExtension) {
    C_TestLine line("abc");
    line.add(0, cand("a", 1, 50)).add(0, cand("ab", 2, 1));
    line.add(1, cand("b", 1, 50)).add(1, cand("bc", 2, 1));
    line.add(2, cand("c", 1, 50));
    line.snap().findWinners(3);
    EXPECT_EQ(winnerText(line.snap()), "a@0 b@1 c@2");
}

// Two complete closures of equal span and candidate count, same source level, neither
// strong, equal scores: the challenger (the path compared against the one just extended)
// stays.
TEST(WinnersSearch, ChallengerReplacesTheExtendedPathOnATie) {
    C_TestLine line("abc");
    line.add(0, cand("A", 1, 10)).add(0, cand("AB", 2, 10));
    line.add(1, cand("BC", 2, 10));
    line.add(2, cand("C", 1, 10));
    line.snap().findWinners(3);
    EXPECT_EQ(winnerText(line.snap()), "A@0 BC@1");
}

TEST(WinnersSearch, TheBestCandidateOfASpanStartsItsPath) {
    C_TestLine line("ab");
    line.add(0, cand("ab1", 2, 10)).add(0, cand("ab2", 2, 20)).add(0, cand("a", 1, 5));
    line.add(1, cand("b", 1, 5));
    line.snap().findWinners(2);
    EXPECT_EQ(winnerText(line.snap()), "ab2@0");
}

TEST(WinnersSearch, ANailedPathAloneSurvives) {
    for (bool nailed : {false, true}) {
        C_TestLine line("ab");
        line.add(0, withRank(cand("a", 1, 0), nailed ? RANK_NAILED : RANK_ORDINARY));
        line.add(0, cand("ab", 2, 100)).add(1, cand("b", 1, 0));
        line.snap().findWinners(2);
        EXPECT_EQ(winnerText(line.snap()), nailed ? "a@0 b@1" : "ab@0") << nailed;
    }
}

// A nailed word that ends at a no-cross mark, with a shorter path beside it: the nailed path
// is kept as it is and the mark gets its own entry.
TEST(WinnersSearch, NailedWordEndingAtAMarkIsNotExtendedIntoIt) {
    C_TestLine line("ab|c");
    line.add(0, withRank(cand("ab", 2, 0), RANK_NAILED)).add(0, cand("a", 1, 0));
    line.add(1, cand("b")).add(3, cand("c"));
    ASSERT_NO_THROW(line.snap().findWinners(4));
    EXPECT_EQ(winnerText(line.snap()), "ab@0 |@2 c@3");
}

TEST(WinnersSearch, AUnitWhoseCandidatesAllCrossAMarkWinsWithItsRawKey) {
    C_TestLine line("a|b");
    line.add(0, withRank(cand("a|b", 3, 90), RANK_CROSSING));
    line.snap().findWinners(3);
    EXPECT_EQ(winnerText(line.snap()), "a@0 |@1 b@2");
    EXPECT_EQ(line.snap().m_winners[0].m_candidate->m_source, ST_RAW_KEY);
    EXPECT_EQ(line.snap().m_winners[1].m_candidate, nullptr);
}

TEST(WinnersSearch, NoPathReachesPastTheEnd) {
    C_TestLine line("abc");
    line.add(0, cand("abc", 3, 100));
    line.snap().findWinners(2);
    EXPECT_EQ(winnerText(line.snap()), "a@0 b@1");
}

TEST(WinnersSearch, AnEndPastTheElementsIsCutToThem) {
    C_TestLine line("ab");
    line.snap().findWinners(5);
    EXPECT_EQ(winnerText(line.snap()), "a@0 b@1");
}

TEST(WinnersSearch, ASearchReplacesTheWinnersOfTheLastOne) {
    C_TestLine line("ab");
    line.add(0, cand("ab", 2, 1));
    line.snap().findWinners(2);
    line.snap().findWinners(1);
    EXPECT_EQ(winnerText(line.snap()), "a@0");
    EXPECT_EQ(line.snap().m_closures.size(), 1u);
}

TEST(WinnersSearch, AnExtensionThatFindsNoUnitIsAnError) {
    C_InputLineSnapshot snap;
    snap.m_elements.emplace_back(std::make_unique<C_CompoUnit>('a'));
    snap.m_elements.emplace_back(std::unique_ptr<C_CompoUnit>());  // an empty unit slot
    snap.unitAt(0)->add(cand("a", 1));
    snap.unitAt(0)->add(cand("ab", 2));
    try {
        snap.findWinners(2);
        FAIL() << "no error";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "No closure found for 1");
    }
}

// With the doctrine on, these three rank in a cycle: A before B (equal counts, higher source),
// B before C (C has count 1 and scores below 80), C before A (rule 3 is silent for count 0, so
// the score decides). Which one wins depends on the sort; the search must pick one of them.
TEST(WinnersSearch, ARankingCycleStillGivesOneOfItsCandidates) {
    C_TestLine line("a", CM_STD, true);
    line.add(0, cand("A", 1, 10, ST_USER_EXACT, 0));
    line.add(0, cand("B", 1, 50, ST_SYS_EXACT, 0));
    line.add(0, cand("C", 1, 30, ST_SYS_PREFIX, 1));
    line.snap().findWinners(1);
    EXPECT_THAT(winnerText(line.snap()), testing::AnyOf("A@0", "B@0", "C@0"));
}

// The longest line the engine allows, every key offering a one-key and a two-key word: the
// search stays polynomial and its recursion shallow enough, and the winners cover the line.
TEST(WinnersSearch, ALongLineIsCoveredContiguously) {
    const size_t n = 1024;
    C_TestLine line(std::string(n, 'a'));
    for (size_t p = 0; p < n; ++p) {
        line.add(p, cand("x", 1, float(p % 7)));
        if (p + 1 < n)
            line.add(p, cand("xy", 2, float(p % 5)));
    }
    line.snap().findWinners(n);
    size_t next = 0;
    for (const C_Winner& w : line.snap().m_winners) {
        ASSERT_EQ(w.m_start, next);
        ASSERT_NE(w.m_candidate, nullptr);
        next += w.m_candidate->m_span;
    }
    EXPECT_EQ(next, n);
}

// Random lines with marks, nails, crossing candidates, ties and NaN weights: the search ends,
// and its winners are ascending, contiguous over the range, each pointing into the unit at its
// start, and null only where no unit stands.
TEST(WinnersSearch, RandomLinesAreCoveredConsistently) {
    std::mt19937 random(20261210);
    auto below = [&](unsigned n) { return unsigned(random() % n); };
    for (int round = 0; round < 400; ++round) {
        std::string keys;
        const unsigned n = 1 + below(12);
        for (unsigned i = 0; i < n; ++i)
            keys += i > 0 && below(5) == 0 ? '|' : char('a' + below(26));
        C_TestLine line(keys, CM_STD, below(2) == 0);
        for (unsigned p = 0; p < n; ++p) {
            if (keys[p] == '|')
                continue;
            for (unsigned k = below(5); k > 0; --k) {
                const unsigned span = 1 + below(std::min(4u, n - p));
                C_Candidate c = cand(std::string(1, char('A' + below(6))), uint16_t(span),
                                     below(20) == 0 ? std::numeric_limits<float>::quiet_NaN()
                                                    : float(below(5)) * 50 - 50,
                                     E_SourceType(below(8)), uint16_t(below(3)));
                bool crosses = false;
                for (unsigned m = p + 1; m < p + span; ++m)
                    crosses = crosses || keys[m] == '|';
                c.m_rank = below(6) == 0 ? RANK_NAILED : crosses ? RANK_CROSSING : RANK_ORDINARY;
                line.add(p, c);
            }
        }
        const size_t end = below(2) == 0 ? n : 1 + below(n);
        ASSERT_NO_THROW(line.snap().findWinners(end)) << keys;
        size_t next = 0;
        for (const C_Winner& w : line.snap().m_winners) {
            ASSERT_EQ(w.m_start, next) << keys;
            C_CompoUnit* unit = line.snap().unitAt(w.m_start);
            if (!unit) {
                ASSERT_EQ(w.m_candidate, nullptr) << keys;
                ++next;
                continue;
            }
            ASSERT_NE(w.m_candidate, nullptr) << keys;
            const ptrdiff_t index = unit->offsetOf(w.m_candidate);
            ASSERT_TRUE(index >= 0 && size_t(index) < unit->size()) << keys;
            ASSERT_NE(w.m_candidate->m_rank, RANK_CROSSING) << keys;
            next += w.m_candidate->m_span;
        }
        EXPECT_EQ(next, end) << keys;
    }
}

struct C_CompareCase {
    const char* name;
    std::vector<C_Candidate> a, b;
    bool nested;
    int32_t order;
    int32_t category;
};

std::vector<C_Candidate*> pointers(std::vector<C_Candidate>& cs) {
    std::vector<C_Candidate*> out;
    for (C_Candidate& c : cs)
        out.push_back(&c);
    return out;
}

TEST(WinnersCompareClosures, TheFirstDecidingRuleGivesOrderAndCategory) {
    const C_Candidate raw = cand("r", 1, 200, ST_RAW_KEY);
    const C_Candidate s2 = cand("s", 1, 10, ST_SYS_EXACT);
    const C_Candidate s3 = cand("t", 1, 10, ST_SYS_WILDCARD);
    const C_Candidate s5 = cand("u", 1, 10, ST_USER_EXACT);
    const C_Candidate s5x3 = cand("U", 3, 10, ST_USER_EXACT);
    const C_Candidate s7 = cand("v", 1, 10, ST_USER_PREFIX);
    const C_Candidate strong = cand("w", 1, 100, ST_SYS_EXACT);
    const C_Candidate strong2 = cand("W", 2, 150, ST_SYS_EXACT);
    const C_Candidate zero = cand("z", 2, 0, ST_SYS_EXACT);
    const C_Candidate negative = cand("n", 2, -1, ST_SYS_EXACT);
    std::vector<C_CompareCase> cases = {
        {"a raw key lowers the level", {raw, s2}, {s2, s2}, false, -1, CMP_SOURCE_LEVEL},
        {"level of the span-weighted source", {s5x3, s2}, {s3, s3}, false, 1, CMP_SOURCE_LEVEL},
        {"truncated levels tie, scores decide", {s5, s2}, {s3, s3}, false, 0, CMP_SCORE},
        {"no level rule for one against several", {raw}, {s7, s7}, false, 1, CMP_STRENGTH},
        {"one strong side wins", {s2, s2}, {strong, strong}, false, -1, CMP_STRENGTH},
        {"both strong: scores", {strong2}, {strong, strong}, false, 1, CMP_SCORE},
        {"single with score 0 beats several", {zero}, {s2, s2}, false, 1, CMP_SINGLE},
        {"several lose to a single second", {s2, s2}, {zero}, false, -1, CMP_SINGLE},
        {"not nested only", {zero}, {s2, s2}, true, -1, CMP_SCORE},
        {"a negative single is no single", {negative}, {s2, s2}, false, -1, CMP_SCORE},
        {"empty closures tie", {}, {}, false, 0, CMP_SCORE},
        {"an empty closure is strong", {}, {s2}, false, 1, CMP_STRENGTH},
    };
    for (C_CompareCase& c : cases) {
        std::vector<C_Candidate*> a = pointers(c.a), b = pointers(c.b);
        C_CompareResult r = C_InputLineSnapshot::compareClosures(a, b, c.nested);
        EXPECT_EQ(r.m_order, c.order) << c.name;
        EXPECT_EQ(r.m_category, c.category) << c.name;
        if (r.m_category != CMP_SCORE) {
            EXPECT_EQ(r.m_d, 0.0) << c.name;
        }
        EXPECT_FALSE(std::isnan(r.m_d)) << c.name;
    }
}

TEST(WinnersCompareClosures, ScoreCategoryReturnsTheDifference) {
    std::vector<C_Candidate> a = {cand("a", 1, 30)}, b = {cand("b", 1, 10)};
    std::vector<C_Candidate*> pa = pointers(a), pb = pointers(b);
    C_CompareResult r = C_InputLineSnapshot::compareClosures(pa, pb, false);
    EXPECT_EQ(r.m_order, 1);
    EXPECT_EQ(r.m_category, CMP_SCORE);
    EXPECT_DOUBLE_EQ(r.m_d, 20.0);

    a[0].m_weight = std::numeric_limits<float>::quiet_NaN();
    r = C_InputLineSnapshot::compareClosures(pa, pb, false);
    EXPECT_EQ(r.m_order, 0);
    EXPECT_EQ(r.m_category, CMP_SCORE);
}

TEST(WinnersCompareClosures, ANullCandidateIsAnErrorNotACrash) {
    std::vector<C_Candidate> a = {cand("a")};
    std::vector<C_Candidate*> pa = pointers(a), withNull = {&a[0], nullptr};
    EXPECT_THROW(C_InputLineSnapshot::compareClosures(pa, withNull, false), std::logic_error);
    EXPECT_THROW(C_InputLineSnapshot::compareClosures(withNull, pa, true), std::logic_error);
    EXPECT_THROW(C_InputLineSnapshot::scoreSequence(withNull), std::logic_error);
}

TEST(WinnersScoreSequence, SpanWeightedMeanShrinksWithTheNumberOfWords) {
    std::vector<C_Candidate> one = {cand("a", 2, 10)};
    C_Candidate withBonus = cand("b", 3, 10);
    withBonus.m_bonus = 2.5;
    std::vector<C_Candidate> two = {cand("a", 1, 10), withBonus};
    std::vector<C_Candidate> three = {cand("a", 1, 8), cand("b", 1, 8), cand("c", 1, 8)};
    std::vector<C_Candidate> none;
    EXPECT_DOUBLE_EQ(C_InputLineSnapshot::scoreSequence(pointers(one)), 10.0);
    EXPECT_DOUBLE_EQ(C_InputLineSnapshot::scoreSequence(pointers(two)),
                     (10.0 + 12.5 * 3) / 4 * std::pow(2.0, -0.4));
    EXPECT_DOUBLE_EQ(C_InputLineSnapshot::scoreSequence(pointers(three)),
                     8.0 * std::pow(3.0, -0.4));
    EXPECT_EQ(C_InputLineSnapshot::scoreSequence(pointers(none)), 0.0);
}

}  // namespace
}  // namespace kov
