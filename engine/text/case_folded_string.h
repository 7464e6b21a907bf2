#pragma once
// A text held as code points with one fold key each, for comparison, prefix tests and search
// that ignore letter case, for ASCII letters and tone-marked Tai-lo letters alike, while tone
// marks stay significant.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kov {

class C_CaseFoldedString {
public:
    // Decodes utf8Text (malformed bytes are dropped) and folds each code point.
    explicit C_CaseFoldedString(std::string_view utf8Text = {});

    // Three-way comparison on the fold keys: non-letters (by code point) sort before the
    // letters a-z, which sort before the tone-marked letters; a proper prefix sorts first.
    int compare(const C_CaseFoldedString& other) const;
    // Whether the first n positions agree with prefix (false when n exceeds either length).
    bool startsWith(const C_CaseFoldedString& prefix, size_t n) const;
    // Position (in code points) of the first occurrence of needle, or std::string::npos.
    size_t find(const C_CaseFoldedString& needle) const;

    size_t size() const { return m_codePoints.size(); }
    bool empty() const { return m_codePoints.empty(); }
    const std::u32string& codePoints() const { return m_codePoints; }
    // Fold key per code point: bits 0-6 name the letter (0: not a letter), bit 7 a capital.
    const std::vector<uint8_t>& foldKeys() const { return m_foldKeys; }

    friend bool operator<(const C_CaseFoldedString& a, const C_CaseFoldedString& b) {
        return a.compare(b) < 0;
    }

private:
    bool agreeAt_(size_t pos, const C_CaseFoldedString& other, size_t otherPos) const;

    std::u32string m_codePoints;
    std::vector<uint8_t> m_foldKeys;
};

}  // namespace kov
