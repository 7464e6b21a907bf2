#include "engine/compose/input_line.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/compose/line_fixture.h"
#include "tests/support/fake_tailo_db.h"

namespace kov {
namespace {

using test::C_FakeTailoDB;
using test::layout;
using test::nailWinnerAt;
using test::states;
using test::type;
using test::winnersCoverCaret;
using test::winnersText;

class InputLine : public ::testing::Test {
protected:
    C_FakeTailoDB m_db;
    C_InputLine m_line{m_db};
};

TEST_F(InputLine, StartsEmptyWithTheDefaultFlags) {
    EXPECT_EQ(m_line.size(), 0u);
    EXPECT_EQ(m_line.caret(), 0u);
    EXPECT_FALSE(m_line.dirty());
    EXPECT_EQ(m_line.mode(), CM_STD);
    EXPECT_TRUE(m_line.spuriousSpaces());
    EXPECT_TRUE(m_line.fullShapeSymbols());
    EXPECT_FALSE(m_line.rawKeyOnly());
    EXPECT_FALSE(m_line.islandDoctrine());
    EXPECT_EQ(m_line.nailPosition(), 0u);
    EXPECT_TRUE(m_line.winners().empty());
}

TEST_F(InputLine, InsertingMarksTheNewUnitAndTheLineDirty) {
    m_line.insertKey('A');
    EXPECT_EQ(m_line.size(), 1u);
    EXPECT_EQ(m_line.caret(), 1u);
    EXPECT_TRUE(m_line.dirty());
    EXPECT_EQ(states(m_line), "2");
    const C_CompoUnit* unit = m_line.snapshot().unitAt(0);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->key(), 'A');  // as typed
    EXPECT_TRUE(unit->fullShape());
    EXPECT_FALSE(unit->rawKeyOnly());
    EXPECT_FALSE(unit->doctrine());
}

TEST_F(InputLine, TheFirstEditAfterAQueryMarksBackToTheStartLaterOnesStopEarly) {
    type(m_line, "abc");
    m_line.winners();
    EXPECT_FALSE(m_line.dirty());
    EXPECT_EQ(states(m_line), "000");
    m_line.moveTo(2);
    EXPECT_EQ(states(m_line), "220");
    m_line.moveForward();
    EXPECT_EQ(states(m_line), "222");
    m_line.winners();
    EXPECT_EQ(states(m_line), "000");
    // Marks are passed over by the walk.
    type(m_line, "|d");
    EXPECT_EQ(layout(m_line), "abc|d^");
    EXPECT_EQ(states(m_line), "222|2");
}

TEST_F(InputLine, CaretMovesOverNoCrossMarks) {
    type(m_line, "a|b");
    EXPECT_EQ(layout(m_line), "a|b^");
    EXPECT_TRUE(m_line.moveBack());
    EXPECT_EQ(layout(m_line), "a|^b");
    EXPECT_TRUE(m_line.moveBack());
    EXPECT_EQ(layout(m_line), "^a|b");  // the mark goes with the a
    EXPECT_FALSE(m_line.moveBack());
    EXPECT_TRUE(m_line.moveForward());
    EXPECT_EQ(layout(m_line), "a^|b");
    EXPECT_TRUE(m_line.moveForward());
    EXPECT_EQ(layout(m_line), "a|b^");
    EXPECT_FALSE(m_line.moveForward());
}

TEST_F(InputLine, MoveToAndMoveHome) {
    type(m_line, "abc");
    EXPECT_FALSE(m_line.moveTo(4));
    EXPECT_EQ(m_line.caret(), 3u);
    m_line.winners();
    EXPECT_TRUE(m_line.moveTo(3));
    EXPECT_FALSE(m_line.dirty());  // the caret: nothing changes
    EXPECT_TRUE(m_line.moveTo(1));
    EXPECT_EQ(layout(m_line), "a^bc");
    m_line.moveEnd();
    EXPECT_EQ(layout(m_line), "abc^");
    m_line.winners();
    m_line.moveHome();
    EXPECT_EQ(layout(m_line), "^abc");
    EXPECT_TRUE(m_line.dirty());
    EXPECT_EQ(m_line.nailPosition(), 0u);
    EXPECT_TRUE(m_line.winners().empty());
}

TEST_F(InputLine, NoCrossMarkToggles) {
    type(m_line, "a|");
    EXPECT_EQ(layout(m_line), "a|^");
    // Just before the trailing mark, the toggle removes it.
    m_line.moveTo(1);
    m_line.toggleNoCross();
    EXPECT_EQ(layout(m_line), "a^");
    // Before a unit, it inserts a mark.
    m_line.moveTo(0);
    m_line.toggleNoCross();
    EXPECT_EQ(layout(m_line), "|^a");
    type(m_line, "|");
    EXPECT_EQ(layout(m_line), "||^a");
    std::vector<size_t> marks;
    m_line.getNoCrosses([&](size_t p) { marks.push_back(p); });
    EXPECT_EQ(marks, (std::vector<size_t>{0, 1}));
}

TEST_F(InputLine, RemovingKeysTakesTheMarksAroundThem) {
    struct Case {
        const char* keys;
        size_t caret;
        int direction;
        bool removed;
        const char* after;
    };
    const Case cases[] = {
        {"a|b", 3, C_InputLine::DIR_BACKWARD, true, "a^"},  // the key after a mark, and the mark
        {"ab", 2, C_InputLine::DIR_BACKWARD, true, "a^"},
        {"ab", 0, C_InputLine::DIR_BACKWARD, false, "^ab"},
        {"a|", 2, C_InputLine::DIR_BACKWARD, true, "^"},     // over the mark, then the a
        {"|a", 1, C_InputLine::DIR_BACKWARD, false, "^|a"},  // only a mark before: caret moves
        {"ab", 0, C_InputLine::DIR_FORWARD, true, "^b"},
        {"ab", 2, C_InputLine::DIR_FORWARD, false, "ab^"},
        {"a||", 1, C_InputLine::DIR_FORWARD, false, "a||^"},  // only marks after: caret at the end
        {"a|b|c", 2, C_InputLine::DIR_FORWARD, true, "a^c"},  // b with both marks
    };
    for (const Case& c : cases) {
        C_InputLine line(m_db);
        type(line, c.keys);
        line.moveTo(c.caret);
        EXPECT_EQ(line.removeKey(c.direction), c.removed) << c.keys << " at " << c.caret;
        EXPECT_EQ(layout(line), c.after) << c.keys << " at " << c.caret;
        EXPECT_TRUE(winnersCoverCaret(line)) << c.keys;
    }
}

TEST_F(InputLine, UnknownDirectionIsAConsistencyError) {
    type(m_line, "a");
    try {
        m_line.removeKey(2);
        FAIL() << "no exception";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Unknown director: 2");
    }
    EXPECT_THROW(m_line.removeKey(-1), std::logic_error);
}

TEST_F(InputLine, BackspaceReleasesANailedWordBeforeDeleting) {
    type(m_line, "ab");
    EXPECT_EQ(winnersText(m_line), "0:a/1 1:b/1");
    nailWinnerAt(m_line, 1);
    EXPECT_EQ(winnersText(m_line), "0:a/1 1:b/1*");
    EXPECT_EQ(m_line.nailPosition(), 0u);
    EXPECT_TRUE(m_line.removeKey(C_InputLine::DIR_BACKWARD));
    EXPECT_EQ(layout(m_line), "ab^");
    EXPECT_TRUE(m_line.dirty());
    EXPECT_EQ(winnersText(m_line), "0:a/1 1:b/1");
    EXPECT_TRUE(m_line.removeKey(C_InputLine::DIR_BACKWARD));
    EXPECT_EQ(layout(m_line), "a^");
}

TEST_F(InputLine, MovingBackBeforeTheNailPositionReleasesTheWordThere) {
    type(m_line, "abc");
    nailWinnerAt(m_line, 0);
    nailWinnerAt(m_line, 1);
    EXPECT_EQ(m_line.nailPosition(), 2u);
    m_line.moveTo(1);
    EXPECT_EQ(m_line.nailPosition(), 1u);
    EXPECT_EQ(winnersText(m_line), "0:a/1*");
    m_line.moveEnd();
    EXPECT_EQ(winnersText(m_line), "0:a/1* 1:b/1 2:c/1");
}

TEST_F(InputLine, KeySections) {
    type(m_line, "ab|cd");
    std::vector<std::string> got;
    auto collect = [&](std::string_view s) { got.emplace_back(s); };
    const size_t twice[] = {2, 2};
    m_line.getKeySections(twice, collect);
    EXPECT_EQ(got, (std::vector<std::string>{"ab", "", "cd"}));
    got.clear();
    m_line.getKeySections({}, collect);
    EXPECT_EQ(got, (std::vector<std::string>{"abcd"}));
    got.clear();
    const size_t unsorted[] = {9, 1};
    m_line.getKeySections(unsorted, collect);
    EXPECT_EQ(got, (std::vector<std::string>{"a", "bcd", ""}));
}

TEST_F(InputLine, FlagToggles) {
    type(m_line, "a");
    m_line.winners();
    EXPECT_FALSE(m_line.toggleFullShapeSymbols());
    EXPECT_TRUE(m_line.toggleRawKeyOnly());
    EXPECT_FALSE(m_line.dirty());  // only later units see these
    type(m_line, "b");
    EXPECT_TRUE(m_line.snapshot().unitAt(0)->fullShape());
    EXPECT_FALSE(m_line.snapshot().unitAt(1)->fullShape());
    EXPECT_TRUE(m_line.snapshot().unitAt(1)->rawKeyOnly());
    m_line.winners();
    EXPECT_FALSE(m_line.toggleSpuriousSpaces());
    EXPECT_TRUE(m_line.dirty());
    EXPECT_EQ(states(m_line), "00");  // no unit is marked
    EXPECT_TRUE(m_line.toggleSpuriousSpaces());
}

TEST_F(InputLine, IslandDoctrineGoesIntoTheUnitsBeforeTheCaret) {
    type(m_line, "abc");
    m_line.moveTo(2);
    m_line.winners();
    m_line.setIslandDoctrine(false);
    EXPECT_FALSE(m_line.dirty());  // unchanged value: nothing happens
    m_line.setIslandDoctrine(true);
    EXPECT_TRUE(m_line.dirty());
    EXPECT_EQ(states(m_line), "222");
    const C_InputLineSnapshot& s = m_line.snapshot();
    EXPECT_TRUE(s.unitAt(0)->doctrine());
    EXPECT_TRUE(s.unitAt(1)->doctrine());
    EXPECT_FALSE(s.unitAt(2)->doctrine());  // after the caret
    type(m_line, "d");
    EXPECT_TRUE(s.unitAt(2)->doctrine());  // new units take the line's flag
    m_line.winners();
    EXPECT_EQ(states(m_line), "0002");  // the c after the caret was never composed
    m_line.syncIslandDoctrine();
    EXPECT_EQ(states(m_line), "2222");
}

TEST_F(InputLine, ModeStatus) {
    const I_ModeStatus& status = m_line.modeStatus();
    EXPECT_TRUE(status.wantsHant('H'));
    EXPECT_TRUE(status.wantsHant('M'));
    EXPECT_FALSE(status.wantsHant('T'));
    EXPECT_FALSE(status.wantsTailo('H'));
    EXPECT_TRUE(status.wantsTailo('M'));
    EXPECT_TRUE(status.wantsTailo('T'));
    EXPECT_EQ(m_line.toggleCompositionMode(), CM_TAILO);
    EXPECT_FALSE(status.wantsHant('H'));
    EXPECT_FALSE(status.wantsHant('M'));
    EXPECT_TRUE(status.wantsTailo('H'));
    EXPECT_EQ(m_line.toggleCompositionMode(), CM_STD);
}

TEST_F(InputLine, SwitchingModeHandsNailedWordsToTheLearnerAndRecomposes) {
    type(m_line, "ab");
    m_line.winners();
    // Nothing nailed: no hand-over.
    EXPECT_EQ(m_line.toggleCompositionMode(), CM_TAILO);
    EXPECT_TRUE(m_db.m_jobs.empty());
    EXPECT_EQ(states(m_line), "22");
    EXPECT_EQ(m_line.toggleCompositionMode(), CM_STD);
    nailWinnerAt(m_line, 0);
    ASSERT_EQ(m_line.nailPosition(), 1u);
    EXPECT_EQ(m_line.toggleCompositionMode(), CM_TAILO);
    ASSERT_EQ(m_db.m_jobs.size(), 1u);
    EXPECT_EQ(m_db.m_jobs[0]->m_mode, CM_STD);
    EXPECT_EQ(m_db.m_jobs[0]->m_winners.size(), 2u);
    EXPECT_TRUE(m_db.m_jobs[0]->m_ruleMatches.empty());
    EXPECT_TRUE(winnersCoverCaret(m_line));
}

TEST_F(InputLine, ClearHandsTheLineOverOnceThenEmptiesIt) {
    type(m_line, "ab|c");
    m_line.clear();
    ASSERT_EQ(m_db.m_jobs.size(), 1u);
    EXPECT_EQ(m_db.m_jobs[0]->m_elements.size(), 4u);
    EXPECT_EQ(m_db.m_jobs[0]->m_winners.size(), 4u);
    EXPECT_EQ(m_line.size(), 0u);
    // The job owns its units: its winners outlive the line's elements.
    ASSERT_NE(m_db.m_jobs[0]->m_winners[3].m_candidate, nullptr);
    EXPECT_EQ(m_db.m_jobs[0]->m_winners[3].m_candidate->m_text, "c");
    EXPECT_EQ(m_db.m_jobs[0]->m_winners[2].m_candidate, nullptr);
    EXPECT_EQ(m_line.caret(), 0u);
    EXPECT_FALSE(m_line.dirty());
    EXPECT_TRUE(m_line.winners().empty());
    // Nothing before the caret, or the tone-numbered mode: nothing is handed over.
    type(m_line, "ab");
    m_line.moveHome();
    m_line.clear();
    m_line.toggleCompositionMode();
    type(m_line, "a1");
    m_line.clear();
    EXPECT_EQ(m_db.m_jobs.size(), 1u);
    // A line whose dictionary is no learner hands nothing over.
    C_InputLine line(m_db);
    line.setLearner(nullptr);
    type(line, "a");
    line.clear();
    EXPECT_EQ(m_db.m_jobs.size(), 1u);
}

TEST_F(InputLine, DoneNailing) {
    type(m_line, "ab");
    EXPECT_FALSE(m_line.doneNailing());
    nailWinnerAt(m_line, 0);
    nailWinnerAt(m_line, 1);
    EXPECT_TRUE(m_line.doneNailing());
    m_line.moveTo(1);
    EXPECT_FALSE(m_line.doneNailing());  // caret not at the end
}

TEST_F(InputLine, TheLimitPredicateIsAskedBeforeEachKeyAndNeverLoopsForever) {
    int asked = 0;
    m_line.setLimitReached([&] {
        ++asked;
        return true;
    });
    type(m_line, "abc");
    // Each key pops the word before it, then finds the caret at 0 and stops popping.
    EXPECT_EQ(asked, 5);
    EXPECT_EQ(layout(m_line), "c^");
}

TEST_F(InputLine, TheLineHoldsAtMost1024Elements) {
    for (size_t i = 0; i < C_InputLine::kMaxElements; ++i)
        m_line.insertKey(i % 7 == 6 ? '5' : 'a');
    EXPECT_EQ(m_line.size(), 1024u);
    try {
        m_line.insertKey('a');
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Input line limit reached: 1024");
    }
    EXPECT_THROW(m_line.toggleNoCross(), std::runtime_error);
    EXPECT_EQ(m_line.size(), 1024u);
    EXPECT_TRUE(winnersCoverCaret(m_line));
    // Room again after a removal.
    EXPECT_TRUE(m_line.removeKey(C_InputLine::DIR_BACKWARD));
    m_line.toggleNoCross();
    EXPECT_EQ(m_line.size(), 1024u);
}

// Structural edits without a query in between: winners follow the elements, so nothing reads a
// destroyed candidate and the nail position never runs ahead of the winners.
TEST_F(InputLine, ErasingKeysBeforeAQueryLeavesNoStaleWinner) {
    type(m_line, "abc");
    m_line.winners();
    m_line.moveTo(0);
    EXPECT_TRUE(m_line.removeKey(C_InputLine::DIR_FORWARD));
    EXPECT_TRUE(m_line.removeKey(C_InputLine::DIR_FORWARD));
    m_line.moveForward();
    EXPECT_EQ(winnersText(m_line), "0:c/1");
    EXPECT_TRUE(m_line.removeKey(C_InputLine::DIR_BACKWARD));
    EXPECT_EQ(layout(m_line), "^");
}

TEST_F(InputLine, AMarkInsertedAtTheStartIsComposed) {
    type(m_line, "a|");
    EXPECT_EQ(winnersText(m_line), "0:a/1 1:|");
    m_line.moveBack();
    EXPECT_EQ(layout(m_line), "^a|");
    m_line.toggleNoCross();
    EXPECT_EQ(layout(m_line), "|^a|");
    EXPECT_TRUE(m_line.dirty());
    EXPECT_EQ(winnersText(m_line), "0:|");
    m_line.moveEnd();
    EXPECT_EQ(winnersText(m_line), "0:| 1:a/1 2:|");
}

TEST_F(InputLine, TheNailPositionFollowsErasedKeys) {
    type(m_line, "a");
    nailWinnerAt(m_line, 0);
    EXPECT_EQ(m_line.nailPosition(), 1u);
    EXPECT_TRUE(m_line.removeKey(C_InputLine::DIR_BACKWARD));  // releases
    EXPECT_TRUE(m_line.removeKey(C_InputLine::DIR_BACKWARD));  // deletes
    type(m_line, "b");
    EXPECT_NO_THROW(m_line.moveBack());
    EXPECT_EQ(m_line.caret(), 0u);
    m_line.moveEnd();
    EXPECT_EQ(winnersText(m_line), "0:b/1");
}

// A query over a shorter caret settles only the units before it; moving on over units that
// were marked earlier must still compose them.
TEST_F(InputLine, MovingOnOverUnitsMarkedBeforeAShortQueryComposesThem) {
    type(m_line, "abc");
    m_line.moveTo(1);
    EXPECT_EQ(winnersText(m_line), "0:a/1");
    EXPECT_EQ(states(m_line), "022");
    m_line.moveEnd();
    EXPECT_TRUE(m_line.dirty());
    EXPECT_EQ(winnersText(m_line), "0:a/1 1:b/1 2:c/1");
}

// Caret moves over no-cross marks alone mark no unit, yet the winners must follow the caret.
TEST_F(InputLine, CaretMovesOverMarksOnlyStillRecomposeTheWinners) {
    type(m_line, "|a");
    EXPECT_EQ(winnersText(m_line), "0:| 1:a/1");
    m_line.moveBack();
    EXPECT_EQ(layout(m_line), "|^a");
    EXPECT_EQ(winnersText(m_line), "0:|");
    m_line.moveForward();
    EXPECT_EQ(winnersText(m_line), "0:| 1:a/1");
    m_line.moveTo(1);
    EXPECT_EQ(m_line.removeKey(C_InputLine::DIR_BACKWARD), false);  // passes the mark only
    EXPECT_EQ(layout(m_line), "^|a");
    EXPECT_TRUE(m_line.winners().empty());
    // The nail position followed the caret: typing and moving back finds its winner.
    type(m_line, "t");
    EXPECT_NO_THROW(m_line.moveBack());
    m_line.moveEnd();
    EXPECT_EQ(winnersText(m_line), "0:t/1 1:| 2:a/1");
}

}  // namespace
}  // namespace kov
