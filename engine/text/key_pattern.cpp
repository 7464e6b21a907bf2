#include "engine/text/key_pattern.h"

#include <stdexcept>

#include "engine/text/code_points.h"
#include "engine/text/tailo.h"
#include "qiv/utf8.h"

namespace kov {

bool matchKeyPattern(std::string_view pattern, std::string_view key, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const char p = i < pattern.size() ? pattern[i] : '\0';
        char c = i < key.size() ? key[i] : '\0';
        if (p == '0') {
            if (c < '1' || c > '9')
                return false;
        } else if (p == '?') {
            if (c == '\0')
                return false;
        } else {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (p != c)
                return false;
        }
    }
    return true;
}

std_move_only_function<bool(std::string_view)> createTailoWordMatcher(std::string_view keyPattern,
                                                                      bool exact) {
    return [keyPattern, exact](std::string_view tailoWord) {
        const auto result = tailo2tonedKeys(tailoWord);
        const auto* keys = std::get_if<std::vector<std::string>>(&result);
        if (!keys || keys->size() != 1)
            return false;
        const std::string& key = keys->front();
        const size_t n = keyPattern.size();
        if (exact)
            return key.size() == n && matchKeyPattern(keyPattern, key, n);
        return key.size() == n + 1 && matchKeyPattern(keyPattern, key, n) && key.back() >= '0' &&
               key.back() <= '9';
    };
}

unsigned capitalCodePoint(unsigned codePoint) {
    if (codePoint >= 'a' && codePoint <= 'z')
        return codePoint - 'a' + 'A';
    for (size_t i = 0; kCapitalLower[i]; ++i)
        if (static_cast<unsigned>(kCapitalLower[i]) == codePoint)
            return kCapitalUpper[i];
    return codePoint;
}

std::string capitalTailo(std::string_view tailo) {
    std::string out;
    out.reserve(tailo.size());
    bool first = true;
    visitCodePoints(tailo, [&](unsigned cp) {
        out += qiv::u32toutf8(first ? capitalCodePoint(cp) : cp);
        first = false;
        return true;
    });
    return out;
}

void pushUnique(std::vector<std::string>& v, const std::string& s) {
    for (const auto& e : v)
        if (e == s)
            return;
    v.push_back(s);
}

std::string joinKeys(std::span<const std::string> keys) {
    std::string out;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i)
            out += '-';
        out += keys[i];
    }
    return out;
}

std::string bikeyText(const C_Bikey& bikey) {
    if (const auto* key = std::get_if<const std::string*>(&bikey)) {
        if (!*key)
            throw std::logic_error("Null bikey");
        return **key;
    }
    if (const auto* keys = std::get_if<const std::vector<std::string>*>(&bikey)) {
        if (!*keys)
            throw std::logic_error("Null bikey");
        return joinKeys(**keys);
    }
    // A variant without a value has index variant_npos; it is written as -1 on every build.
    throw std::logic_error(
        "UNKNOWN bikey type: " +
        std::to_string(static_cast<long long>(
            bikey.index() == std::variant_npos ? -1 : static_cast<long long>(bikey.index()))));
}

}  // namespace kov
