#include "engine/dict/tailo_writer.h"

#include <algorithm>
#include <stdexcept>

#include "engine/dict/replacing_write.h"
#include "qiv/byte_cursor.h"

namespace kov {

namespace {

using qiv::putCString;
using qiv::putU16;
using qiv::putU32;

void setU32(std::string& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

// Keys are compared byte-wise and bounded by the byte 0x7F in range searches, so only printable
// ASCII is stored as a key.
std::string checkKey(std::string_view key) {
    if (key.empty()) return "Empty key";
    for (unsigned char c : key)
        if (c < 0x21 || c > 0x7E) return "Key \"" + std::string(key) + "\" holds a byte outside printable ASCII";
    return {};
}

std::string checkRecord(const C_TailoRecord& rec) {
    if (rec.type != 'T' && rec.type != 'H') return "Record type is neither T nor H";
    if (auto e = checkStoredText("Word", rec.word); !e.empty()) return e;
    for (uint8_t c : rec.cats)
        if (c == 0 || c == 255) return "Category " + std::to_string(c) + " of \"" + rec.word + "\" is outside 1..254";
    return {};
}

}  // namespace

std::string checkStoredText(std::string_view what, std::string_view text) {
    if (text.empty()) return std::string(what) + " is empty";
    if (text.find('\0') != std::string_view::npos) return std::string(what) + " holds a NUL character";
    return {};
}

std::string C_TailoWriter::addRecord(E_TailoSection section, std::string_view key, const C_TailoRecord& rec) {
    if (size_t(section) > 2) return "Unknown section";
    if (auto e = checkKey(key); !e.empty()) return e;
    if (auto e = checkRecord(rec); !e.empty()) return e;
    T_Records& list = m_sections[size_t(section)][std::string(key)];
    for (C_TailoRecord& old : list) {
        if (old.type != rec.type || old.word != rec.word) continue;
        for (uint8_t c : rec.cats)
            if (std::find(old.cats.begin(), old.cats.end(), c) == old.cats.end()) old.cats.push_back(c);
        old.weight = std::max(old.weight, rec.weight);
        return {};
    }
    C_TailoRecord copy = rec;
    std::vector<uint8_t> cats;
    for (uint8_t c : copy.cats)
        if (std::find(cats.begin(), cats.end(), c) == cats.end()) cats.push_back(c);
    copy.cats = std::move(cats);
    list.push_back(std::move(copy));
    return {};
}

std::string C_TailoWriter::addHan(std::string_view han) {
    if (auto e = checkStoredText("Han word", han); !e.empty()) return e;
    m_han[std::string(han)];
    return {};
}

std::string C_TailoWriter::addReading(std::string_view han, std::string_view reading) {
    if (auto e = checkStoredText("Han word", han); !e.empty()) return e;
    if (auto e = checkStoredText("Reading", reading); !e.empty()) return e;
    auto& list = m_han[std::string(han)];
    if (std::find(list.begin(), list.end(), reading) == list.end()) list.emplace_back(reading);
    return {};
}

size_t C_TailoWriter::recordCount() const {
    size_t n = 0;
    for (const auto& sec : m_sections)
        for (const auto& [key, list] : sec) n += list.size();
    return n;
}

std::string C_TailoWriter::bytes() const {
    std::string pool;
    std::vector<uint64_t> offsets;
    offsets.reserve(m_sections[0].size() + m_sections[1].size() + m_sections[2].size() + m_han.size());
    for (const auto& sec : m_sections) {
        for (const auto& [key, list] : sec) {
            offsets.push_back(pool.size());
            putCString(pool, key);
            for (const C_TailoRecord& rec : list) {
                pool += rec.type;
                pool += char(rec.weight);
                for (uint8_t c : rec.cats) pool += char(c);
                pool += '\0';
                putCString(pool, rec.word);
            }
            pool += '\0';
        }
    }
    for (const auto& [han, readings] : m_han) {
        offsets.push_back(pool.size());
        putCString(pool, han);
        for (const std::string& r : readings) putCString(pool, r);
        pool += '\0';
    }
    if (pool.size() > UINT32_MAX || offsets.size() > (UINT32_MAX - kHeaderSize) / 4)
        throw std::length_error("Dictionary pool too large for 32-bit offsets");

    std::string out;
    out.reserve(kHeaderSize + 4 * offsets.size() + pool.size());
    putU16(out, 0xFEFF);
    putU16(out, kVersion);
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, uint32_t(m_sections[0].size()));
    putU32(out, uint32_t(m_sections[1].size()));
    putU32(out, uint32_t(m_sections[2].size()));
    putU32(out, uint32_t(m_han.size()));
    putU32(out, m_catsHash);
    const size_t arrays = out.size();
    out.resize(arrays + 4 * offsets.size());
    for (size_t i = 0; i < offsets.size(); ++i) setU32(out, arrays + 4 * i, uint32_t(offsets[i]));
    out += pool;
    return out;
}

std::string C_TailoWriter::writeFile(const std::filesystem::path& path) const {
    try {
        return writeFileReplacing(path, bytes());
    } catch (const std::exception& e) {
        return e.what();
    }
}

}  // namespace kov
