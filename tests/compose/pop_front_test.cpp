// Popping committed words off the front of the input line: what leaves the line, what the
// session is told, what the learner is handed, and the line that stays behind.

#include "engine/compose/input_line.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/compose/line_fixture.h"
#include "tests/compose/snapshot_fixture.h"
#include "tests/support/fake_tailo_db.h"

namespace kov {
namespace {

using test::C_FakeTailoDB;
using test::confirmedText;
using test::dictWord;
using test::layout;
using test::listText;
using test::type;
using test::viewText;
using test::winnersCoverCaret;
using test::winnersText;

const std::string KAH = "\u7532", HO = "\u597d";

class PopFront : public ::testing::Test {
protected:
    PopFront() {
        m_db.word("ka1", dictWord(KAH, {"ka"}, 10.0f, ST_SYS_EXACT, 1));
        m_db.word("ho2", dictWord(HO, {"h\u00f3"}, 10.0f, ST_SYS_EXACT, 1));
        m_db.word("si7", dictWord("", {"s\u012b"}, 10.0f, ST_SYS_EXACT, 1));
        m_db.word("lang5", dictWord("", {"l\u00e2ng"}, 10.0f, ST_SYS_EXACT, 1));
        // Each reported view by its text ("_" a space, "{reading}" a word without text), "!"
        // after a hidden one.
        m_line.setOnPopFront([this](const C_VocCandidate& v) {
            const std::string text = viewText(0, v);
            m_events.push_back(text.substr(0, text.find('@')) + (v.m_hidden ? "!" : ""));
        });
    }

    // Pops once; "<span>: <events>" for the views reported by this pop.
    std::string pop() {
        m_events.clear();
        std::string out = std::to_string(m_line.popFront()) + ":";
        for (const std::string& e : m_events)
            out += " " + e;
        return out;
    }

    C_FakeTailoDB m_db;
    C_InputLine m_line{m_db};
    std::vector<std::string> m_events;
};

TEST_F(PopFront, WordsLeaveTheFrontOneByOne) {
    struct Case {
        const char* keys;
        std::vector<std::string> pops;  // until a pop removes nothing
    };
    const Case cases[] = {
        {"ka1ho2", {"3: " + KAH, "3: " + HO, "0:"}},
        // A no-cross mark goes with the word after it, unreported.
        {"|ka1|ho2", {"4: " + KAH, "4: " + HO, "0:"}},
        // A space between Tai-lo words is reported with the second word.
        {"si7lang5", {"3: {s\u012b}", "5: _ {l\u00e2ng}", "0:"}},
        // A hyphen folded between Han words leaves as its own pop, hidden.
        {"ka1-ho2", {"3: " + KAH, "1: -!", "3: " + HO, "0:"}},
        // Keys dirty since the last query are composed first; a mark with no word after it
        // leaves alone.
        {"ka1ho2|", {"3: " + KAH, "3: " + HO, "1:", "0:"}},
    };
    for (const Case& c : cases) {
        m_line.clear();
        type(m_line, c.keys);
        std::vector<std::string> got;
        do
            got.push_back(pop());
        while (got.back() != "0:" && got.size() < 10);
        EXPECT_EQ(got, c.pops) << c.keys;
        EXPECT_EQ(m_line.size(), 0u) << c.keys;
        EXPECT_EQ(m_line.caret(), 0u) << c.keys;
    }
}

TEST_F(PopFront, TheRestOfTheLineStaysComposedAfterAPop) {
    type(m_line, "ka1ho2si7");
    EXPECT_EQ(pop(), "3: " + KAH);
    EXPECT_EQ(layout(m_line), "ho2si7^");
    EXPECT_FALSE(m_line.dirty());
    EXPECT_EQ(winnersText(m_line), "0:" + HO + "/3 3:{s\u012b}/3");
    EXPECT_TRUE(winnersCoverCaret(m_line));
    EXPECT_EQ(m_line.nailPosition(), 0u);
    EXPECT_EQ(m_line.keyString(), "ho2si7");
    ASSERT_EQ(m_line.islesByStart().size(), 6u);
    EXPECT_FALSE(m_line.islesByStart()[0].empty());
    EXPECT_EQ(m_line.islesByStart()[0].front()->m_start, 0u);
    // It lists, nails and types on as a line typed afresh does.
    EXPECT_EQ(listText(m_line, 'M', 0, 3), "*T:h\u00f3 s\u012b *H:" + HO + " s\u012b T:h\u00f3");
    ASSERT_TRUE(m_line.nailCandidate('M', 3));
    EXPECT_EQ(winnersText(m_line), "0:" + HO + "/3* 3:{s\u012b}/3");
    type(m_line, "ka1");
    EXPECT_EQ(confirmedText(m_line), HO + "@0/3 _@3/0 {s\u012b}@3/3 _@6/0 " + KAH + "@6/3");
    C_InputLine fresh(m_db);
    type(fresh, "ho2si7ka1");
    EXPECT_EQ(winnersText(fresh), "0:" + HO + "/3 3:{s\u012b}/3 6:" + KAH + "/3");
    EXPECT_EQ(winnersText(m_line), "0:" + HO + "/3* 3:{s\u012b}/3 6:" + KAH + "/3");
}

TEST_F(PopFront, EachPopHandsTheWholeLineToTheLearnerFirst) {
    type(m_line, "ka1ho2");
    EXPECT_EQ(pop(), "3: " + KAH);
    ASSERT_EQ(m_db.jobCount(), 1u);
    EXPECT_EQ(test::winnerText(m_db.job(0)), KAH + "@0 " + HO + "@3");
    // The next pop copies the shifted line: its winners point into its own copies.
    EXPECT_EQ(pop(), "3: " + HO);
    ASSERT_EQ(m_db.jobCount(), 2u);
    EXPECT_EQ(test::winnerText(m_db.job(1)), HO + "@0");
    EXPECT_EQ(m_db.job(1).m_elements.size(), 3u);
    // Nothing before the caret: nothing to learn.
    EXPECT_EQ(pop(), "0:");
    EXPECT_EQ(m_db.jobCount(), 2u);

    // In the tone-numbered mode words leave without a hand-over (after the space that follows
    // the Han word popped last).
    m_line.toggleCompositionMode();
    type(m_line, "a1o2");
    EXPECT_EQ(pop(), "2: _ a");
    EXPECT_EQ(m_db.jobCount(), 2u);
}

TEST_F(PopFront, RuleMatchesMoveWithTheLine) {
    m_db.wordRule(
        HO, {C_RuleElem{C_WordPat{HO, {}, 0}, 0}, C_RuleElem{C_WordPat{KAH, {}, 0}, 0.5f}}, 0);
    type(m_line, "ka1ho2ka1");
    const auto positions = [&] {
        std::set<size_t> out;
        for (const auto& [url, elems] : m_line.snapshot().m_ruleMatches)
            out.insert(url.m_pos);
        return out;
    };
    m_line.winners();
    ASSERT_EQ(positions(), (std::set<size_t>{6}));
    EXPECT_EQ(pop(), "3: " + KAH);
    EXPECT_EQ(positions(), (std::set<size_t>{3}));
    EXPECT_EQ(pop(), "3: " + HO);
    EXPECT_EQ(positions(), (std::set<size_t>{0}));
    EXPECT_EQ(pop(), "3: " + KAH);
    EXPECT_TRUE(positions().empty());
}

// Popping a word that was not nailed: the nail position is the first word left that is not
// nailed, as composing the rest of the line would find it.
TEST_F(PopFront, TheNailPositionIsTheFirstOpenWordLeft) {
    type(m_line, "ka1ho2si7");
    ASSERT_EQ(m_line.getCandidateCountAtNailPos('H'), 2u);
    ASSERT_TRUE(m_line.nailCandidate('H', 0));  // the whole line
    ASSERT_TRUE(m_line.doneNailing());
    m_line.moveTo(0);  // releases the first word
    m_line.moveEnd();
    EXPECT_EQ(winnersText(m_line), "0:" + KAH + "/3 3:" + HO + "/3* 6:{s\u012b}/3*");
    EXPECT_EQ(pop(), "3: " + KAH);
    EXPECT_EQ(m_line.nailPosition(), 6u);
    EXPECT_TRUE(m_line.doneNailing());
    EXPECT_EQ(listText(m_line, 'M'), "-");
}

TEST_F(PopFront, InsertingKeysOverTheLimitPopsFirst) {
    std::vector<size_t> sizes;
    m_line.setLimitReached([&] { return m_line.size() > 3; });
    for (char key : std::string("ka1ho2si7")) {
        type(m_line, std::string(1, key));
        sizes.push_back(m_line.size());
    }
    EXPECT_EQ(sizes, (std::vector<size_t>{1, 2, 3, 4, 2, 3, 4, 2, 3}));
    EXPECT_EQ(layout(m_line), "si7^");
    EXPECT_EQ(m_events, (std::vector<std::string>{KAH, HO}));
    EXPECT_EQ(m_db.jobCount(), 2u);
    EXPECT_TRUE(winnersCoverCaret(m_line));
}

// After a punctuation mark the next pop reports the space that would follow it, also with the
// caret at 0; clearing the line forgets the mark.
TEST_F(PopFront, ASpaceAfterPunctuationIsReportedEvenWithNothingToPop) {
    m_line.toggleFullShapeSymbols();
    type(m_line, "ka1!");
    EXPECT_EQ(pop(), "3: " + KAH);
    EXPECT_EQ(pop(), "1: !");
    EXPECT_EQ(pop(), "0: _");
    EXPECT_EQ(pop(), "0: _");
    m_line.clear();
    EXPECT_EQ(pop(), "0:");
}

TEST_F(PopFront, ALearnerThatFailsLeavesTheLineAsItWas) {
    type(m_line, "ka1ho2");
    m_db.refuseNext();
    EXPECT_THROW(m_line.popFront(), std::runtime_error);
    EXPECT_EQ(layout(m_line), "ka1ho2^");
    EXPECT_EQ(winnersText(m_line), "0:" + KAH + "/3 3:" + HO + "/3");
    EXPECT_EQ(pop(), "3: " + KAH);
    EXPECT_EQ(m_db.jobCount(), 1u);
}

}  // namespace
}  // namespace kov
