#include "tests/support/cats_fixture.h"

#include <stdexcept>

namespace kov::test {

namespace {
void u8(std::string& out, uint8_t v) { out.push_back(static_cast<char>(v)); }
void u16(std::string& out, uint16_t v) {
    u8(out, static_cast<uint8_t>(v & 0xFF));
    u8(out, static_cast<uint8_t>(v >> 8));
}
void u32(std::string& out, uint32_t v) {
    u16(out, static_cast<uint16_t>(v & 0xFFFF));
    u16(out, static_cast<uint16_t>(v >> 16));
}
}  // namespace

std::string C_CatsFixture::bytes() const {
    std::string out;
    u16(out, bom);
    u16(out, version);
    u32(out, hash);
    u8(out, countByte ? *countByte : static_cast<uint8_t>(cats.size() + 1));
    u8(out, entry0Parent);
    for (const C_Cat& c : cats)
        u8(out, c.parent);
    u16(out, entry0Offset ? *entry0Offset : 0);
    size_t offset = 0;
    for (const C_Cat& c : cats) {
        u16(out, static_cast<uint16_t>(offset));
        offset += c.name.size() + 1;
    }
    for (const C_Cat& c : cats) {
        out += c.name;
        out.push_back('\0');
    }
    return out;
}

C_CatsFixture sampleCats() {
    C_CatsFixture f;
    f.cats = {{"noun", 0}, {"place", 1}, {"city", 2}};
    return f;
}

std::string truncated(std::string_view bytes, size_t size) {
    return std::string(bytes.substr(0, size));
}

std::string patched(std::string_view bytes, size_t offset, std::string_view with) {
    if (offset > bytes.size() || with.size() > bytes.size() - offset)
        throw std::out_of_range("patch outside the file");
    std::string out(bytes);
    out.replace(offset, with.size(), with);
    return out;
}

std::string patchedU8(std::string_view bytes, size_t offset, uint8_t v) {
    std::string b;
    u8(b, v);
    return patched(bytes, offset, b);
}

std::string patchedU16(std::string_view bytes, size_t offset, uint16_t v) {
    std::string b;
    u16(b, v);
    return patched(bytes, offset, b);
}

}  // namespace kov::test
