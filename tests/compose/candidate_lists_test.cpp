// Candidate lists at the nail position, whole-line candidates, nailing, and the walk over the
// committed words, through a real input line over a dictionary held in memory.

#include "engine/compose/input_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/compose/line_fixture.h"
#include "tests/support/candidate_fixture.h"
#include "tests/support/fake_tailo_db.h"

namespace kov {
namespace {

using test::C_FakeTailoDB;
using test::C_LogLine;
using test::confirmedText;
using test::dictWord;
using test::listText;
using test::states;
using test::type;
using test::winnersCoverCaret;
using test::winnersText;

// 甲 家 好 (Han), sī lâng (Tai-lo only), kâ (Tai-lo only, under the keys of 甲).
const std::string KAH = "\u7532", KA = "\u5bb6", HO = "\u597d";

class CandidateLists : public ::testing::Test {
protected:
    CandidateLists() {
        m_db.word("ka1", test::withCats(dictWord(KAH, {"ka", "kah"}, 10.0f, ST_SYS_EXACT, 1), {1}));
        m_db.word("ka1", dictWord(KA, {"ka"}, 5.0f, ST_SYS_EXACT, 1));
        m_db.word("ka1", dictWord("", {"k\u00e2"}, 1.0f, ST_SYS_EXACT, 1));
        m_db.word("ho2", dictWord(HO, {"h\u00f3"}, 10.0f, ST_SYS_EXACT, 1));
        m_db.word("si7", dictWord("", {"s\u012b"}, 10.0f, ST_SYS_EXACT, 1));
        m_db.word("lang5", dictWord("", {"l\u00e2ng"}, 10.0f, ST_SYS_EXACT, 1));
    }

    // Logs of nailing, from this point on.
    std::vector<C_LogLine> logs() const { return m_db.m_policy.lines(); }

    C_FakeTailoDB m_db;
    C_InputLine m_line{m_db};
};

// Per candidate in the unit's order, its readings (lists that want Tai-lo) before its text
// (lists that want Han), each text and reading listed once.
TEST_F(CandidateLists, AListHoldsTheUnitsReadingsAndTextsByMode) {
    type(m_line, "ka1");
    struct Case {
        char mode;
        const char* list;
        size_t count;
    };
    const std::string m = "T:ka T:kah H:" + KAH + " H:" + KA + " T:k\u00e2";
    const std::string h = "H:" + KAH + " H:" + KA + " T:k\u00e2";
    const Case cases[] = {
        {'M', m.c_str(), 5},
        {'H', h.c_str(), 3},
        {'T', "T:ka T:kah T:k\u00e2", 3},
        {'X', "-", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(m_line.getCandidateCountAtNailPos(c.mode), c.count) << c.mode;
        EXPECT_EQ(listText(m_line, c.mode), c.list) << c.mode;
    }
    // Slices of the list; past its end nothing is handed, and it still exists.
    EXPECT_EQ(listText(m_line, 'M', 1, 2), "T:kah H:" + KAH);
    EXPECT_EQ(listText(m_line, 'M', 4, 9), "T:k\u00e2");
    EXPECT_EQ(listText(m_line, 'M', 9, 3), "");
    EXPECT_EQ(listText(m_line, 'M', 0, 0), "");
}

TEST_F(CandidateLists, EntriesCarryTheirCandidatesFields) {
    type(m_line, "ka1");
    std::vector<std::pair<size_t, C_VocCandidate>> got;
    ASSERT_TRUE(m_line.getCandidatesAtNailPos(
        'M', 0, 3, [&](size_t pos, const C_VocCandidate& v) { got.emplace_back(pos, v); }));
    ASSERT_EQ(got.size(), 3u);
    const C_VocCandidate& reading = got[0].second;
    EXPECT_EQ(got[0].first, 0u);
    EXPECT_EQ(reading.m_text, "ka");
    EXPECT_TRUE(reading.m_readings.empty());
    EXPECT_EQ(reading.m_mode, COMPO_TAILO);
    const C_VocCandidate& text = got[2].second;
    EXPECT_EQ(text.m_text, KAH);
    EXPECT_EQ(text.m_readings, (std::vector<std::string>{"ka", "kah"}));
    EXPECT_EQ(text.m_mode, COMPO_HANT);
    for (const auto& [pos, v] : got) {
        EXPECT_EQ(v.m_cats, (std::vector<uint8_t>{1}));
        EXPECT_EQ(v.m_span, 3);
        EXPECT_EQ(v.m_words, 1);
        EXPECT_EQ(v.m_source, ST_SYS_EXACT);
        EXPECT_EQ(v.m_weight, 10.0);
        EXPECT_FALSE(v.m_virtual);
        EXPECT_FALSE(v.m_hidden);
    }
}

TEST_F(CandidateLists, NoListAtOrPastTheCaret) {
    EXPECT_EQ(m_line.getCandidateCountAtNailPos('M'), 0u);
    EXPECT_EQ(listText(m_line, 'M'), "-");
    type(m_line, "ka1");
    m_line.moveHome();
    EXPECT_EQ(m_line.getCandidateCountAtNailPos('M'), 0u);
    EXPECT_EQ(listText(m_line, 'M'), "-");
    // Every word nailed: the nail position is the caret.
    m_line.moveEnd();
    ASSERT_EQ(m_line.getCandidateCountAtNailPos('M'), 5u);
    ASSERT_TRUE(m_line.nailCandidate('M', 0));
    EXPECT_EQ(m_line.nailPosition(), 3u);
    EXPECT_EQ(m_line.getCandidateCountAtNailPos('M'), 0u);
    EXPECT_EQ(listText(m_line, 'H'), "-");
}

TEST_F(CandidateLists, TailoModeShowsOneCandidate) {
    m_line.toggleCompositionMode();
    type(m_line, "a1");
    for (char mode : {'H', 'M', 'T'})
        EXPECT_EQ(m_line.getCandidateCountAtNailPos(mode), 1u) << mode;
    EXPECT_EQ(listText(m_line, 'T'), "T:a");
    EXPECT_EQ(listText(m_line, 'T', 1, 5), "");
    // Two open words: the whole line is the one candidate.
    type(m_line, "o2");
    EXPECT_EQ(m_line.getCandidateCountAtNailPos('T'), 1u);
    EXPECT_EQ(listText(m_line, 'T'), "*T:a \u00f3");
    EXPECT_EQ(listText(m_line, 'M', 0, 5), "*T:a \u00f3");
}

TEST_F(CandidateLists, WholeLineCandidatesComeFirstWhileSeveralWordsAreOpen) {
    struct Case {
        const char* keys;
        char mode;
        std::string head;  // the own candidates and the first entry of the unit
    };
    const Case cases[] = {
        {"ka1ho2", 'M', "*T:ka h\u00f3 *H:" + KAH + HO + " T:ka"},
        {"ka1ho2", 'H', "*H:" + KAH + HO + " H:" + KAH},
        {"ka1ho2", 'T', "*T:ka h\u00f3 T:ka"},
        // A hyphen joins the Tai-lo spelling and is left out of the Han one.
        {"ka1-ho2", 'M', "*T:ka-h\u00f3 *H:" + KAH + HO + " T:ka"},
        // A Tai-lo-only word stands in the Han line by its reading, after the space before it.
        {"ka1si7", 'H', "*H:" + KAH + " s\u012b H:" + KAH},
        // One open word: no whole-line candidate.
        {"ka1", 'M', "T:ka"},
    };
    for (const Case& c : cases) {
        C_InputLine line(m_db);
        type(line, c.keys);
        const size_t own = size_t(std::count(c.head.begin(), c.head.end(), '*'));
        EXPECT_EQ(listText(line, c.mode, 0, own + 1), c.head) << c.keys << " " << c.mode;
    }

    type(m_line, "ka1ho2");
    std::vector<C_VocCandidate> own;
    m_line.getCandidatesAtNailPos('M', 0, 2, [&](size_t pos, const C_VocCandidate& v) {
        EXPECT_EQ(pos, 0u);
        own.push_back(v);
    });
    ASSERT_EQ(own.size(), 2u);
    EXPECT_TRUE(own[0].m_readings.empty());
    EXPECT_EQ(own[1].m_readings, (std::vector<std::string>{"ka h\u00f3"}));
    for (const C_VocCandidate& v : own) {
        EXPECT_EQ(v.m_span, 6);
        EXPECT_EQ(v.m_words, 2);
        EXPECT_EQ(v.m_source, ST_RAW_KEY);
        EXPECT_EQ(v.m_weight, 0.0);
        EXPECT_TRUE(v.m_virtual);
    }
    // Once the first word is nailed only one word is open.
    EXPECT_EQ(m_line.getCandidateCountAtNailPos('M'), 7u);
    ASSERT_TRUE(m_line.nailCandidate('M', 4));  // H:甲
    EXPECT_EQ(listText(m_line, 'M'), "T:h\u00f3 H:" + HO);
}

TEST_F(CandidateLists, RefusedNailsAreLoggedAndChangeNothing) {
    struct Case {
        const char* name;
        char countMode;  // the list counted before nailing, 0 for none
        char nailMode;
        size_t index;
        const char* log;
    };
    const Case cases[] = {
        {"no list read", 0, 'M', 0, "Nail candidate without cache at view pos 0"},
        {"other mode", 'H', 'T', 0, "Nail candidate without mode 'T' at view pos 0"},
        {"escaped mode", 'H', '\t', 0, "Nail candidate without mode '\\t' at view pos 0"},
        {"past the entries", 'M', 'M', 9, "Nail candidate index 7 out of range at view pos 0"},
    };
    for (const Case& c : cases) {
        C_FakeTailoDB db;
        db.word("ka1", dictWord(KAH, {"ka"}, 10.0f));
        db.word("ho2", dictWord(HO, {"h\u00f3"}, 10.0f));
        C_InputLine line(db);
        type(line, "ka1ho2");
        const std::string before = winnersText(line);
        if (c.countMode)
            line.getCandidateCountAtNailPos(c.countMode);
        EXPECT_FALSE(line.nailCandidate(c.nailMode, c.index)) << c.name;
        EXPECT_EQ(db.m_policy.lines(), (std::vector<C_LogLine>{{2, c.log}})) << c.name;
        EXPECT_FALSE(line.dirty()) << c.name;
        EXPECT_EQ(winnersText(line), before) << c.name;
    }
    // Right after an edit the front end has not seen the list it nails from.
    type(m_line, "ka1");
    EXPECT_EQ(m_line.getCandidateCountAtNailPos('M'), 5u);
    type(m_line, "ho2");
    EXPECT_FALSE(m_line.nailCandidate('M', 0));
    EXPECT_EQ(logs(), (std::vector<C_LogLine>{{2, "Nail candidate when dirty"}}));
    EXPECT_EQ(states(m_line), "222222");
}

TEST_F(CandidateLists, NailingAnEntryPinsItsCandidateAndReading) {
    struct Case {
        size_t index;  // into the 'M' list of "ka1ho2": two whole-line candidates first
        const char* winners;
        std::string confirmed;
    };
    const Case cases[] = {
        {2, "0:\u7532/3* 3:\u597d/3", "ka@0/3 _@3/0 \u597d@3/3"},
        {3, "0:\u7532/3* 3:\u597d/3", "kah@0/3 _@3/0 \u597d@3/3"},
        {4, "0:\u7532/3* 3:\u597d/3", KAH + "@0/3 " + HO + "@3/3"},
        {5, "0:\u5bb6/3* 3:\u597d/3", KA + "@0/3 " + HO + "@3/3"},
        {6, "0:{k\u00e2}/3* 3:\u597d/3", "k\u00e2@0/3 _@3/0 " + HO + "@3/3"},
    };
    for (const Case& c : cases) {
        C_InputLine line(m_db);
        type(line, "ka1ho2");
        ASSERT_EQ(line.getCandidateCountAtNailPos('M'), 7u);
        EXPECT_TRUE(line.nailCandidate('M', c.index)) << c.index;
        EXPECT_TRUE(line.dirty());
        EXPECT_EQ(winnersText(line), c.winners) << c.index;
        EXPECT_EQ(line.nailPosition(), 3u);
        EXPECT_EQ(confirmedText(line), c.confirmed) << c.index;
        EXPECT_TRUE(winnersCoverCaret(line));
    }
}

// Nailing a shorter word than the winner there has the units of the overlapping words checked
// again, so the line's words around it change with it.
TEST_F(CandidateLists, NailingAShorterWordBreaksTheLongerWinner) {
    m_db.word("ka1", dictWord(KAH + HO, {"ka-h\u00f3"}, 10.0f, ST_SYS_EXACT, 2), 6);
    type(m_line, "ka1ho2");
    EXPECT_EQ(winnersText(m_line), "0:" + KAH + HO + "/6");
    EXPECT_EQ(listText(m_line, 'H', 0, 2), "H:" + KAH + HO + " H:" + KAH);
    ASSERT_TRUE(m_line.nailCandidate('H', 1));
    // The words over the nailed keys (甲好 and the reading spelled from "a1") are checked again.
    EXPECT_EQ(states(m_line), "110000");
    EXPECT_EQ(winnersText(m_line), "0:" + KAH + "/3* 3:" + HO + "/3");
}

TEST_F(CandidateLists, AWholeLineCandidateNailsEveryOpenWord) {
    struct Case {
        const char* keys;
        size_t index;  // 0 the Tai-lo line, 1 the Han line
        std::string confirmed;
    };
    const Case cases[] = {
        {"ka1ho2", 0, "ka@0/3 _@3/0 h\u00f3@3/3"},
        {"ka1ho2", 1, KAH + "@0/3 " + HO + "@3/3"},
        // The Han line leaves Han words without chosen reading and Tai-lo words on their first.
        {"ka1si7", 1, KAH + "@0/3 _@3/0 s\u012b@3/3"},
    };
    for (const Case& c : cases) {
        C_InputLine line(m_db);
        type(line, c.keys);
        ASSERT_GT(line.getCandidateCountAtNailPos('M'), 2u);
        EXPECT_TRUE(line.nailCandidate('M', c.index)) << c.keys;
        EXPECT_TRUE(line.doneNailing()) << c.keys;
        EXPECT_EQ(confirmedText(line), c.confirmed) << c.keys << " " << c.index;
    }
}

TEST_F(CandidateLists, CommittedWordsWithSpacesHyphensAndMarks) {
    struct Case {
        const char* keys;
        bool spaces;
        bool fullShape;
        std::string walk;
    };
    const std::string hyphenRun = KAH + "@0/3 -@3/1 -@4/1 -@5/1 " + HO + "@6/3";
    const Case cases[] = {
        // One or two hyphens between Han words fold into one hidden view.
        {"ka1-ho2", true, true, KAH + "@0/3 -@3/1! " + HO + "@4/3"},
        {"ka1--ho2", true, true, KAH + "@0/3 --@3/2! " + HO + "@5/3"},
        {"ka1---ho2", true, true, hyphenRun},
        {"ka1-si7", true, true, KAH + "@0/3 -@3/1 {s\u012b}@4/3"},
        {"ka1-", true, true, KAH + "@0/3 -@3/1"},
        {"ka1-|ho2", true, true, KAH + "@0/3 -@3/1 |@4 " + HO + "@5/3"},
        // A space between Tai-lo words, and after a Han word before a Tai-lo one.
        {"si7lang5", true, true, "{s\u012b}@0/3 _@3/0 {l\u00e2ng}@3/5"},
        {"ka1ho2", true, true, KAH + "@0/3 " + HO + "@3/3"},
        {"ka1si7", true, true, KAH + "@0/3 _@3/0 {s\u012b}@3/3"},
        {"ka1|ho2", true, true, KAH + "@0/3 |@3 " + HO + "@4/3"},
        // After a punctuation mark the caret gets a space (not after its full-width form).
        {"ka1!", true, false, KAH + "@0/3 !@3/1 _@4/0"},
        {"ka1!", true, true, KAH + "@0/3 \uff01@3/1"},
        // Without spurious spaces nothing is made up and nothing folded.
        {"ka1-ho2", false, true, KAH + "@0/3 -@3/1 " + HO + "@4/3"},
        {"si7lang5", false, true, "{s\u012b}@0/3 {l\u00e2ng}@3/5"},
    };
    for (const Case& c : cases) {
        C_InputLine line(m_db);
        if (!c.spaces)
            line.toggleSpuriousSpaces();
        if (!c.fullShape)
            line.toggleFullShapeSymbols();
        type(line, c.keys);
        EXPECT_EQ(confirmedText(line), c.walk) << c.keys;
    }
}

TEST_F(CandidateLists, CommittedViewsByMode) {
    struct Seen {
        size_t pos;
        C_VocCandidate view;
    };
    const auto walk = [](C_InputLine& line) {
        std::vector<Seen> seen;
        line.getConfirmedCandidates(
            [&](size_t pos, const C_VocCandidate& v) {
                if (!v.m_virtual)
                    seen.push_back(Seen{pos, v});
                return true;
            },
            false);
        return seen;
    };
    type(m_line, "ka1si7!");
    std::vector<Seen> seen = walk(m_line);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].view.m_mode, COMPO_HANT);
    EXPECT_EQ(seen[0].view.m_readings, (std::vector<std::string>{"ka", "kah"}));
    EXPECT_EQ(seen[0].view.m_weight, 10.0);
    EXPECT_EQ(seen[1].view.m_mode, COMPO_TAILO);
    EXPECT_EQ(seen[1].view.m_text, "");
    EXPECT_EQ(seen[1].view.m_readings, (std::vector<std::string>{"s\u012b"}));
    EXPECT_EQ(seen[2].view.m_mode, COMPO_KEY);
    EXPECT_EQ(seen[2].view.m_text, "\uff01");
    EXPECT_EQ(seen[2].view.m_source, ST_RAW_KEY);
    EXPECT_EQ(seen[2].pos, 6u);

    // In TAILO mode a word not nailed shows its reading, without readings.
    C_InputLine tailo(m_db);
    tailo.toggleCompositionMode();
    type(tailo, "a1");
    seen = walk(tailo);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].view.m_mode, COMPO_TAILO);
    EXPECT_EQ(seen[0].view.m_text, "a");
    EXPECT_TRUE(seen[0].view.m_readings.empty());
    EXPECT_EQ(seen[0].view.m_source, ST_SPELLED);
}

TEST_F(CandidateLists, TheWalkStopsWhenTheCallbackSaysSo) {
    type(m_line, "si7lang5ka1");
    std::vector<std::string> seen;
    m_line.getConfirmedCandidates(
        [&](size_t pos, const C_VocCandidate& v) {
            seen.push_back(test::viewText(pos, v));
            return !v.m_virtual;
        },
        false);
    EXPECT_EQ(seen, (std::vector<std::string>{"{s\u012b}@0/3", "_@3/0"}));
}

TEST_F(CandidateLists, ACandidateWithTooManyReadingsCannotBeListed) {
    std::vector<std::string> readings;
    for (size_t i = 0; i < 0xFFFF; ++i)
        readings.push_back("r" + std::to_string(i));
    m_db.word("ho2", dictWord(HO + HO, std::move(readings)));
    type(m_line, "ho2");
    try {
        m_line.getCandidateCountAtNailPos('M');
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Tailo count(65535) exceeds storage limit");
    }
    // A Han list does not hold readings of words with text.
    EXPECT_EQ(m_line.getCandidateCountAtNailPos('H'), 2u);
}

}  // namespace
}  // namespace kov
