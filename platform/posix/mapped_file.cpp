#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace kov::platform {

void C_FileMapping::close() noexcept {
    if (m_view)
        ::munmap(const_cast<void*>(m_view), m_size);
    m_view = nullptr;
    m_size = 0;
}

void C_FileMapping::releaseResident() const noexcept {
    // A private read-only mapping: dropped pages are read from the file again when touched.
    if (m_view)
        ::madvise(const_cast<void*>(m_view), m_size, MADV_DONTNEED);
}

E_MapResult C_FileMapping::open(std::string_view utf8Path) noexcept {
    close();
    std::string path;
    try {
        path.assign(utf8Path);
    } catch (...) {
        return E_MapResult::OPEN_FAILED;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return E_MapResult::OPEN_FAILED;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return E_MapResult::OPEN_FAILED;
    }
    // An empty file has nothing to map; the Windows build cannot map one either, so both
    // builds report it the same way.
    if (st.st_size <= 0 || static_cast<uint64_t>(st.st_size) > SIZE_MAX) {
        ::close(fd);
        return E_MapResult::MAPPING_FAILED;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);  // the mapping keeps the file
    if (view == MAP_FAILED)
        return E_MapResult::MAPPING_FAILED;
    m_view = view;
    m_size = size;
    return E_MapResult::MAPPED;
}

}  // namespace kov::platform
