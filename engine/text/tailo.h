#pragma once
// Tai-lo syllables: toned keys (lower-case ASCII letters and a tone digit 1 to 9) and their
// spelling with tone marks, in both directions; splitting a text into syllables. Everything here
// is immutable after start-up and safe to call from any thread.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/text/sounds.h"
#include "qiv/move_only_function.h"

namespace kov {

// The characters that separate syllables in a Tai-lo text.
inline constexpr std::string_view kTailoSeparators = "- ,.;:?!()";

// Result of tailo2tonedKeys: the toned keys, one per syllable, or the first failing syllable.
struct C_TonedKeysError {
    std::string syllable;
    int code;  // 1: no tone mark and a character outside ASCII; 2: not a toned syllable
    friend bool operator==(const C_TonedKeysError&, const C_TonedKeysError&) = default;
};
using C_TonedKeysResult = std::variant<std::vector<std::string>, C_TonedKeysError>;

// Copy of text with A-Z lower-cased (nothing else changes).
std::string toLowerAscii(std::string_view text);
// True when a and b are equal once A-Z are lower-cased in both (other bytes compare as they are).
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Calls visitor once for each maximal non-empty run of characters that are not in delimiters.
// An empty visitor throws std::bad_function_call.
void visitSplit(std::string_view text, std::string_view delimiters,
                std_move_only_function<void(std::string_view)> visitor);
std::vector<std::string> split(std::string_view text, std::string_view delimiters);

// syllable with the letter at pos carrying the mark of tone toneIndex + 1; syllable unchanged
// for tones 1 and 4; "" when that letter cannot carry a mark. Throws std::out_of_range when
// pos is outside syllable or toneIndex is above 8.
std::string placeToneMark(const std::string& syllable, size_t pos, size_t toneIndex);

// One toned key ("tsiann5", capitals kept) to its Tai-lo spelling with the tone mark.
// Throws std::runtime_error "Unknown tone ..." when the last character is not 1 to 9 and
// `Invalid word keys "<letters>"` when no letter can carry the mark.
std::string tonedKey2tailo(std::string key);

// The first tone mark of syllable (searched tone by tone in the lower or upper table) replaced
// by its plain lower-case letter, with the tone digit appended at the end; nullopt when there
// is no mark of that table.
std::optional<std::string> untoneSyllable(const std::string& syllable, bool upperTable);

// Tai-lo text (marks or tone digits, any letter case) to its lower-case toned keys. Unmarked
// syllables take tone 1, or tone 4 when they are checked (isCheckedSyllable).
// Never throws for bad text.
C_TonedKeysResult tailo2tonedKeys(std::string_view tailo);

}  // namespace kov
