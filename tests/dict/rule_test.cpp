#include "engine/dict/rule.h"

#include "tests/dict/rule_fixture.h"
#include "tests/support/fake_cats.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace kov {
namespace {

using test::cat;
using test::gap;
using test::rule;
using test::word;

std::vector<float> weights(const C_Rule& r) {
    std::vector<float> w;
    for (const auto& e : r)
        w.push_back(e.weight);
    return w;
}

// ---- rule keys ----

TEST(RuleKey, WordElementKeepsCountTextAndKeys) {
    EXPECT_EQ(ruleKey({word("x", {"k1", "k2"}, 0.5f)}),
              std::string("\x01\x00\x00x\0k1\0k2\0\0", 12));
}

TEST(RuleKey, AdHocRuleOfThreeWords) {
    const C_Rule r{word("\xE8\xBC\xB8", {}, 0, 1), word("\xE5\x85\xA5", {}, 0, 1),
                   word("\xE6\xB3\x95", {}, 6.0f, 1)};
    EXPECT_EQ(ruleKey(r), std::string("\x01\x01\x00\xE8\xBC\xB8\x00\x00"
                                      "\x01\x01\x00\xE5\x85\xA5\x00\x00"
                                      "\x01\x01\x00\xE6\xB3\x95\x00\x00",
                                      24));
}

TEST(RuleKey, GapAndCategoryElements) {
    EXPECT_EQ(ruleKey({gap(1), cat(7, 2, 0x0102, 0xFFFE)}),
              std::string("\x00\x02\x07\x02\x01\xFE\xFF", 7));
    EXPECT_EQ(ruleKey({}), "");
}

TEST(RuleKey, WeightsAreNotPartOfTheKey) {
    EXPECT_EQ(ruleKey({word("a", {"k"}, 1), cat(3, 2)}),
              ruleKey({word("a", {"k"}, -4), cat(3, 0)}));
    EXPECT_NE(ruleKey({word("a", {"k"})}), ruleKey({word("a", {"k"}, 0, 1)}));
}

TEST(RuleKey, ParseGivesThePatternsBackWithoutWeights) {
    const C_Rule r{gap(1), word("\xE5\x8F\xB0", {"tai5", "ta1"}, 2, 3), cat(9, -1, 1, 4),
                   word("", {}, 5)};
    const C_Rule back = parseRulePats(ruleKey(r));
    ASSERT_EQ(back.size(), r.size());
    for (size_t i = 0; i < r.size(); ++i) {
        EXPECT_EQ(back[i].pattern, r[i].pattern) << i;
        EXPECT_EQ(back[i].weight, 0.0f) << i;
    }
    EXPECT_TRUE(parseRulePats("").empty());
}

TEST(RuleKey, ParseRejectsUnknownKindsAndCutKeys) {
    try {
        parseRulePats(std::string("\x00\x07", 2));
        FAIL() << "no throw";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Unknown C_RulePat index: 7");
    }
    const std::string whole = ruleKey({word("ab", {"k1"}), cat(2, 0, 1, 2)});
    // Every cut inside an element (not at an element boundary) is refused.
    for (size_t n = 1; n < whole.size(); ++n) {
        if (n == 10)
            continue;  // the word element ends here; the rest is a whole key of one element
        EXPECT_THROW(parseRulePats(whole.substr(0, n)), std::logic_error) << n;
    }
    EXPECT_EQ(parseRulePats(whole.substr(0, 10)).size(), 1u);
}

TEST(UsageStamp, ClockReadsSystemSecondsUnlessPinned) {
    const auto secs = [] {
        return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                         std::chrono::system_clock::now().time_since_epoch())
                                         .count());
    };
    const uint32_t before = secs();
    const uint32_t now = nowSeconds();
    EXPECT_LE(before, now);
    EXPECT_LE(now, secs());
    setNowForTest(42);
    EXPECT_EQ(C_UsageStamp::fresh(), (C_UsageStamp{0, 42}));
    setNowForTest(std::nullopt);
    EXPECT_GE(nowSeconds(), before);
}

// ---- the table ----

class RuleTableTest : public ::testing::Test {
protected:
    RuleTableTest() {
        // 5 top level, 6 under 5, 7 under 6; 8 top level.
        m_cats.add(5, "noun").add(6, "place", 5).add(7, "city", 6).add(8, "verb");
        setNowForTest(1000);
    }
    ~RuleTableTest() override { setNowForTest(std::nullopt); }

    std::vector<std::pair<const C_Rule*, size_t>> wordHits(const std::string& text,
                                                           const std::vector<std::string>& keys) {
        std::vector<std::pair<const C_Rule*, size_t>> hits;
        m_table.visitWordRules(text, keys,
                               [&](const C_Rule& r, size_t i) { hits.emplace_back(&r, i); });
        return hits;
    }
    std::vector<std::pair<const C_Rule*, size_t>> catHits(std::vector<uint8_t> cats) {
        std::vector<std::pair<const C_Rule*, size_t>> hits;
        m_table.visitCatRules(cats, [&](const C_Rule& r, size_t i) { hits.emplace_back(&r, i); });
        return hits;
    }

    test::C_FakeCats m_cats;
    C_RuleTable m_table{m_cats};
};

TEST_F(RuleTableTest, RefusesWhatCannotBeFoundOrStored) {
    EXPECT_FALSE(m_table.addRule(nullptr));
    EXPECT_FALSE(m_table.addRule(rule({})));
    EXPECT_FALSE(m_table.addRule(rule({gap(1), gap(2)})));
    EXPECT_FALSE(m_table.addRule(rule({word(std::string("a\0b", 3), {}, 1)})));
    EXPECT_FALSE(m_table.addRule(rule({word("a", {"k1", ""}, 1)})));
    EXPECT_FALSE(m_table.addRule(rule({word("a", {std::string("k\0", 2)}, 1)})));
    EXPECT_TRUE(m_table.empty());
    EXPECT_TRUE(wordHits("a", {}).empty());
}

TEST_F(RuleTableTest, NewRuleIsStoredWithAFreshStamp) {
    const auto r = rule({gap(), word("a", {"k1"}, 1.5f)});
    ASSERT_TRUE(m_table.addRule(r));
    const auto* entry = m_table.find(ruleKey(*r));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->rule, r);
    EXPECT_EQ(entry->stamp, (C_UsageStamp{0, 1000}));
    EXPECT_EQ(wordHits("a", {"k1"}), (std::vector<std::pair<const C_Rule*, size_t>>{{r.get(), 1}}));
}

TEST_F(RuleTableTest, AddingAgainMergesWeightsAndRenewsTheStamp) {
    const auto stored = rule({word("a", {}, 1), cat(5, 2)});
    ASSERT_TRUE(m_table.addRule(stored));
    ASSERT_EQ(m_table.countHit(ruleKey(*stored)), 1u);
    setNowForTest(2000);
    ASSERT_TRUE(m_table.addRule(rule({word("a", {}, 1), cat(5, 2)})));
    EXPECT_EQ(weights(*stored), (std::vector<float>{2, 4}));
    EXPECT_EQ(m_table.size(), 1u);
    EXPECT_EQ(m_table.find(ruleKey(*stored))->stamp, (C_UsageStamp{0, 2000}));

    // Zero weights change nothing, not even the stamp.
    ASSERT_EQ(m_table.countHit(ruleKey(*stored)), 1u);
    setNowForTest(3000);
    EXPECT_TRUE(m_table.addRule(rule({word("a"), cat(5)})));
    EXPECT_EQ(weights(*stored), (std::vector<float>{2, 4}));
    EXPECT_EQ(m_table.find(ruleKey(*stored))->stamp, (C_UsageStamp{1, 2000}));
}

TEST_F(RuleTableTest, OppositeWeightsCancelTheRule) {
    const auto stored = rule({word("a", {"k1", "k2"}, 1), word("b", {}, -2)});
    ASSERT_TRUE(m_table.addRule(stored));
    ASSERT_TRUE(m_table.addRule(rule({word("a", {"k1", "k2"}, -1), word("b", {}, 2)})));
    EXPECT_TRUE(m_table.empty());
    EXPECT_TRUE(wordHits("a", {"k1", "k2"}).empty());
    // The text is free again for a new rule.
    const auto again = rule({word("a", {"k1"}, 1)});
    ASSERT_TRUE(m_table.addRule(again));
    EXPECT_EQ(wordHits("a", {"k1"}).size(), 1u);
}

TEST_F(RuleTableTest, NanWeightIsNeverZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const auto stored = rule({word("a", {}, 1)});
    ASSERT_TRUE(m_table.addRule(stored));
    setNowForTest(2000);
    ASSERT_TRUE(m_table.addRule(rule({word("a", {}, nan)})));
    EXPECT_TRUE(std::isnan((*stored)[0].weight));
    EXPECT_EQ(m_table.size(), 1u);
    EXPECT_EQ(m_table.find(ruleKey(*stored))->stamp.time, 2000u);
}

TEST_F(RuleTableTest, WordRulesAreFoundByTextAndAnyOfTheirKeys) {
    const auto keyed = rule({word("a", {"k1", "k2"}, 1)});
    const auto unkeyed = rule({word("a", {}, 1), word("b", {"k9"}, 1)});
    const auto later = rule({cat(5, 1), word("b", {"k9"}, 1)});  // filed under its word, index 1
    ASSERT_TRUE(m_table.addRule(keyed));
    ASSERT_TRUE(m_table.addRule(unkeyed));
    ASSERT_TRUE(m_table.addRule(later));
    using Hits = std::vector<std::pair<const C_Rule*, size_t>>;
    const auto sorted = [](Hits h) {
        std::sort(h.begin(), h.end());
        return h;
    };
    EXPECT_EQ(sorted(wordHits("a", {"k1", "k2"})), sorted({{keyed.get(), 0}, {unkeyed.get(), 0}}));
    EXPECT_EQ(sorted(wordHits("a", {"k2"})), sorted({{keyed.get(), 0}, {unkeyed.get(), 0}}));
    EXPECT_EQ(wordHits("a", {}), (Hits{{unkeyed.get(), 0}}));
    EXPECT_EQ(wordHits("a", {"k3"}), (Hits{{unkeyed.get(), 0}}));
    EXPECT_EQ(wordHits("b", {"k9"}), (Hits{{later.get(), 1}}));  // unkeyed is filed under "a"
    EXPECT_TRUE(wordHits("c", {"k1"}).empty());
    EXPECT_TRUE(catHits({5}).empty());  // a rule with a word is not filed by category
}

TEST_F(RuleTableTest, CategoryRulesAreFoundFromAnyCategoryBelow) {
    const auto r5 = rule({gap(), cat(5, 1)});
    const auto r6 = rule({cat(6, 1)});
    const auto r8 = rule({cat(8, 1)});
    ASSERT_TRUE(m_table.addRule(r5));
    ASSERT_TRUE(m_table.addRule(r6));
    ASSERT_TRUE(m_table.addRule(r8));
    using Hits = std::vector<std::pair<const C_Rule*, size_t>>;
    const auto sorted = [](Hits h) {
        std::sort(h.begin(), h.end());
        return h;
    };
    EXPECT_EQ(sorted(catHits({7})), sorted({{r5.get(), 1}, {r6.get(), 0}}));
    EXPECT_EQ(sorted(catHits({5, 7, 7})), sorted({{r5.get(), 1}, {r6.get(), 0}}));
    EXPECT_EQ(catHits({5}), (Hits{{r5.get(), 1}}));
    EXPECT_EQ(sorted(catHits({0, 8, 5})), sorted({{r5.get(), 1}, {r8.get(), 0}}));
    EXPECT_TRUE(catHits({0}).empty());
    EXPECT_TRUE(catHits({}).empty());
    EXPECT_TRUE(catHits({9}).empty());
}

TEST_F(RuleTableTest, CategoryCycleEndsTheWalk) {
    test::C_FakeCats cyclic;
    cyclic.add(1, "a", 2).add(2, "b", 1);
    C_RuleTable table(cyclic);
    const auto r = rule({cat(2, 1)});
    ASSERT_TRUE(table.addRule(r));
    size_t calls = 0;
    const std::vector<uint8_t> cats{1};
    table.visitCatRules(cats, [&](const C_Rule&, size_t) { ++calls; });
    EXPECT_EQ(calls, 1u);
}

TEST_F(RuleTableTest, CountHitCountsAndStamps) {
    const auto r = rule({word("a", {}, 1)});
    ASSERT_TRUE(m_table.addRule(r));
    EXPECT_EQ(m_table.countHit("no such key"), 0u);
    EXPECT_EQ(m_table.size(), 1u);
    setNowForTest(1500);
    EXPECT_EQ(m_table.countHit(ruleKey(*r)), 1u);
    EXPECT_EQ(m_table.countHit(ruleKey(*r)), 2u);
    EXPECT_EQ(m_table.find(ruleKey(*r))->stamp, (C_UsageStamp{2, 1500}));
}

TEST_F(RuleTableTest, TakeRuleHandsItOverAndUnfilesIt) {
    const auto r = rule({word("a", {"k1"}, 1), cat(5, 1)});
    ASSERT_TRUE(m_table.addRule(r));
    EXPECT_EQ(m_table.takeRule("absent"), nullptr);
    const C_RulePtr taken = m_table.takeRule(ruleKey(*r));
    EXPECT_EQ(taken, r);
    EXPECT_TRUE(m_table.empty());
    EXPECT_TRUE(wordHits("a", {"k1"}).empty());  // the rule lives on, but is no longer filed
    // Another table takes it with its weights.
    C_RuleTable other(m_cats);
    ASSERT_TRUE(other.addRule(taken));
    EXPECT_EQ(weights(*other.find(ruleKey(*r))->rule), (std::vector<float>{1, 1}));
}

TEST_F(RuleTableTest, InsertRuleKeepsTheGivenStampAndRefusesARepeat) {
    const auto r = rule({cat(5, 1)});
    ASSERT_TRUE(m_table.insertRule(r, C_UsageStamp{3, 77}));
    EXPECT_EQ(m_table.find(ruleKey(*r))->stamp, (C_UsageStamp{3, 77}));
    EXPECT_FALSE(m_table.insertRule(rule({cat(5, 2)}), C_UsageStamp{1, 1}));
    EXPECT_EQ(weights(*m_table.find(ruleKey(*r))->rule), (std::vector<float>{1}));
    EXPECT_FALSE(m_table.insertRule(rule({gap(1)}), C_UsageStamp{}));
}

TEST_F(RuleTableTest, PurgeDropsTheLeastUsedFirst) {
    // Scores: a 0*600+5000 = 5000, b 1*600+4400 = 5000, c 9000, d 100. Ties go in key order.
    ASSERT_TRUE(m_table.insertRule(rule({word("a", {}, 1)}), C_UsageStamp{0, 5000}));
    ASSERT_TRUE(m_table.insertRule(rule({word("b", {}, 1)}), C_UsageStamp{1, 4400}));
    ASSERT_TRUE(m_table.insertRule(rule({word("c", {}, 1)}), C_UsageStamp{0, 9000}));
    ASSERT_TRUE(m_table.insertRule(rule({word("d", {}, 1)}), C_UsageStamp{0, 100}));
    EXPECT_EQ(m_table.purge(4), 0u);
    EXPECT_EQ(m_table.purge(10), 0u);
    EXPECT_EQ(m_table.purge(2), 2u);  // d, then a (same score as b, earlier key)
    EXPECT_TRUE(wordHits("a", {}).empty());
    EXPECT_TRUE(wordHits("d", {}).empty());
    EXPECT_EQ(wordHits("b", {}).size(), 1u);
    EXPECT_EQ(wordHits("c", {}).size(), 1u);
    EXPECT_EQ(m_table.purge(0), 2u);
    EXPECT_TRUE(m_table.empty());
}

TEST_F(RuleTableTest, PurgeScoreWrapsInThirtyTwoBits) {
    // 7158279 * 600 = 4294967400 wraps to 104, below the other rule's 200.
    ASSERT_TRUE(m_table.insertRule(rule({word("a", {}, 1)}), C_UsageStamp{7158279, 0}));
    ASSERT_TRUE(m_table.insertRule(rule({word("b", {}, 1)}), C_UsageStamp{0, 200}));
    EXPECT_EQ(m_table.purge(1), 1u);
    EXPECT_TRUE(wordHits("a", {}).empty());
    EXPECT_EQ(wordHits("b", {}).size(), 1u);
}

TEST_F(RuleTableTest, VisitorMaySeeARuleDroppedMeanwhile) {
    const auto r = rule({word("a", {}, 1)});
    ASSERT_TRUE(m_table.addRule(r));
    const auto r2 = rule({word("a", {"k"}, 1)});
    ASSERT_TRUE(m_table.addRule(r2));
    size_t calls = 0;
    m_table.visitWordRules("a", {"k"}, [&](const C_Rule&, size_t) {
        // Erasing inside the visit leaves the collected rules alive.
        m_table.takeRule(ruleKey(*r));
        m_table.takeRule(ruleKey(*r2));
        ++calls;
    });
    EXPECT_EQ(calls, 2u);
    EXPECT_TRUE(m_table.empty());
}

}  // namespace
}  // namespace kov
