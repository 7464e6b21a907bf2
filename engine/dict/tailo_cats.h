#pragma once
// The category table over a mapped "cats.tab": names and parents of the word categories, which
// form a tree through their parents (0 is none and the parent of a top-level category). Built
// once at start-up and never changed; any thread may query it without a lock.
//
// The file is not trusted: a table whose header, parent table, name offsets or names do not
// fit inside the file is invalid, and an invalid table answers every query as for an unknown
// category.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "engine/dict/mapped_file.h"
#include "engine/dict/tailo_db.h"
#include "qiv/byte_cursor.h"

namespace kov {

class C_TailoCats : public I_TailoCats {
public:
    explicit C_TailoCats(const std::filesystem::path& path);

    std::string_view catName(uint8_t cat) const override;
    uint8_t parentCat(uint8_t cat) const override;

    // The start of the file when its header and tables are valid, else null.
    const void* header() const { return m_header; }
    // The hash the system dictionary names to tie itself to this table; nullopt when invalid.
    std::optional<uint32_t> hash() const;
    // N: the number of entries, entry 0 included; 0 when invalid.
    size_t count() const { return m_count; }
    // Why the table is invalid: the mapped file's error, FORMAT for another mark or version,
    // DAMAGED for a table that does not fit its file; NONE when valid.
    const qiv::C_FileError& error() const { return m_error; }
    const C_MappedFile& file() const { return m_file; }

private:
    bool validate_() const;

    C_MappedFile m_file;
    const void* m_header = nullptr;
    qiv::C_ByteCursor m_bytes;  // the whole file
    size_t m_parents = 0;       // offsets of the tables within the file
    size_t m_count = 0;
    size_t m_nameOffsets = 0;
    size_t m_pool = 0;
    qiv::C_FileError m_error;
};

}  // namespace kov
