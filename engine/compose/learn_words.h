#pragma once
// The word helpers the learner shares between learning rules and counting words: a reading's
// toned keys, a nailed candidate's chosen reading, and the readings of words learned together.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dict/candidate.h"

namespace kov {

// The lower-case toned keys of a Tai-lo reading; nullopt when it does not convert or has none.
std::optional<std::vector<std::string>> tonedKeysOf(std::string_view reading);

// The reading the user chose when nailing the candidate; null when the candidate is not nailed,
// has no chosen reading, or the choice lies outside its readings.
const std::string* chosenReading(const C_Candidate& candidate);

// The readings of words taken together: every combination of one reading per word, joined by
// "-", without repeats, in sorted order; only the first `most` of them, with cut set when there
// were more. The work stays bounded however many combinations there are.
std::vector<std::string> joinReadings(const std::vector<std::vector<std::string>>& readings,
                                      size_t most, bool& cut);

}  // namespace kov
