#pragma once
// Candidates built for tests: the fields the tests vary, the rest as a dictionary would leave
// them. Designated initialisers that leave fields out draw -Wmissing-field-initializers from
// gcc 12, so the builders fill candidates field by field.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/dict/candidate.h"

namespace kov::test {

inline C_Candidate cand(std::string text, uint16_t span = 1, float weight = 0.0f,
                        E_SourceType source = ST_SYS_EXACT, uint16_t count = 0) {
    C_Candidate c;
    c.m_text = std::move(text);
    c.m_span = span;
    c.m_weight = weight;
    c.m_source = source;
    c.m_count = count;
    return c;
}

inline C_Candidate withReadings(C_Candidate c, std::vector<std::string> readings) {
    c.m_readings = std::move(readings);
    return c;
}

inline C_Candidate withCats(C_Candidate c, std::vector<uint8_t> cats) {
    c.m_cats = std::move(cats);
    return c;
}

inline C_Candidate withRank(C_Candidate c, E_CandidateRank rank) {
    c.m_rank = rank;
    return c;
}

}  // namespace kov::test
