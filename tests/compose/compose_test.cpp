#include "engine/compose/input_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/dict/system_dict.h"
#include "fixtures/tailo_fixture.h"
#include "tests/compose/line_fixture.h"
#include "tests/support/fake_tailo_db.h"

namespace kov {
namespace {

using test::C_FakeTailoDB;
using test::dictWord;
using test::layout;
using test::nailWinnerAt;
using test::type;
using test::winnersCoverCaret;
using test::winnersText;

class Compose : public ::testing::Test {
protected:
    const C_Candidate* find(size_t pos, std::string_view text) {
        const C_CompoUnit* unit = m_line.snapshot().unitAt(pos);
        if (!unit)
            return nullptr;
        for (const C_Candidate& c : unit->candidates())
            if (c.m_text == text)
                return &c;
        return nullptr;
    }
    bool called(std::string_view call) const {
        return std::find(m_db.m_calls.begin(), m_db.m_calls.end(), call) != m_db.m_calls.end();
    }

    C_FakeTailoDB m_db;
    C_InputLine m_line{m_db};
};

TEST_F(Compose, ACaretAtTheStartComposesNothing) {
    type(m_line, "ab");
    m_line.winners();
    m_line.moveHome();
    m_db.m_calls.clear();
    EXPECT_TRUE(m_line.winners().empty());
    EXPECT_EQ(m_line.nailPosition(), 0u);
    EXPECT_TRUE(m_db.m_calls.empty());
    EXPECT_EQ(m_line.keyString(), "");
}

TEST_F(Compose, DictionaryWordsWinOverTheKeysSpelledOut) {
    m_db.word("tsiann5", dictWord("\u6b63", {"tsi\u00e0nn"}, 5.0f, ST_SYS_EXACT, 1));
    type(m_line, "tsiann5ho2");
    EXPECT_EQ(m_line.keyString(), "");  // not composed yet
    EXPECT_EQ(winnersText(m_line), "0:\u6b63/7 7:{h\u00f3}/3");
    EXPECT_EQ(m_line.keyString(), "tsiann5ho2");
    const C_Candidate* spelled = m_line.winners()[1].m_candidate;
    EXPECT_EQ(spelled->m_source, ST_SPELLED);
    EXPECT_EQ(spelled->m_count, 1);
    EXPECT_EQ(spelled->m_weight, 0.0f);
    EXPECT_TRUE(winnersCoverCaret(m_line));
    // The dictionary saw the islands from each start the work set reached.
    EXPECT_TRUE(called("0+7:1"));
    EXPECT_TRUE(called("0+2:0"));
    EXPECT_TRUE(called("7+3:1"));
}

TEST_F(Compose, OnlyClosingIslandsGetExactKeysAndCapitalsStandForThemselves) {
    m_db.exact("tsiann", dictWord("\u6b63", {"Tsiann"}));
    type(m_line, "Tsiann");
    EXPECT_EQ(winnersText(m_line), "0:\u6b63/6");
    EXPECT_TRUE(called("key:tsiann!"));
    EXPECT_TRUE(called("key:iann"));
    EXPECT_FALSE(called("key:tsi"));  // followed by islands at 3
    EXPECT_FALSE(called("key:ts"));
    const C_Candidate* typed = find(0, "Tsiann");
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(typed->m_readings, (std::vector<std::string>{"Tsiann"}));
    EXPECT_EQ(typed->m_source, ST_RAW_KEY);
    EXPECT_EQ(typed->m_span, 6);
    EXPECT_EQ(typed->m_count, 0);
    EXPECT_EQ(m_line.capitals().size(), 1u);
}

TEST_F(Compose, ToneNumberedModeSpellsTheRimesAndLeavesTheRestRaw) {
    m_db.word("tsia2", dictWord("\u59ca"));
    m_line.toggleCompositionMode();
    type(m_line, "tsia2");
    EXPECT_EQ(winnersText(m_line), "0:t/1 1:s/1 2:{i\u00e1}/3");
    EXPECT_TRUE(m_db.m_calls.empty());  // no dictionary in this mode
    m_line.clear();
    type(m_line, "a1b,TSIANN5");
    EXPECT_EQ(winnersText(m_line), "0:{a}/2 2:b/1 3:,/1 4:T/1 5:S/1 6:{IÂNN}/5");
}

TEST_F(Compose, RawKeysFollowTheShapeFlagsOfTheirUnits) {
    type(m_line, ",");
    m_line.toggleFullShapeSymbols();
    type(m_line, ",");
    m_line.toggleFullShapeSymbols();
    m_line.toggleRawKeyOnly();
    type(m_line, "a ");
    EXPECT_EQ(winnersText(m_line), "0:\uff0c/1 1:,/1 2:\uff41/1 3:\u3000/1");
    EXPECT_EQ(m_line.keyString(), ",,\a\a");
    m_line.toggleCompositionMode();
    EXPECT_EQ(winnersText(m_line), "0:,/1 1:,/1 2:\uff41/1 3:\u3000/1");
}

TEST_F(Compose, CandidatesCrossingANoCrossMarkAreNeverChosen) {
    m_db.word("a", dictWord("\u7532"), 3);
    type(m_line, "ab|c");
    EXPECT_EQ(winnersText(m_line), "0:a/1 1:b/1 2:| 3:c/1");
    ASSERT_NE(find(0, "\u7532"), nullptr);
    EXPECT_EQ(find(0, "\u7532")->m_rank, RANK_CROSSING);
    // With the mark right after its span the word is ordinary again.
    C_InputLine line(m_db);
    type(line, "abc|");
    EXPECT_EQ(winnersText(line), "0:\u7532/3 3:|");
}

TEST_F(Compose, NailsSurviveRecompositionEvenWhenNoDictionaryOffersThemAnyMore) {
    m_db.word("ka", dictWord("\u52a0", {}, 1.0f));
    m_db.wordRule("\u52a0", {C_RuleElem{C_WordPat{"\u52a0", {}, 0}, 2.5f}}, 0);
    type(m_line, "ka");
    nailWinnerAt(m_line, 0);
    EXPECT_EQ(winnersText(m_line), "0:\u52a0/2*");
    EXPECT_EQ(m_line.nailPosition(), 2u);
    m_db.forgetWords();
    m_line.setIslandDoctrine(true);  // recomposes every unit before the caret
    EXPECT_EQ(winnersText(m_line), "0:\u52a0/2*");
    const C_Candidate* kept = find(0, "\u52a0");
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->m_rank, RANK_NAILED);
    EXPECT_EQ(kept->m_bonus, 2.5);  // re-added with bonus 0, then the rules ran again
}

TEST_F(Compose, TheNailPositionIsTheFirstOpenWinnerPastMarks) {
    type(m_line, "a|bc");
    nailWinnerAt(m_line, 0);
    EXPECT_EQ(m_line.nailPosition(), 2u);
    EXPECT_TRUE(m_line.severalOpen());
    m_line.moveTo(3);
    EXPECT_EQ(m_line.nailPosition(), 2u);
    EXPECT_FALSE(m_line.severalOpen());
}

TEST_F(Compose, RuleBonusesAreResetBeforeEveryRulePass) {
    m_db.word("a", dictWord("\u7532", {}, 0.0f, ST_SYS_EXACT, 0));
    C_Candidate b = dictWord("\u4e59");
    b.m_cats = {2};
    m_db.word("b", b);
    m_db.wordRule("\u7532",
                  {C_RuleElem{C_WordPat{"\u7532", {}, 0}, 2.5f},
                   C_RuleElem{C_WordPat{"\u4e59", {}, 0}, 0.5f}},
                  0);
    // Filed under the category of the second word; the weight goes to the word before it.
    m_db.catRule(
        1, {C_RuleElem{C_WordPat{"\u7532", {}, 0}, 0.25f}, C_RuleElem{C_CatPat{1, 0, 0}, 0}}, 1);
    type(m_line, "ab");
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(winnersText(m_line), "0:\u7532/1 1:\u4e59/1");
        EXPECT_EQ(find(0, "\u7532")->m_bonus, 2.75);
        EXPECT_EQ(find(1, "\u4e59")->m_bonus, 0.5);
        // The anchors' own weights are not recorded; the others are, once per candidate.
        const C_RuleMatches& matches = m_line.snapshot().m_ruleMatches;
        ASSERT_EQ(matches.size(), 2u);
        EXPECT_EQ(matches.begin()->first.m_pos, 0u);
        EXPECT_EQ(matches.begin()->second.begin()->second, 0.25f);
        EXPECT_EQ(matches.rbegin()->first.m_pos, 1u);
        EXPECT_EQ(matches.rbegin()->second.begin()->second, 0.5f);
        m_line.syncIslandDoctrine();
    }
}

TEST_F(Compose, AFailedCompositionLeavesTheLineDirtyAndRetries) {
    m_db.word("ka", dictWord("\u52a0"));
    type(m_line, "ka");
    m_db.failNextVisit();
    EXPECT_THROW(m_line.winners(), std::runtime_error);
    EXPECT_TRUE(m_line.dirty());
    EXPECT_TRUE(m_line.snapshot().m_winners.empty());
    EXPECT_EQ(winnersText(m_line), "0:\u52a0/2");
    EXPECT_TRUE(winnersCoverCaret(m_line));
}

TEST_F(Compose, AnEditOfFlagsOnlyKeepsTheWinners) {
    m_db.word("ka", dictWord("\u52a0"));
    type(m_line, "kaa");
    const std::vector<C_Winner> before = m_line.winners();
    m_db.m_calls.clear();
    m_line.toggleSpuriousSpaces();
    EXPECT_EQ(m_line.winners(), before);
    EXPECT_TRUE(m_db.m_calls.empty());
}

TEST_F(Compose, WildcardsAndHyphenRuns) {
    m_db.word("ts?a", dictWord("\u7d19"));
    type(m_line, "a--ts?a");
    EXPECT_EQ(winnersText(m_line), "0:a/1 1:-/1 2:-/1 3:\u7d19/4");
    ASSERT_EQ(m_line.islesByStart().size(), 7u);
    EXPECT_EQ(m_line.islesByStart()[3].size(), 3u);
}

// Random edits in random order, with queries now and then: nothing crashes (under the
// sanitizers) and every query leaves winners that cover the keys before the caret.
class RandomEdits : public ::testing::TestWithParam<unsigned> {};

TEST_P(RandomEdits, NeverLeaveStaleWinners) {
    C_FakeTailoDB db;
    db.word("ka", dictWord("\u52a0", {"ka"}, 2.0f));
    db.word("a", dictWord("\u963f", {"a"}, 1.0f), 2);
    db.word("tsiann5", dictWord("\u6b63", {"tsi\u00e0nn"}, 5.0f));
    db.word("ts?", dictWord("\u4e4b", {}, 0.5f, ST_SYS_WILDCARD));
    db.exact("ho", dictWord("\u597d"));
    db.wordRule("\u52a0", {C_RuleElem{C_WordPat{"\u52a0", {}, 0}, 0.5f}, C_RuleElem{C_GapPat{}, 0}},
                0);
    const std::string keys = "kaKtsiannho25?-*, ";
    C_InputLine line(db);
    std::mt19937 rng(GetParam());
    size_t queries = 0;
    for (int step = 0; step < 4000; ++step) {
        const unsigned op = rng() % 20;
        SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op) + " line " +
                     layout(line));
        if (op < 7)
            line.insertKey(keys[rng() % keys.size()]);
        else if (op == 7)
            line.moveBack();
        else if (op == 8)
            line.moveForward();
        else if (op == 9)
            line.moveTo(rng() % (line.size() + 2));
        else if (op == 10 || op == 11)
            line.removeKey(rng() % 3 == 0 ? C_InputLine::DIR_FORWARD : C_InputLine::DIR_BACKWARD);
        else if (op == 12)
            line.toggleNoCross();
        else if (op == 13) {
            const unsigned which = rng() % 5;
            if (which == 0)
                line.toggleSpuriousSpaces();
            else if (which == 1)
                line.toggleFullShapeSymbols();
            else if (which == 2)
                line.toggleRawKeyOnly();
            else if (which == 3)
                line.setIslandDoctrine(!line.islandDoctrine());
            else
                line.toggleCompositionMode();
        } else if (op == 14 && line.caret() > 0) {
            const std::vector<C_Winner>& winners = line.winners();
            const C_Winner& w = winners[rng() % winners.size()];
            if (w.m_candidate)
                nailWinnerAt(line, w.m_start);
        } else if (op == 15 && rng() % 8 == 0) {
            line.clear();
        } else if (op == 16) {
            line.moveHome();
        } else {
            ++queries;
            ASSERT_TRUE(winnersCoverCaret(line));
        }
    }
    EXPECT_GT(queries, 500u);
    EXPECT_FALSE(db.m_jobs.empty());
}

// Seeds that once found stale winners or a stale nail position.
INSTANTIATE_TEST_SUITE_P(Seeds, RandomEdits, ::testing::Values(5u, 7u, 114u));

TEST_F(Compose, FiveThousandKeysDoNotCrash) {
    const std::string words = "tsiann5ho2 kong2 a--ts?ka1 ";
    size_t refused = 0;
    for (size_t i = 0; i < 5000; ++i) {
        try {
            m_line.insertKey(words[i % words.size()]);
        } catch (const std::runtime_error&) {
            ++refused;
        }
        if (i % 500 == 0)
            m_line.winners();
    }
    EXPECT_EQ(m_line.size(), C_InputLine::kMaxElements);
    EXPECT_EQ(refused, 5000 - C_InputLine::kMaxElements);
    EXPECT_TRUE(winnersCoverCaret(m_line));
    // The same line of one letter only, composed once at the end.
    C_InputLine same(m_db);
    for (size_t i = 0; i < C_InputLine::kMaxElements; ++i)
        same.insertKey('a');
    EXPECT_TRUE(winnersCoverCaret(same));
}

// Composition over a real system dictionary file built for the test.
TEST(ComposeSystemDict, ComposesWordsOfTheSystemDictionary) {
    test::C_TailoFixture fx;
    fx.a["tsiann5"] = {test::hRec("\u6b63", 10)};
    fx.a["ho2"] = {test::hRec("\u597d", 5)};
    fx.d["\u6b63"] = {"tsi\u00e2nn"};
    fx.d["\u597d"] = {"h\u00f3"};
    test::C_SystemDictFixture sys(fx.bytes());
    ASSERT_TRUE(sys.m_db->loaded()) << sys.m_db->error().text;
    C_InputLine line(*sys.m_db);
    type(line, "tsiann5ho2");
    EXPECT_EQ(winnersText(line), "0:\u6b63/7 7:\u597d/3");
    EXPECT_TRUE(winnersCoverCaret(line));
}

// A word of several syllables typed in full is as exact a find as its one-syllable pieces, so
// where the pieces run on past its end the weights decide, with tone digits or without.
TEST(ComposeSystemDict, AWholeWordBeatsItsPiecesWhereTheyRunOnPastIt) {
    test::C_TailoFixture fx;
    const auto single = [&fx](const char* key, const char* han, const char* reading, int8_t w) {
        fx.a[key].push_back(test::hRec(han, w));
        fx.c[key].push_back(test::hRec(han, w));
        fx.d[han].push_back(reading);
    };
    single("tian7", "\u96fb", "ti\u0101n", 5);   // 電
    single("tsu2", "\u5b50", "ts\u00fa", 4);     // 子
    single("tsu7", "\u81ea", "ts\u016b", 6);     // 自, more frequent than 子 alone
    single("giap8", "\u696d", "gia\u030dp", 5);  // 業
    single("e5", "\u7684", "\u00ea", 5);         // 的
    // "giape" also reads as gia-pe, so the pieces can run on past the word's end.
    single("gia5", "\u8fce", "gi\u00e2", 4);  // 迎
    single("pe7", "\u7238", "p\u0113", 4);    // 爸
    fx.c["tian7-tsu2-giap8"] = {test::hRec("\u96fb\u5b50\u696d", 8)};
    fx.d["\u96fb\u5b50\u696d"] = {"ti\u0101n-ts\u00fa-gia\u030dp"};
    test::C_SystemDictFixture sys(fx.bytes());
    ASSERT_TRUE(sys.m_db->loaded()) << sys.m_db->error().text;
    const struct {
        const char* typed;
        const char* winners;
    } cases[] = {
        {"tiantsugiape", "0:\u96fb\u5b50\u696d/11 11:\u7684/1"},
        {"tian7tsu2giap8e5", "0:\u96fb\u5b50\u696d/14 14:\u7684/2"},
        {"tiantsugiap", "0:\u96fb\u5b50\u696d/11"},
        // Without the whole word the homophone of more weight wins.
        {"tiantsue", "0:\u96fb/4 4:\u81ea/3 7:\u7684/1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        C_InputLine line(*sys.m_db);
        type(line, c.typed);
        EXPECT_EQ(winnersText(line), c.winners);
    }
}

}  // namespace
}  // namespace kov
