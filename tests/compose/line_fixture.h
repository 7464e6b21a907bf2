#pragma once
// Helpers for input-line tests: typing a key string ('|' toggles a no-cross mark), the line's
// elements and unit states as compact texts, the winners as text, and a check that the winners
// cover the keys before the caret and point into their own units.

#include <gtest/gtest.h>

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

// After a query: the winners are contiguous over [0, caret), a mark's entry has no candidate,
// every candidate lies in the unit at its start, and every unit before the caret is settled.
inline ::testing::AssertionResult winnersCoverCaret(C_InputLine& line) {
    const std::vector<C_Winner>& winners = line.winners();
    const C_InputLineSnapshot& s = line.snapshot();
    size_t pos = 0;
    for (const C_Winner& w : winners) {
        if (w.m_start != pos)
            return ::testing::AssertionFailure() << "winner at " << w.m_start << ", expected " << pos;
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
        return ::testing::AssertionFailure() << "winners end at " << pos << ", caret " << line.caret();
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
