#include "platform/codepage.h"

#include <climits>
#include <string>

#include <windows.h>

namespace kov::platform {

bool decodeCodePage(unsigned codePage, std::string_view bytes, std::u32string& out) {
    if (bytes.empty())
        return true;  // MultiByteToWideChar refuses an empty text
    if (bytes.size() > static_cast<std::size_t>(INT_MAX))
        return false;
    const int inLen = static_cast<int>(bytes.size());
    const int needed =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), inLen, nullptr, 0);
    if (needed <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), inLen, wide.data(),
                            needed) != needed)
        return false;
    std::u32string decoded;
    decoded.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char32_t u = static_cast<char16_t>(wide[i]);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= wide.size())
                return false;
            const char32_t low = static_cast<char16_t>(wide[i + 1]);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            decoded.push_back((((u & 0x3FF) << 10) | (low & 0x3FF)) + 0x10000);
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        } else {
            decoded.push_back(u);
        }
    }
    out += decoded;
    return true;
}

}  // namespace kov::platform
