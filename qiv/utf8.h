#pragma once
// Encoding single code points as UTF-8, and their readable escaped form for messages.

#include <string>
#include <string_view>

namespace qiv {

// True for a Unicode scalar value: below U+110000 and not a surrogate (U+D800 to U+DFFF).
// Only these have a UTF-8 form.
constexpr bool isScalarValue(unsigned codePoint) {
    return codePoint < 0x110000 && (codePoint < 0xD800 || codePoint > 0xDFFF);
}

// Writes the UTF-8 form of codePoint to out (no terminating NUL; out needs room for 4 bytes)
// and returns the number of bytes written, 1 to 4; -1, writing nothing, for a surrogate or a
// value above U+10FFFF, which valid UTF-8 cannot hold.
int encodeUtf8(unsigned codePoint, char* out);

// The UTF-8 form of codePoint in a buffer of the calling thread; the view stays valid until
// the same thread calls again. Throws std::runtime_error for a code point that cannot be encoded.
std::string_view u32toutf8(unsigned codePoint);

// Appends two lower-case hex digits of the low 8 bits of byte.
void appendHexByte(std::string& out, unsigned byte);

// Appends codePoint in readable form: from 256 up its UTF-8 form; control and non-ASCII bytes as
// \a \b \t \n \v \f \r or \xNN; a backslash, apostrophe or double quote behind a backslash;
// any other character as itself.
void appendEscapedCodePoint(unsigned codePoint, std::string& out);
std::string escapeCodePoint(unsigned codePoint);

}  // namespace qiv
