#pragma once
// Writer of the category table file "cats.tab": the byte-order mark, the version, the table's
// hash, the number of entries (entry 0, "no category", included), one parent byte and one name
// offset per entry, and the pool of NUL-terminated names. It writes exactly what C_TailoCats
// reads and refuses what the reader or the user dictionary files would misread: empty names,
// names holding a NUL, parents that are not an earlier category, more than 254 categories, a
// name pool beyond 16-bit offsets.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qiv/file_error.h"

namespace kov {

class C_CatsWriter {
public:
    static constexpr size_t kMaxCats = 254;  // numbers 1..254; the count byte holds 255 entries

    struct C_Entry {
        std::string name;
        uint8_t parent = 0;
    };

    // Adds the next category (number = catCount() + 1) under parent (0: top level, else an
    // earlier category). REFUSED with the reason for a category the files cannot hold; a
    // refused category is not added.
    qiv::C_FileError add(std::string_view name, uint8_t parent = 0);

    // The hash stored in the file; without one set, contentHash() of the entries.
    void setHash(uint32_t hash) { m_hash = hash; }
    uint32_t hash() const;
    // A 32-bit FNV-1a hash over the parents and names, so that a dictionary compiled against
    // one table is refused with another.
    uint32_t contentHash() const;

    size_t catCount() const { return m_cats.size(); }
    const std::vector<C_Entry>& cats() const { return m_cats; }  // category i + 1 at [i]
    // The number of the category with this name (the first one), or nullopt.
    std::optional<uint8_t> find(std::string_view name) const;

    // The whole file.
    std::string bytes() const;
    // Writes bytes() to "<path>.tmp" and renames it over path (writeFileReplacing).
    qiv::C_FileError writeFile(const std::filesystem::path& path) const;

private:
    std::vector<C_Entry> m_cats;
    size_t m_poolSize = 0;
    std::optional<uint32_t> m_hash;
};

}  // namespace kov
