#include "engine/text/code_points.h"

#include <stdexcept>

#include "qiv/utf8.h"

namespace kov {

namespace {

// IDC lists by arity, as 0-terminated UTF-16 tables; code points are compared at full width,
// so nothing above U+FFFF ever matches.
constexpr char16_t kIdcArity3[] = {0x2FF2, 0x2FF3, 0};
constexpr char16_t kIdcArity2[] = {0x2FF0, 0x2FF1, 0x2FF4, 0x2FF5, 0x2FF6, 0x2FF7, 0x2FF8,
                                   0x2FF9, 0x2FFA, 0x2FFB, 0x2FFC, 0x2FFD, 0x31EF, 0};
constexpr char16_t kIdcArity1[] = {0x2FFE, 0x2FFF, 0x303E, 0};

bool inTable(const char16_t* table, unsigned codePoint) {
    for (; *table; ++table)
        if (static_cast<unsigned>(*table) == codePoint)
            return true;
    return false;
}

}  // namespace

unsigned idcArity(unsigned codePoint) {
    if (inTable(kIdcArity3, codePoint))
        return 3;
    if (inTable(kIdcArity2, codePoint))
        return 2;
    if (inTable(kIdcArity1, codePoint))
        return 1;
    return 0;
}

void visitIDC(std::string_view word, std_move_only_function<bool(std::string_view)>&& visitor) {
    std::string unit;
    size_t needed = 1;
    visitCodePoints(word, [&](unsigned cp) {
        unit += qiv::u32toutf8(cp);
        needed += idcArity(cp);
        if (--needed != 0)
            return true;
        if (!visitor(std::string_view(unit)))
            return false;
        unit.clear();
        needed = 1;
        return true;
    });
}

namespace {

// Code points and the operands their description characters need, counted over word.
std::pair<size_t, size_t> codePointsAndArities(std::string_view word) noexcept {
    size_t codePoints = 0;
    size_t arities = 0;
    visitCodePoints(word, [&](unsigned cp) {
        ++codePoints;
        arities += idcArity(cp);
        return true;
    });
    return {codePoints, arities};
}

}  // namespace

size_t countIDC(std::string_view word) {
    const auto [codePoints, arities] = codePointsAndArities(word);
    if (codePoints < arities)
        throw std::runtime_error("Ill-formed IDC string \"" + std::string(word) + "\"");
    return codePoints - arities;
}

size_t countIDCOrZero(std::string_view word) noexcept {
    const auto [codePoints, arities] = codePointsAndArities(word);
    return codePoints < arities ? 0 : codePoints - arities;
}

bool only_asciis(std::string_view text) {
    bool ascii = true;
    visitCodePoints(text, [&](unsigned cp) {
        ascii = cp < 0x80;
        return ascii;
    });
    return ascii;
}

std::string dumpUnicodes(std::string_view text) {
    std::string out;
    visitCodePoints(text, [&](unsigned cp) {
        if (cp >= 256) {
            out += "\\u";
            int shift = 24;
            while ((cp >> shift) == 0)
                shift -= 8;
            for (; shift >= 0; shift -= 8)
                qiv::appendHexByte(out, cp >> shift);
        } else {
            qiv::appendEscapedCodePoint(cp, out);
        }
        return true;
    });
    return out;
}

}  // namespace kov
