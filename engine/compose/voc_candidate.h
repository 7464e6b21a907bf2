#pragma once
// The read-only view of a word that the input line hands to its callers: an entry of a
// candidate list, a committed word, a no-cross mark (a segment), or something the line makes up
// itself (a space between committed words, a whole-line candidate). The server turns views into
// JSON; nothing here points back into the line.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/dict/candidate.h"

namespace kov {

struct C_VocCandidate {
    std::string m_text;                   // the word as shown
    std::vector<std::string> m_readings;  // Tai-lo readings offered with it
    std::vector<uint8_t> m_cats;          // category numbers of the candidate
    uint16_t m_span = 0;                  // key positions covered
    uint16_t m_words = 0;                 // the candidate's count
    char m_mode = COMPO_KEY;              // COMPO_HANT, COMPO_TAILO, COMPO_KEY or COMPO_SEGMENT
    E_SourceType m_source = ST_RAW_KEY;
    double m_weight = 0.0;   // the candidate's score (weight plus rule bonus)
    bool m_virtual = false;  // made up by the line, not a composed word
    bool m_hidden = false;   // a joined run of hyphens that consumers leave out
};

}  // namespace kov
