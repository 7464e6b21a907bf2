#pragma once
// Byte strings written as lists of byte values, for texts with NULs, bytes above 0x7F or
// broken encodings that a string literal would hide or split.

#include <initializer_list>
#include <string>

namespace kov::test {

// The bytes in order; each value is taken modulo 256.
inline std::string bytes(std::initializer_list<unsigned> list) {
    std::string s;
    for (unsigned b : list)
        s += static_cast<char>(b);
    return s;
}

}  // namespace kov::test
