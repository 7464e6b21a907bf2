#include "engine/text/case_folded_string.h"

#include <algorithm>

#include "engine/text/code_points.h"

namespace kov {

namespace {

// Tone-marked letters in fold order: by tone (acute, grave, circumflex, caron, macron, double
// acute), within a tone by letter; lower case and capitals at the same index.
constexpr char16_t kFoldLettersLower[32] = {
    0x00E1, 0x00E9, 0x00ED, 0x00F3, 0x00FA, 0x1E3F, 0x0144, 0x00E0, 0x00E8, 0x00EC, 0x00F2,
    0x00F9, 0x01F9, 0x00E2, 0x00EA, 0x00EE, 0x00F4, 0x00FB, 0x01CE, 0x011B, 0x01D0, 0x01D2,
    0x01D4, 0x0148, 0x0101, 0x0113, 0x012B, 0x014D, 0x016B, 0x0151, 0x0171, 0};
constexpr char16_t kFoldLettersUpper[32] = {
    0x00C1, 0x00C9, 0x00CD, 0x00D3, 0x00DA, 0x1E3E, 0x0143, 0x00C0, 0x00C8, 0x00CC, 0x00D2,
    0x00D9, 0x01F8, 0x00C2, 0x00CA, 0x00CE, 0x00D4, 0x00DB, 0x01CD, 0x011A, 0x01CF, 0x01D1,
    0x01D3, 0x0147, 0x0100, 0x0112, 0x012A, 0x014C, 0x016A, 0x0150, 0x0170, 0};

constexpr uint8_t kCapitalBit = 0x80;
constexpr uint8_t kLetterMask = 0x7F;

uint8_t foldKey(unsigned cp) {
    if (cp >= 'a' && cp <= 'z')
        return static_cast<uint8_t>(cp - 'a' + 1);
    if (cp >= 'A' && cp <= 'Z')
        return static_cast<uint8_t>(kCapitalBit | (cp - 'A' + 1));
    if (cp < 0x80)
        return 0;
    for (uint8_t i = 0; kFoldLettersLower[i]; ++i) {
        if (static_cast<unsigned>(kFoldLettersLower[i]) == cp)
            return static_cast<uint8_t>(27 + i);
        if (static_cast<unsigned>(kFoldLettersUpper[i]) == cp)
            return static_cast<uint8_t>(kCapitalBit | (27 + i));
    }
    return 0;
}

}  // namespace

C_CaseFoldedString::C_CaseFoldedString(std::string_view utf8Text) {
    visitCodePoints(utf8Text, [this](unsigned cp) {
        m_codePoints.push_back(static_cast<char32_t>(cp));
        m_foldKeys.push_back(foldKey(cp));
        return true;
    });
}

bool C_CaseFoldedString::agreeAt_(size_t pos, const C_CaseFoldedString& other,
                                  size_t otherPos) const {
    const uint8_t a = m_foldKeys[pos] & kLetterMask;
    if (a != (other.m_foldKeys[otherPos] & kLetterMask))
        return false;
    return a != 0 || m_codePoints[pos] == other.m_codePoints[otherPos];
}

int C_CaseFoldedString::compare(const C_CaseFoldedString& other) const {
    const size_t n = std::min(size(), other.size());
    for (size_t i = 0; i < n; ++i) {
        const int ka = m_foldKeys[i] & kLetterMask;
        const int kb = other.m_foldKeys[i] & kLetterMask;
        if (ka != kb)
            return ka - kb;
        if (ka == 0 && m_codePoints[i] != other.m_codePoints[i])
            return static_cast<int32_t>(static_cast<uint32_t>(m_codePoints[i]) -
                                        static_cast<uint32_t>(other.m_codePoints[i]));
    }
    return static_cast<int32_t>(static_cast<uint32_t>(size()) -
                                static_cast<uint32_t>(other.size()));
}

bool C_CaseFoldedString::startsWith(const C_CaseFoldedString& prefix, size_t n) const {
    if (n > size() || n > prefix.size())
        return false;
    for (size_t i = 0; i < n; ++i)
        if (!agreeAt_(i, prefix, i))
            return false;
    return true;
}

size_t C_CaseFoldedString::find(const C_CaseFoldedString& needle) const {
    if (empty() || needle.size() > size())
        return std::string::npos;
    for (size_t s = 0; s + needle.size() <= size(); ++s) {
        size_t i = 0;
        while (i < needle.size() && agreeAt_(s + i, needle, i))
            ++i;
        if (i == needle.size())
            return s;
    }
    return std::string::npos;
}

}  // namespace kov
