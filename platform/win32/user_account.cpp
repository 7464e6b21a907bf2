#include "platform/user_account.h"

#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <climits>

#include "platform/win32/wide_text.h"

namespace kov::platform {

bool currentUserName(std::string& out, S_CallError& error) {
    wchar_t buffer[257];  // the longest user name and its terminator
    DWORD size = 257;
    if (!::GetUserNameW(buffer, &size)) {
        error = {"GetUserNameW", static_cast<std::int64_t>(::GetLastError())};
        return false;
    }
    out = win32::wideToUtf8(std::wstring_view(buffer, size > 0 ? size - 1 : 0));
    return true;
}

bool roamingDataFolder(std::filesystem::path& out, S_CallError& error) {
    PWSTR path = nullptr;
    const HRESULT hr = ::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path);
    if (FAILED(hr)) {
        ::CoTaskMemFree(path);
        error = {"SHGetKnownFolderPath", static_cast<std::int64_t>(static_cast<std::int32_t>(hr))};
        return false;
    }
    out = std::filesystem::path(path);
    ::CoTaskMemFree(path);
    return true;
}

std::filesystem::path currentProgramPath() {
    wchar_t buffer[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    return std::filesystem::path(std::wstring(buffer, n));
}

std::filesystem::path pathFromArgument(std::string_view argument) {
    if (argument.empty() || argument.size() > INT_MAX)
        return {};
    const UINT codePage = ::AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    const int inLen = static_cast<int>(argument.size());
    const int n = ::MultiByteToWideChar(codePage, 0, argument.data(), inLen, nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, argument.data(), inLen, wide.data(), n);
    return std::filesystem::path(wide);
}

}  // namespace kov::platform
