#pragma once
// Helpers for input-line tests: typing a key string ('|' toggles a no-cross mark), the line's
// elements and unit states as compact texts, the winners, the committed words and the candidate
// lists as text, and a check that the winners cover the keys before the caret and point into
// their own units.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/compose/input_line.h"

namespace kov::test {

inline void type(C_InputLine& line, std::string_view keys) {
    for (char k : keys) {
        if (k == '|')
            line.toggleNoCross();
        else
            line.insertKey(k);
    }
}

// The elements with the caret: "ab|^c" (keys as typed, '|' a mark, '^' the caret).
inline std::string layout(const C_InputLine& line) {
    std::string out;
    const C_InputLineSnapshot& s = line.snapshot();
    for (size_t i = 0; i <= s.m_elements.size(); ++i) {
        if (i == line.caret())
            out += '^';
        if (i == s.m_elements.size())
            break;
        const C_CompoUnit* unit = s.unitAt(i);
        out += unit ? unit->key() : '|';
    }
    return out;
}

// The unit states per element: "220|0" ('|' for a mark).
inline std::string states(const C_InputLine& line) {
    std::string out;
    const C_InputLineSnapshot& s = line.snapshot();
    for (size_t i = 0; i < s.m_elements.size(); ++i) {
        const C_CompoUnit* unit = s.unitAt(i);
        out += unit ? char('0' + unit->state()) : '|';
    }
    return out;
}

// The text of a candidate: its text, or its first reading in braces.
inline std::string candidateText(const C_Candidate& c) {
    if (!c.m_text.empty())
        return c.m_text;
    return "{" + (c.m_readings.empty() ? std::string() : c.m_readings.front()) + "}";
}

// Winners as "0:text/span 2:| ..." ("|" for a mark's entry, "*" after a nailed one).
inline std::string winnersText(C_InputLine& line) {
    std::string out;
    for (const C_Winner& w : line.winners()) {
        if (!out.empty())
            out += ' ';
        out += std::to_string(w.m_start) + ":";
        if (!w.m_candidate) {
            out += '|';
            continue;
        }
        out += candidateText(*w.m_candidate) + "/" + std::to_string(w.m_candidate->m_span);
        if (w.m_candidate->m_rank == RANK_NAILED)
            out += '*';
    }
    return out;
}

// A view as "text@pos/span": "{reading}" for a view without text, "_" for a space, "|" for a
// segment (no span); "!" after a hidden view.
inline std::string viewText(size_t pos, const C_VocCandidate& v) {
    std::string out;
    if (v.m_mode == COMPO_SEGMENT)
        return "|@" + std::to_string(pos);
    if (v.m_text == " " && v.m_virtual)
        out = "_";
    else if (v.m_text.empty())
        out = "{" + (v.m_readings.empty() ? std::string() : v.m_readings.front()) + "}";
    else
        out = v.m_text;
    out += "@" + std::to_string(pos) + "/" + std::to_string(v.m_span);
    if (v.m_hidden)
        out += '!';
    return out;
}

// The committed words (composing first), joined by blanks.
inline std::string confirmedText(C_InputLine& line) {
    std::string out;
    line.getConfirmedCandidates(
        [&](size_t pos, const C_VocCandidate& v) {
            out += (out.empty() ? "" : " ") + viewText(pos, v);
            return true;
        },
        false);
    return out;
}

// Entries [index, index + count) of the list of mode at the nail position as "M:text" joined by
// blanks (M the view's mode; "*" before a whole-line candidate); "-" when there is no list.
inline std::string listText(C_InputLine& line, char mode, size_t index = 0,
                            size_t count = SIZE_MAX) {
    std::string out;
    const bool listed =
        line.getCandidatesAtNailPos(mode, index, count, [&](size_t, const C_VocCandidate& v) {
            if (!out.empty())
                out += ' ';
            if (v.m_virtual)
                out += '*';
            out += std::string(1, v.m_mode) + ":" + v.m_text;
        });
    return listed ? out : "-";
}

// After a query: the winners are contiguous over [0, caret), a mark's entry has no candidate,
// every candidate lies in the unit at its start, and every unit before the caret is settled.
inline ::testing::AssertionResult winnersCoverCaret(C_InputLine& line) {
    const std::vector<C_Winner>& winners = line.winners();
    const C_InputLineSnapshot& s = line.snapshot();
    size_t pos = 0;
    for (const C_Winner& w : winners) {
        if (w.m_start != pos)
            return ::testing::AssertionFailure()
                   << "winner at " << w.m_start << ", expected " << pos;
        const C_CompoUnit* unit = s.unitAt(pos);
        if (!w.m_candidate) {
            if (unit)
                return ::testing::AssertionFailure() << "no candidate for the unit at " << pos;
            ++pos;
            continue;
        }
        if (!unit)
            return ::testing::AssertionFailure() << "candidate on a mark at " << pos;
        const std::ptrdiff_t off = unit->offsetOf(w.m_candidate);
        if (off < 0 || size_t(off) >= unit->size())
            return ::testing::AssertionFailure() << "candidate outside its unit at " << pos;
        pos += w.m_candidate->m_span;
    }
    if (pos != line.caret())
        return ::testing::AssertionFailure()
               << "winners end at " << pos << ", caret " << line.caret();
    for (size_t i = 0; i < line.caret(); ++i)
        if (const C_CompoUnit* unit = s.unitAt(i); unit && unit->state() != UNIT_SETTLED)
            return ::testing::AssertionFailure() << "unit " << i << " not settled";
    if (line.nailPosition() > line.caret())
        return ::testing::AssertionFailure() << "nail position past the caret";
    return ::testing::AssertionSuccess();
}

// Nails the winner that starts at pos, as choosing it from a list would, and leaves the line
// dirty so that the next query composes with the nail.
inline void nailWinnerAt(C_InputLine& line, size_t pos) {
    for (const C_Winner& w : line.winners()) {
        if (w.m_start == pos && w.m_candidate) {
            w.m_candidate->m_rank = RANK_NAILED;
            line.toggleSpuriousSpaces();
            line.toggleSpuriousSpaces();
            return;
        }
    }
    ADD_FAILURE() << "no winner at " << pos;
}

}  // namespace kov::test
