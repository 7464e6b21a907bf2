#include "engine/text/tailo.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>

#include "engine/text/code_points.h"
#include "engine/text/syllable_match.h"

namespace kov {

namespace {

constexpr std::string_view kMarkLettersLower = "aeioumn";
// The letters that may stand before the final p, t, k or h of a checked syllable: a vowel, m or
// n, and the g of "ngh" and the r of "rh" ("khngh", "torh").
constexpr std::string_view kCheckedBeforeFinal = "aeioumngr";
constexpr std::string_view kMarkLettersUpper = "AEIOUMN";

bool isUpperAscii(char c) { return c >= 'A' && c <= 'Z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char lowerAscii(char c) { return isUpperAscii(c) ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

const std::vector<std::vector<std::string>> kToneLettersLower = {
    {},
    {"\u00E1", "\u00E9", "\u00ED", "\u00F3", "\u00FA", "\u1E3F", "\u0144"},
    {"\u00E0", "\u00E8", "\u00EC", "\u00F2", "\u00F9", "m\u0300", "\u01F9"},
    {},
    {"\u00E2", "\u00EA", "\u00EE", "\u00F4", "\u00FB", "m\u0302", "n\u0302"},
    {"\u01CE", "\u011B", "\u01D0", "\u01D2", "\u01D4", "m\u030C", "\u0148"},
    {"\u0101", "\u0113", "\u012B", "\u014D", "\u016B", "m\u0304", "n\u0304"},
    {"a\u030D", "e\u030D", "i\u030D", "o\u030D", "u\u030D", "m\u030D", "n\u030D"},
    {"a\u030B", "e\u030B", "i\u030B", "\u0151", "\u0171", "m\u030B", "n\u030B"},
};

const std::vector<std::vector<std::string>> kToneLettersUpper = {
    {},
    {"\u00C1", "\u00C9", "\u00CD", "\u00D3", "\u00DA", "\u1E3E", "\u0143"},
    {"\u00C0", "\u00C8", "\u00CC", "\u00D2", "\u00D9", "M\u0300", "\u01F8"},
    {},
    {"\u00C2", "\u00CA", "\u00CE", "\u00D4", "\u00DB", "M\u0302", "N\u0302"},
    {"\u01CD", "\u011A", "\u01CF", "\u01D1", "\u01D3", "M\u030C", "\u0147"},
    {"\u0100", "\u0112", "\u012A", "\u014C", "\u016A", "M\u0304", "N\u0304"},
    {"A\u030D", "E\u030D", "I\u030D", "O\u030D", "U\u030D", "M\u030D", "N\u030D"},
    {"A\u030B", "E\u030B", "I\u030B", "\u0150", "\u0170", "M\u030B", "N\u030B"},
};

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
    const size_t letter = (upper ? kMarkLettersUpper : kMarkLettersLower).find(syllable[pos]);
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
                    static_cast<uint8_t>(tone * kMarkLettersLower.size() + letter));
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
    constexpr size_t kNone = SIZE_MAX;
    size_t best = kNone;
    size_t bestPos = 0;
    const std::string_view s = syllable;
    for (size_t pos = 0; pos < s.size(); ++pos) {
        for (uint8_t id : index.m_byFirstByte[static_cast<unsigned char>(s[pos])]) {
            if (id >= best)
                break;
            const std::string& mark = table[id / kMarkLettersLower.size()][id % kMarkLettersLower.size()];
            // Every entry has at least two bytes; most entries that share a first byte differ
            // in the second.
            if (s.size() - pos >= mark.size() && s[pos + 1] == mark[1] && s.substr(pos, mark.size()) == mark) {
                best = id;
                bestPos = pos;
                break;
            }
        }
    }
    if (best == kNone)
        return std::nullopt;
    const size_t tone = best / kMarkLettersLower.size();
    const size_t letter = best % kMarkLettersLower.size();
    const size_t markSize = table[tone][letter].size();
    std::string out;
    out.reserve(syllable.size() + 1);
    out.append(s.substr(0, bestPos));
    out += kMarkLettersLower[letter];
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
        if (!ascii && ((untoned = untoneSyllable(s, false)) || (untoned = untoneSyllable(s, true)))) {
            s = std::move(*untoned);
        } else {
            if (!ascii && !only_asciis(s)) {
                error = C_TonedKeysError{std::move(s), 1};
                return;
            }
            const size_t n = s.size();
            if (isDigit(s.back())) {
                // the syllable carries its tone digit
            } else if (n >= 2 && std::string_view("ptkh").find(lowerAscii(s[n - 1])) != std::string_view::npos &&
                       kCheckedBeforeFinal.find(lowerAscii(s[n - 2])) != std::string_view::npos) {
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
