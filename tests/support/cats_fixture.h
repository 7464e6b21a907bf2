#pragma once
// Writes "cats.tab" bytes field by field from a description, on its own (not through the
// production writer), so that tests can check the writer and the reader against it, plus the
// damaged variants that the reader must survive.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kov::test {

struct C_CatsFixture {
    struct C_Cat {
        std::string name;
        uint8_t parent = 0;
    };

    uint16_t bom = 0xFEFF;
    uint16_t version = 0x0100;
    uint32_t hash = 0x12345678;
    std::vector<C_Cat> cats;             // category i + 1 at [i]
    std::optional<uint8_t> countByte;    // stored instead of cats.size() + 1
    std::optional<uint16_t> entry0Offset;  // stored as entry 0's name offset (normally 0)
    uint8_t entry0Parent = 0;

    // The file: header, parent table, name offsets, pool of NUL-terminated names.
    std::string bytes() const;
    // Offsets of the tables within bytes() (for patches).
    size_t parentsAt() const { return 9; }
    size_t offsetsAt() const { return 9 + (cats.size() + 1); }
    size_t poolAt() const { return 9 + 3 * (cats.size() + 1); }
};

// The four-entry sample: 1 "noun" top level, 2 "place" under 1, 3 "city" under 2;
// hash 0x12345678; 37 bytes.
C_CatsFixture sampleCats();

// Damage helpers over any file bytes.
std::string truncated(std::string_view bytes, size_t size);
std::string patched(std::string_view bytes, size_t offset, std::string_view with);
std::string patchedU8(std::string_view bytes, size_t offset, uint8_t v);
std::string patchedU16(std::string_view bytes, size_t offset, uint16_t v);

}  // namespace kov::test
