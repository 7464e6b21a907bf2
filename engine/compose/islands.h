#pragma once
// Cutting the key string of an input line into islands, the units of dictionary look-up.
//
// STD mode cuts syllables (with or without tone digit), their toneless prefixes, initials and
// wildcard patterns, and notes the runs of "-" it skips; TAILO mode finds tone-numbered rimes.
// These are pure functions of the key string: asking the dictionaries and adding candidates is
// the input line's composition (input_line.h), not this header's.

#include <cstddef>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/dict/isle.h"

namespace kov {

// How a cut went, step by step (one step per work position taken), so that a later cut of keys
// that begin alike can take over the steps that read only the keys the two share.
struct C_StdCutLog {
    struct C_Step {
        size_t m_start = 0;    // the work position the step took
        size_t m_readEnd = 0;  // one past the last key it read; SIZE_MAX when it met the end
        size_t m_isles = 0;    // islands added before the step (index into m_isleStarts)
        size_t m_work = 0;     // work positions added before the step (index into m_workAdded)
    };
    std::vector<C_Step> m_steps;
    std::vector<size_t> m_isleStarts;  // the start of every island added, in order
    std::vector<size_t> m_workAdded;   // every position put into the work set, in order
};

// The islands of a key string in STD mode.
struct C_StdIslands {
    std::vector<C_IsleList>
        m_islesByStart;  // one list per key position, islands in the order added
    std::map<size_t, size_t>
        m_hyphenRuns;  // start -> end of each run of "-" skipped before an island
    C_StdCutLog m_log;
};

// Appends isle to the list of its start unless that list holds an island of the same length and
// kind; true when it was added. The list of the start must exist.
bool addIsle(std::vector<C_IsleList>& islesByStart, C_IslePtr isle);

// The longest wildcard pattern an island holds, in keys. A wildcard island's lookup spells one
// syllable (a word goes on past the island only where that syllable took every key of it), and
// no Tai-lo syllable comes near this length (the longest, with its tone digit, has 10 keys), so
// a longer island would find nothing beyond what the shorter islands of its start find. Without
// the bound a wildcard in a long run of letters made an island for every pair of a start and a
// later letter, and every keystroke cost the square of the line. A wildcard match is cut to
// this length, the patterns that end before each later letter stop there, and a wildcard
// further than this from a start is not part of a pattern from that start (the keys there are
// cut into syllables and initials as if it were not typed).
inline constexpr size_t kLongestWildcardIsland = 16;

// Cuts keys (the lower-case key string of the line) into STD islands. Throws std::logic_error
// "Unknown island kind for [...]" when a match fits none of the pattern's kinds.
C_StdIslands cutStdIslands(std::string_view keys);

// Cuts keys over the islands that cutting previousKeys left in cut (with its log), keeping the
// steps that read only keys the two key strings share: the result equals cutStdIslands(keys).
// Returns the position below which every island list stayed as it was; the lists from there on
// before the cut are moved into replaced (replaced[0] was the list of that position).
size_t recutStdIslands(std::string_view keys, std::string_view previousKeys, C_StdIslands& cut,
                       std::vector<C_IsleList>& replaced);

// A match of the STD island pattern: where it starts, how long it is, and which of the kinds
// matched (wildcard pattern, syllable or lone initial), with the texts of the six groups for
// the error above.
struct C_StdMatch {
    size_t m_start = 0;
    size_t m_length = 0;
    std::string_view m_groups[7];  // the whole match, then groups 1 to 6 ("" when unmatched)
    bool m_matched[7] = {};
};

// The first match of the STD island pattern that starts at or after from, as a search of the
// pattern through keys[from, end) finds it, its wildcard alternative bounded by
// kLongestWildcardIsland.
std::optional<C_StdMatch> searchStdPattern(std::string_view keys, size_t from);

// TAILO mode: the tone-numbered rimes of keys as (start, length), searched one after another,
// each search starting where the last match ended.
std::vector<std::pair<size_t, size_t>> cutTailoIslands(std::string_view keys);

}  // namespace kov
