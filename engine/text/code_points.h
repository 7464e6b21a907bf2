#pragma once
// The one UTF-8 walk of the engine, and character units of Han words spelled with ideographic
// description characters (IDC): a rare character without a code point of its own is written
// as an IDC followed by its components, so such a word has fewer characters than code points.
//
// The walk is lenient: malformed bytes are skipped, never reported. Overlong forms are decoded
// as they come; a sequence that decodes to a surrogate or a value above U+10FFFF counts as
// malformed, so every code point the walk yields has a UTF-8 form.

#include <cstddef>
#include <string>
#include <string_view>

#include "qiv/move_only_function.h"
#include "qiv/utf8.h"

namespace kov {

// Decodes the code point that starts at or after pos and moves pos past it. Bytes that cannot
// start a code point (stray continuation bytes, 0xF8 to 0xFF, a lead byte whose continuation
// bytes are missing or wrong or that decode to a surrogate or beyond U+10FFFF) are skipped
// one at a time. Returns false at the end of text.
inline bool nextCodePoint(std::string_view text, size_t& pos, unsigned& codePoint) {
    while (pos < text.size()) {
        const unsigned lead = static_cast<unsigned char>(text[pos]);
        size_t more;
        unsigned cp;
        if (lead < 0x80) {
            ++pos;
            codePoint = lead;
            return true;
        } else if ((lead & 0xE0) == 0xC0) {
            more = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            more = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            more = 3;
            cp = lead & 0x07;
        } else {
            ++pos;
            continue;
        }
        bool whole = text.size() - pos > more;
        for (size_t i = 1; whole && i <= more; ++i) {
            const unsigned b = static_cast<unsigned char>(text[pos + i]);
            if ((b & 0xC0) != 0x80)
                whole = false;
            else
                cp = (cp << 6) | (b & 0x3F);
        }
        if (!whole || !qiv::isScalarValue(cp)) {
            ++pos;  // drop only the lead byte and resynchronise on the next one
            continue;
        }
        pos += more + 1;
        codePoint = cp;
        return true;
    }
    return false;
}

// Calls visitor(codePoint) for each code point of text in order until it returns false.
// The visitor is taken as it is (a lambda or a std_move_only_function<bool(unsigned)>), so
// the walk allocates nothing; an empty std_move_only_function throws std::bad_function_call.
template <class F>
void visitCodePoints(std::string_view text, F&& visitor) {
    size_t pos = 0;
    unsigned cp;
    while (nextCodePoint(text, pos, cp))
        if (!visitor(cp))
            return;
}

// Number of operands an ideographic description character takes: 3, 2 or 1; 0 for every
// other code point.
unsigned idcArity(unsigned codePoint);

// Calls visitor with the UTF-8 text of each complete character unit of word (one plain code
// point, or an IDC with its operand units) until it returns false. A unit left unfinished by
// the end of the word is not reported.
void visitIDC(std::string_view word, std_move_only_function<bool(std::string_view)>&& visitor);

// Number of character units of word. Throws std::runtime_error `Ill-formed IDC string "<word>"`
// when its IDCs need more operands than the word has code points.
size_t countIDC(std::string_view word);
// The same, with an ill-formed word counting 0 units: the width that ranking and sorting use,
// where one odd word must not fail the whole list.
size_t countIDCOrZero(std::string_view word) noexcept;

// True when every code point of text is below 0x80 (stops at the first that is not).
bool only_asciis(std::string_view text);

// Printable escaped form of text for log lines: code points from 256 up as \u and their bytes
// in hex (4 or 6 digits), controls and 0x7F to 0xFF as \a..\r or \xNN, a backslash, apostrophe
// or double quote behind a backslash.
std::string dumpUnicodes(std::string_view text);

}  // namespace kov
