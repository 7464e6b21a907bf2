#pragma once
// The parts of C_InputLine that only its own sources use: what the last composition looked its
// words up by, and the candidate lists of the nail position.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/compose/input_line.h"
#include "engine/compose/voc_candidate.h"
#include "engine/dict/isle.h"
#include "qiv/move_only_function.h"

namespace kov {

// The key string, capitals, hyphen runs and islands that the previous composition looked words
// up by. Its island lists below m_islesFrom are those of the composition at hand; from there on
// they are m_isleTail.
struct C_InputLine::C_LookupBasis {
    std::string m_keys;
    std::vector<size_t> m_capitals;
    std::map<size_t, size_t> m_hyphenRuns;
    size_t m_islesFrom = 0;
    std::vector<C_IsleList> m_isleTail;
};

// A candidate list of one view position and list mode: the line's own (whole-line) candidates
// first, each with what nailing it does to the candidates it nails, then the references into
// the unit at the view position, each packed as element index, candidate index, reading index
// and a reading flag (16, 16, 16 and 8 bits, from the low bits up).
struct C_InputLine::C_CandiList {
    struct C_Own {
        C_VocCandidate m_view;
        std_move_only_function<void(C_Candidate&)> m_nail;
    };
    std::vector<uint64_t> m_refs;
    std::vector<C_Own> m_own;
    char m_mode = 0;

    size_t size() const noexcept { return m_own.size() + m_refs.size(); }
};

}  // namespace kov
