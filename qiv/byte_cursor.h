// The one bounded reader for bytes that come from outside the program (mapped dictionary
// files, saved user files, pipe buffers). Every read is checked against the end of the
// range: a read that does not fit fails, returns false (or an empty optional) and leaves the
// cursor where it was, so no parser can read past its input. Numbers are little-endian and
// assembled byte by byte, so unaligned fields are fine.
//
// The put* helpers at the end are the matching writers for building such bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qiv {

static_assert(std::numeric_limits<float>::is_iec559, "f32 fields need IEEE 754 binary32");

class C_ByteCursor {
public:
    C_ByteCursor() = default;
    C_ByteCursor(const void* data, size_t size)
        : m_begin(static_cast<const unsigned char*>(data)), m_size(data ? size : 0) {}
    explicit C_ByteCursor(std::string_view bytes) : C_ByteCursor(bytes.data(), bytes.size()) {}
    explicit C_ByteCursor(std::span<const std::byte> bytes)
        : C_ByteCursor(bytes.data(), bytes.size()) {}

    // The whole range and the read position within it.
    const unsigned char* data() const { return m_begin; }
    size_t size() const { return m_size; }
    size_t pos() const { return m_pos; }
    size_t remaining() const { return m_size - m_pos; }
    bool atEnd() const { return m_pos == m_size; }
    // The bytes from the read position to the end.
    std::string_view rest() const { return view_(m_pos, remaining()); }

    // True when [offset, offset + length) lies inside the range (no overflow possible).
    bool fits(uint64_t offset, uint64_t length) const {
        return offset <= m_size && length <= m_size - offset;
    }

    // Moves the read position; fails (and stays) when the position lies past the end.
    bool seek(uint64_t offset) {
        if (offset > m_size)
            return false;
        m_pos = static_cast<size_t>(offset);
        return true;
    }
    bool skip(uint64_t n) {
        if (!fits(m_pos, n))
            return false;
        m_pos += static_cast<size_t>(n);
        return true;
    }

    // A cursor over [offset, offset + length) of this range, read position 0; an empty cursor
    // (size 0) when that does not fit.
    C_ByteCursor sub(uint64_t offset, uint64_t length) const {
        if (!fits(offset, length))
            return {};
        return C_ByteCursor(m_begin + offset, static_cast<size_t>(length));
    }
    // A cursor over the same range, positioned at offset; nullopt when offset is past the end.
    std::optional<C_ByteCursor> at(uint64_t offset) const {
        C_ByteCursor c = *this;
        if (!c.seek(offset))
            return std::nullopt;
        return c;
    }

    // Sequential reads at the read position.
    bool readU8(uint8_t& out) { return readLE_(out); }
    bool readI8(int8_t& out) {
        uint8_t b;
        if (!readU8(b))
            return false;
        out = static_cast<int8_t>(b);
        return true;
    }
    bool readU16(uint16_t& out) { return readLE_(out); }
    bool readU32(uint32_t& out) { return readLE_(out); }
    bool readU64(uint64_t& out) { return readLE_(out); }
    bool readF32(float& out) {
        uint32_t bits;
        if (!readU32(bits))
            return false;
        std::memcpy(&out, &bits, sizeof out);
        return true;
    }
    // Exactly n raw bytes.
    bool readBytes(uint64_t n, std::string_view& out) {
        if (!fits(m_pos, n))
            return false;
        out = view_(m_pos, static_cast<size_t>(n));
        m_pos += static_cast<size_t>(n);
        return true;
    }
    // A NUL-terminated string; out excludes the NUL, the cursor moves past it. Fails (and
    // stays) when no NUL lies before the end.
    bool readCString(std::string_view& out) {
        const auto s = cStringAt(m_pos);
        if (!s)
            return false;
        out = *s;
        m_pos += s->size() + 1;
        return true;
    }

    // Optional-returning forms of the sequential reads.
    std::optional<uint8_t> u8() { return get_<uint8_t>(&C_ByteCursor::readU8); }
    std::optional<uint16_t> u16() { return get_<uint16_t>(&C_ByteCursor::readU16); }
    std::optional<uint32_t> u32() { return get_<uint32_t>(&C_ByteCursor::readU32); }
    std::optional<float> f32() { return get_<float>(&C_ByteCursor::readF32); }
    std::optional<std::string_view> cString() {
        std::string_view s;
        if (!readCString(s))
            return std::nullopt;
        return s;
    }

    // Random-access reads at an absolute offset of the range; the read position is unchanged.
    std::optional<uint8_t> u8At(uint64_t offset) const { return peekLE_<uint8_t>(offset); }
    std::optional<uint16_t> u16At(uint64_t offset) const { return peekLE_<uint16_t>(offset); }
    std::optional<uint32_t> u32At(uint64_t offset) const { return peekLE_<uint32_t>(offset); }
    std::optional<float> f32At(uint64_t offset) const {
        const auto bits = u32At(offset);
        if (!bits)
            return std::nullopt;
        float f;
        std::memcpy(&f, &*bits, sizeof f);
        return f;
    }
    std::optional<std::string_view> bytesAt(uint64_t offset, uint64_t length) const {
        if (!fits(offset, length))
            return std::nullopt;
        return view_(static_cast<size_t>(offset), static_cast<size_t>(length));
    }
    // The NUL-terminated string that starts at offset (without its NUL); nullopt when offset
    // is past the end or no NUL follows before the end.
    std::optional<std::string_view> cStringAt(uint64_t offset) const {
        if (offset >= m_size)
            return std::nullopt;
        const size_t start = static_cast<size_t>(offset);
        const void* nul = std::memchr(m_begin + start, 0, m_size - start);
        if (!nul)
            return std::nullopt;
        return view_(
            start, static_cast<size_t>(static_cast<const unsigned char*>(nul) - (m_begin + start)));
    }

private:
    std::string_view view_(size_t offset, size_t length) const {
        if (length == 0)
            return {};
        return std::string_view(reinterpret_cast<const char*>(m_begin) + offset, length);
    }
    template <class T>
    std::optional<T> peekLE_(uint64_t offset) const {
        if (!fits(offset, sizeof(T)))
            return std::nullopt;
        T v = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            v = static_cast<T>(v | static_cast<T>(static_cast<T>(m_begin[offset + i]) << (8 * i)));
        return v;
    }
    template <class T>
    bool readLE_(T& out) {
        const auto v = peekLE_<T>(m_pos);
        if (!v)
            return false;
        out = *v;
        m_pos += sizeof(T);
        return true;
    }
    template <class T>
    std::optional<T> get_(bool (C_ByteCursor::*read)(T&)) {
        T v;
        if (!(this->*read)(v))
            return std::nullopt;
        return v;
    }

    const unsigned char* m_begin = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
};

// Little-endian writers matching the cursor's reads.
inline void putU8(std::string& out, uint8_t v) { out.push_back(static_cast<char>(v)); }
inline void putU16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}
inline void putU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void putF32(std::string& out, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    putU32(out, bits);
}
// The bytes of s followed by one NUL.
inline void putCString(std::string& out, std::string_view s) {
    out.append(s);
    out.push_back('\0');
}

}  // namespace qiv
