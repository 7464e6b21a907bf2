#include "engine/dict/tailo_writer.h"

#include <algorithm>
#include <stdexcept>

#include "engine/dict/file_layouts.h"
#include "engine/dict/replacing_write.h"
#include "qiv/byte_cursor.h"

namespace kov {

namespace {

using qiv::putCString;
using qiv::putU16;
using qiv::putU32;

void setU32(std::string& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

qiv::C_FileError refused(std::string text) { return {qiv::E_FileError::REFUSED, std::move(text)}; }

// Keys are compared byte-wise and bounded by the byte 0x7F in range searches, so only printable
// ASCII is stored as a key.
qiv::C_FileError checkKey(std::string_view key) {
    if (key.empty())
        return refused("Empty key");
    for (unsigned char c : key)
        if (c < 0x21 || c > 0x7E)
            return refused("Key \"" + std::string(key) + "\" holds a byte outside printable ASCII");
    return {};
}

qiv::C_FileError checkRecord(const C_TailoRecord& rec) {
    if (rec.type != tailo_layout::kWordRecord && rec.type != tailo_layout::kHanRecord)
        return refused("Record type is neither T nor H");
    if (auto e = checkStoredText("Word", rec.word); !e.ok())
        return e;
    for (uint8_t c : rec.cats)
        if (c == 0 || c == 255)
            return refused("Category " + std::to_string(c) + " of \"" + rec.word +
                           "\" is outside 1..254");
    return {};
}

}  // namespace

qiv::C_FileError checkStoredText(std::string_view what, std::string_view text) {
    if (text.empty())
        return refused(std::string(what) + " is empty");
    if (text.find('\0') != std::string_view::npos)
        return refused(std::string(what) + " holds a NUL character");
    return {};
}

qiv::C_FileError C_TailoWriter::addRecord(E_TailoSection section, std::string_view key,
                                          const C_TailoRecord& rec) {
    if (size_t(section) > 2)
        return refused("Unknown section");
    if (auto e = checkKey(key); !e.ok())
        return e;
    if (auto e = checkRecord(rec); !e.ok())
        return e;
    T_Records& list = m_sections[size_t(section)][std::string(key)];
    for (C_TailoRecord& old : list) {
        if (old.type != rec.type || old.word != rec.word)
            continue;
        for (uint8_t c : rec.cats)
            if (std::find(old.cats.begin(), old.cats.end(), c) == old.cats.end())
                old.cats.push_back(c);
        old.weight = std::max(old.weight, rec.weight);
        return {};
    }
    C_TailoRecord copy = rec;
    std::vector<uint8_t> cats;
    for (uint8_t c : copy.cats)
        if (std::find(cats.begin(), cats.end(), c) == cats.end())
            cats.push_back(c);
    copy.cats = std::move(cats);
    list.push_back(std::move(copy));
    return {};
}

qiv::C_FileError C_TailoWriter::addHan(std::string_view han) {
    if (auto e = checkStoredText("Han word", han); !e.ok())
        return e;
    m_han[std::string(han)];
    return {};
}

qiv::C_FileError C_TailoWriter::addReading(std::string_view han, std::string_view reading) {
    if (auto e = checkStoredText("Han word", han); !e.ok())
        return e;
    if (auto e = checkStoredText("Reading", reading); !e.ok())
        return e;
    auto& list = m_han[std::string(han)];
    if (std::find(list.begin(), list.end(), reading) == list.end())
        list.emplace_back(reading);
    return {};
}

size_t C_TailoWriter::recordCount() const {
    size_t n = 0;
    for (const auto& sec : m_sections)
        for (const auto& [key, list] : sec)
            n += list.size();
    return n;
}

qiv::C_FileError C_TailoWriter::bytes(std::string& out) const {
    using namespace tailo_layout;
    out.clear();
    std::string pool;
    std::vector<uint64_t> offsets;
    offsets.reserve(m_sections[0].size() + m_sections[1].size() + m_sections[2].size() +
                    m_han.size());
    for (const auto& sec : m_sections) {
        for (const auto& [key, list] : sec) {
            offsets.push_back(pool.size());
            putCString(pool, key);
            for (const C_TailoRecord& rec : list) {
                pool += rec.type;
                pool += char(rec.weight);
                for (uint8_t c : rec.cats)
                    pool += char(c);
                pool += '\0';
                putCString(pool, rec.word);
            }
            pool += '\0';
        }
    }
    for (const auto& [han, readings] : m_han) {
        offsets.push_back(pool.size());
        putCString(pool, han);
        for (const std::string& r : readings)
            putCString(pool, r);
        pool += '\0';
    }
    if (pool.size() > UINT32_MAX || offsets.size() > (UINT32_MAX - kHeaderSize) / 4)
        return refused("Dictionary pool too large for 32-bit offsets");

    out.reserve(poolAt(offsets.size()) + pool.size());
    putU16(out, kMark);
    putU16(out, kVersion);
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, uint32_t(m_sections[0].size()));
    putU32(out, uint32_t(m_sections[1].size()));
    putU32(out, uint32_t(m_sections[2].size()));
    putU32(out, uint32_t(m_han.size()));
    putU32(out, m_catsHash);
    out.resize(poolAt(offsets.size()));
    for (size_t i = 0; i < offsets.size(); ++i)
        setU32(out, kOffsetsAt + 4 * i, uint32_t(offsets[i]));
    out += pool;
    return {};
}

std::string C_TailoWriter::bytes() const {
    std::string out;
    if (const qiv::C_FileError e = bytes(out); !e.ok())
        throw std::length_error(e.text);
    return out;
}

qiv::C_FileError C_TailoWriter::writeFile(const std::filesystem::path& path) const {
    std::string out;
    if (qiv::C_FileError e = bytes(out); !e.ok())
        return e;
    return writeFileReplacing(path, out);
}

}  // namespace kov
