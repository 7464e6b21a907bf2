// UTF-8 to UTF-16 for the Windows calls of the backend (paths, command lines). Internal to
// platform/win32: it includes <windows.h>.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <windows.h>

namespace kov::platform {

// Strict UTF-8 to UTF-16; false (and wide empty) for invalid UTF-8.
inline bool widenUtf8(std::string_view utf8, std::wstring& wide) {
    wide.clear();
    if (utf8.empty())
        return true;
    if (utf8.size() > INT32_MAX)
        return false;
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                        static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0)
        return false;
    wide.resize(static_cast<size_t>(n));
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                              static_cast<int>(utf8.size()), wide.data(), n) == n)
        return true;
    wide.clear();
    return false;
}

}  // namespace kov::platform
