#include "engine/dict/cats_writer.h"

#include "engine/dict/file_layouts.h"
#include "engine/dict/replacing_write.h"
#include "qiv/byte_cursor.h"

namespace kov {

qiv::C_FileError C_CatsWriter::add(std::string_view name, uint8_t parent) {
    const auto refused = [](std::string text) {
        return qiv::C_FileError(qiv::E_FileError::REFUSED, std::move(text));
    };
    if (m_cats.size() >= kMaxCats)
        return refused("Too many categories (at most " + std::to_string(kMaxCats) + ")");
    if (name.empty())
        return refused("Empty category name");
    if (name.find('\0') != std::string_view::npos)
        return refused("Category name holds a NUL");
    if (parent > m_cats.size())
        return refused("Parent " + std::to_string(parent) + " of \"" + std::string(name) +
                       "\" is not an earlier category");
    // Every name must start at an offset that fits 16 bits.
    if (m_poolSize > 0xFFFF)
        return refused("Category name pool is full");
    m_cats.push_back(C_Entry{std::string(name), parent});
    m_poolSize += name.size() + 1;
    return {};
}

uint32_t C_CatsWriter::contentHash() const {
    uint32_t h = 2166136261u;
    const auto mix = [&h](unsigned char c) {
        h ^= c;
        h *= 16777619u;
    };
    for (const C_Entry& e : m_cats) {
        mix(e.parent);
        for (const char c : e.name)
            mix(static_cast<unsigned char>(c));
        mix(0);
    }
    return h;
}

uint32_t C_CatsWriter::hash() const { return m_hash ? *m_hash : contentHash(); }

std::optional<uint8_t> C_CatsWriter::find(std::string_view name) const {
    for (size_t i = 0; i < m_cats.size(); ++i)
        if (m_cats[i].name == name)
            return static_cast<uint8_t>(i + 1);
    return std::nullopt;
}

std::string C_CatsWriter::bytes() const {
    const size_t n = m_cats.size() + 1;
    std::string out;
    out.reserve(cats_layout::poolAt(n) + m_poolSize);
    qiv::putU16(out, cats_layout::kMark);
    qiv::putU16(out, cats_layout::kVersion);
    qiv::putU32(out, hash());
    qiv::putU8(out, static_cast<uint8_t>(n));
    qiv::putU8(out, 0);  // entry 0 has no parent
    for (const C_Entry& e : m_cats)
        qiv::putU8(out, e.parent);
    qiv::putU16(out, 0);  // entry 0 has no name
    size_t offset = 0;
    for (const C_Entry& e : m_cats) {
        qiv::putU16(out, static_cast<uint16_t>(offset));
        offset += e.name.size() + 1;
    }
    for (const C_Entry& e : m_cats)
        qiv::putCString(out, e.name);
    return out;
}

qiv::C_FileError C_CatsWriter::writeFile(const std::filesystem::path& path) const {
    return writeFileReplacing(path, bytes());
}

}  // namespace kov
