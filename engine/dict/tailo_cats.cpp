#include "engine/dict/tailo_cats.h"

#include "engine/dict/file_layouts.h"

namespace kov {

C_TailoCats::C_TailoCats(const std::filesystem::path& path)
    : m_file(path), m_bytes(m_file.bytes()) {
    using qiv::E_FileError;
    if (!m_file.error().ok()) {
        m_error = m_file.error();
        return;
    }
    const auto n = m_bytes.u8At(cats_layout::kCountAt);
    if (!n || !m_bytes.u16At(cats_layout::kVersionAt)) {
        m_error = {E_FileError::DAMAGED, "Truncated category table"};
        return;
    }
    if (m_bytes.u16At(cats_layout::kMarkAt) != cats_layout::kMark ||
        m_bytes.u16At(cats_layout::kVersionAt) != cats_layout::kVersion) {
        m_error = {E_FileError::FORMAT, "Invalid category table format version or BOM"};
        return;
    }
    m_count = *n;
    m_parents = cats_layout::parentsAt(m_count);
    m_nameOffsets = cats_layout::nameOffsetsAt(m_count);
    m_pool = cats_layout::poolAt(m_count);
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
    return m_bytes.u32At(cats_layout::kHashAt);
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
