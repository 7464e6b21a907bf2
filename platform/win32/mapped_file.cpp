#include "platform/mapped_file.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace kov::platform {

void C_FileMapping::close() noexcept {
    if (m_view)
        ::UnmapViewOfFile(m_view);
    if (m_mapping)
        ::CloseHandle(reinterpret_cast<HANDLE>(m_mapping));
    m_view = nullptr;
    m_size = 0;
    m_mapping = 0;
}

void C_FileMapping::releaseResident() const noexcept {
    // Unlocking pages that are not locked removes them from the working set; the call then
    // reports ERROR_NOT_LOCKED, which is what is expected here.
    if (m_view)
        ::VirtualUnlock(const_cast<void*>(m_view), m_size);
}

E_MapResult C_FileMapping::open(std::string_view utf8Path) noexcept {
    close();
    std::wstring wide;
    try {
        if (!win32::utf8ToWide(utf8Path, wide))
            return E_MapResult::OPEN_FAILED;
    } catch (...) {
        return E_MapResult::OPEN_FAILED;
    }
    const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return E_MapResult::OPEN_FAILED;
    // Windows refuses to map an empty file (ERROR_FILE_INVALID); say so before asking it, and
    // refuse a file too large for this build's address space.
    LARGE_INTEGER fileSize{};
    if (!::GetFileSizeEx(file, &fileSize) || fileSize.QuadPart <= 0 ||
        static_cast<uint64_t>(fileSize.QuadPart) > SIZE_MAX) {
        ::CloseHandle(file);
        return E_MapResult::MAPPING_FAILED;
    }
    const HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ::CloseHandle(file);  // the mapping keeps the file open
    if (!mapping)
        return E_MapResult::MAPPING_FAILED;
    m_mapping = reinterpret_cast<std::uintptr_t>(mapping);
    const void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (!view)
        return E_MapResult::VIEW_FAILED;
    m_view = view;
    m_size = static_cast<size_t>(fileSize.QuadPart);
    return E_MapResult::MAPPED;
}

}  // namespace kov::platform
