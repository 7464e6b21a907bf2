#include "engine/dict/candidate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "engine/dict/tailo_db.h"
#include "fixtures/capture_policy.h"
#include "tests/support/candidate_fixture.h"

namespace kov {
namespace {

using namespace std::string_literals;

// The tests here vary the source more often than the weight.
C_Candidate word(std::string text, uint16_t span = 1, E_SourceType source = ST_SYS_EXACT,
                 uint16_t count = 0, float weight = 0.0f) {
    return test::cand(std::move(text), span, weight, source, count);
}

// A word with readings, of the raw-key source so that only the text and readings tell.
C_Candidate spelled(std::string text, std::vector<std::string> readings, uint16_t span = 1) {
    return test::withReadings(word(std::move(text), span, ST_RAW_KEY), std::move(readings));
}

C_Candidate reading(std::vector<std::string> readings, uint16_t span = 1) {
    return spelled("", std::move(readings), span);
}

// ---------------------------------------------------------------------------------------------
// Equality and key bytes

struct EqualityCase {
    const char* name;
    C_Candidate a, b;
    bool equal;
};

TEST(CandidateEquality, SpanAndTextDecideReadingsOnlyForEmptyTexts) {
    const EqualityCase cases[] = {
        {"same span and text", word("\xe7\x94\xb2", 2), word("\xe7\x94\xb2", 2), true},
        {"texts equal, readings differ", spelled("x", {"a"}), spelled("x", {"b"}), true},
        {"other span", word("x", 1), word("x", 2), false},
        {"other text", word("x"), word("y"), false},
        {"empty texts, same readings", reading({"a", "b"}), reading({"a", "b"}), true},
        {"empty texts, readings in another order", reading({"a", "b"}), reading({"b", "a"}), false},
        {"empty texts, one reading more", reading({"a"}), reading({"a", "b"}), false},
        {"empty texts without readings", reading({}), reading({}), true},
        {"empty against non-empty text", reading({"a"}), spelled("a", {"a"}), false},
    };
    for (const EqualityCase& c : cases) {
        EXPECT_EQ(c.a == c.b, c.equal) << c.name;
        EXPECT_EQ(c.b == c.a, c.equal) << c.name;
    }
}

TEST(CandidateKey, SpanLowByteFirstThenTextAndNul) {
    EXPECT_EQ(word("ab", 0x0102).key(),
              "\x02\x01"s
              "ab\0"s);
    EXPECT_EQ(word("", 1).key(), "\x01\x00\x00"s);
}

TEST(CandidateKey, EmptyTextAppendsEachReadingWithNul) {
    EXPECT_EQ(reading({"t\xc3\xa2i", "a"}, 3).key(),
              "\x03\x00\x00"s
              "t\xc3\xa2i\0a\0"s);
    // A reading-only candidate never shares its key with a word of the same bytes.
    EXPECT_NE(reading({"a"}).key(), word("a").key());
    // Readings of a word with a text stay out of its key.
    EXPECT_EQ(spelled("x", {"a"}).key(), "\x01\x00x\0"s);
}

TEST(CandidateSemi, CarriesTheLeadingFields) {
    C_Candidate c = spelled("x", {"a", "b"}, 3);
    c.m_chosenReading = {1, true};
    c.m_count = 2;
    c.m_weight = 1.5f;
    c.m_cats = {4};
    c.m_bonus = 9.0;
    const C_SemiCandidate s = c.semi();
    EXPECT_EQ(s.m_text, "x");
    EXPECT_EQ(s.m_readings, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(s.m_chosenReading, (C_ChosenReading{1, true}));
    EXPECT_EQ(s.m_span, 3);
    EXPECT_EQ(s.m_count, 2);
    EXPECT_EQ(s.m_weight, 1.5f);
}

// ---------------------------------------------------------------------------------------------
// Merging

struct MergeCase {
    const char* name;
    C_Candidate existing, added;
    bool changed;
    E_SourceType source;
    float weight;
    E_CandidateRank rank;
};

TEST(CandidateMerge, RankSourceAndWeightRules) {
    const MergeCase cases[] = {
        {"lower source with higher weight changes nothing", word("x", 1, ST_USER_EXACT, 0, 1),
         word("x", 1, ST_SYS_EXACT, 0, 50), false, ST_USER_EXACT, 1, RANK_ORDINARY},
        {"equal source with higher weight raises the weight", word("x", 1, ST_SYS_EXACT, 0, 1),
         word("x", 1, ST_SYS_EXACT, 0, 50), true, ST_SYS_EXACT, 50, RANK_ORDINARY},
        {"equal source with lower weight changes nothing", word("x", 1, ST_SYS_EXACT, 0, 50),
         word("x", 1, ST_SYS_EXACT, 0, 1), false, ST_SYS_EXACT, 50, RANK_ORDINARY},
        {"higher source brings its lower weight", word("x", 1, ST_SYS_EXACT, 0, 50),
         word("x", 1, ST_USER_EXACT, 0, -3), true, ST_USER_EXACT, -3, RANK_ORDINARY},
        {"identical candidate changes nothing", word("x", 1, ST_SYS_PREFIX, 1, 5),
         word("x", 1, ST_SYS_PREFIX, 1, 5), false, ST_SYS_PREFIX, 5, RANK_ORDINARY},
    };
    for (const MergeCase& c : cases) {
        C_Candidate e = c.existing;
        EXPECT_EQ(C_Candidate::merge(e, c.added), c.changed) << c.name;
        EXPECT_EQ(e.m_source, c.source) << c.name;
        EXPECT_EQ(e.m_weight, c.weight) << c.name;
        EXPECT_EQ(e.m_rank, c.rank) << c.name;
    }
}

TEST(CandidateMerge, TheLowerRankWins) {
    C_Candidate e = word("x");
    C_Candidate nailed = word("x");
    nailed.m_rank = RANK_NAILED;
    EXPECT_TRUE(C_Candidate::merge(e, nailed));
    EXPECT_EQ(e.m_rank, RANK_NAILED);

    C_Candidate crossing = word("x");
    crossing.m_rank = RANK_CROSSING;
    EXPECT_FALSE(C_Candidate::merge(e, crossing));
    EXPECT_EQ(e.m_rank, RANK_NAILED);
}

TEST(CandidateMerge, AppendsNewCatsAndReadingsInAddedOrderAndKeepsTheRest) {
    C_Candidate e = word("x", 2, ST_SYS_PREFIX, 1, 3);
    e.m_readings = {"b"};
    e.m_chosenReading = {0, true};
    e.m_cats = {5};
    e.m_bonus = 2.5;
    C_Candidate added = word("x", 2, ST_SYS_EXACT, 7, 1);
    added.m_readings = {"c", "b", "a"};
    added.m_chosenReading = {2, true};
    added.m_cats = {9, 5, 1};
    added.m_bonus = 40.0;
    EXPECT_TRUE(C_Candidate::merge(e, added));
    EXPECT_EQ(e.m_readings, (std::vector<std::string>{"b", "c", "a"}));
    EXPECT_EQ(e.m_cats, (std::vector<uint8_t>{5, 9, 1}));
    EXPECT_EQ(e.m_chosenReading, (C_ChosenReading{0, true}));
    EXPECT_EQ(e.m_count, 1);
    EXPECT_EQ(e.m_bonus, 2.5);
    EXPECT_EQ(e.m_source, ST_SYS_PREFIX);
    EXPECT_EQ(e.m_weight, 3);

    // Nothing new the second time.
    EXPECT_FALSE(C_Candidate::merge(e, added));
}

// ---------------------------------------------------------------------------------------------
// Ranking

struct RankCase {
    const char* name;
    C_Candidate a, b;
    bool doctrine;
    bool aFirst;  // less(a, b)
    bool bFirst;  // less(b, a)
};

C_Candidate ranked(E_CandidateRank rank, uint16_t span = 1) {
    C_Candidate c = word("r", span);
    c.m_rank = rank;
    return c;
}

C_Candidate withBonus(C_Candidate c, double bonus) {
    c.m_bonus = bonus;
    return c;
}

TEST(CandidateRanking, RulesInOrder) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const RankCase cases[] = {
        // 1. rank, before everything else
        {"nailed before ordinary", ranked(RANK_NAILED, 1), ranked(RANK_ORDINARY, 3), true, true,
         false},
        {"ordinary before crossing", ranked(RANK_ORDINARY, 1), ranked(RANK_CROSSING, 3), false,
         true, false},
        // 2. span
        {"longer span first", word("a", 2, ST_RAW_KEY), word("b", 1, ST_USER_PREFIX, 0, 100), false,
         true, false},
        // 3. source, doctrine off
        {"doctrine off: higher source whatever the score", word("a", 1, ST_USER_EXACT, 1, -50),
         word("b", 1, ST_SYS_EXACT, 2, 100), false, true, false},
        // 3. source, doctrine on
        {"doctrine on: one syllable of source 5 after source 2 of count 2",
         word("a", 1, ST_USER_EXACT, 1, 100), word("b", 1, ST_SYS_EXACT, 2), true, false, true},
        {"doctrine on: one syllable of source 4 with score 80 before count 2",
         word("a", 1, ST_SYS_PREFIX, 1, 80), word("b", 1, ST_SYS_EXACT, 2), true, true, false},
        {"doctrine on: one syllable of source 4 with score 79.9 after count 2",
         word("a", 1, ST_SYS_PREFIX, 1, 79.9f), word("b", 1, ST_SYS_EXACT, 2), true, false, true},
        {"doctrine on: the bonus counts toward 80",
         withBonus(word("a", 1, ST_USER_PREFIX, 1, 70), 10.0), word("b", 1, ST_SYS_EXACT, 2), true,
         true, false},
        {"doctrine on: equal counts, higher source first", word("a", 1, ST_USER_EXACT, 1, -9),
         word("b", 1, ST_SYS_EXACT, 1, 9), true, true, false},
        {"doctrine on: higher source of several syllables first",
         word("a", 1, ST_USER_EXACT, 2, -9), word("b", 1, ST_SYS_EXACT, 1, 9), true, true, false},
        {"doctrine on: higher source of count 0 leaves it to the score",
         word("a", 1, ST_USER_EXACT, 0, 1), word("b", 1, ST_SYS_EXACT, 1, 2), true, false, true},
        // 4. score
        {"higher score first", word("a", 1, ST_SYS_EXACT, 0, 2), word("b", 1, ST_SYS_EXACT, 0, 1),
         false, true, false},
        {"bonus is part of the score", withBonus(word("a", 1, ST_SYS_EXACT, 0, 1), 1.5),
         word("b", 1, ST_SYS_EXACT, 0, 2), false, true, false},
        {"a NaN score puts neither first", word("a", 1, ST_SYS_EXACT, 0, nan),
         word("b", 1, ST_SYS_EXACT, 0, 1), false, false, false},
        // 5. count
        {"count 0 first", word("a", 1, ST_SYS_EXACT, 0), word("b", 1, ST_SYS_EXACT, 3), false, true,
         false},
        {"otherwise the higher count first", word("a", 1, ST_SYS_EXACT, 3),
         word("b", 1, ST_SYS_EXACT, 2), false, true, false},
        // 6. width
        {"longer first reading first", reading({"abc"}), reading({"ab", "abcdef"}), false, true,
         false},
        {"more character units first", spelled("\xe7\x94\xb2\xe4\xb9\x99", {}),
         spelled("\xe7\x94\xb2", {}), false, true, false},
        {"equal in every rule", word("a"), word("b"), true, false, false},
    };
    for (const RankCase& c : cases) {
        EXPECT_EQ(C_Candidate::less(c.a, c.b, c.doctrine), c.aFirst) << c.name;
        EXPECT_EQ(C_Candidate::less(c.b, c.a, c.doctrine), c.bFirst) << c.name;
    }
}

TEST(CandidateRanking, WidthCountsDescriptionSequencesAsOneUnit) {
    struct WidthCase {
        const char* name;
        C_Candidate candidate;
        size_t width;
    };
    const WidthCase cases[] = {
        // U+2FF0 with two components is one character unit.
        {"a described character", spelled("\xe2\xbf\xb0\xe6\x9c\xa8\xe6\x9c\xa8", {}), 1},
        {"reading bytes and units", spelled("\xe7\x94\xb2", {"kah"}), 4},
        {"U+2FF0 alone counts no unit", spelled("\xe2\xbf\xb0", {"ab"}), 2},
        {"nothing", C_Candidate{}, 0},
    };
    for (const WidthCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.candidate.width(), c.width);
        // A related choice carries the same fields and breaks its ties by the same width.
        EXPECT_EQ(c.candidate.semi().width(), c.width);
    }
}

TEST(CandidateRanking, TextWithAnIncompleteDescriptionDoesNotFailTheRanking) {
    // U+2FF0 alone lacks its components; it counts no unit instead of throwing.
    const C_Candidate broken = spelled("\xe2\xbf\xb0", {"ab"});
    EXPECT_NO_THROW(EXPECT_EQ(broken.width(), 2u));
    C_CompoUnit u('a');
    u.add(broken);
    u.add(spelled("x", {"abc"}));
    EXPECT_NO_THROW(u.sort());
    EXPECT_EQ(u.at(0)->m_text, "x");
}

// ---------------------------------------------------------------------------------------------
// Composition units

TEST(CompoUnit, AddAppendsOrMergesAndTracksTheSortedFlag) {
    C_CompoUnit u('k');
    EXPECT_TRUE(u.isSorted());
    EXPECT_TRUE(u.add(word("x", 1, ST_SYS_EXACT, 0, 1)));
    EXPECT_FALSE(u.isSorted());
    u.sort();
    EXPECT_TRUE(u.isSorted());

    // An equal candidate that brings nothing leaves the unit as it is.
    EXPECT_FALSE(u.add(word("x", 1, ST_SYS_EXACT, 0, 0)));
    EXPECT_TRUE(u.isSorted());
    EXPECT_EQ(u.size(), 1u);

    // The same word from a user layer merges into one candidate.
    EXPECT_TRUE(u.add(word("x", 1, ST_USER_EXACT, 0, 0)));
    EXPECT_FALSE(u.isSorted());
    ASSERT_EQ(u.size(), 1u);
    EXPECT_EQ(u.at(0)->m_source, ST_USER_EXACT);

    EXPECT_TRUE(u.add(word("x", 2)));
    EXPECT_EQ(u.size(), 2u);

    u.clear();
    EXPECT_TRUE(u.empty());
    EXPECT_TRUE(u.isSorted());
}

TEST(CompoUnit, AtPastTheEndIsNull) {
    C_CompoUnit u('a');
    EXPECT_EQ(u.at(0), nullptr);
    u.add(word("x"));
    u.add(word("y"));
    ASSERT_NE(u.at(1), nullptr);
    EXPECT_EQ(u.at(1)->m_text, "y");
    EXPECT_EQ(u.at(2), nullptr);
    EXPECT_EQ(std::as_const(u).at(2), nullptr);
    EXPECT_EQ(u.at(std::numeric_limits<size_t>::max()), nullptr);
}

TEST(CompoUnit, SortIsStableAndUsesTheUnitsDoctrine) {
    C_CompoUnit u('a', false);
    u.add(word("one", 1, ST_SYS_EXACT, 0, 5));
    u.add(word("two", 1, ST_SYS_EXACT, 0, 5));
    u.add(word("long", 2, ST_RAW_KEY));
    u.add(word("six", 1, ST_SYS_EXACT, 0, 5));
    u.add(word("user", 1, ST_USER_EXACT, 1, 0));
    u.add(word("pair", 1, ST_SYS_EXACT, 2, 0));
    u.sort();
    std::vector<std::string> order;
    for (const C_Candidate& c : u.candidates())
        order.push_back(c.m_text);
    EXPECT_EQ(order, (std::vector<std::string>{"long", "user", "one", "two", "six", "pair"}));

    // With the doctrine on, the one-syllable user word goes after the word of two syllables.
    u.setDoctrine(true);
    EXPECT_FALSE(u.isSorted());
    u.sort();
    order.clear();
    for (const C_Candidate& c : u.candidates())
        order.push_back(c.m_text);
    EXPECT_EQ(order, (std::vector<std::string>{"long", "one", "two", "six", "pair", "user"}));

    // Setting the same flag again keeps the order valid.
    u.setDoctrine(true);
    EXPECT_TRUE(u.isSorted());
}

TEST(CompoUnit, SortDoesNothingWhenMarkedSorted) {
    C_CompoUnit u('a');
    u.add(word("low", 1, ST_SYS_EXACT, 0, 1));
    u.add(word("high", 1, ST_SYS_EXACT, 0, 9));
    u.sort();
    ASSERT_EQ(u.at(0)->m_text, "high");
    u.at(1)->m_bonus = 100.0;  // changed without markUnsorted: the order stays
    u.sort();
    EXPECT_EQ(u.at(0)->m_text, "high");
    u.markUnsorted();
    u.sort();
    EXPECT_EQ(u.at(0)->m_text, "low");
}

// ---------------------------------------------------------------------------------------------
// Keeping a lookup: seal, restore

std::vector<std::string> texts(const C_CompoUnit& u) {
    std::vector<std::string> out;
    for (const C_Candidate& c : u.candidates())
        out.push_back(c.m_text);
    return out;
}

// A unit as a lookup at position 4 leaves it, sealed over composition 7 with a lookup that
// read keys up to 9 and island lists up to 6; then composition changes it as it does.
C_CompoUnit composedUnit() {
    C_CompoUnit u('a');
    u.add(word("low", 1, ST_SYS_EXACT, 0, 1));
    u.add(word("high", 1, ST_SYS_EXACT, 0, 9));
    u.add(word("mid", 2, ST_SYS_EXACT, 0, 5));
    u.sealLookup(4, C_LookupReach{9, 6}, 7);
    u.at(0)->m_bonus = 100.0;
    u.at(1)->m_rank = RANK_NAILED;
    u.at(1)->m_chosenReading = C_ChosenReading{1, true};
    u.at(2)->m_rank = RANK_CROSSING;
    u.markUnsorted();
    u.sort();
    u.add(word("a", 1, ST_RAW_KEY));  // a fallback added after the lookup
    return u;
}

TEST(CompoUnitLookup, RestoreGivesBackTheLookupAsItLeftTheUnit) {
    C_CompoUnit u = composedUnit();
    ASSERT_EQ(texts(u), (std::vector<std::string>{"high", "low", "mid", "a"}));
    ASSERT_TRUE(u.restoreLookup(4, C_LookupReach{9, 6}, 7, 8));
    EXPECT_EQ(texts(u), (std::vector<std::string>{"low", "high", "mid"}));
    for (const C_Candidate& c : u.candidates()) {
        EXPECT_EQ(c.m_rank, RANK_ORDINARY);
        EXPECT_EQ(c.m_bonus, 0.0);
        EXPECT_EQ(c.m_chosenReading, C_ChosenReading{});
    }
    EXPECT_FALSE(u.isSorted());
    // The seal now stands for composition 8.
    EXPECT_FALSE(u.restoreLookup(4, C_LookupReach{9, 6}, 7, 9));
    EXPECT_TRUE(u.restoreLookup(4, C_LookupReach{9, 6}, 8, 9));
}

TEST(CompoUnitLookup, RestoreRefusesWhatTheLookupMayNotHaveSeenAlike) {
    struct Case {
        const char* name;
        size_t pos;
        C_LookupReach limit;
        uint64_t basis;
    };
    const Case cases[] = {
        {"another position", 5, {9, 6}, 7},
        {"keys changed before the lookup's reach", 4, {8, 6}, 7},
        {"island lists changed before the lookup's reach", 4, {9, 5}, 7},
        {"sealed over another composition", 4, {9, 6}, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        C_CompoUnit u = composedUnit();
        const std::vector<std::string> before = texts(u);
        EXPECT_FALSE(u.restoreLookup(c.pos, c.limit, c.basis, 8));
        EXPECT_EQ(texts(u), before);
    }
}

TEST(CompoUnitLookup, NothingIsKeptAfterAMergeAClearOrAFailedSeal) {
    C_CompoUnit merged = composedUnit();
    merged.add(test::withReadings(word("low", 1, ST_SYS_EXACT, 0, 1), {"l\u014d"}));
    EXPECT_FALSE(merged.sealed());
    EXPECT_FALSE(merged.restoreLookup(4, C_LookupReach{9, 6}, 7, 8));

    C_CompoUnit cleared = composedUnit();
    cleared.clear();
    EXPECT_FALSE(cleared.restoreLookup(4, C_LookupReach{9, 6}, 7, 8));

    // A candidate that already carries a bonus is no lookup's own.
    C_CompoUnit bonus('a');
    bonus.add(word("x"));
    bonus.at(0)->m_bonus = 1.0;
    bonus.sealLookup(0, C_LookupReach{1, 1}, 1);
    EXPECT_FALSE(bonus.sealed());

    // A merge into a candidate added after the seal leaves the seal.
    C_CompoUnit extra = composedUnit();
    extra.add(word("a", 1, ST_RAW_KEY));
    EXPECT_TRUE(extra.sealed());
}

TEST(CompoUnitLookup, SortingTheSameLookupAgainGivesTheSameOrder) {
    // Sorted once from the lookup's order, restored, sorted again: the same order, also after
    // a different bonus made a different order in between.
    C_CompoUnit u('a');
    u.add(word("b", 1, ST_SYS_EXACT, 0, 2));
    u.add(word("a", 1, ST_SYS_EXACT, 0, 2));
    u.add(word("c", 1, ST_SYS_EXACT, 0, 3));
    u.add(word("d", 2, ST_SYS_EXACT, 0, 0));
    u.sealLookup(0, C_LookupReach{1, 1}, 1);
    u.sort();
    const std::vector<std::string> first = texts(u);
    EXPECT_EQ(first, (std::vector<std::string>{"d", "c", "b", "a"}));
    ASSERT_TRUE(u.restoreLookup(0, C_LookupReach{1, 1}, 1, 2));
    u.at(1)->m_bonus = 5.0;  // "a"
    u.markUnsorted();
    u.sort();
    EXPECT_EQ(texts(u), (std::vector<std::string>{"d", "a", "c", "b"}));
    ASSERT_TRUE(u.restoreLookup(0, C_LookupReach{1, 1}, 2, 3));
    u.sort();
    EXPECT_EQ(texts(u), first);
    u.setDoctrine(true);
    ASSERT_TRUE(u.restoreLookup(0, C_LookupReach{1, 1}, 3, 4));
    u.sort();
    EXPECT_EQ(texts(u), first);
}

TEST(CompoUnit, SortKeepsEveryCandidateWhenTheRankingCycles) {
    // A goes before B (equal counts), B before C (C is below 80), C before A (score): the sort
    // may put them in any order but must keep each of them once.
    C_CompoUnit u('a', true);
    u.add(word("A", 1, ST_USER_EXACT, 0, 10));
    u.add(word("B", 1, ST_SYS_EXACT, 0, 50));
    u.add(word("C", 1, ST_SYS_PREFIX, 1, 30));
    u.add(word("N", 1, ST_SYS_EXACT, 0, std::numeric_limits<float>::quiet_NaN()));
    u.add(word("nailed", 1, ST_RAW_KEY));
    u.at(4)->m_rank = RANK_NAILED;
    u.markUnsorted();
    u.sort();
    std::vector<std::string> texts;
    for (const C_Candidate& c : u.candidates())
        texts.push_back(c.m_text);
    EXPECT_EQ(texts.front(), "nailed");  // rank stays a consistent leading key
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"A", "B", "C", "N", "nailed"}));
}

TEST(CompoUnit, NoSourcedCandidateLooksAtTheFirstAsTheyStand) {
    C_CompoUnit u('a');
    EXPECT_TRUE(u.noSourcedCandidate());
    u.add(word("a", 1, ST_RAW_KEY));
    EXPECT_TRUE(u.noSourcedCandidate());
    u.add(word("b", 2, ST_SYS_EXACT));
    EXPECT_TRUE(u.noSourcedCandidate());  // unsorted: the raw key still stands first
    u.sort();
    EXPECT_FALSE(u.noSourcedCandidate());
}

TEST(CompoUnit, VisitCandidatesStopsAfterFalseAndMayChangeThem) {
    C_CompoUnit u('a');
    for (const char* t : {"a", "b", "c"})
        u.add(word(t));
    std::vector<std::string> seen;
    u.visitCandidates([&](C_Candidate& c) {
        seen.push_back(c.m_text);
        c.m_bonus = 7.0;
        return c.m_text != "b";
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(u.at(0)->m_bonus, 7.0);
    EXPECT_EQ(u.at(1)->m_bonus, 7.0);
    EXPECT_EQ(u.at(2)->m_bonus, 0.0);
}

TEST(CompoUnit, VisitWithAnEmptyFunctionThrowsOnlyWithACandidate) {
    C_CompoUnit empty('a');
    EXPECT_NO_THROW(empty.visitCandidates(std_move_only_function<bool(C_Candidate&)>()));
    C_CompoUnit u('a');
    u.add(word("x"));
    EXPECT_THROW(u.visitCandidates(std_move_only_function<bool(C_Candidate&)>()),
                 std::bad_function_call);
    I_CompoUnit& viaInterface = u;
    EXPECT_THROW(viaInterface.visitCandidates(nullptr), std::bad_function_call);
}

TEST(CompoUnit, OffsetOfTellsWhetherAPointerLiesInTheUnit) {
    C_CompoUnit u('a');
    u.add(word("x"));
    u.add(word("y"));
    EXPECT_EQ(u.offsetOf(u.at(0)), 0);
    EXPECT_EQ(u.offsetOf(u.at(1)), 1);
    const C_CompoUnit copy = u;
    EXPECT_EQ(copy.size(), 2u);
    const std::ptrdiff_t off = copy.offsetOf(u.at(1));
    EXPECT_TRUE(off < 0 || off >= 2) << off;  // the copy owns its own candidates
}

TEST(CompoUnit, CarriesTheLineSettings) {
    C_CompoUnit u('Q', true, true, false);
    EXPECT_EQ(u.key(), 'Q');
    EXPECT_TRUE(u.doctrine());
    EXPECT_TRUE(u.rawKeyOnly());
    EXPECT_FALSE(u.fullShape());
    EXPECT_EQ(u.state(), UNIT_SETTLED);
    u.setState(UNIT_RECOMPOSE);
    EXPECT_EQ(u.state(), UNIT_RECOMPOSE);
}

// ---------------------------------------------------------------------------------------------
// Category interface and the capturing policy

class C_FakeCats : public I_TailoCats {
public:
    // parents[c] is the parent of category c; categories outside the table have parent 0.
    explicit C_FakeCats(std::vector<uint8_t> parents) : m_parents(std::move(parents)) {}
    std::string_view catName(uint8_t) const override { return {}; }
    uint8_t parentCat(uint8_t cat) const override {
        return cat < m_parents.size() ? m_parents[cat] : 0;
    }
    mutable int m_calls = 0;

private:
    std::vector<uint8_t> m_parents;
};

TEST(TailoCats, IsCatUnderFollowsTheParents) {
    //               0  1  2  3  4
    C_FakeCats cats({0, 0, 1, 2, 0});
    EXPECT_TRUE(cats.isCatUnder(3, 1));
    EXPECT_TRUE(cats.isCatUnder(3, 3));
    EXPECT_TRUE(cats.isCatUnder(0, 0));
    EXPECT_FALSE(cats.isCatUnder(3, 0));  // 0 ends the walk, it is never an ancestor
    EXPECT_FALSE(cats.isCatUnder(1, 3));
    EXPECT_FALSE(cats.isCatUnder(3, 4));
    EXPECT_FALSE(cats.isCatUnder(200, 1));
}

TEST(TailoCats, IsCatUnderEndsOnAParentCycle) {
    C_FakeCats cats({0, 2, 1, 1});  // 1 and 2 are each other's parent
    EXPECT_TRUE(cats.isCatUnder(3, 2));
    EXPECT_FALSE(cats.isCatUnder(3, 4));
    EXPECT_FALSE(cats.isCatUnder(1, 9));
}

TEST(CapturePolicy, KeepsLinesFromSeveralThreadsAndAnswersTheLimitsSet) {
    test::C_CapturePolicy policy;
    EXPECT_EQ(policy.karrThreshold(), 3u);
    EXPECT_EQ(policy.getLimit(MAX_RULES), 1000u);
    EXPECT_EQ(policy.getLimit(RIPE_WORD_COUNT), 3u);
    EXPECT_EQ(policy.getLimit(E_LearnLimit(6)), 0u);
    EXPECT_EQ(policy.getLimit(E_LearnLimit(-1)), 0u);
    policy.setLimit(MAX_VOCS, 7);
    policy.setKarrThreshold(1);
    EXPECT_EQ(policy.getLimit(MAX_VOCS), 7u);
    EXPECT_EQ(policy.karrThreshold(), 1u);

    const I_TailoPolicy& sink = policy;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&sink, t] {
            for (int i = 0; i < 100; ++i)
                sink.log(1 + t, "thread " + std::to_string(t));
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(policy.lines().size(), 400u);
    EXPECT_EQ(policy.count("thread 2"), 100u);
    EXPECT_TRUE(policy.contains("thread 3", 4));
    EXPECT_FALSE(policy.contains("thread 3", 1));
    ASSERT_TRUE(policy.find("thread 1"));
    EXPECT_EQ(policy.find("thread 1")->m_level, 2);
    EXPECT_FALSE(policy.find("absent"));
    policy.clear();
    EXPECT_TRUE(policy.lines().empty());
}

}  // namespace
}  // namespace kov
