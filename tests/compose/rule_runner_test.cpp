// The rule runner: which rules fit the units around a candidate, forwards and backwards over
// gaps, words, categories and no-cross marks; where the weights go and what is recorded; and
// the rule text of the logs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "engine/compose/rule_runner.h"
#include "engine/compose/snapshot.h"
#include "engine/dict/rule.h"
#include "engine/dict/tailo_db.h"
#include "fixtures/capture_policy.h"
#include "tests/compose/snapshot_fixture.h"

namespace kov {
namespace {

using test::C_TestLine;
using test::cand;
using test::withCats;
using test::withRank;
using test::withReadings;

// 1 "N" at the top, 2 "N.person" under it, 3 "V" at the top.
class C_RunnerCats : public I_TailoCats {
public:
    std::string_view catName(uint8_t cat) const override {
        switch (cat) {
            case 1:
                return "N";
            case 2:
                return "N.person";
            case 3:
                return "V";
            default:
                return {};
        }
    }
    uint8_t parentCat(uint8_t cat) const override { return cat == 2 ? 1 : 0; }
};

C_RuleElem gap(float weight = 0) { return C_RuleElem{C_GapPat{}, weight}; }

C_RuleElem word(std::string text, float weight = 0, std::vector<std::string> keys = {},
                uint16_t count = 0) {
    C_WordPat pat;
    pat.text = std::move(text);
    pat.keys = std::move(keys);
    pat.count = count;
    return C_RuleElem{pat, weight};
}

// A word element that every candidate fills.
C_RuleElem any(float weight = 0) { return word("", weight); }

C_RuleElem category(uint8_t cat, float weight = 0, uint16_t min = 0, uint16_t max = 0) {
    C_CatPat pat;
    pat.cat = cat;
    pat.min = min;
    pat.max = max;
    return C_RuleElem{pat, weight};
}

// An element of no kind, as a damaged rule could hold.
C_RuleElem brokenElement() {
    struct C_Boom {
        operator C_WordPat() const { throw std::runtime_error("boom"); }
    };
    C_RuleElem elem;
    try {
        elem.pattern.emplace<C_WordPat>(C_Boom{});
    } catch (const std::runtime_error&) {
    }
    return elem;
}

// Positions: 0 A / AB, 1 B, 2 C, 3 a no-cross mark, 4 D, 5 E (a raw key).
C_TestLine standardLine() {
    C_TestLine line("abc|de");
    line.add(0, withCats(withReadings(cand("A", 1, 0, ST_SYS_EXACT, 1), {"a1"}), {2}));
    line.add(0, withCats(withReadings(cand("AB", 2, 0, ST_SYS_EXACT, 2), {"a1-b2"}), {1}));
    line.add(1, withCats(withReadings(cand("B", 1, 0, ST_SYS_EXACT, 1), {"b2"}), {3}));
    line.add(2, withCats(withReadings(cand("C", 1, 0, ST_SYS_EXACT, 1), {"c3"}), {3}));
    line.add(4, withReadings(cand("D", 1, 0, ST_SYS_EXACT, 1), {"d4"}));
    line.add(5, cand("E", 1, 0, ST_RAW_KEY));
    return line;
}

struct C_MatchCase {
    const char* name;
    size_t start;
    const char* anchorText;
    std::vector<C_RuleElem> rule;
    size_t anchor;
    bool matches;
};

TEST(RuleRunnerMatch, RulesFitTheUnitsAroundTheAnchor) {
    const std::vector<C_MatchCase> cases = {
        {"the anchor alone", 0, "A", {word("A", 1)}, 0, true},
        {"forward word", 0, "A", {word("A"), word("B")}, 0, true},
        {"forward word must be next", 0, "A", {word("A"), word("C")}, 0, false},
        {"forward after a longer anchor", 0, "AB", {word("AB"), word("C")}, 0, true},
        {"forward skips marks", 2, "C", {word("C"), word("D")}, 0, true},
        {"forward skips marks for every element",
         1,
         "B",
         {word("B"), word("C"), word("D")},
         0,
         true},
        {"backward word", 1, "B", {word("A"), word("B")}, 1, true},
        {"backward word ending at the anchor", 2, "C", {word("AB"), word("C")}, 1, true},
        {"backward category under an ancestor", 1, "B", {category(1), word("B")}, 1, true},
        {"backward category elsewhere", 1, "B", {category(3), word("B")}, 1, false},
        {"backward first element skips marks", 4, "D", {word("C"), word("D")}, 1, true},
        {"backward later word stops at a mark",
         5,
         "E",
         {word("C"), word("D"), word("E")},
         2,
         false},
        {"backward later gap matches a mark", 5, "E", {gap(), word("D"), word("E")}, 2, true},
        {"gap before the line", 0, "A", {gap(), word("A")}, 1, true},
        {"nothing before a gap before the line", 0, "A", {any(), gap(), word("A")}, 2, false},
        {"gap at a raw key", 4, "D", {word("D"), gap()}, 0, true},
        {"gap at a sourced unit", 2, "C", {word("C"), gap()}, 0, false},
        {"keys ignore ASCII case", 2, "C", {word("", 0, {"B2"}, 1), word("C")}, 1, true},
        {"keys must match a reading", 2, "C", {word("", 0, {"b3"}, 1), word("C")}, 1, false},
        {"count must be equal", 2, "C", {word("B", 0, {}, 2), word("C")}, 1, false},
        // A word with keys and count 0 looks backward at candidates of two keys or more only.
        {"backward keys with count 0 skip the key before",
         2,
         "C",
         {word("", 0, {"b2"}, 0), word("C")},
         1,
         false},
        {"forward keys with count 0", 1, "B", {word("B"), word("", 0, {"c3"}, 0)}, 0, true},
        {"the anchor is not tested", 1, "B", {word("A"), word("zzz"), word("C")}, 1, true},
        {"anchor index past the rule", 0, "A", {word("A")}, 1, false},
    };
    C_RunnerCats cats;
    for (const C_MatchCase& c : cases) {
        C_TestLine line = standardLine();
        C_RuleRunner runner(cats, line.snap(), line.size());
        C_Candidate* anchor = line.find(c.start, c.anchorText);
        ASSERT_NE(anchor, nullptr) << c.name;
        EXPECT_EQ(runner.run(c.start, *anchor, c.rule, c.anchor, nullptr), c.matches) << c.name;
    }
}

TEST(RuleRunnerMatch, AGapAtTheEndTestsTheUnitThere) {
    C_RunnerCats cats;
    for (bool rawAtEnd : {true, false}) {
        C_TestLine line("ab");
        line.add(0, cand("A"));
        line.add(1, cand("B", 1, 0, rawAtEnd ? ST_RAW_KEY : ST_SYS_EXACT));
        C_RuleRunner runner(cats, line.snap(), 1);  // the caret stands after A
        EXPECT_EQ(runner.run(0, *line.find(0, "A"), {word("A"), gap()}, 0, nullptr), rawAtEnd);
        // Words are not looked for at or past the end.
        EXPECT_FALSE(runner.run(0, *line.find(0, "A"), {word("A"), any()}, 0, nullptr));
    }
}

TEST(RuleRunnerMatch, ACrossingCandidateIsTestedLikeAnyOther) {
    C_RunnerCats cats;
    C_TestLine line("ab");
    line.add(0, cand("A")).add(1, withRank(cand("B"), RANK_CROSSING));
    C_RuleRunner runner(cats, line.snap(), 2);
    EXPECT_TRUE(runner.run(0, *line.find(0, "A"), {word("A"), word("B")}, 0, nullptr));
}

TEST(RuleRunnerMatch, CategoryBoundsNeedReadingsAndACountWithin) {
    struct C_Case {
        uint16_t count;
        bool readings;
        uint16_t min, max;
        bool matches;
    };
    const std::vector<C_Case> cases = {
        {2, true, 2, 3, true},  {3, true, 2, 3, true},   {1, true, 2, 3, false},
        {4, true, 2, 3, false}, {2, false, 2, 3, false}, {0, false, 0, 0, true},
        {9, true, 2, 0, true},  {1, true, 0, 3, true},   {4, true, 0, 3, false},
    };
    C_RunnerCats cats;
    for (const C_Case& c : cases) {
        C_TestLine line("ab");
        line.add(0, cand("A"));
        C_Candidate x = withCats(cand("X", 1, 0, ST_SYS_EXACT, c.count), {2});
        if (c.readings)
            x.m_readings = {"x1"};
        line.add(1, x);
        C_RuleRunner runner(cats, line.snap(), 2);
        EXPECT_EQ(runner.run(0, *line.find(0, "A"), {word("A"), category(1, 0, c.min, c.max)}, 0,
                             nullptr),
                  c.matches)
            << "count " << c.count << " readings " << c.readings << " [" << c.min << "," << c.max
            << "]";
    }
}

TEST(RuleRunnerMatch, ANailedCandidateMatchesKeysByItsChosenReading) {
    struct C_Case {
        E_CandidateRank rank;
        bool chosen;
        uint16_t index;
        bool matches;
    };
    const std::vector<C_Case> cases = {
        {RANK_ORDINARY, false, 0, true}, {RANK_NAILED, true, 0, false},
        {RANK_NAILED, true, 1, true},    {RANK_NAILED, false, 0, true},
        {RANK_ORDINARY, true, 0, true},  {RANK_NAILED, true, 5, false},
    };
    C_RunnerCats cats;
    for (const C_Case& c : cases) {
        C_TestLine line("ab");
        line.add(0, cand("A"));
        C_Candidate x = withRank(withReadings(cand("X"), {"aa1", "bb2"}), c.rank);
        x.m_chosenReading = {c.index, c.chosen};
        line.add(1, x);
        C_RuleRunner runner(cats, line.snap(), 2);
        EXPECT_EQ(runner.run(0, *line.find(0, "A"), {word("A"), word("", 0, {"BB2"})}, 0, nullptr),
                  c.matches)
            << "rank " << int(c.rank) << " chosen " << c.chosen << " index " << c.index;
    }
}

TEST(RuleRunnerWeights, TheAnchorWordAloneAddsItsWeightUnrecorded) {
    C_RunnerCats cats;
    C_TestLine line = standardLine();
    line.unit(0).sort();
    C_Candidate* a = line.find(0, "A");
    C_RuleRunner runner(cats, line.snap(), line.size());
    EXPECT_TRUE(runner.run(0, *a, {word("A", 2.5)}, 0, &line.snap().m_ruleMatches));
    EXPECT_EQ(a->m_bonus, 2.5);
    EXPECT_FALSE(line.unit(0).isSorted());
    EXPECT_TRUE(line.snap().m_ruleMatches.empty());

    // A category anchor's weight goes nowhere.
    EXPECT_TRUE(runner.run(0, *a, {category(2, 4.0f)}, 0, &line.snap().m_ruleMatches));
    EXPECT_EQ(a->m_bonus, 2.5);
}

TEST(RuleRunnerWeights, ForwardAndBackwardWeightsGoToTheCandidatesThatFill) {
    C_RunnerCats cats;
    C_TestLine line = standardLine();
    for (size_t p : {0u, 1u, 2u, 4u})
        line.unit(p).sort();
    const std::vector<C_RuleElem> rule = {category(1, 0.5f), word("B", 0.25f), word("C", -1.5f)};
    const std::string key = ruleKey(rule);
    C_Candidate* a = line.find(0, "A");
    C_Candidate* b = line.find(1, "B");
    C_Candidate* c = line.find(2, "C");
    C_RuleRunner runner(cats, line.snap(), line.size());
    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(runner.run(1, *b, rule, 1, &line.snap().m_ruleMatches));
        EXPECT_EQ(a->m_bonus, 0.5 * round);
        EXPECT_EQ(b->m_bonus, 0.25 * round);
        EXPECT_EQ(c->m_bonus, -1.5 * round);
        EXPECT_EQ(line.find(0, "AB")->m_bonus, 0.0);  // cat 1 itself, but it ends past B's start
        const C_RuleMatches expected = {
            {{0, a->key()}, {{{key, 0}, 0.5f * round}}},
            {{2, c->key()}, {{{key, 2}, -1.5f * round}}},
        };
        EXPECT_EQ(line.snap().m_ruleMatches, expected);
    }
    for (size_t p : {0u, 1u, 2u})
        EXPECT_FALSE(line.unit(p).isSorted()) << p;
    EXPECT_TRUE(line.unit(4).isSorted());
}

// d is reached by two paths: as the third element after "b"+"c" (weight -0.75) and as the
// second after "bc" (weight 0.5, a path that ends before the rule does). It keeps the weight
// of the larger magnitude, not the sum; both records are kept.
TEST(RuleRunnerWeights, ACandidateOnTwoPathsKeepsTheLargerMagnitude) {
    C_RunnerCats cats;
    C_TestLine line("abcd");
    line.add(0, cand("a")).add(1, cand("b")).add(1, cand("bc", 2)).add(2, cand("c"));
    line.add(3, cand("d"));
    const std::vector<C_RuleElem> rule = {word("a"), any(), any(0.5f), any(-0.75f)};
    const std::string key = ruleKey(rule);
    C_RuleRunner runner(cats, line.snap(), 4);
    ASSERT_TRUE(runner.run(0, *line.find(0, "a"), rule, 0, &line.snap().m_ruleMatches));
    C_Candidate* d = line.find(3, "d");
    EXPECT_EQ(d->m_bonus, -0.75);
    EXPECT_EQ(line.find(2, "c")->m_bonus, 0.5);
    EXPECT_EQ(line.find(1, "b")->m_bonus, 0.0);
    const std::map<C_RuleElemURL, float> dRecords = {{{key, 2}, 0.5f}, {{key, 3}, -0.75f}};
    EXPECT_EQ(line.snap().m_ruleMatches.at(C_CandidateURL{3, d->key()}), dRecords);
}

TEST(RuleRunnerWeights, NoMapOrNoMatchChangesNothing) {
    C_RunnerCats cats;
    C_TestLine line = standardLine();
    for (size_t p : {0u, 1u, 2u})
        line.unit(p).sort();
    C_Candidate* a = line.find(0, "A");
    C_RuleRunner runner(cats, line.snap(), line.size());
    EXPECT_TRUE(runner.run(0, *a, {word("A", 1), word("B", 1)}, 0, nullptr));
    // B's weight is recorded on the way, but the rule fails at the third element.
    C_RuleMatches matches;
    EXPECT_FALSE(runner.run(0, *a, {word("A", 1), word("B", 1), word("x")}, 0, &matches));
    EXPECT_TRUE(matches.empty());
    for (size_t p : {0u, 1u, 2u}) {
        EXPECT_TRUE(line.unit(p).isSorted()) << p;
        for (const C_Candidate& c : line.unit(p).candidates())
            EXPECT_EQ(c.m_bonus, 0.0) << c.m_text;
    }
}

// The learner's runner offers one fixed candidate per position through the unit lookup: only
// that candidate is matched, and the snapshot's own units are not marked unsorted.
class C_OneCandidateUnit : public I_CompoUnit {
public:
    explicit C_OneCandidateUnit(C_Candidate* c) : m_candidate(c) {}
    bool noSourcedCandidate() const override {
        return !m_candidate || m_candidate->m_source == ST_RAW_KEY;
    }
    void visitCandidates(std_move_only_function<bool(C_Candidate&)>&& f) override {
        if (m_candidate)
            f(*m_candidate);
    }

private:
    C_Candidate* m_candidate;
};

class C_FixedRunner : public C_RuleRunner {
public:
    C_FixedRunner(const I_TailoCats& cats, C_InputLineSnapshot& snap,
                  std::vector<C_OneCandidateUnit> units)
        : C_RuleRunner(cats, snap, snap.m_elements.size()), m_units(std::move(units)) {
        m_unitAt = [this](size_t pos) -> I_CompoUnit* {
            return pos < m_units.size() ? &m_units[pos] : nullptr;
        };
    }

private:
    std::vector<C_OneCandidateUnit> m_units;
};

TEST(RuleRunnerWeights, ASubstituteUnitLookupSeesOnlyItsCandidates) {
    C_RunnerCats cats;
    C_TestLine line("ab");
    line.add(0, cand("A1", 1, 1)).add(0, cand("A2", 1, 0)).add(1, cand("B"));
    line.unit(0).sort();
    line.unit(1).sort();
    C_Candidate* a1 = line.find(0, "A1");
    C_Candidate* a2 = line.find(0, "A2");
    C_Candidate* b = line.find(1, "B");
    const std::vector<C_RuleElem> rule = {any(0.5f), word("B")};

    C_FixedRunner fixed(cats, line.snap(), {C_OneCandidateUnit(a2), C_OneCandidateUnit(b)});
    C_RuleMatches matches;
    ASSERT_TRUE(fixed.run(1, *b, rule, 1, &matches));
    EXPECT_EQ(a2->m_bonus, 0.5);
    EXPECT_EQ(a1->m_bonus, 0.0);
    EXPECT_TRUE(line.unit(0).isSorted());
    EXPECT_EQ(matches.size(), 1u);

    C_RuleRunner plain(cats, line.snap(), 2);
    ASSERT_TRUE(plain.run(1, *b, rule, 1, &matches));
    EXPECT_EQ(a1->m_bonus, 0.5);
    EXPECT_FALSE(line.unit(0).isSorted());
}

// Random rules on random lines with marks: whether a rule fits does not depend on the map,
// and a rule that does not fit changes no bonus and records nothing.
TEST(RuleRunnerMatch, RandomRulesFitTheSameWithOrWithoutAMap) {
    std::mt19937 random(1210);
    auto below = [&](unsigned n) { return unsigned(random() % n); };
    C_RunnerCats cats;
    int fitted = 0;
    for (int round = 0; round < 300; ++round) {
        std::string keys;
        const unsigned n = 1 + below(8);
        for (unsigned i = 0; i < n; ++i)
            keys += i > 0 && below(4) == 0 ? '|' : 'a';
        C_TestLine line(keys);
        for (unsigned p = 0; p < n; ++p) {
            if (keys[p] == '|')
                continue;
            for (unsigned k = below(4); k > 0; --k) {
                C_Candidate c = cand(std::string(1, char('A' + below(3))),
                                     uint16_t(1 + below(std::min(3u, n - p))), 0,
                                     E_SourceType(below(3)), uint16_t(below(3)));
                if (below(2))
                    c.m_readings = {below(2) ? "x1" : "y2"};
                c.m_cats = {uint8_t(below(4))};
                line.add(p, c);
            }
        }
        std::vector<C_RuleElem> rule;
        for (unsigned e = 1 + below(4); e > 0; --e) {
            const float w = float(below(3)) * 0.5f - 0.5f;
            switch (below(3)) {
                case 0:
                    rule.push_back(gap(w));
                    break;
                case 1: {
                    std::vector<std::string> wordKeys;
                    if (below(2))
                        wordKeys.push_back("X1");
                    rule.push_back(word(below(2) ? "" : std::string(1, char('A' + below(3))), w,
                                        std::move(wordKeys), uint16_t(below(3))));
                    break;
                }
                default:
                    rule.push_back(
                        category(uint8_t(below(4)), w, uint16_t(below(3)), uint16_t(below(4))));
            }
        }
        unsigned start = below(n);
        while (keys[start] == '|')
            --start;
        const size_t end = 1 + start + below(n - start);
        const size_t anchor = below(unsigned(rule.size()));
        auto bonuses = [&] {
            std::vector<double> out;
            for (size_t p = 0; p < n; ++p) {
                if (C_CompoUnit* u = line.snap().unitAt(p)) {
                    for (const C_Candidate& x : u->candidates())
                        out.push_back(x.m_bonus);
                }
            }
            return out;
        };
        for (size_t j = 0; j < line.unit(start).size(); ++j) {
            C_Candidate& c = *line.unit(start).at(j);
            C_RuleRunner runner(cats, line.snap(), end);
            const bool fits = runner.run(start, c, rule, anchor, nullptr);
            const std::vector<double> before = bonuses();
            C_RuleMatches matches;
            ASSERT_EQ(runner.run(start, c, rule, anchor, &matches), fits) << keys;
            fitted += fits;
            if (!fits) {
                EXPECT_TRUE(matches.empty()) << keys;
                EXPECT_EQ(bonuses(), before) << keys;
            }
        }
    }
    EXPECT_GT(fitted, 0);
}

TEST(RuleRunnerErrors, AnElementOfNoKindIsAnErrorInEitherDirection) {
    C_RunnerCats cats;
    C_TestLine line("ab");
    line.add(0, cand("A")).add(1, cand("B"));
    C_RuleRunner runner(cats, line.snap(), 2);
    const C_RuleElem broken = brokenElement();
    ASSERT_TRUE(broken.pattern.valueless_by_exception());
    const std::string kind = std::to_string(std::variant_npos);
    try {
        runner.run(0, *line.find(0, "A"), {word("A"), broken}, 0, nullptr);
        FAIL() << "no error";
    } catch (const std::logic_error& e) {
        EXPECT_EQ(e.what(), "Unknown pattern type(1/2): " + kind);
    }
    try {
        runner.run(1, *line.find(1, "B"), {broken, word("B")}, 1, nullptr);
        FAIL() << "no error";
    } catch (const std::logic_error& e) {
        EXPECT_EQ(e.what(), "Unknown pattern type(2/2): " + kind);
    }
    EXPECT_EQ(dumpRules({broken}, cats), "?(" + kind + ")");
}

TEST(RuleRunnerDump, OneLineTextOfARule) {
    struct C_Case {
        std::vector<C_RuleElem> rule;
        const char* text;
    };
    const std::vector<C_Case> cases = {
        {{gap()}, "#"},
        {{word("tsit", 0.5f, {"tsit8"}, 1)}, "tsit[1]tsit8:+0.5"},
        {{word("x", -1.25f, {"a1", "b2"}, 2)}, "x[2]{a1,b2}:-1.25"},
        {{any()}, "[0]{}"},
        {{category(2, 0, 2, 3)}, "N.person[2,3]"},
        {{category(1, 0, 0, 3)}, "N[,3]"},
        {{category(1, 0, 2, 0)}, "N[2,]"},
        {{category(3, 1234.5f)}, "V:+1.23e+03"},
        {{category(3, 0.0001234f)}, "V:+0.000123"},
        {{category(3, 100)}, "V:+100"},
        {{gap(-2), word("A", 2.5f), category(3)}, "#:-2/A[0]{}:+2.5/V"},
    };
    C_RunnerCats cats;
    for (const C_Case& c : cases)
        EXPECT_EQ(dumpRules(c.rule, cats), c.text);
}

// A dictionary that holds nothing but rules, filed the way the dictionaries file them.
class C_RulesOnlyDB : public I_TailoDB {
public:
    C_RulesOnlyDB() : m_rules(m_cats) {}
    void addRule(std::vector<C_RuleElem> rule) {
        ASSERT_TRUE(m_rules.addRule(std::make_shared<C_Rule>(std::move(rule))));
    }

    void getRelatedChoices(const C_VisitConsts&, const C_StdIsle&,
                           const FC_RelatedSink&) const override {}
    const I_TailoCats& cats() const override { return m_cats; }
    void getIslandVocs(const C_VisitConsts&, const C_StdIsle&, const FC_UnitAt&) const override {}
    void addKeyVocs(C_CompoUnit&, std::string_view, bool) const override {}
    void visitCatRules(std::span<const uint8_t> cats, const FC_RuleVisitor& visit) const override {
        m_rules.visitCatRules(cats, visit);
    }
    void visitWordRules(const std::string& text, const std::vector<std::string>& keys,
                        const FC_RuleVisitor& visit) const override {
        m_rules.visitWordRules(text, keys, visit);
    }
    const I_TailoPolicy& logger() const override { return m_policy; }
    void voc2tailos(std::string_view, const FC_ReadingSink&) const override {}

private:
    C_RunnerCats m_cats;
    test::C_CapturePolicy m_policy;
    C_RuleTable m_rules;
};

// The rule pass of a composition: every candidate's word rules, then its category rules.
void runRulePass(C_InputLineSnapshot& snap, const I_TailoDB& db, size_t end) {
    C_RuleRunner runner(db.cats(), snap, end);
    for (size_t pos = 0; pos < end; ++pos) {
        C_CompoUnit* unit = snap.unitAt(pos);
        if (!unit)
            continue;
        for (C_Candidate& c : unit->candidates()) {
            auto run = [&](const std::vector<C_RuleElem>& rule, size_t anchor) {
                runner.run(pos, c, rule, anchor, &snap.m_ruleMatches);
            };
            db.visitWordRules(c.m_text, c.m_readings, run);
            db.visitCatRules(c.m_cats, run);
        }
    }
}

// "I" (a person) then "KIANN" (a verb) or "KIA" (a noun, scoring higher). A word rule filed
// under KIANN lifts the person before it; a category rule filed under the person lifts the verb
// after it, enough to win.
TEST(RuleRunnerPass, WordAndCategoryRulesChangeTheWinners) {
    C_RulesOnlyDB db;
    const std::vector<C_RuleElem> wordRule = {category(1, 0.5f), word("KIANN")};
    const std::vector<C_RuleElem> catRule = {category(2, 4.0f), category(3, 1.0f)};
    db.addRule(wordRule);
    db.addRule(catRule);

    C_TestLine line("ab");
    line.add(0, withCats(withReadings(cand("I", 1, 5), {"i1"}), {2}));
    line.add(1, withCats(withReadings(cand("KIA", 1, 10.5f), {"kiann2"}), {1}));
    line.add(1, withCats(withReadings(cand("KIANN", 1, 10), {"kiann2"}), {3}));
    line.snap().findWinners(2);
    EXPECT_EQ(test::winnerText(line.snap()), "I@0 KIA@1");

    runRulePass(line.snap(), db, 2);
    C_Candidate* i = line.find(0, "I");
    C_Candidate* kiann = line.find(1, "KIANN");
    EXPECT_EQ(i->m_bonus, 0.5);      // backward, from the word rule
    EXPECT_EQ(kiann->m_bonus, 1.0);  // forward, from the category rule
    EXPECT_EQ(line.find(1, "KIA")->m_bonus, 0.0);
    const C_RuleMatches expected = {
        {{0, i->key()}, {{{ruleKey(wordRule), 0}, 0.5f}}},
        {{1, kiann->key()}, {{{ruleKey(catRule), 1}, 1.0f}}},
    };
    EXPECT_EQ(line.snap().m_ruleMatches, expected);

    line.snap().findWinners(2);
    EXPECT_EQ(test::winnerText(line.snap()), "I@0 KIANN@1");
}

}  // namespace
}  // namespace kov
