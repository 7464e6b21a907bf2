#include "platform/codepage.h"

#include <cerrno>
#include <cstdint>
#include <string>

#include <iconv.h>

namespace kov::platform {
namespace {

// Strict UTF-8 as RFC 3629 defines it: no overlong forms, no surrogates, nothing above U+10FFFF,
// no stray continuation bytes, no truncated characters. These are exactly the texts that
// Windows refuses under MB_ERR_INVALID_CHARS.
bool decodeUtf8Strict(std::string_view bytes, std::u32string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned b = p[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        std::size_t len;
        char32_t cp;
        char32_t min;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
            cp = b & 0x1F;
            min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            cp = b & 0x0F;
            min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            cp = b & 0x07;
            min = 0x10000;
        } else {
            return false;  // continuation byte, C0, C1 or F5..FF as a lead
        }
        if (n - i < len)
            return false;
        for (std::size_t k = 1; k < len; ++k) {
            const unsigned c = p[i + k];
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out.push_back(cp);
        i += len;
    }
    return true;
}

// Windows-1252. 0x80..0x9F through the table; the five bytes the code page leaves undefined
// map to the C1 control of the same value, as Windows does, so every byte decodes.
bool decodeWindows1252(std::string_view bytes, std::u32string& out) {
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    for (char ch : bytes) {
        const unsigned b = static_cast<unsigned char>(ch);
        out.push_back(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b);
    }
    return true;
}

// Any other code page through iconv under its "CP<number>" name; an invalid or incomplete
// character fails the whole text.
bool decodeWithIconv(unsigned codePage, std::string_view bytes, std::u32string& out) {
    const std::string name = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-32LE", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    // One input byte never gives more than one code point.
    std::string converted(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* outPtr = converted.data();
    std::size_t outLeft = converted.size();
    bool ok =
        iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0;
    if (ok)  // flush any shift state
        ok = iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (!ok)
        return false;
    const std::size_t produced = converted.size() - outLeft;
    const auto* u = reinterpret_cast<const unsigned char*>(converted.data());
    for (std::size_t k = 0; k + 4 <= produced; k += 4) {
        out.push_back(static_cast<char32_t>(u[k]) | static_cast<char32_t>(u[k + 1]) << 8 |
                      static_cast<char32_t>(u[k + 2]) << 16 |
                      static_cast<char32_t>(u[k + 3]) << 24);
    }
    return true;
}

}  // namespace

bool decodeCodePage(unsigned codePage, std::string_view bytes, std::u32string& out) {
    std::u32string decoded;
    bool ok;
    switch (codePage) {
        case 65001:
            ok = decodeUtf8Strict(bytes, decoded);
            break;
        case 0:
        case 1252:
            ok = decodeWindows1252(bytes, decoded);
            break;
        case 65000:  // UTF-7 refuses the strict flag on Windows too
            ok = false;
            break;
        default:
            ok = decodeWithIconv(codePage, bytes, decoded);
            break;
    }
    if (!ok)
        return false;
    out += decoded;
    return true;
}

}  // namespace kov::platform
