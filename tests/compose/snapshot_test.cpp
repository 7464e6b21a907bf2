// Snapshots: the naive copy the learner composes again, the job copy of a composed line, and
// the raw candidate a unit falls back to.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
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

C_CandidateURL urlOf(size_t pos, const C_Candidate& c) { return {pos, c.key()}; }

TEST(SnapshotNaive, ForgetsNailsAndMarksCandidatesCrossingAMark) {
    C_TestLine line("ab|cd");
    line.add(0, withRank(cand("ab", 2, 5), RANK_NAILED));
    line.add(0, cand("abc", 3, 5));  // the mark at 2 lies inside
    line.add(1, cand("b", 1, 5));
    line.add(3, withRank(cand("cd", 2, 5), RANK_CROSSING));  // nothing inside any more
    line.snap().findWinners(5);
    line.snap().m_ruleMatches[urlOf(0, *line.find(0, "ab"))][{"rule", 0}] = 1.5f;

    C_InputLineSnapshot naive(line.snap().m_elements, CM_TAILO);
    EXPECT_EQ(naive.m_mode, CM_TAILO);
    EXPECT_TRUE(naive.m_winners.empty());
    EXPECT_TRUE(naive.m_closures.empty());
    EXPECT_TRUE(naive.m_ruleMatches.empty());
    ASSERT_EQ(naive.m_elements.size(), 5u);
    EXPECT_EQ(naive.unitAt(2), nullptr);

    auto rankOf = [&](size_t pos, const std::string& text) {
        for (const C_Candidate& c : naive.unitAt(pos)->candidates())
            if (c.m_text == text)
                return int(c.m_rank);
        return -1;
    };
    EXPECT_EQ(rankOf(0, "ab"), RANK_ORDINARY);
    EXPECT_EQ(rankOf(0, "abc"), RANK_CROSSING);
    EXPECT_EQ(rankOf(1, "b"), RANK_ORDINARY);
    EXPECT_EQ(rankOf(3, "cd"), RANK_ORDINARY);
    for (size_t pos : {0u, 1u, 3u, 4u})
        EXPECT_FALSE(naive.unitAt(pos)->isSorted()) << pos;

    // The copies are its own: changing them leaves the line alone.
    EXPECT_NE(naive.unitAt(0), line.snap().unitAt(0));
    naive.unitAt(0)->candidates()[0].m_weight = 99;
    EXPECT_EQ(line.unit(0).candidates()[0].m_weight, 5);
    EXPECT_EQ(line.find(0, "ab")->m_rank, RANK_NAILED);
}

// What the learner does with a job: the naive snapshot of the committed elements composes as
// if the user had nailed nothing.
TEST(SnapshotNaive, ComposesWithoutTheUsersNails) {
    C_TestLine line("ab");
    line.add(0, withRank(cand("a", 1, 0), RANK_NAILED)).add(0, cand("ab", 2, 100));
    line.add(1, cand("b", 1, 0));
    line.snap().findWinners(2);
    ASSERT_EQ(winnerText(line.snap()), "a@0 b@1");

    C_InputLineSnapshot job(line.snap());
    C_InputLineSnapshot naive(job.m_elements, job.m_mode);
    naive.findWinners(naive.m_elements.size());
    EXPECT_EQ(winnerText(naive), "ab@0");
    EXPECT_EQ(winnerText(job), "a@0 b@1");
}

TEST(SnapshotNaive, WithoutMarksNoCandidateCrosses) {
    C_TestLine line("abc");
    line.add(0, withRank(cand("abc", 3), RANK_CROSSING));
    C_InputLineSnapshot naive(line.snap().m_elements, CM_STD);
    EXPECT_EQ(naive.unitAt(0)->at(0)->m_rank, RANK_ORDINARY);
}

TEST(SnapshotCopy, OwnsItsUnitsAndPointsItsWinnersIntoThem) {
    auto line = std::make_unique<C_TestLine>("ab|c", CM_EZ);
    line->add(0, cand("x", 1, 1)).add(0, cand("ab", 2, 50)).add(3, cand("c", 1, 3));
    line->snap().findWinners(4);
    ASSERT_EQ(winnerText(line->snap()), "ab@0 |@2 c@3");
    const C_Candidate& ab = *line->snap().m_winners[0].m_candidate;
    line->snap().m_ruleMatches[urlOf(0, ab)][{"k", 1}] = 0.5f;

    C_InputLineSnapshot copy(line->snap());
    const ptrdiff_t abIndex = line->unit(0).offsetOf(&ab);
    line.reset();  // the copy must not need the line

    EXPECT_EQ(copy.m_mode, CM_EZ);
    ASSERT_EQ(copy.m_elements.size(), 4u);
    EXPECT_EQ(winnerText(copy), "ab@0 |@2 c@3");
    EXPECT_EQ(copy.unitAt(0)->offsetOf(copy.m_winners[0].m_candidate), abIndex);
    EXPECT_EQ(copy.m_winners[1].m_candidate, nullptr);
    EXPECT_EQ(copy.unitAt(3)->offsetOf(copy.m_winners[2].m_candidate), 0);
    ASSERT_EQ(copy.m_closures.size(), 2u);
    EXPECT_EQ(copy.m_closures[0].m_start, 0u);
    using C_Pointers = std::vector<C_Candidate*>;
    EXPECT_EQ(copy.m_closures[0].m_candidates, C_Pointers{copy.m_winners[0].m_candidate});
    EXPECT_EQ(copy.m_closures[1].m_candidates, C_Pointers{copy.m_winners[2].m_candidate});
    ASSERT_EQ(copy.m_ruleMatches.size(), 1u);
    EXPECT_EQ(copy.m_ruleMatches.begin()->first, urlOf(0, *copy.m_winners[0].m_candidate));
}

TEST(SnapshotCopy, KeepsTheElementsUpToTheEndOfTheLastWinner) {
    struct C_Case {
        const char* keys;
        size_t composed;  // winners over [0, composed); 0: no search
        size_t copied;
    };
    for (C_Case c : std::vector<C_Case>{
             {"abcd", 2, 2}, {"abcd", 0, 4}, {"a|b", 2, 2}, {"a|", 2, 2}, {"ab", 2, 2}}) {
        C_TestLine line(c.keys);
        if (c.composed)
            line.snap().findWinners(c.composed);
        C_InputLineSnapshot copy(line.snap());
        EXPECT_EQ(copy.m_elements.size(), c.copied) << c.keys << " " << c.composed;
        EXPECT_EQ(copy.m_winners.size(), line.snap().m_winners.size());
    }
}

TEST(SnapshotCopy, AWinnerOutsideTheCopiedElementsBecomesNull) {
    C_TestLine line("ab");
    line.add(0, cand("a"));
    C_Candidate* a = line.find(0, "a");
    line.snap().m_winners = {{0, a}, {3, a}};  // the second lies past the elements
    C_InputLineSnapshot copy(line.snap());
    ASSERT_EQ(copy.m_winners.size(), 2u);
    EXPECT_EQ(copy.m_winners[0].m_candidate, copy.unitAt(0)->at(0));
    EXPECT_EQ(copy.m_winners[1].m_candidate, nullptr);
}

TEST(SnapshotCopy, ACandidateOutsideItsUnitIsAnError) {
    C_TestLine line("ab");
    line.add(0, cand("a")).add(1, cand("b"));
    C_Candidate* a = line.find(0, "a");
    C_Candidate* b = line.find(1, "b");
    using testing::AllOf;
    using testing::EndsWith;
    using testing::StartsWith;

    line.snap().m_winners = {{0, b}, {1, b}};
    try {
        C_InputLineSnapshot copy(line.snap());
        FAIL() << "no error";
    } catch (const std::logic_error& e) {
        EXPECT_THAT(e.what(),
                    AllOf(StartsWith("Invalid candidate index "), EndsWith(" for winner at 0")));
    }

    line.snap().m_winners = {{0, a}, {1, b}};
    line.snap().m_closures = {{0, {a, a}}};  // the second candidate belongs to position 1
    try {
        C_InputLineSnapshot copy(line.snap());
        FAIL() << "no error";
    } catch (const std::logic_error& e) {
        EXPECT_THAT(e.what(),
                    AllOf(StartsWith("Invalid candidate index "), EndsWith(" for winner at 1")));
    }
}

TEST(SnapshotRawCandidate, FullShapeKeysByModeAndFlags) {
    struct C_Case {
        char key;
        bool fullShape, rawKeyOnly;
        E_CompoMode mode;
        const char* text;
    };
    const std::vector<C_Case> cases = {
        {',', false, false, CM_STD, ","},      {',', true, false, CM_STD, "\uFF0C"},
        {',', true, false, CM_EZ, "\uFF0C"},   {',', true, false, CM_TAILO, ","},
        {'a', true, false, CM_STD, "a"},       {'A', false, true, CM_STD, "A"},
        {'a', true, true, CM_STD, "\uFF41"},   {'a', true, true, CM_TAILO, "\uFF41"},
        {',', true, true, CM_TAILO, "\uFF0C"}, {' ', true, true, CM_EZ, "\u3000"},
        {' ', true, false, CM_STD, " "},       {'"', true, false, CM_STD, "\uFF02"},
        {';', true, false, CM_STD, "\uFF1B"},  {'[', true, false, CM_STD, "\u300C"},
        {'}', true, false, CM_STD, "\u300F"},  {'^', true, false, CM_STD, "\uFE3F"},
        {'\'', true, false, CM_STD, "\u3001"}, {'.', true, false, CM_STD, "\u3002"},
        {'<', true, false, CM_STD, "\u300A"},  {'~', true, false, CM_STD, "\uFF5E"},
    };
    for (const C_Case& c : cases) {
        EXPECT_EQ(rawKeyText(c.key, c.fullShape, c.rawKeyOnly, c.mode), c.text)
            << "key " << c.key << " full " << c.fullShape << " raw " << c.rawKeyOnly << " mode "
            << int(c.mode);
    }
}

TEST(SnapshotRawCandidate, ThirtySymbolsHaveFullWidthForms) {
    int symbols = 0;
    for (int k = 0x20; k < 0x7F; ++k) {
        if (fullWidthSymbol(char(k)))
            ++symbols;
    }
    EXPECT_EQ(symbols, 30);
    EXPECT_EQ(fullWidthSymbol('a'), 0u);
    EXPECT_EQ(fullWidthSymbol('-'), 0u);
}

TEST(SnapshotRawCandidate, AUnitFallsBackToItsOwnKey) {
    C_CompoUnit unit(',', false, false, true);
    unit.add(cand("x"));
    C_Candidate raw = rawCandidate(unit, CM_STD);
    EXPECT_EQ(raw.m_text, "\uFF0C");
    EXPECT_TRUE(raw.m_readings.empty());
    EXPECT_TRUE(raw.m_cats.empty());
    EXPECT_EQ(raw.m_span, 1);
    EXPECT_EQ(raw.m_count, 0);
    EXPECT_EQ(raw.m_weight, 0.0f);
    EXPECT_EQ(raw.m_bonus, 0.0);
    EXPECT_EQ(raw.m_source, ST_RAW_KEY);
    EXPECT_EQ(raw.m_rank, RANK_ORDINARY);

    // The winner search uses the unit's flags and the snapshot's mode.
    C_InputLineSnapshot snap;
    snap.m_elements.emplace_back(std::make_unique<C_CompoUnit>(',', false, false, true));
    snap.findWinners(1);
    EXPECT_EQ(winnerText(snap), "\uFF0C@0");
    snap.m_mode = CM_TAILO;
    snap.unitAt(0)->clear();
    snap.findWinners(1);
    EXPECT_EQ(winnerText(snap), ",@0");
}

}  // namespace
}  // namespace kov
