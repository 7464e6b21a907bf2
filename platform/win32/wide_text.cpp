#include "platform/win32/wide_text.h"

#include <climits>

#include <windows.h>

namespace kov::platform::win32 {

bool utf8ToWide(std::string_view utf8, std::wstring& out) {
    out.clear();
    if (utf8.empty())
        return true;
    if (utf8.size() > INT_MAX)
        return false;
    const int inLen = static_cast<int>(utf8.size());
    const int n =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLen, nullptr, 0);
    if (n <= 0)
        return false;
    out.resize(static_cast<size_t>(n));
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLen, out.data(), n) !=
        n) {
        out.clear();
        return false;
    }
    return true;
}

std::string wideToUtf8(std::wstring_view wide) {
    if (wide.empty() || wide.size() > INT_MAX / 4)
        return {};
    const int inLen = static_cast<int>(wide.size());
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), inLen, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), inLen, out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace kov::platform::win32
