// Read-only mapping of a whole file into memory, for the shipped dictionary files that are
// queried in place. The mapping keeps the size, so every reader can bound its reads by it.
//
// Not responsible for: what the bytes mean, or the texts reported to the user (the engine's
// C_MappedFile builds those from the stage that failed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kov::platform {

// Where mapping stopped.
enum class E_MapResult {
    MAPPED,          // the view covers the whole file
    OPEN_FAILED,     // the file could not be opened for reading
    MAPPING_FAILED,  // no mapping object (also for an empty file, which cannot be mapped)
    VIEW_FAILED,     // the mapping exists but no view of it could be made
};

class C_FileMapping {
public:
    C_FileMapping() = default;
    C_FileMapping(const C_FileMapping&) = delete;
    C_FileMapping& operator=(const C_FileMapping&) = delete;
    C_FileMapping(C_FileMapping&& other) noexcept;
    C_FileMapping& operator=(C_FileMapping&& other) noexcept;
    ~C_FileMapping();  // unmaps and closes whatever open() set up

    // Maps the file at utf8Path read-only (other readers allowed). Replaces an earlier mapping.
    // Never throws.
    E_MapResult open(std::string_view utf8Path) noexcept;
    void close() noexcept;

    const void* data() const { return m_view; }
    size_t size() const { return m_size; }

    // Hands the pages of the view back to the system: they leave the process's resident memory
    // and are read again (from the system's cache of the file, or the file) when next touched.
    // For a view that was read through once, as when lookups copy what they search most.
    void releaseResident() const noexcept;

private:
    const void* m_view = nullptr;
    size_t m_size = 0;
    // The system's handle of the mapping where the view needs one kept until close (Windows);
    // 0 when none.
    std::uintptr_t m_mapping = 0;
};

}  // namespace kov::platform
