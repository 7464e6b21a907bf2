#include "platform/debug_output.h"

#include <climits>
#include <string>

#include <windows.h>

namespace kov::platform {

void debugOutput(std::string_view line) noexcept {
    // Short lines convert on the stack: this also runs inside the fault filter.
    wchar_t small[1024];
    if (line.size() > static_cast<std::size_t>(INT_MAX / 2))
        return;
    const int inLen = static_cast<int>(line.size());
    int n = inLen == 0 ? 0 : MultiByteToWideChar(CP_UTF8, 0, line.data(), inLen, nullptr, 0);
    if (n < 0)
        n = 0;
    if (static_cast<std::size_t>(n) < sizeof small / sizeof small[0]) {
        if (n > 0)
            MultiByteToWideChar(CP_UTF8, 0, line.data(), inLen, small, n);
        small[n] = L'\0';
        OutputDebugStringW(small);
        return;
    }
    try {
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, line.data(), inLen, wide.data(), n);
        OutputDebugStringW(wide.c_str());
    } catch (...) {
    }
}

void errorOutput(std::string_view line) noexcept {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE)
        return;
    auto writeAll = [err](const char* data, std::size_t size) {
        while (size > 0) {
            const DWORD chunk = size > 65536 ? 65536 : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(err, data, chunk, &written, nullptr) || written == 0)
                return;
            data += written;
            size -= written;
        }
    };
    writeAll(line.data(), line.size());
    writeAll("\r\n", 2);
}

bool debugOutputIsStandardError() noexcept { return false; }

}  // namespace kov::platform
