// The related-choice cache on its own: which delivered words it keeps, its lists per type and
// their order, and the keys and pairs it hands over for an inserted word.

#include "engine/compose/related_choices.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace kov {
namespace {

// 台 灣 抬頭
const std::string TAI = "\u53f0", UAN = "\u7063", TAI_THAU = "\u62ac\u982d";

C_SemiCandidate semi(std::string text, std::vector<std::string> readings, uint16_t span = 4,
                     uint16_t count = 1, float weight = 0.0f) {
    C_SemiCandidate c;
    c.m_text = std::move(text);
    c.m_readings = std::move(readings);
    c.m_span = span;
    c.m_count = count;
    c.m_weight = weight;
    return c;
}

C_SemiCandidate chosen(C_SemiCandidate c, uint16_t index) {
    c.m_chosenReading = C_ChosenReading{index, true};
    return c;
}

// Words delivered for every island asked, as a dictionary walk would deliver them.
class C_FakeRelatedWords : public I_RelatedWords {
public:
    struct C_Word {
        std::vector<C_SemiCandidate> candidates;
        std::string keyText;
    };
    void getRelatedChoices(const C_VisitConsts&, const C_StdIsle&,
                           const FC_RelatedSink& sink) const override {
        ++m_asked;
        for (const C_Word& w : m_words)
            sink(0, w.candidates, w.keyText);
    }
    std::vector<C_Word> m_words;
    mutable int m_asked = 0;
};

class C_Modes : public I_ModeStatus {
public:
    bool wantsHant(char type) const override { return !m_tailo && type != 'T'; }
    bool wantsTailo(char type) const override { return m_tailo || type != 'H'; }
    bool m_tailo = false;
};

class RelatedChoices : public ::testing::Test {
protected:
    // The cache filled after last, with the caret at 4, over one island.
    void fill(const C_SemiCandidate& last) {
        m_related.clear();
        const C_IslePtr isle = C_StdIsle::makeSyllable(0, 4, C_IsleSyllable{'5', true, false});
        m_related.initCache(C_VisitConsts{}, std::span(&isle, 1), last, 4);
    }
    // The type's list as "text" joined by blanks, "-" for none.
    std::string list(char type) {
        const std::vector<C_RelatedEntry>* entries = m_related.listOf(type);
        if (!entries)
            return "-";
        std::string out;
        for (const C_RelatedEntry& e : *entries)
            out += (out.empty() ? "" : " ") + e.m_text;
        return out;
    }

    C_FakeRelatedWords m_db;
    C_Modes m_modes;
    C_RelatedChoices m_related{m_db, m_modes};
    const C_SemiCandidate m_tai = semi(TAI, {"t\u00e2i"});
};

TEST_F(RelatedChoices, SkipWords) {
    struct Case {
        const char* tailo;
        size_t n;
        const char* rest;  // null: the error text below
        const char* error;
    };
    const Case cases[] = {
        {"tsit-e", 1, "-e", nullptr},
        {"tsit-e", 0, "tsit-e", nullptr},
        {"a--b c", 1, "--b c", nullptr},
        {"t\u00e2i-u\u00e2n-l\u00e2ng", 2, "-l\u00e2ng", nullptr},
        {"tsit", 1, nullptr, "Tailo \"tsit\" is no more than 1 words (2/2)"},
        {"", 1, nullptr, "Tailo \"\" is no more than 1 words (1/2)"},
        {"tsit", 2, nullptr, "Tailo \"tsit\" is no more than 2 words (1/2)"},
        {"tsit-", 1, "-", nullptr},
    };
    for (const Case& c : cases) {
        if (c.rest) {
            EXPECT_EQ(C_RelatedChoices::skipWords(c.tailo, c.n), c.rest) << c.tailo;
            continue;
        }
        try {
            C_RelatedChoices::skipWords(c.tailo, c.n);
            ADD_FAILURE() << c.tailo << ": no exception";
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
    }
}

TEST_F(RelatedChoices, OnlyWordsThatContinueTheLastWordAreKept) {
    struct Case {
        const char* name;
        C_SemiCandidate last;
        C_FakeRelatedWords::C_Word word;
        size_t records;
    };
    const std::string uanReading = "t\u00e2i-u\u00e2n";
    const Case cases[] = {
        {"continues text and reading", m_tai, {{semi(TAI + UAN, {uanReading})}, "uan5"}, 1},
        {"other keys", m_tai, {{semi(TAI + UAN, {uanReading})}, "uan2"}, 0},
        {"no keys", m_tai, {{semi(TAI + UAN, {uanReading})}, ""}, 0},
        {"text of another word", m_tai, {{semi(TAI_THAU, {"t\u00e2i-th\u00e2u"})}, "thau5"}, 0},
        {"Tai-lo only after a Han word", m_tai, {{semi("", {uanReading})}, "uan5"}, 0},
        {"reading of another syllable",
         m_tai,
         {{semi(TAI + UAN, {"th\u00e2i-u\u00e2n"})}, "uan5"},
         0},
        {"letter case aside", m_tai, {{semi(TAI + UAN, {"T\u00e2i-u\u00e2n"})}, "uan5"}, 1},
        {"one record per fitting reading",
         m_tai,
         {{semi(TAI + UAN, {uanReading, "t\u00e2i-o\u00e2n", "t\u00e2i-uan"})}, "uan5"},
         1},
        // A last word nailed to its reading lets words of other texts continue it.
        {"last word on its reading",
         chosen(m_tai, 0),
         {{semi(TAI_THAU, {"t\u00e2i-th\u00e2u"})}, "thau5"},
         1},
        // A delivered word on its own reading is tested by that reading alone, keys aside.
        {"word on its reading",
         m_tai,
         {{chosen(semi(TAI + UAN, {"x", uanReading}), 1)}, "other"},
         1},
        {"word on a reading that does not go on",
         m_tai,
         {{chosen(semi(TAI + UAN, {uanReading, "t\u00e2i"}), 1)}, "uan5"},
         0},
        {"no candidate", m_tai, {{}, "uan5"}, 0},
        {"last word without reading", semi(TAI, {}), {{semi(TAI + UAN, {uanReading})}, "uan5"}, 0},
    };
    for (const Case& c : cases) {
        m_db.m_words = {c.word};
        fill(c.last);
        EXPECT_EQ(m_related.recordCount(), c.records) << c.name;
        EXPECT_EQ(list('M') == "-", c.records == 0) << c.name;
    }
}

TEST_F(RelatedChoices, ListsByTypeHoldEachShownTextOnce) {
    m_db.m_words = {
        {{semi(TAI + UAN, {"t\u00e2i-u\u00e2n"}, 4, 1, 2.0f)}, "uan5"},
        // The same Han text on another reading: listed once as Han, twice as readings.
        {{semi(TAI + UAN, {"t\u00e2i-uan"}, 4, 1, 1.0f)}, "uan1"},
    };
    fill(m_tai);
    EXPECT_EQ(m_related.recordCount(), 2u);
    EXPECT_EQ(list('H'), UAN);
    EXPECT_EQ(list('M'), UAN + " -u\u00e2n -uan");
    EXPECT_EQ(list('T'), "-u\u00e2n -uan");
    // Asked again, the same list, and the dictionary is not asked again.
    EXPECT_EQ(m_related.listOf('M'), m_related.listOf('M'));
    fill(m_tai);
    EXPECT_EQ(m_db.m_asked, 2);
    // A line that composes Tai-lo alone wants readings only.
    m_modes.m_tailo = true;
    m_related.clear();
    EXPECT_EQ(list('H'), "-");
    fill(m_tai);
    EXPECT_EQ(list('H'), "-u\u00e2n -uan");
}

TEST_F(RelatedChoices, TheListOrder) {
    using W = C_FakeRelatedWords::C_Word;
    struct Case {
        const char* name;
        W first, second;    // delivered in this order
        const char* order;  // of the Han texts
    };
    const auto w = [](const char* text, uint16_t span, uint16_t count, float weight,
                      const char* reading, std::string keys = "x1") {
        return W{{semi(TAI + text, {std::string("t\u00e2i-") + reading}, span, count, weight)},
                 std::move(keys)};
    };
    const Case cases[] = {
        {"higher weight", w("A", 4, 1, 1.0f, "a"), w("B", 4, 1, 2.0f, "e"), "B A"},
        {"longer span", w("A", 4, 1, 1.0f, "a"), w("B", 5, 1, 1.0f, "e"), "B A"},
        {"count 0 first", w("A", 4, 1, 1.0f, "a"), w("B", 4, 0, 1.0f, "e"), "B A"},
        {"higher count", w("A", 4, 1, 1.0f, "a"), w("B", 4, 2, 1.0f, "e"), "B A"},
        {"wider", w("A", 4, 1, 1.0f, "a"), w("BB", 4, 1, 1.0f, "ai"), "BB A"},
        {"equal keeps the order", w("A", 4, 1, 1.0f, "a"), w("B", 4, 1, 1.0f, "e"), "A B"},
    };
    for (const Case& c : cases) {
        m_db.m_words = {c.first, c.second};
        for (W& word : m_db.m_words)  // the reading goes on by its own keys
            word.keyText =
                word.candidates[0].m_readings[0].substr(std::string("t\u00e2i-").size()) + "1";
        fill(m_tai);
        ASSERT_EQ(m_related.recordCount(), 2u) << c.name;
        EXPECT_EQ(list('H'), c.order) << c.name;
    }
    // A word of more candidates goes first when the shared ones tie.
    m_db.m_words = {{{semi(TAI + "A", {"t\u00e2i-a"})}, "a1"},
                    {{semi(TAI + "B", {"t\u00e2i-e"}), semi("C", {"o"})}, "e1"}};
    fill(m_tai);
    EXPECT_EQ(list('H'), "B A");
}

// The last word nailed to its reading: a word of another text continues its reading, but its
// text does not continue the last word's, so no Han entry is cut out of it.
TEST_F(RelatedChoices, AHanEntryIsCutOnlyAfterTheLastWordsText) {
    const C_SemiCandidate last = chosen(semi(TAI + UAN, {"t\u00e2i-u\u00e2n"}, 8, 2), 0);
    m_db.m_words = {{{semi("X", {"t\u00e2i-u\u00e2n-l\u00e2ng"}, 8, 2)}, "lang5"},
                    {{semi(TAI + UAN + "Y", {"t\u00e2i-u\u00e2n-ia"}, 8, 2)}, "ia1"}};
    fill(last);
    EXPECT_EQ(m_related.recordCount(), 2u);
    // No Han entry for X; the two words tie and keep their order.
    EXPECT_EQ(list('M'), "-l\u00e2ng Y -ia");
}

TEST_F(RelatedChoices, ApplyGivesTheKeysAndThePairs) {
    m_db.m_words = {
        {{semi(TAI + UAN, {"t\u00e2i-u\u00e2n"})}, "uan5"},
        {{semi(TAI, {"t\u00e2i"}, 4, 1), semi("\u4eba", {"l\u00e2ng"})}, "uan5"},
    };
    fill(m_tai);
    // Han entries (H) and reading entries (T); equal words keep their delivery order.
    ASSERT_EQ(list('M'), UAN + " -u\u00e2n");
    std::string keys;
    std::vector<C_RelatedPair> pairs;
    const FC_ApplyRelated keep = [&](std::string_view k, std::span<const C_RelatedPair> p) {
        keys = k;
        pairs.assign(p.begin(), p.end());
    };
    struct Case {
        char type;
        size_t index;
        C_ChosenReading chosen;
    };
    for (const Case& c :
         {Case{'M', 0, {0, false}}, Case{'M', 1, {0, true}}, Case{'T', 0, {0, true}}}) {
        ASSERT_TRUE(m_related.apply(c.type, c.index, keep));
        EXPECT_EQ(keys, "uan5");
        ASSERT_EQ(pairs.size(), 1u);
        // The first candidate stands where the last word starts and reaches over the keys.
        EXPECT_EQ(pairs[0].m_pos, 0u);
        EXPECT_EQ(pairs[0].m_candidate.m_text, TAI + UAN);
        EXPECT_EQ(pairs[0].m_candidate.m_span, 8);
        EXPECT_EQ(pairs[0].m_candidate.m_count, 2);
        EXPECT_EQ(pairs[0].m_candidate.m_chosenReading, c.chosen) << c.type << c.index;
    }
    EXPECT_FALSE(m_related.apply('M', 2, keep));

    // A word of two candidates: the second goes after the keys of the first, spelled from its
    // reading.
    m_db.m_words = {
        {{semi(TAI + UAN, {"t\u00e2i-u\u00e2n"}), semi("\u4eba", {"l\u00e2ng"}, 1, 0)}, "uan5"}};
    fill(m_tai);
    ASSERT_TRUE(m_related.apply('H', 0, keep));
    EXPECT_EQ(keys, "uan5lang5");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[1].m_pos, 8u);
    EXPECT_EQ(pairs[1].m_candidate.m_span, 5);
    EXPECT_EQ(pairs[1].m_candidate.m_count, 1);
    EXPECT_THROW(m_related.apply('H', 0, FC_ApplyRelated()), std::bad_function_call);

    // A reading that is no Tai-lo cannot be typed.
    m_db.m_words = {{{semi(TAI + UAN, {"t\u00e2i-u\u00e2n"}), semi("\u4eba", {"\u4eba"})}, "uan5"}};
    fill(m_tai);
    try {
        m_related.apply('H', 0, keep);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "tailo2tonedKeys(\"\u4eba\") returns error 1 with offending tailo \"\u4eba\"");
    }
}

}  // namespace
}  // namespace kov
