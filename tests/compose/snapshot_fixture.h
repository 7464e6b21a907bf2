#pragma once
// Small hand-built snapshots for the winner search, the snapshot copies and the rule runner:
// a key string gives one unit per key ('|' for a no-cross mark), candidates are added per
// position, and the winners print as a compact text.

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "engine/compose/snapshot.h"
#include "engine/dict/candidate.h"
#include "tests/support/candidate_fixture.h"

namespace kov::test {

// Elements for a key string: one unit per key, '|' a no-cross mark.
inline std::vector<C_LineElement> lineElements(std::string_view keys, bool doctrine = false) {
    std::vector<C_LineElement> elements;
    for (char k : keys) {
        if (k == '|')
            elements.emplace_back(std::monostate{});
        else
            elements.emplace_back(std::make_unique<C_CompoUnit>(k, doctrine));
    }
    return elements;
}

// A snapshot over a key string, with candidates added per position.
class C_TestLine {
public:
    explicit C_TestLine(std::string_view keys, E_CompoMode mode = CM_STD, bool doctrine = false) {
        m_snap.m_elements = lineElements(keys, doctrine);
        m_snap.m_mode = mode;
    }
    C_TestLine& add(size_t pos, const C_Candidate& c) {
        m_snap.unitAt(pos)->add(c);
        return *this;
    }
    C_CompoUnit& unit(size_t pos) { return *m_snap.unitAt(pos); }
    // The candidate of the unit at pos with this text; null when there is none.
    C_Candidate* find(size_t pos, std::string_view text) {
        for (C_Candidate& c : unit(pos).candidates()) {
            if (c.m_text == text)
                return &c;
        }
        return nullptr;
    }
    C_InputLineSnapshot& snap() { return m_snap; }
    size_t size() const { return m_snap.m_elements.size(); }

private:
    C_InputLineSnapshot m_snap;
};

// Winners as "text@start" joined by blanks; "|" for a no-cross mark's entry.
inline std::string winnerText(const C_InputLineSnapshot& snap) {
    std::string out;
    for (const C_Winner& w : snap.m_winners) {
        if (!out.empty())
            out += ' ';
        out += w.m_candidate ? w.m_candidate->m_text : std::string("|");
        out += '@';
        out += std::to_string(w.m_start);
    }
    return out;
}

// A closure's candidate texts joined by "+".
inline std::string closureText(const std::vector<C_Candidate*>& closure) {
    std::string out;
    for (const C_Candidate* c : closure) {
        if (!out.empty())
            out += '+';
        out += c ? c->m_text : std::string("<null>");
    }
    return out;
}

}  // namespace kov::test
