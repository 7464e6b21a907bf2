// Windows backend of the companion programs: CreateProcessW, WaitForSingleObject,
// GetExitCodeProcess, and EnumWindows to find the program's window when it is asked for again.
#include "platform/process.h"
#include "platform/win32/wide_text.h"

#include <string>
#include <vector>

#include <windows.h>

namespace kov::platform {

namespace {

HANDLE handleOf(std::uintptr_t process) { return reinterpret_cast<HANDLE>(process); }

struct S_WindowSearch {
    DWORD m_processId;
    HWND m_found;
};

// The first top-level window of the process that is visible, has no parent and has a title;
// the enumeration stops there.
BOOL CALLBACK findCompanionWindow(HWND window, LPARAM param) {
    S_WindowSearch& search = *reinterpret_cast<S_WindowSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search.m_processId || !::IsWindowVisible(window) || ::GetParent(window) ||
        ::GetWindowTextLengthW(window) < 1)
        return TRUE;
    search.m_found = window;
    return FALSE;
}

}  // namespace

uint32_t C_ChildProcess::start(const std::filesystem::path& program,
                               std::optional<std::string_view> arguments) {
    close();
    const std::wstring path = program.wstring();
    if (path.find(L'\0') != std::wstring::npos)
        return ERROR_INVALID_NAME;  // the system would see only the part before the NUL
    // CreateProcessW may write into the command line, so it lives in a buffer of its own.
    std::vector<wchar_t> commandLine;
    if (arguments) {
        std::wstring wideArguments;
        if (!win32::utf8ToWide(*arguments, wideArguments))
            return ERROR_NO_UNICODE_TRANSLATION;
        if (wideArguments.find(L'\0') != std::wstring::npos)
            return ERROR_INVALID_PARAMETER;
        const std::wstring text = L"\"" + path + L"\" " + wideArguments;
        commandLine.assign(text.begin(), text.end());
        commandLine.push_back(L'\0');
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(path.c_str(), commandLine.empty() ? nullptr : commandLine.data(), nullptr,
                          nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return static_cast<uint32_t>(::GetLastError());
    ::CloseHandle(info.hThread);
    m_process = reinterpret_cast<std::uintptr_t>(info.hProcess);
    return 0;
}

E_WaitResult C_ChildProcess::waitForExit(std::chrono::milliseconds timeout,
                                         std::optional<uint32_t>& exitCode) const {
    exitCode.reset();
    if (m_process == 0)
        return E_WaitResult::FAILED;
    const DWORD ms = timeout.count() <= 0 ? 0
                     : timeout.count() >= static_cast<long long>(INFINITE)
                         ? INFINITE - 1
                         : static_cast<DWORD>(timeout.count());
    switch (::WaitForSingleObject(handleOf(m_process), ms)) {
        case WAIT_OBJECT_0: {
            DWORD code = 0;
            if (::GetExitCodeProcess(handleOf(m_process), &code))
                exitCode = static_cast<uint32_t>(code);
            return E_WaitResult::EXITED;
        }
        case WAIT_TIMEOUT:
            return E_WaitResult::TIMEOUT;
        default:
            return E_WaitResult::FAILED;
    }
}

E_FrontResult C_ChildProcess::bringToFront() const {
    const DWORD processId = m_process ? ::GetProcessId(handleOf(m_process)) : 0;
    if (processId == 0)
        return E_FrontResult::NO_PROCESS_ID;
    S_WindowSearch search{processId, nullptr};
    ::EnumWindows(findCompanionWindow, reinterpret_cast<LPARAM>(&search));
    if (search.m_found) {
        // Windows lets a program take the foreground only while its input is attached to the
        // thread that has it.
        const DWORD self = ::GetCurrentThreadId();
        const DWORD foreground = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
        ::AttachThreadInput(self, foreground, TRUE);
        ::SetForegroundWindow(search.m_found);
        ::AttachThreadInput(self, foreground, FALSE);
    }
    return E_FrontResult::DONE;
}

void C_ChildProcess::close() noexcept {
    if (m_process != 0)
        ::CloseHandle(handleOf(m_process));
    m_process = 0;
}

}  // namespace kov::platform
