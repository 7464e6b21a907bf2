#include "qiv/utf8.h"

#include <stdexcept>

namespace qiv {

int encodeUtf8(unsigned c, char* out) {
    if (!isScalarValue(c))
        return -1;
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    int len;
    unsigned lead;
    if (c < 0x800) {
        len = 2;
        lead = 0xC0;
    } else if (c < 0x10000) {
        len = 3;
        lead = 0xE0;
    } else {
        len = 4;
        lead = 0xF0;
    }
    for (int i = len - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80 | (c & 0x3F));
        c >>= 6;
    }
    out[0] = static_cast<char>(lead | c);
    return len;
}

std::string_view u32toutf8(unsigned codePoint) {
    thread_local char buffer[8];
    const int n = encodeUtf8(codePoint, buffer);
    if (n <= 0) {
        std::string msg = "u32toutf8(u+";
        static constexpr char kHex[] = "0123456789abcdef";
        std::string hex;
        unsigned v = codePoint;
        do {
            hex.insert(hex.begin(), kHex[v & 0xF]);
            v >>= 4;
        } while (v != 0);
        msg += hex;
        msg += ") returns ";
        msg += std::to_string(n);
        throw std::runtime_error(msg);
    }
    return std::string_view(buffer, static_cast<std::size_t>(n));
}

void appendHexByte(std::string& out, unsigned byte) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += kHex[(byte >> 4) & 0xF];
    out += kHex[byte & 0xF];
}

void appendEscapedCodePoint(unsigned c, std::string& out) {
    if (c >= 256) {
        char buf[8];
        const int n = encodeUtf8(c, buf);
        if (n > 0)
            out.append(buf, static_cast<std::size_t>(n));
        return;
    }
    // Printable means the ASCII graphic characters and the blank: the program never sets a
    // locale, so the "C" classification applies.
    if (c < 0x20 || c >= 0x7F) {
        static constexpr char kControls[] = "abtnvfr";
        if (c >= 7 && c <= 13) {
            out += '\\';
            out += kControls[c - 7];
        } else {
            out += "\\x";
            appendHexByte(out, c);
        }
        return;
    }
    if (c == '\\' || c == '\'' || c == '"')
        out += '\\';
    out += static_cast<char>(c);
}

std::string escapeCodePoint(unsigned codePoint) {
    std::string out;
    appendEscapedCodePoint(codePoint, out);
    return out;
}

}  // namespace qiv
