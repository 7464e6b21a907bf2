// Related choices on a real input line over a small system dictionary: when they exist, what
// the line lists, and how an inserted choice becomes keys and nailed words.

#include "engine/compose/input_line.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/dict/system_dict.h"
#include "fixtures/tailo_fixture.h"
#include "tests/compose/line_fixture.h"
#include "tests/support/recording_learner.h"
#include "tests/support/related_words_dict.h"

namespace kov {
namespace {

using test::confirmedText;
using test::hRec;
using test::layout;
using test::states;
using test::type;
using test::winnersCoverCaret;
using test::winnersText;

using test::HO;
using test::LANG;
using test::PAK;
using test::TAI;
using test::TAI_THAU;
using test::UAN;

std::string dictionaryBytes() { return test::relatedWordsDict().bytes(); }

class RelatedOnLine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_sys.m_db->loaded()) << m_sys.m_db->error().text; }

    // The type's related choices as "M:text" joined by blanks; "-" when there is no list.
    std::string related(C_InputLine& line, char type, size_t index = 0, size_t count = 99) {
        std::string out;
        const bool listed =
            line.getRelatedChoices(type, index, count, [&](std::string_view text, char mode) {
                out += (out.empty() ? "" : " ") + std::string(1, mode) + ":" + std::string(text);
            });
        return listed ? out : "-";
    }

    test::C_SystemDictFixture m_sys{dictionaryBytes()};
    C_InputLine m_line{*m_sys.m_db};
};

TEST_F(RelatedOnLine, WordsThatGoOnFromTheLastWord) {
    type(m_line, "tai5");
    // 台灣人 before 台灣 (equal weight, wider), 台北 last (lower weight); 抬頭 does not go on
    // from the text 台.
    EXPECT_EQ(related(m_line, 'H'), "H:" + UAN + LANG + " H:" + UAN + " H:" + PAK);
    EXPECT_EQ(related(m_line, 'T'), "T:-u\u00e2n-l\u00e2ng T:-u\u00e2n T:-pak");
    EXPECT_EQ(related(m_line, 'M'), "H:" + UAN + LANG + " T:-u\u00e2n-l\u00e2ng H:" + UAN +
                                        " T:-u\u00e2n H:" + PAK + " T:-pak");
    EXPECT_EQ(m_line.getCountOfRelatedChoices('M'), 6u);
    EXPECT_EQ(m_line.getCountOfRelatedChoices('H'), 3u);
    EXPECT_EQ(related(m_line, 'M', 1, 2), "T:-u\u00e2n-l\u00e2ng H:" + UAN);
    EXPECT_EQ(related(m_line, 'M', 6, 2), "");
    EXPECT_FALSE(m_line.dirty());
}

TEST_F(RelatedOnLine, NoneUnlessTheCaretEndsALineWhoseLastWordIsADictionarys) {
    struct Case {
        const char* name;
        const char* keys;
        bool back;   // the caret one key back
        bool tailo;  // the tone-numbered mode
    };
    const Case cases[] = {
        {"empty line", "", false, false},
        {"caret before the end", "tai5", true, false},
        {"tone-numbered mode", "tai5", false, true},
        {"last word spelled from its keys", "tai5ka1", false, false},
        {"last word a raw key", "tai5,", false, false},
    };
    for (const Case& c : cases) {
        C_InputLine line(*m_sys.m_db);
        if (c.tailo)
            line.toggleCompositionMode();
        type(line, c.keys);
        line.winners();
        if (c.back)
            line.moveBack();
        line.nailPosition();
        const std::string before = layout(line) + " " + winnersText(line);
        EXPECT_EQ(line.getCountOfRelatedChoices('M'), 0u) << c.name;
        EXPECT_EQ(related(line, 'M'), "-") << c.name;
        EXPECT_FALSE(line.insertRelatedChoice('M', 0)) << c.name;
        EXPECT_FALSE(line.dirty()) << c.name;
        EXPECT_EQ(layout(line) + " " + winnersText(line), before) << c.name;
    }
}

TEST_F(RelatedOnLine, InsertingAChoiceTypesItsKeysAndNailsTheWord) {
    struct Case {
        char type;
        size_t index;
        const char* keys;
        std::string winners;
        std::string confirmed;
    };
    const Case cases[] = {
        {'H', 1, "tai5uan5", "0:" + TAI + UAN + "/8*", TAI + UAN + "@0/8"},
        {'T', 1, "tai5uan5", "0:" + TAI + UAN + "/8*", "t\u00e2i-u\u00e2n@0/8"},
        {'M', 2, "tai5uan5", "0:" + TAI + UAN + "/8*", TAI + UAN + "@0/8"},
        {'M', 3, "tai5uan5", "0:" + TAI + UAN + "/8*", "t\u00e2i-u\u00e2n@0/8"},
        {'H', 0, "tai5uan5-lang5", "0:" + TAI + UAN + LANG + "/14*", TAI + UAN + LANG + "@0/14"},
    };
    for (const Case& c : cases) {
        C_InputLine line(*m_sys.m_db);
        type(line, "tai5");
        ASSERT_GT(line.getCountOfRelatedChoices(c.type), c.index);
        EXPECT_TRUE(line.insertRelatedChoice(c.type, c.index)) << c.type << c.index;
        EXPECT_TRUE(line.dirty());
        EXPECT_EQ(layout(line), std::string(c.keys) + "^");
        EXPECT_EQ(winnersText(line), c.winners) << c.type << c.index;
        EXPECT_EQ(confirmedText(line), c.confirmed) << c.type << c.index;
        EXPECT_TRUE(line.doneNailing());
        EXPECT_TRUE(winnersCoverCaret(line));
    }
    // Past the list: nothing happens.
    type(m_line, "tai5");
    ASSERT_EQ(m_line.getCountOfRelatedChoices('H'), 3u);
    EXPECT_FALSE(m_line.insertRelatedChoice('H', 3));
    EXPECT_EQ(layout(m_line), "tai5^");
}

TEST_F(RelatedOnLine, TheOpenWordsBeforeItAreNailedFirst) {
    type(m_line, "ho2tai5");
    EXPECT_EQ(winnersText(m_line), "0:" + HO + "/3 3:" + TAI + "/4");
    EXPECT_TRUE(m_line.insertRelatedChoice('H', 1));
    EXPECT_EQ(winnersText(m_line), "0:" + HO + "/3* 3:" + TAI + UAN + "/8*");
}

TEST_F(RelatedOnLine, InsertingRightAfterAnEditDoesNothing) {
    type(m_line, "tai5");
    EXPECT_EQ(m_line.getCountOfRelatedChoices('H'), 3u);
    type(m_line, "ho2");
    EXPECT_FALSE(m_line.insertRelatedChoice('H', 0));
    EXPECT_EQ(layout(m_line), "tai5ho2^");
    EXPECT_EQ(states(m_line), "2222222");
}

// The last word nailed to its reading: words of other texts that go on from that reading are
// offered, by their readings only.
TEST_F(RelatedOnLine, ALastWordOnItsReadingIsContinuedByReading) {
    type(m_line, "tai5");
    ASSERT_EQ(m_line.getCandidateCountAtNailPos('T'), 1u);
    ASSERT_TRUE(m_line.nailCandidate('T', 0));
    EXPECT_EQ(related(m_line, 'M'), "H:" + UAN + LANG + " T:-u\u00e2n-l\u00e2ng H:" + UAN +
                                        " T:-u\u00e2n H:" + PAK + " T:-pak T:-th\u00e2u");
    EXPECT_TRUE(m_line.insertRelatedChoice('M', 6));
    EXPECT_EQ(winnersText(m_line), "0:" + TAI_THAU + "/9*");
    EXPECT_EQ(confirmedText(m_line), "t\u00e2i-th\u00e2u@0/9");
}

TEST_F(RelatedOnLine, RelatedChoicesAfterAPopLookAtTheKeysLeft) {
    type(m_line, "ho2tai5");
    EXPECT_EQ(m_line.popFront(), 3u);
    EXPECT_EQ(m_line.getCountOfRelatedChoices('H'), 3u);
    EXPECT_TRUE(m_line.insertRelatedChoice('H', 1));
    EXPECT_EQ(winnersText(m_line), "0:" + TAI + UAN + "/8*");
}

// The front end's limit pops words while the keys are typed: the related word's units move
// with the line and are still nailed.
TEST_F(RelatedOnLine, WordsPoppedWhileTypingTheChoiceDoNotMisplaceIt) {
    test::C_RecordingLearner learner;
    m_line.setLearner(&learner);
    std::vector<std::string> popped;
    m_line.setOnPopFront([&](const C_VocCandidate& v) { popped.push_back(v.m_text); });
    m_line.setLimitReached([&] { return m_line.size() > 7; });
    type(m_line, "ho2tai5");
    ASSERT_EQ(m_line.getCountOfRelatedChoices('H'), 3u);
    EXPECT_TRUE(m_line.insertRelatedChoice('H', 1));
    EXPECT_EQ(popped, (std::vector<std::string>{HO}));
    EXPECT_EQ(learner.jobCount(), 1u);
    EXPECT_EQ(layout(m_line), "tai5uan5^");
    EXPECT_EQ(winnersText(m_line), "0:" + TAI + UAN + "/8*");

    // When the word itself leaves the line, nothing of it is left to nail.
    C_InputLine line(*m_sys.m_db);
    line.setLimitReached([&] { return line.size() > 5; });
    type(line, "ho2tai5");
    ASSERT_EQ(layout(line), "tai5^");
    ASSERT_EQ(line.getCountOfRelatedChoices('H'), 3u);
    EXPECT_TRUE(line.insertRelatedChoice('H', 1));
    EXPECT_LE(line.size(), 6u);
    EXPECT_TRUE(layout(line).ends_with("an5^")) << layout(line);
    EXPECT_EQ(winnersText(line).find('*'), std::string::npos) << winnersText(line);
    EXPECT_TRUE(winnersCoverCaret(line));
}

TEST_F(RelatedOnLine, AChoiceThatDoesNotFitTheLineChangesNothing) {
    std::string keys;
    while (keys.size() + 4 + 3 <= C_InputLine::kMaxElements - 2)
        keys += "ho2";
    keys += "tai5";
    type(m_line, keys);
    ASSERT_EQ(m_line.size(), 1021u);
    ASSERT_EQ(m_line.getCountOfRelatedChoices('H'), 3u);
    const std::string before = winnersText(m_line);
    try {
        m_line.insertRelatedChoice('H', 1);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Input line limit reached: 1024");
    }
    EXPECT_EQ(m_line.size(), 1021u);
    EXPECT_FALSE(m_line.dirty());
    EXPECT_EQ(winnersText(m_line), before);
    EXPECT_EQ(before.find('*'), std::string::npos);
}

}  // namespace
}  // namespace kov
