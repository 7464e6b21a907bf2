#include "engine/dict/tailo_cats.h"

namespace kov {

namespace {
constexpr size_t kHeaderSize = 9;  // mark, version, hash, count
}

C_TailoCats::C_TailoCats(const std::filesystem::path& path) : m_file(path), m_bytes(m_file.bytes()) {
    using qiv::E_FileError;
    if (!m_file.error().ok()) {
        m_error = m_file.error();
        return;
    }
    const auto n = m_bytes.u8At(8);
    if (!n || !m_bytes.u16At(2)) {
        m_error = {E_FileError::DAMAGED, "Truncated category table"};
        return;
    }
    if (m_bytes.u16At(0) != 0xFEFF || m_bytes.u16At(2) != kVersion) {
        m_error = {E_FileError::FORMAT, "Invalid category table format version or BOM"};
        return;
    }
    m_count = *n;
    m_parents = kHeaderSize;
    m_nameOffsets = kHeaderSize + m_count;
    m_pool = kHeaderSize + 3 * m_count;
    if (!validate_()) {
        m_count = 0;
        m_error = {E_FileError::DAMAGED, "Category table does not fit its file"};
        return;
    }
    m_header = m_file.view();
}

// The parent table and the name offsets must lie in the file, and every name but entry 0's
// must start in the pool and end with a NUL inside the file.
bool C_TailoCats::validate_() const {
    if (!m_bytes.fits(0, m_pool))
        return false;
    for (size_t c = 1; c < m_count; ++c) {
        const auto offset = m_bytes.u16At(m_nameOffsets + 2 * c);
        if (!offset || !m_bytes.cStringAt(m_pool + *offset))
            return false;
    }
    return true;
}

std::optional<uint32_t> C_TailoCats::hash() const {
    if (!m_header)
        return std::nullopt;
    return m_bytes.u32At(4);
}

std::string_view C_TailoCats::catName(uint8_t cat) const {
    if (cat == 0 || cat >= m_count)
        return {};
    const auto offset = m_bytes.u16At(m_nameOffsets + 2 * size_t{cat});
    if (!offset)
        return {};
    return m_bytes.cStringAt(m_pool + *offset).value_or(std::string_view());
}

uint8_t C_TailoCats::parentCat(uint8_t cat) const {
    if (cat == 0 || cat >= m_count)
        return 0;
    return m_bytes.u8At(m_parents + cat).value_or(0);
}

}  // namespace kov
