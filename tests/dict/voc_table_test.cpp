#include "engine/dict/voc_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace kov {
namespace {

using Keys = std::vector<std::string>;
using Cats = std::vector<uint8_t>;

// Category tree 1 <- 2 <- 3 (3 lies under 2, which lies under 1), and 4 unrelated.
bool catUnderTree(uint8_t a, uint8_t b) {
    auto parent = [](uint8_t c) -> uint8_t { return c == 2 ? 1 : c == 3 ? 2 : 0; };
    for (uint8_t c = a; c != 0; c = parent(c))
        if (c == b)
            return true;
    return false;
}

class VocTable : public ::testing::Test {
protected:
    void SetUp() override {
        setNowForTest(1000);
        pool.catUnder = catUnderTree;
    }
    void TearDown() override { setNowForTest(std::nullopt); }

    const C_TailoVoc& onlyWord(const std::string& key) {
        const auto& vocs = pool.keys2words.at(key);
        EXPECT_EQ(vocs.size(), 1u);
        return vocs.front();
    }

    C_CandiPool pool;
};

TEST_F(VocTable, NewRecordKeepsGivenFieldsAndIsStampedNow) {
    const Cats cats{2, 4};
    EXPECT_FALSE(pool.add_keys_to_word("ka1", 'H', "甲", 1.5f, cats, 7).failed);
    const C_TailoVoc& v = onlyWord("ka1");
    EXPECT_EQ(v.word, "甲");
    EXPECT_EQ(v.cats, cats);
    EXPECT_EQ(v.weight, 1.5f);
    EXPECT_EQ(v.type, 'H');
    EXPECT_EQ(v.stamp, (C_UsageStamp{7, 1000}));
}

TEST_F(VocTable, DefaultRecordIsStampedNow) {
    const C_TailoVoc v;
    EXPECT_TRUE(v.word.empty());
    EXPECT_EQ(v.type, 0);
    EXPECT_EQ(v.weight, 0.0f);
    EXPECT_EQ(v.stamp, (C_UsageStamp{0, 1000}));
}

TEST_F(VocTable, RefreshRules) {
    struct Case {
        const char* name;
        float weight;
        Cats cats;
        uint32_t count;
        float wantWeight;
        C_UsageStamp wantStamp;
    };
    // The stored record: weight 2, cats [4], count 5, time 1000; the refresh happens at 2000.
    const Case cases[] = {
        {"same", 2.0f, {4}, 5, 2.0f, {5, 1000}},
        {"lower weight, lower count", 1.0f, {}, 1, 2.0f, {5, 1000}},
        {"higher weight", 3.0f, {}, 0, 3.0f, {0, 2000}},
        {"NaN never raises", std::numeric_limits<float>::quiet_NaN(), {}, 0, 2.0f, {5, 1000}},
        {"higher count", 2.0f, {}, 6, 2.0f, {0, 2000}},
        {"new category", 2.0f, {1}, 0, 2.0f, {0, 2000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        C_CandiPool p;
        p.catUnder = catUnderTree;
        setNowForTest(1000);
        const Cats first{4};
        ASSERT_FALSE(p.add_keys_to_word("ka1", 'T', "ka", 2.0f, first, 5).failed);
        setNowForTest(2000);
        ASSERT_FALSE(p.add_keys_to_word("KA1", 'T', "ka", c.weight, c.cats, c.count).failed);
        ASSERT_EQ(p.keys2words.at("ka1").size(), 1u);
        const C_TailoVoc& v = p.keys2words.at("ka1").front();
        EXPECT_EQ(v.weight, c.wantWeight);
        EXPECT_EQ(v.stamp, c.wantStamp);
    }
}

TEST_F(VocTable, SameWordOfOtherTypeIsAnotherRecord) {
    ASSERT_FALSE(pool.add_keys_to_word("a1", 'T', "a", 0, {}, 0).failed);
    ASSERT_FALSE(pool.add_keys_to_word("a1", 'H', "a", 0, {}, 0).failed);
    EXPECT_EQ(pool.keys2words.at("a1").size(), 2u);
}

TEST_F(VocTable, MergingCategories) {
    struct Case {
        Cats stored, given, want;
    };
    const Case cases[] = {
        {{2}, {3}, {3}},        // narrower replaces broader in place
        {{3}, {2}, {3}},        // a narrower one is already there
        {{2}, {4}, {2, 4}},     // unrelated is appended
        {{4, 1}, {3}, {4, 3}},  // replaces the related one, keeps its place
        {{2}, {2}, {2}},        // already present
        {{2}, {0}, {2}},        // category 0 means none and is never stored
    };
    for (const Case& c : cases) {
        C_CandiPool p;
        p.catUnder = catUnderTree;
        ASSERT_FALSE(p.add_keys_to_word("a1", 'T', "a", 0, c.stored, 0).failed);
        ASSERT_FALSE(p.add_keys_to_word("a1", 'T', "a", 0, c.given, 0).failed);
        EXPECT_EQ(p.keys2words.at("a1").front().cats, c.want);
    }
}

TEST_F(VocTable, AddsRefuseBadInputAndChangeNothing) {
    struct Case {
        bool karray;
        Keys keys;
        std::string word;
        std::string text;
    };
    const Case cases[] = {
        {false, {"ka1"}, "", "Empty word"},
        {false, {"ka"}, "x", "Invalid tailo keys: \"ka\""},
        {false, {"KX1"}, "x", "Invalid tailo keys: \"kx1\""},
        {false, {"ka1"}, std::string("a\0b", 3), "Word holds a NUL"},
        {true, {"ka1", "ka2"}, "", "Empty voc"},
        {true, {"ka1", "Ka2"}, "x", "Not toned keys: \"Ka2\" or \"Ka2\""},
        {true, {"ka1", "a12"}, "x", "Not toned keys: \"a12\" or \"a12\""},
        {true, {"7", "ka1"}, "x", "Not toned keys: \"7\" or \"7\""},
        {true, {"ka1", "tâi5"}, "x", "Not toned keys: \"tâi5\" or \"t\\u00e2i5\""},
        {true, {"ka1", "ka2"}, std::string("a\0b", 3), "Voc holds a NUL"},
        {true, {"ka1"}, "x", "Too few keys: 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const C_VocTableError e = c.karray
                                      ? pool.add_karray_to_voc(c.keys, 'T', c.word, 0, {}, 0)
                                      : pool.add_keys_to_word(c.keys[0], 'T', c.word, 0, {}, 0);
        EXPECT_TRUE(e.failed);
        if (c.keys.back() == "tâi5")
            EXPECT_EQ(e.text.rfind("Not toned keys: \"tâi5\" or \"", 0), 0u) << e.text;
        else
            EXPECT_EQ(e.text, c.text);
    }
    EXPECT_TRUE(pool.keys2words.empty());
    EXPECT_TRUE(pool.karr2vocs.empty());
}

TEST_F(VocTable, KeyArrayKeysNeedLettersAndOneDigitOnly) {
    // Any digit, "0" included: the keys of a key array are not checked as syllables.
    EXPECT_FALSE(pool.add_karray_to_voc({"e0", "xq9"}, 'T', "x", 0, {}, 0).failed);
}

TEST_F(VocTable, KeyArrayWordsKeepInsertionOrder) {
    const Keys keys{"tai5", "uan5"};
    ASSERT_FALSE(pool.add_karray_to_voc(keys, 'H', "台灣", 0, {}, 0).failed);
    ASSERT_FALSE(pool.add_karray_to_voc(keys, 'T', "Tâi-uân", 0, {}, 0).failed);
    ASSERT_FALSE(pool.add_karray_to_voc(keys, 'H', "台灣", 9, {}, 0).failed);
    const auto& vocs = pool.karr2vocs.at(keys);
    ASSERT_EQ(vocs.size(), 2u);
    EXPECT_EQ(vocs[0].word, "台灣");
    EXPECT_EQ(vocs[0].weight, 9.0f);
    EXPECT_EQ(vocs[1].word, "Tâi-uân");
}

TEST_F(VocTable, HanReadings) {
    EXPECT_TRUE(pool.add_hant2tailo("台", "tâi"));
    EXPECT_TRUE(pool.add_hant2tailo("台", "tâi"));
    EXPECT_TRUE(pool.add_hant2tailo("台", "tāi"));
    EXPECT_EQ(pool.hant2tailo.at("台"), (Keys{"tâi", "tāi"}));
    // The file form ends a row with an empty string and every string with a NUL.
    EXPECT_FALSE(pool.add_hant2tailo("台", ""));
    EXPECT_FALSE(pool.add_hant2tailo("", "tâi"));
    EXPECT_FALSE(pool.add_hant2tailo("台", std::string("t\0i", 3)));
    EXPECT_FALSE(pool.add_hant2tailo(std::string("台\0", 4), "tâi"));
    EXPECT_EQ(pool.hant2tailo.size(), 1u);

    std::vector<std::string> seen;
    pool.visit_tailos_of_hant("台", [&](std::string_view r) { seen.emplace_back(r); });
    EXPECT_EQ(seen, (Keys{"tâi", "tāi"}));
    pool.visit_tailos_of_hant("灣", [&](std::string_view) { ADD_FAILURE(); });
    EXPECT_THROW(pool.visit_tailos_of_hant("台", {}), std::bad_function_call);

    EXPECT_FALSE(pool.erase_hant2tailo("台", "tai"));
    EXPECT_FALSE(pool.erase_hant2tailo("灣", "tâi"));
    EXPECT_TRUE(pool.erase_hant2tailo("台", "tâi"));
    EXPECT_TRUE(pool.erase_hant2tailo("台", "tāi"));
    EXPECT_TRUE(pool.hant2tailo.empty());
}

TEST_F(VocTable, EraseDropsEmptiedEntriesAndKeepsOrder) {
    const Keys keys{"a1", "a2"};
    for (const char* w : {"x", "y", "z"})
        ASSERT_FALSE(pool.add_karray_to_voc(keys, 'T', w, 0, {}, 0).failed);
    EXPECT_FALSE(pool.erase_karray_voc(keys, 'H', "y"));
    EXPECT_TRUE(pool.erase_karray_voc(keys, 'T', "y"));
    ASSERT_EQ(pool.karr2vocs.at(keys).size(), 2u);
    EXPECT_EQ(pool.karr2vocs.at(keys)[1].word, "z");
    EXPECT_TRUE(pool.erase_karray_voc(keys, 'T', "x"));
    EXPECT_TRUE(pool.erase_karray_voc(keys, 'T', "z"));
    EXPECT_TRUE(pool.karr2vocs.empty());

    ASSERT_FALSE(pool.add_keys_to_word("a1", 'T', "a", 0, {}, 0).failed);
    EXPECT_FALSE(pool.erase_keys_word("A1", 'T', "a"));  // keys are not lower-cased here
    EXPECT_TRUE(pool.erase_keys_word("a1", 'T', "a"));
    EXPECT_TRUE(pool.keys2words.empty());
}

TEST_F(VocTable, Disapproval) {
    ASSERT_FALSE(pool.add_keys_to_word("a1", 'T', "a", 0, {}, 2).failed);
    setNowForTest(1500);
    EXPECT_EQ(pool.disapprove_keys_word("a1", 'T', "a"), 0);
    EXPECT_EQ(onlyWord("a1").stamp, (C_UsageStamp{1, 1500}));
    EXPECT_EQ(pool.disapprove_keys_word("a1", 'T', "a"), 0);
    EXPECT_EQ(pool.disapprove_keys_word("a1", 'T', "a"), 1);
    ASSERT_EQ(pool.keys2words.count("a1"), 1u);  // the entry stays, empty
    EXPECT_TRUE(pool.keys2words.at("a1").empty());
    EXPECT_EQ(pool.disapprove_keys_word("a1", 'T', "a"), 2);
    EXPECT_EQ(pool.disapprove_keys_word("b1", 'T', "a"), 2);

    const Keys keys{"a1", "a2"};
    ASSERT_FALSE(pool.add_karray_to_voc(keys, 'T', "x", 0, {}, 0).failed);
    EXPECT_EQ(pool.disapprove_karray_voc(keys, 'T', "y"), 2);
    EXPECT_EQ(pool.disapprove_karray_voc(keys, 'T', "x"), 1);
    EXPECT_TRUE(pool.karr2vocs.at(keys).empty());
}

// n distinct keys "a<i>" of one record each, all stamped (count 0, time base + i).
void fillWords(C_CandiPool& p, size_t n, uint32_t base) {
    for (size_t i = 0; i < n; ++i) {
        setNowForTest(base + static_cast<uint32_t>(i));
        std::string key = "ka", word = "w";
        key += std::to_string(1 + i % 9);
        word += std::to_string(i);
        ASSERT_FALSE(p.add_keys_to_word(key, 'T', word, 0, {}, 0).failed);
    }
}

TEST_F(VocTable, PurgeAtLimitRemovesNothing) {
    fillWords(pool, 27, 100);  // 9 keys holding 27 records
    EXPECT_EQ(pool.purge_words(9), 0u);
    EXPECT_EQ(pool.vocCount(), 27u);
    EXPECT_EQ(pool.purge_words(100), 0u);
}

TEST_F(VocTable, PurgeRemovesOneRecordPerEntryOverLimit) {
    fillWords(pool, 12, 100);  // keys ka1..ka9; ka1..ka3 hold two records
    // 9 entries, limit 7: the two lowest scores go: w0 (ka1) and w1 (ka2), their keys stay.
    EXPECT_EQ(pool.purge_words(7), 2u);
    EXPECT_EQ(pool.keys2words.size(), 9u);
    EXPECT_EQ(pool.keys2words.at("ka1").front().word, "w9");
    EXPECT_EQ(pool.keys2words.at("ka2").front().word, "w10");
    // Still 9 entries; limit 8 removes the lowest left, w2 under ka3.
    EXPECT_EQ(pool.purge_words(8), 1u);
    EXPECT_EQ(pool.keys2words.at("ka3").front().word, "w11");
    // Limit 5 takes the four lowest: w3..w6, whose keys ka4..ka7 held nothing else.
    EXPECT_EQ(pool.purge_words(5), 4u);
    EXPECT_EQ(pool.keys2words.size(), 5u);
    EXPECT_EQ(pool.keys2words.count("ka4"), 0u);
}

TEST_F(VocTable, PurgeScoreWeighsCountAndBreaksTiesInTableOrder) {
    setNowForTest(5000);
    ASSERT_FALSE(pool.add_keys_to_word("ka2", 'T', "old-but-used", 0, {}, 1).failed);
    pool.keys2words.at("ka2").front().stamp = {1, 4000};  // 600 + 4000 = 4600
    ASSERT_FALSE(pool.add_keys_to_word("ka3", 'T', "recent", 0, {}, 0).failed);
    pool.keys2words.at("ka3").front().stamp = {0, 4500};  // 4500: lowest
    ASSERT_FALSE(pool.add_keys_to_word("ka1", 'T', "tie-first", 0, {}, 0).failed);
    ASSERT_FALSE(pool.add_keys_to_word("ka4", 'T', "tie-second", 0, {}, 0).failed);
    pool.keys2words.at("ka1").front().stamp = {0, 4700};
    pool.keys2words.at("ka4").front().stamp = {0, 4700};

    EXPECT_EQ(pool.purge_words(3), 1u);
    EXPECT_EQ(pool.keys2words.count("ka3"), 0u);
    EXPECT_EQ(pool.purge_words(2), 1u);
    EXPECT_EQ(pool.keys2words.count("ka2"), 0u);
    EXPECT_EQ(pool.purge_words(1), 1u);  // equal scores: the smaller key goes first
    EXPECT_EQ(pool.keys2words.count("ka1"), 0u);
    EXPECT_EQ(pool.keys2words.count("ka4"), 1u);
}

TEST_F(VocTable, PurgeScoreWrapsInThirtyTwoBits) {
    ASSERT_FALSE(pool.add_keys_to_word("ka1", 'T', "huge", 0, {}, 0).failed);
    ASSERT_FALSE(pool.add_keys_to_word("ka2", 'T', "small", 0, {}, 0).failed);
    // 7158279 * 600 wraps to 4294967400 - 2^32 = 104, plus time 0: below 200.
    pool.keys2words.at("ka1").front().stamp = {7158279, 0};
    pool.keys2words.at("ka2").front().stamp = {0, 200};
    EXPECT_EQ(pool.purge_words(1), 1u);
    EXPECT_EQ(pool.keys2words.count("ka1"), 0u);
}

TEST_F(VocTable, PurgeDoesNotCountEntriesLeftEmptyByDisapproval) {
    const Keys a{"a1", "a2"}, b{"b1", "b2"}, c{"k1", "k2"};
    for (const Keys* k : {&a, &b, &c})
        ASSERT_FALSE(pool.add_karray_to_voc(*k, 'T', "x", 0, {}, 0).failed);
    ASSERT_EQ(pool.disapprove_karray_voc(a, 'T', "x"), 1);  // leaves a with an empty list
    // Two real entries within limit 2: nothing real may go; the empty entry is dropped.
    EXPECT_EQ(pool.purge_vocs(2), 0u);
    EXPECT_EQ(pool.karr2vocs.size(), 2u);
    EXPECT_EQ(pool.karr2vocs.count(a), 0u);
}

}  // namespace
}  // namespace kov
