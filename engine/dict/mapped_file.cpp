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

C_MappedFile::C_MappedFile(const std::filesystem::path& path) {
    switch (m_mapping.open(pathText(path))) {
    case platform::E_MapResult::MAPPED:
    case platform::E_MapResult::VIEW_FAILED:  // no view and no text: the mapping exists
        break;
    case platform::E_MapResult::OPEN_FAILED:
        m_error = "Failed to open \"" + pathText(path) + "\" for read-only";
        break;
    case platform::E_MapResult::MAPPING_FAILED:
        m_error = "Failed to create file mapping";
        break;
    }
}

}  // namespace kov
