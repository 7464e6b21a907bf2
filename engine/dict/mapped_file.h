// A shipped data file ("cats.tab", "tailo.tab") mapped read-only as a whole and queried in
// place. Opening never throws: a file that cannot be opened or mapped leaves the view null and
// says why in error(). The size is kept so that every reader bounds its reads by the file end.
#pragma once

#include "platform/mapped_file.h"
#include "qiv/byte_cursor.h"
#include "qiv/file_error.h"

#include <cstddef>
#include <filesystem>
#include <string>

namespace kov {

class C_MappedFile {
public:
    explicit C_MappedFile(const std::filesystem::path& path);
    C_MappedFile(const C_MappedFile&) = delete;
    C_MappedFile& operator=(const C_MappedFile&) = delete;

    // The first mapped byte; null when the file could not be mapped.
    const void* view() const { return m_mapping.data(); }
    // The number of mapped bytes; 0 without a view.
    size_t size() const { return m_mapping.size(); }
    // NONE when the view covers the file; else UNREADABLE with the stage that failed.
    const qiv::C_FileError& error() const { return m_error; }
    // Hands the view's pages back to the system until they are touched again.
    void releaseResident() const noexcept { m_mapping.releaseResident(); }
    // A bounded cursor over the whole view (empty without one).
    qiv::C_ByteCursor bytes() const { return qiv::C_ByteCursor(view(), size()); }

private:
    platform::C_FileMapping m_mapping;
    qiv::C_FileError m_error;
};

// The error of a mapping that stopped at result (NONE for MAPPED): "Failed to open \"<path>\"
// for read-only", "Failed to create file mapping" or "Failed to map a view of \"<path>\"".
qiv::C_FileError mapFailure(platform::E_MapResult result, const std::filesystem::path& path);

// The path as UTF-8 text for messages; never throws for characters the narrow code page lacks.
std::string pathText(const std::filesystem::path& path);

}  // namespace kov
