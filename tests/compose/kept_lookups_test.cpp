// Units keep the words of their last lookup when an edit cannot have changed them. A line that
// keeps them must compose exactly as a line that asks the dictionaries for every unit every
// time: the same candidates in the same order with the same fields, the same winners and nail
// position, whatever the edits, and also when the user dictionary changes in between.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/compose/input_line.h"
#include "engine/dict/system_dict.h"
#include "engine/dict/tailo_cats.h"
#include "engine/dict/user_db.h"
#include "engine/text/tailo.h"
#include "fixtures/capture_policy.h"
#include "fixtures/temp_folder.h"
#include "tests/compose/line_fixture.h"
#include "fixtures/lexicon_rows.h"
#include "tools/dictc/dict_compiler.h"

namespace kov {
namespace {

using test::layout;
using test::nailWinnerAt;
using test::states;

// Forwards every query to a dictionary stack; it cannot tell the stack's revision, so a line
// over it asks for the words of every marked unit again. With withRevision it forwards the
// revision too. It counts the island lookups per island start.
class C_Forwarding : public virtual I_TailoDB, public I_VocRevision {
public:
    explicit C_Forwarding(const I_TailoDB& db, bool withRevision)
        : m_db(db), m_withRevision(withRevision) {}

    void getRelatedChoices(const C_VisitConsts& consts, const C_StdIsle& isle,
                           const FC_RelatedSink& sink) const override {
        m_db.getRelatedChoices(consts, isle, sink);
    }
    const I_TailoCats& cats() const override { return m_db.cats(); }
    void getIslandVocs(const C_VisitConsts& consts, const C_StdIsle& isle,
                       const FC_UnitAt& unitAt) const override {
        ++m_lookups[isle.m_start];
        m_db.getIslandVocs(consts, isle, unitAt);
    }
    void addKeyVocs(C_CompoUnit& unit, std::string_view key, bool capital) const override {
        m_db.addKeyVocs(unit, key, capital);
    }
    void visitCatRules(std::span<const uint8_t> cats, const FC_RuleVisitor& visit) const override {
        m_db.visitCatRules(cats, visit);
    }
    void visitWordRules(const std::string& text, const std::vector<std::string>& keys,
                        const FC_RuleVisitor& visit) const override {
        m_db.visitWordRules(text, keys, visit);
    }
    const I_TailoPolicy& logger() const override { return m_db.logger(); }
    void voc2tailos(std::string_view hanWord, const FC_ReadingSink& reading) const override {
        m_db.voc2tailos(hanWord, reading);
    }
    std::optional<uint64_t> vocRevision() const override {
        return m_withRevision ? vocRevisionOf(m_db) : std::nullopt;
    }

    mutable std::map<size_t, size_t> m_lookups;

private:
    const I_TailoDB& m_db;
    bool m_withRevision;
};

// The lexicon compiled into a system dictionary, with an empty user dictionary over it.
class C_LexiconStack {
public:
    C_LexiconStack() {
        dictc::C_DictCompiler compiler;
        std::ifstream in(test::lexiconPath(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        compiler.addLexiconCsv(text.str(), "lexicon");
        const std::filesystem::path tailo = m_folder.path() / "tailo.tab";
        const std::filesystem::path cats = m_folder.path() / "cats.tab";
        const qiv::C_FileError error = compiler.writeFiles(tailo, cats);
        if (!error.ok())
            throw std::runtime_error(error.text);
        m_cats = std::make_unique<C_TailoCats>(cats);
        m_sys = std::make_unique<C_TailoDB>(tailo, *m_cats, m_policy);
        if (!m_sys->loaded())
            throw std::runtime_error("lexicon dictionary: " + m_sys->error().text);
        m_user = std::make_unique<C_UserTailoDB>(std::filesystem::path(), *m_sys);

        // The typed keys of the lexicon's words whose syllables all carry tone digits.
        for (const test::C_LexiconRow& row : test::readLexiconRows()) {
            if (row.m_fields.size() < 5 || !tonedKeys(row.m_fields[4]))
                continue;
            std::vector<std::string> syllables;
            std::string_view keys = row.m_fields[4];
            for (size_t dash; (dash = keys.find('-')) != std::string_view::npos;
                 keys.remove_prefix(dash + 1))
                syllables.emplace_back(keys.substr(0, dash));
            syllables.emplace_back(keys);
            m_words.push_back(std::move(syllables));
        }
        if (m_words.size() < 1000)
            throw std::runtime_error("too few lexicon words");
    }

    // Letters then one tone digit, per syllable, joined by "-".
    static bool tonedKeys(std::string_view keys) {
        size_t letters = 0;
        for (size_t i = 0; i < keys.size(); ++i) {
            const char c = keys[i];
            if (c >= 'a' && c <= 'z') {
                ++letters;
            } else if (c >= '1' && c <= '9' && letters > 0 &&
                       (i + 1 == keys.size() || keys[i + 1] == '-')) {
                letters = 0;
                i += i + 1 < keys.size() ? 1 : 0;
            } else {
                return false;
            }
        }
        return !keys.empty() && letters == 0;
    }

    test::C_TempFolder m_folder;
    test::C_CapturePolicy m_policy;
    std::unique_ptr<C_TailoCats> m_cats;
    std::unique_ptr<C_TailoDB> m_sys;
    std::unique_ptr<C_UserTailoDB> m_user;
    std::vector<std::vector<std::string>> m_words;
};

C_LexiconStack& lexiconStack() {
    static C_LexiconStack stack;
    return stack;
}

// Texts are built by appending (gcc 12 warns falsely about some concatenations).
std::string candidateDump(const C_Candidate& c) {
    std::string out = "\"";
    out += c.m_text;
    out += "\" [";
    for (const std::string& r : c.m_readings) {
        out += r;
        out += ';';
    }
    const auto field = [&out](const char* name, double value) {
        out += ' ';
        out += name;
        out += ' ';
        out += std::to_string(value);
    };
    out += ']';
    field("chosen", c.m_chosenReading.m_index);
    field("set", c.m_chosenReading.m_set);
    field("span", c.m_span);
    field("count", c.m_count);
    field("weight", c.m_weight);
    for (uint8_t cat : c.m_cats)
        field("cat", cat);
    field("bonus", c.m_bonus);
    field("source", c.m_source);
    field("rank", c.m_rank);
    return out;
}

// The whole composed state, one line per candidate in stored order unit by unit, then the
// winners (start and index in their unit) and the nail position.
std::vector<std::string> composedState(C_InputLine& line) {
    std::vector<std::string> out;
    const std::vector<C_Winner> winners = line.winners();
    std::string head = "layout ";
    head += layout(line);
    head += " states ";
    head += states(line);
    head += " nail ";
    head += std::to_string(line.nailPosition());
    out.push_back(head);
    const C_InputLineSnapshot& s = line.snapshot();
    for (size_t p = 0; p < s.m_elements.size(); ++p) {
        const C_CompoUnit* unit = s.unitAt(p);
        if (!unit)
            continue;
        for (const C_Candidate& c : unit->candidates()) {
            std::string row = std::to_string(p);
            row += ": ";
            row += candidateDump(c);
            out.push_back(row);
        }
    }
    std::string w = "winners";
    for (const C_Winner& winner : winners) {
        w += ' ';
        w += std::to_string(winner.m_start);
        if (winner.m_candidate) {
            w += '#';
            w += std::to_string(s.unitAt(winner.m_start)->offsetOf(winner.m_candidate));
        }
    }
    out.push_back(w);
    return out;
}

// The Tai-lo reading of toned keys, syllables joined by "-".
std::string readingOf(const std::vector<std::string>& syllables) {
    std::string reading;
    for (const std::string& syllable : syllables) {
        if (!reading.empty())
            reading += '-';
        reading += tonedKey2tailo(syllable);
    }
    return reading;
}

::testing::AssertionResult composeAlike(C_InputLine& kept, C_InputLine& fresh) {
    const std::vector<std::string> a = composedState(kept);
    const std::vector<std::string> b = composedState(fresh);
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const std::string x = i < a.size() ? a[i] : "(nothing)";
        const std::string y = i < b.size() ? b[i] : "(nothing)";
        if (x != y)
            return ::testing::AssertionFailure()
                   << "line " << i << " differs:\n  kept:  " << x << "\n  asked: " << y;
    }
    return ::testing::AssertionSuccess();
}

// Both lines take every edit; queries come after some edits and not after others.
class KeptLookups : public ::testing::TestWithParam<unsigned> {};

TEST_P(KeptLookups, ComposeExactlyAsLookingEverythingUpAgain) {
    C_LexiconStack& stack = lexiconStack();
    const C_Forwarding revisionless(*stack.m_user, false);
    C_InputLine kept(*stack.m_user);
    C_InputLine fresh(revisionless);
    std::mt19937 rng(GetParam());
    const auto both = [&](auto&& edit) {
        edit(kept);
        edit(fresh);
    };
    const std::string noise = "Kk?*0-, 5|";
    size_t queries = 0;
    const std::vector<std::string>* lastWord = &stack.m_words.front();
    for (int step = 0; step < 600; ++step) {
        const unsigned op = rng() % 24;
        SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op) + " line " +
                     layout(kept));
        if (kept.size() > 48)
            both([](C_InputLine& l) { l.clear(); });
        if (op < 8) {
            // A real word typed key by key: in full, without tone digits, by initials, or with
            // hyphens between the syllables; a query after some keys.
            const std::vector<std::string>& word = stack.m_words[rng() % stack.m_words.size()];
            lastWord = &word;
            const unsigned style = rng() % 6;
            std::string keys;
            for (size_t i = 0; i < word.size(); ++i) {
                std::string syllable = word[i];
                if (style == 1)
                    syllable.pop_back();
                else if (style == 2)  // the initial: the letters before the first vowel
                    syllable = syllable.substr(
                        0, std::max<size_t>(
                               1, std::min(syllable.size() - 1, syllable.find_first_of("aeiou"))));
                if (style == 3 && i > 0)
                    keys += '-';
                keys += syllable;
            }
            if (style == 4 && !keys.empty())
                keys[0] = char(keys[0] - 'a' + 'A');
            for (char k : keys) {
                both([k](C_InputLine& l) { l.insertKey(k); });
                if (rng() % 2 == 0) {
                    ++queries;
                    ASSERT_TRUE(composeAlike(kept, fresh));
                }
            }
        } else if (op == 8) {
            const char k = noise[rng() % noise.size()];
            if (k == '|')
                both([](C_InputLine& l) { l.toggleNoCross(); });
            else
                both([k](C_InputLine& l) { l.insertKey(k); });
        } else if (op == 9) {
            both([](C_InputLine& l) { l.moveBack(); });
        } else if (op == 10) {
            both([](C_InputLine& l) { l.moveForward(); });
        } else if (op == 11) {
            const size_t to = rng() % (kept.size() + 1);
            both([to](C_InputLine& l) { l.moveTo(to); });
        } else if (op == 12) {
            const int direction =
                rng() % 3 == 0 ? C_InputLine::DIR_FORWARD : C_InputLine::DIR_BACKWARD;
            both([direction](C_InputLine& l) { l.removeKey(direction); });
        } else if (op == 13) {
            const unsigned which = rng() % 8;
            if (which < 4)
                both([](C_InputLine& l) { l.setIslandDoctrine(!l.islandDoctrine()); });
            else if (which == 4)
                both([](C_InputLine& l) { l.toggleCompositionMode(); });
            else if (which == 5)
                both([](C_InputLine& l) { l.toggleRawKeyOnly(); });
            else
                both([](C_InputLine& l) { l.moveHome(); });
        } else if (op == 14 && kept.caret() > 0) {
            // Nail the same winner in both lines.
            const std::vector<C_Winner>& winners = kept.winners();
            const C_Winner w = winners[rng() % winners.size()];
            fresh.winners();
            if (w.m_candidate)
                both([&w](C_InputLine& l) { nailWinnerAt(l, w.m_start); });
        } else if (op == 15) {
            // The user dictionary changes between two queries: a word under the keys of the
            // word typed last (most likely still on the line).
            const std::vector<std::string>& word = *lastWord;
            std::string han = "\u7528";
            han += std::to_string(step);
            stack.m_user->addHantTailo(han, readingOf(word));
            if (word.size() > 1)
                stack.m_user->addKarrToVoc(word, 'H', han, 3.0f, {}, 0);
            else
                stack.m_user->addKeysToWord(word.front(), 'H', han, 3.0f, {}, 0);
        } else {
            ++queries;
            ASSERT_TRUE(composeAlike(kept, fresh));
        }
    }
    EXPECT_GT(queries, 300u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, KeptLookups, ::testing::Values(1u, 2u, 3u));

// Wildcards in long runs of letters, typed key by key with a query after each key: the island
// lookups match every item of the island without building an expression per item, patterns
// longer than the longest wildcard island are cut, and the composition equals one made from
// scratch at the end.
TEST(KeptLookupsReach, WildcardsInLongRunsOfLettersComposeLikeFromScratch) {
    C_LexiconStack& stack = lexiconStack();
    const C_Forwarding revisionless(*stack.m_user, false);
    const auto repeat = [](std::string_view piece, size_t length) {
        std::string out;
        while (out.size() + piece.size() <= length)
            out += piece;
        return out;
    };
    for (const std::string& keys :
         {std::string(30, 'm') + "?" + std::string(30, 'm'),
          std::string(45, 'm') + "*" + std::string(45, 'm'), repeat("tsa?", 90),
          repeat("mmmmmmmmm?", 90), repeat("a?", 90)}) {
        SCOPED_TRACE(keys);
        C_InputLine kept(*stack.m_user);
        C_InputLine fresh(revisionless);
        for (const char k : keys) {
            kept.insertKey(k);
            kept.winners();
            fresh.insertKey(k);
        }
        EXPECT_TRUE(test::winnersCoverCaret(kept));
        EXPECT_TRUE(composeAlike(kept, fresh));
    }
    // The wildcard found words: "m" then any rime letter.
    C_InputLine line(*stack.m_user);
    for (const char k : std::string(30, 'm') + "?" + std::string(30, 'm'))
        line.insertKey(k);
    line.winners();
    const C_CompoUnit* unit = line.snapshot().unitAt(29);
    ASSERT_NE(unit, nullptr);
    EXPECT_TRUE(std::any_of(unit->candidates().begin(), unit->candidates().end(),
                            [](const C_Candidate& c) { return c.m_source == ST_SYS_WILDCARD; }));
}

// Typing at the end of a composed line asks the dictionaries only about the end of the line;
// a change of the user dictionary, or a stack that cannot tell its revision, has every unit
// asked again.
TEST(KeptLookupsReach, TypingAtTheEndAsksOnlyAboutTheEnd) {
    C_LexiconStack& stack = lexiconStack();
    const C_Forwarding counting(*stack.m_user, true);
    C_InputLine line(counting);
    std::string keys;
    for (size_t w = 0; keys.size() < 60; w += 97)
        for (const std::string& s : stack.m_words[w % stack.m_words.size()])
            keys += s;
    for (char k : keys)
        line.insertKey(k);
    line.winners();
    const size_t firstStart = counting.m_lookups.begin()->first;
    EXPECT_EQ(firstStart, 0u);

    counting.m_lookups.clear();
    line.insertKey('a');
    line.winners();
    ASSERT_FALSE(counting.m_lookups.empty());
    EXPECT_GE(counting.m_lookups.begin()->first, keys.size() / 2);

    counting.m_lookups.clear();
    stack.m_user->addKeysToWord("a1", 'H', "\u963f", 1.0f, {}, 0);
    line.insertKey('b');
    line.winners();
    ASSERT_FALSE(counting.m_lookups.empty());
    EXPECT_EQ(counting.m_lookups.begin()->first, 0u);

    // A word the user adds is offered at once, also where the line was composed before.
    const std::vector<std::string>& word = stack.m_words[1];
    const std::string reading = readingOf(word);
    std::string wordKeys;
    for (const std::string& syllable : word)
        wordKeys += syllable;
    C_InputLine typed(counting);
    for (char k : wordKeys)
        typed.insertKey(k);
    typed.insertKey('a');
    typed.winners();
    const std::string han = "\u65b0\u8a5e";
    stack.m_user->addHantTailo(han, reading);
    ASSERT_TRUE(word.size() > 1 ? stack.m_user->addKarrToVoc(word, 'H', han, 3.0f, {}, 0)
                                : stack.m_user->addKeysToWord(word.front(), 'H', han, 3.0f, {}, 0));
    typed.insertKey('b');
    const std::vector<C_Winner>& winners = typed.winners();
    ASSERT_FALSE(winners.empty());
    ASSERT_NE(winners.front().m_candidate, nullptr);
    EXPECT_EQ(winners.front().m_candidate->m_text, han) << wordKeys;

    const C_Forwarding revisionless(*stack.m_user, false);
    C_InputLine asking(revisionless);
    for (char k : keys)
        asking.insertKey(k);
    asking.winners();
    revisionless.m_lookups.clear();
    asking.insertKey('a');
    asking.winners();
    ASSERT_FALSE(revisionless.m_lookups.empty());
    EXPECT_EQ(revisionless.m_lookups.begin()->first, 0u);
}

}  // namespace
}  // namespace kov
