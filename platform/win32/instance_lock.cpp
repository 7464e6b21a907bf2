#include "platform/instance_lock.h"

#include <string>

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace kov::platform {

C_InstanceLock::~C_InstanceLock() {
    if (m_handle != -1)
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

C_InstanceLock::E_Result C_InstanceLock::acquire(std::string_view name) {
    std::wstring wide;
    if (!win32::utf8ToWide(name, wide) || wide.empty())
        return FAILED;
    const HANDLE h = ::CreateMutexW(nullptr, TRUE, wide.c_str());
    if (!h)
        return FAILED;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(h);
        return HELD_ELSEWHERE;
    }
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return ACQUIRED;
}

}  // namespace kov::platform
