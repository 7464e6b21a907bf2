// Windows backend of the durable file writes: CreateFileW/WriteFile/FlushFileBuffers and
// MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH.
#include "platform/file_ops.h"

#include <windows.h>

namespace kov::platform {

namespace {

std::string systemText(DWORD err) {
    return "system error " + std::to_string(static_cast<unsigned long>(err));
}

HANDLE handleOf(std::intptr_t file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

C_OutFile::~C_OutFile() {
    if (m_file != kNoFile)
        ::CloseHandle(handleOf(m_file));
}

bool C_OutFile::fail_(std::string_view what) {
    m_error = std::string(what) + ": " + systemText(::GetLastError());
    return false;
}

bool C_OutFile::open(const std::filesystem::path& path) {
    if (m_file != kNoFile && !close())
        return false;
    m_error.clear();
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return fail_("CreateFileW");
    m_file = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool C_OutFile::isOpen() const { return m_file != kNoFile; }

bool C_OutFile::write(std::string_view bytes) {
    if (m_file == kNoFile) {
        m_error = "WriteFile: file not open";
        return false;
    }
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!::WriteFile(handleOf(m_file), p, chunk, &written, nullptr))
            return fail_("WriteFile");
        if (written == 0) {
            m_error = "WriteFile: no progress";
            return false;
        }
        p += written;
        left -= written;
    }
    return true;
}

bool C_OutFile::flushToDisk() {
    if (m_file == kNoFile) {
        m_error = "FlushFileBuffers: file not open";
        return false;
    }
    if (!::FlushFileBuffers(handleOf(m_file)))
        return fail_("FlushFileBuffers");
    return true;
}

bool C_OutFile::close() {
    if (m_file == kNoFile)
        return true;
    HANDLE h = handleOf(m_file);
    m_file = kNoFile;
    if (!::CloseHandle(h))
        return fail_("CloseHandle");
    return true;
}

bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to,
                 std::string& error) {
    if (!::MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "MoveFileExW: " + systemText(::GetLastError());
        return false;
    }
    return true;
}

}  // namespace kov::platform
