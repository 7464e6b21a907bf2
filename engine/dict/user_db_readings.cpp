#include "engine/dict/user_db_readings.h"

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "engine/text/tailo.h"

namespace kov {

namespace {

// A hash of strings that also takes a string_view, so that a reading is looked up without
// being copied into a string first.
struct C_TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};
template <class V>
using T_ByText = std::unordered_map<std::string, V, C_TextHash, std::equal_to<>>;

}  // namespace

struct C_ReadingKeys::C_Known {
    // The tone-marked spelling of one toned key, when converting it back gives the key again.
    const std::optional<std::string>& spelling(const std::string& key);
    // The keys of a reading by conversion, converted once per reading.
    const std::optional<std::vector<std::string>>& convert(std::string_view reading);

    T_ByText<std::optional<std::string>> m_spellings;
    T_ByText<std::optional<std::vector<std::string>>> m_converted;
};

C_ReadingKeys::C_ReadingKeys() : m_known(std::make_unique<C_Known>()) {}

C_ReadingKeys::~C_ReadingKeys() = default;

const std::optional<std::string>& C_ReadingKeys::C_Known::spelling(const std::string& key) {
    const auto found = m_spellings.find(key);
    if (found != m_spellings.end())
        return found->second;
    std::optional<std::string> spelling;
    try {
        std::string s = tonedKey2tailo(key);
        const C_TonedKeysResult back = tailo2tonedKeys(s);
        const auto* keys = std::get_if<std::vector<std::string>>(&back);
        if (keys && keys->size() == 1 && keys->front() == key &&
            s.find_first_of(kTailoSeparators) == std::string::npos)
            spelling = std::move(s);
    } catch (const std::exception&) {
        // Not a toned key: only the slow comparison can tell.
    }
    return m_spellings.emplace(key, std::move(spelling)).first->second;
}

const std::optional<std::vector<std::string>>& C_ReadingKeys::C_Known::convert(
    std::string_view reading) {
    const auto found = m_converted.find(reading);
    if (found != m_converted.end())
        return found->second;
    C_TonedKeysResult r = tailo2tonedKeys(reading);
    std::optional<std::vector<std::string>> keys;
    if (auto* k = std::get_if<std::vector<std::string>>(&r))
        keys = std::move(*k);
    return m_converted.emplace(std::string(reading), std::move(keys)).first->second;
}

bool C_ReadingKeys::spells(std::string_view reading, const C_Bikey& key) {
    // The reading is the keys' own spellings joined by "-": each converts back to its key and
    // holds no separator, so the whole converts to the keys.
    auto fast = [&](const std::string& k, std::string_view& rest, bool last) {
        const std::optional<std::string>& s = m_known->spelling(k);
        if (!s || rest.substr(0, s->size()) != *s)
            return false;
        rest.remove_prefix(s->size());
        if (last)
            return rest.empty();
        if (rest.empty() || rest.front() != '-')
            return false;
        rest.remove_prefix(1);
        return true;
    };
    std::string_view rest = reading;
    bool quick = false;
    if (const auto* one = std::get_if<const std::string*>(&key)) {
        quick = fast(**one, rest, true);
    } else if (const auto* many = std::get_if<const std::vector<std::string>*>(&key)) {
        const auto& keys = **many;
        quick = !keys.empty();
        for (size_t i = 0; quick && i < keys.size(); ++i)
            quick = fast(keys[i], rest, i + 1 == keys.size());
    }
    if (quick)
        return true;
    const std::optional<std::vector<std::string>>& keys = m_known->convert(reading);
    if (!keys)
        return false;
    if (const auto* one = std::get_if<const std::string*>(&key))
        return keys->size() == 1 && keys->front() == **one;
    if (const auto* many = std::get_if<const std::vector<std::string>*>(&key))
        return *keys == **many;
    return false;
}

}  // namespace kov
