#pragma once
// Reference forms of the syllable conversions, written the slow and obvious way: the tone
// tables searched entry by entry, and the toned-syllable regex run on every syllable. The
// differential tests hold the engine's forms to these, and the text benchmark times both.

#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/code_points.h"
#include "engine/text/tailo.h"

namespace kov::test {

inline bool fullMatch(std::string_view s, const std::regex& re) {
    return std::regex_match(s.begin(), s.end(), re);
}

// The first entry of the table (tone by tone, letter by letter) that occurs in the syllable,
// replaced by its plain letter, with the tone digit appended.
inline std::optional<std::string> untoneByTableSearch(const std::string& syllable, bool upperTable) {
    const auto& table = upperTable ? kToneLettersUpper : kToneLettersLower;
    for (size_t tone = 0; tone < table.size(); ++tone) {
        for (size_t letter = 0; letter < table[tone].size(); ++letter) {
            const std::string& mark = table[tone][letter];
            const size_t p = syllable.find(mark);
            if (p == std::string::npos)
                continue;
            return syllable.substr(0, p) + "aeioumn"[letter] + syllable.substr(p + mark.size()) +
                   static_cast<char>('1' + tone);
        }
    }
    return std::nullopt;
}

inline C_TonedKeysResult tonedKeysByRegex(std::string_view tailo) {
    std::vector<std::string> keys;
    for (std::string s : split(tailo, kTailoSeparators)) {
        if (auto r = untoneByTableSearch(s, false)) {
            s = *r;
        } else if (auto u = untoneByTableSearch(s, true)) {
            s = *u;
        } else {
            if (!only_asciis(s))
                return C_TonedKeysError{s, 1};
            const std::string lower = toLowerAscii(s);
            const size_t n = s.size();
            const bool hasDigit = lower.back() >= '0' && lower.back() <= '9';
            if (!hasDigit)
                s += n >= 2 && std::string_view("ptkh").find(lower[n - 1]) != std::string_view::npos &&
                             std::string_view("aeioumngr").find(lower[n - 2]) != std::string_view::npos
                         ? '4'
                         : '1';
        }
        const std::string lower = toLowerAscii(s);
        if (!fullMatch(lower, tonedSyllableRegex()))
            return C_TonedKeysError{s, 2};
        keys.push_back(lower);
    }
    return keys;
}

}  // namespace kov::test
