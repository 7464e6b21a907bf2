#include "engine/dict/mapped_file.h"

namespace kov {

std::string pathText(const std::filesystem::path& path) {
    try {
        const std::u8string u8 = path.u8string();
        return std::string(u8.begin(), u8.end());
    } catch (const std::bad_alloc&) {
        throw;
    } catch (...) {
        // A wide path that is not valid UTF-16 has no UTF-8 form; show what the native
        // conversion gives, or nothing.
        try {
            return path.string();
        } catch (const std::bad_alloc&) {
            throw;
        } catch (...) {
            return {};
        }
    }
}

qiv::C_FileError mapFailure(platform::E_MapResult result, const std::filesystem::path& path) {
    using qiv::E_FileError;
    switch (result) {
        case platform::E_MapResult::MAPPED:
            return {};
        case platform::E_MapResult::OPEN_FAILED:
            return {E_FileError::UNREADABLE,
                    "Failed to open \"" + pathText(path) + "\" for read-only"};
        case platform::E_MapResult::MAPPING_FAILED:
            return {E_FileError::UNREADABLE, "Failed to create file mapping"};
        case platform::E_MapResult::VIEW_FAILED:
            break;
    }
    return {E_FileError::UNREADABLE, "Failed to map a view of \"" + pathText(path) + "\""};
}

C_MappedFile::C_MappedFile(const std::filesystem::path& path)
    : m_error(mapFailure(m_mapping.open(pathText(path)), path)) {}

}  // namespace kov
