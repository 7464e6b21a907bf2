// UTF-8 and the UTF-16 of the Windows calls, converted strictly, for the win32 backend.
#pragma once

#include <string>
#include <string_view>

namespace kov::platform::win32 {

// False (out emptied) for invalid UTF-8 or a text too long for the system call.
bool utf8ToWide(std::string_view utf8, std::wstring& out);
// Unpaired surrogates become U+FFFD.
std::string wideToUtf8(std::wstring_view wide);

}  // namespace kov::platform::win32
