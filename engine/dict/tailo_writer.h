#pragma once
// Writer of the system dictionary file "tailo.tab": the toned word keys (A), the exact keys (B),
// the key arrays (C) and the Han words with their readings (D), each section sorted in key
// order, tied to its category table by the table's hash. It writes exactly what C_TailoDB reads
// and refuses anything the reader would misread (NUL inside a text, bad categories, a pool
// beyond the reach of 32-bit offsets). Not responsible for deriving keys from Tai-lo text: the
// dictionary compiler does that.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "qiv/file_error.h"

namespace kov {

enum class E_TailoSection : uint8_t {
    TONED = 0,  // A: one-syllable words under their toned key, e.g. "ka1"
    EXACT = 1,  // B: words under their exact typed form
    KARR = 2,   // C: words under their key array, e.g. "tai5-gi2"
};

// One vocabulary record: 'T' (Tai-lo word) or 'H' (Han word, readings in section D).
struct C_TailoRecord {
    char type = 'T';
    int8_t weight = 0;
    std::vector<uint8_t> cats;  // category numbers 1..254
    std::string word;
};

class C_TailoWriter {
public:
    explicit C_TailoWriter(uint32_t catsHash = 0) : m_catsHash(catsHash) {}

    void setCatsHash(uint32_t hash) { m_catsHash = hash; }
    uint32_t catsHash() const { return m_catsHash; }

    // Files rec under key. A record of the same type and word under the same key is merged:
    // categories united in order, the higher weight kept. REFUSED with the reason for a record
    // the file cannot hold (nothing is added then).
    qiv::C_FileError addRecord(E_TailoSection section, std::string_view key,
                               const C_TailoRecord& rec);

    // Appends a reading of a Han word (repeats are dropped); REFUSED as addRecord.
    qiv::C_FileError addReading(std::string_view han, std::string_view reading);
    // Makes sure the Han word has an entry, possibly without readings; REFUSED as addRecord.
    qiv::C_FileError addHan(std::string_view han);

    size_t entryCount(E_TailoSection section) const { return m_sections[size_t(section)].size(); }
    size_t hanCount() const { return m_han.size(); }
    size_t recordCount() const;

    // The whole file into out; REFUSED "Dictionary pool too large for 32-bit offsets" (out
    // left empty) when the entries do not fit the format's offsets.
    qiv::C_FileError bytes(std::string& out) const;
    // The whole file, for callers whose entries are known to fit (fixtures and tests); one
    // that does not fit is the caller's mistake and throws std::length_error.
    std::string bytes() const;
    // Writes bytes() to "<path>.tmp" and renames it over path (writeFileReplacing).
    qiv::C_FileError writeFile(const std::filesystem::path& path) const;

private:
    using T_Records = std::vector<C_TailoRecord>;
    std::map<std::string, T_Records> m_sections[3];
    std::map<std::string, std::vector<std::string>> m_han;
    uint32_t m_catsHash;
};

// Shared by the writer and the compiler: NONE when text may be stored as a NUL-terminated
// field, else REFUSED "<what> is empty" or "<what> holds a NUL character".
qiv::C_FileError checkStoredText(std::string_view what, std::string_view text);

}  // namespace kov
