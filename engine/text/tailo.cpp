#include "engine/text/tailo.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>

#include "engine/text/code_points.h"
#include "engine/text/syllable_match.h"

namespace kov {

namespace {

bool isUpperAscii(char c) { return c >= 'A' && c <= 'Z'; }
char lowerAscii(char c) { return isUpperAscii(c) ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string toLowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

void visitSplit(std::string_view text, std::string_view delimiters,
                std_move_only_function<void(std::string_view)> visitor) {
    if (!visitor)
        throw std::bad_function_call();
    size_t pos = 0;
    while ((pos = text.find_first_not_of(delimiters, pos)) != std::string_view::npos) {
        const size_t end = std::min(text.find_first_of(delimiters, pos), text.size());
        visitor(text.substr(pos, end - pos));
        pos = end;
    }
}

std::vector<std::string> split(std::string_view text, std::string_view delimiters) {
    std::vector<std::string> runs;
    visitSplit(text, delimiters, [&runs](std::string_view run) { runs.emplace_back(run); });
    return runs;
}

std::string placeToneMark(const std::string& syllable, size_t pos, size_t toneIndex) {
    if (pos >= syllable.size())
        throw std::out_of_range("placeToneMark: position outside the syllable");
    if (toneIndex >= kToneLettersLower.size())
        throw std::out_of_range("placeToneMark: tone index above 8");
    const bool upper = isUpperAscii(syllable[pos]);
    const auto& marks = (upper ? kToneLettersUpper : kToneLettersLower)[toneIndex];
    if (marks.empty())
        return syllable;
    const size_t letter = toneMarkLetters(upper).find(syllable[pos]);
    if (letter == std::string_view::npos)
        return {};
    return syllable.substr(0, pos) + marks[letter] + syllable.substr(pos + 1);
}

std::string tonedKey2tailo(std::string key) {
    if (key.empty())
        throw std::runtime_error("Invalid word keys \"\"");
    const char c = key.back();
    const unsigned tone = static_cast<unsigned>(static_cast<unsigned char>(c)) - '1';
    if (tone > 8)
        throw std::runtime_error(
            "Unknown tone " +
            std::to_string(static_cast<uint32_t>(static_cast<unsigned char>(c) - 48u)) + "'" + c +
            "'");
    std::string s = std::move(key);
    s.pop_back();

    auto tryAt = [&](size_t pos, std::string& out) {
        if (pos == std::string::npos)
            return false;
        out = placeToneMark(s, pos, tone);
        return !out.empty();
    };
    auto icaseAt = [&](size_t pos, std::string_view lower) {
        if (s.size() - pos < lower.size())
            return false;
        for (size_t i = 0; i < lower.size(); ++i)
            if (lowerAscii(s[pos + i]) != lower[i])
                return false;
        return true;
    };

    // The mark goes on the first vowel of this order: a, oo, e (the last e of "ere"), o,
    // i (u when it follows), u; a syllable without them takes it on its last markable letter.
    std::string out;
    if (tryAt(s.find_first_of("aA"), out))
        return out;
    size_t oo = s.find("oo");
    if (oo == std::string::npos)
        oo = s.find("OO");
    if (tryAt(oo, out))
        return out;
    size_t e = s.find_first_of("eE");
    if (e != std::string::npos && icaseAt(e, "ere"))
        e += 2;
    if (tryAt(e, out))
        return out;
    if (tryAt(s.find_first_of("oO"), out))
        return out;
    size_t i = s.find_first_of("iI");
    if (i != std::string::npos && i + 1 < s.size() && lowerAscii(s[i + 1]) == 'u')
        ++i;
    if (tryAt(i, out))
        return out;
    if (tryAt(s.find_first_of("uU"), out))
        return out;
    for (size_t pos = s.size(); pos-- > 0;)
        if (tryAt(pos, out))
            return out;
    throw std::runtime_error("Invalid word keys \"" + s + "\"");
}

namespace {

// The entries of one tone table that begin with each byte, as flat numbers tone * 7 + letter
// in table order; lets untoneSyllable find the first entry of the table that occurs in a
// syllable in one pass over the syllable instead of one search per entry.
struct C_MarkIndex {
    std::array<std::vector<uint8_t>, 256> m_byFirstByte;

    explicit C_MarkIndex(const std::vector<std::vector<std::string>>& table) {
        for (size_t tone = 0; tone < table.size(); ++tone)
            for (size_t letter = 0; letter < table[tone].size(); ++letter)
                m_byFirstByte[static_cast<unsigned char>(table[tone][letter].front())].push_back(
                    static_cast<uint8_t>(tone * toneMarkLetters(false).size() + letter));
    }
};

const C_MarkIndex& markIndex(bool upperTable) {
    static const C_MarkIndex lower(kToneLettersLower);
    static const C_MarkIndex upper(kToneLettersUpper);
    return upperTable ? upper : lower;
}

constexpr std::array<bool, 256> makeSeparatorTable() {
    std::array<bool, 256> table{};
    for (char c : kTailoSeparators)
        table[static_cast<unsigned char>(c)] = true;
    return table;
}
constexpr std::array<bool, 256> kIsSeparator = makeSeparatorTable();

bool isSeparator(char c) { return kIsSeparator[static_cast<unsigned char>(c)]; }

bool onlyAsciiBytes(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

}  // namespace

std::optional<std::string> untoneSyllable(const std::string& syllable, bool upperTable) {
    // The result is the entry that comes first in the table (tone by tone, letter by letter)
    // among those that occur at all, at its first occurrence. Scanning positions in order and
    // keeping the lowest entry seen finds the same one: an entry is tried at every position
    // until a lower one has been found, so the position where it is first found is its first.
    const auto& table = upperTable ? kToneLettersUpper : kToneLettersLower;
    const C_MarkIndex& index = markIndex(upperTable);
    const std::string_view markLetters = toneMarkLetters(false);
    const size_t letters = markLetters.size();
    constexpr size_t kNone = SIZE_MAX;
    size_t best = kNone;
    size_t bestPos = 0;
    const std::string_view s = syllable;
    for (size_t pos = 0; pos < s.size(); ++pos) {
        for (uint8_t id : index.m_byFirstByte[static_cast<unsigned char>(s[pos])]) {
            if (id >= best)
                break;
            const std::string& mark = table[id / letters][id % letters];
            // Every entry has at least two bytes; most entries that share a first byte differ
            // in the second.
            if (s.size() - pos >= mark.size() && s[pos + 1] == mark[1] &&
                s.substr(pos, mark.size()) == mark) {
                best = id;
                bestPos = pos;
                break;
            }
        }
    }
    if (best == kNone)
        return std::nullopt;
    const size_t tone = best / letters;
    const size_t letter = best % letters;
    const size_t markSize = table[tone][letter].size();
    std::string out;
    out.reserve(syllable.size() + 1);
    out.append(s.substr(0, bestPos));
    out += markLetters[letter];
    out.append(s.substr(bestPos + markSize));
    out += static_cast<char>('1' + tone);
    return out;
}

C_TonedKeysResult tailo2tonedKeys(std::string_view tailo) {
    std::vector<std::string> keys;
    keys.reserve(1 + static_cast<size_t>(std::count_if(tailo.begin(), tailo.end(), isSeparator)));
    std::optional<C_TonedKeysError> error;
    visitSplit(tailo, kTailoSeparators, [&](std::string_view run) {
        if (error)
            return;
        std::string s(run);
        // Every tone mark holds a byte outside ASCII, so an ASCII syllable has none.
        const bool ascii = onlyAsciiBytes(s);
        std::optional<std::string> untoned;
        if (!ascii &&
            ((untoned = untoneSyllable(s, false)) || (untoned = untoneSyllable(s, true)))) {
            s = std::move(*untoned);
        } else {
            if (!ascii && !only_asciis(s)) {
                error = C_TonedKeysError{std::move(s), 1};
                return;
            }
            if (isDigitKey(s.back())) {
                // the syllable carries its tone digit
            } else if (isCheckedSyllable(s)) {
                s += '4';  // every unmarked checked syllable is tone 4
            } else {
                s += '1';
            }
        }
        std::string lower = toLowerAscii(s);
        if (!isTonedSyllable(lower)) {
            error = C_TonedKeysError{std::move(s), 2};
            return;
        }
        keys.push_back(std::move(lower));
    });
    if (error)
        return std::move(*error);
    return keys;
}

}  // namespace kov
