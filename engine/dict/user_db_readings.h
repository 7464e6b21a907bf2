// Whether a Tai-lo reading spells a table key: the test that ties a Han word's readings in
// hant2tailo to the keys of its records (on load, and for the readings a listing shows).
// Equal to comparing tailo2tonedKeys(reading) with the keys; a reading spelled exactly as the
// keys' own tone-marked spelling is recognised without converting it, which is the common case
// and spares the syllable pattern match.
//
// Not responsible for: storing readings, or which readings a word has.
#pragma once

#include <functional>
#include <unordered_map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/key_pattern.h"

namespace kov {

class C_ReadingKeys {
public:
    // True when tailo2tonedKeys(reading) gives exactly the key (or the key array).
    bool spells(std::string_view reading, const C_Bikey& key);

private:
    // The tone-marked spelling of one toned key, when converting it back gives the key again.
    const std::optional<std::string>& spelling_(const std::string& key);
    // The keys of a reading by conversion, converted once per reading.
    const std::optional<std::vector<std::string>>& convert_(std::string_view reading);

    struct C_Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    template <class V>
    using T_ByText = std::unordered_map<std::string, V, C_Hash, std::equal_to<>>;

    T_ByText<std::optional<std::string>> m_spellings;
    T_ByText<std::optional<std::vector<std::string>>> m_converted;
};

}  // namespace kov
