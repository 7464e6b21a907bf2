#include "platform/text_classify.h"

#include <cstddef>

namespace kov::platform {

// Mirrors the results of the Windows test on clear-cut samples: UTF-16 text of Latin script
// is mostly units up to 0xFF and holds blanks or line breaks; ASCII and UTF-8 text hold no zero
// bytes and so pass none of the tests.
unsigned textUnicodeTests(std::string_view bytes, unsigned tests) {
    std::size_t size = bytes.size();
    if (size < 2)
        return 0;
    if (bytes[size - 1] == '\0')
        --size;
    std::size_t units = size / 2;
    if (units > 256)
        units = 256;
    if (units == 0)
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    auto unitAt = [p](std::size_t i) -> unsigned { return p[2 * i] | (p[2 * i + 1] << 8); };

    unsigned found = 0;
    std::size_t small = 0;
    for (std::size_t i = 0; i < units; ++i) {
        const unsigned u = unitAt(i);
        if (u <= 0xFF)
            ++small;
        if (u == 0x000D || u == 0x000A || u == 0x0009 || u == 0x0020 || u == 0x3000)
            found |= kUnicodeControls;
        if (u == 0x0D00 || u == 0x0A00 || u == 0x0900 || u == 0x2000)
            found |= kReverseUnicodeControls;
    }
    if (small > units / 2)
        found |= kUnicodeStatistics;
    if (unitAt(0) == 0xFEFF)
        found |= kUnicodeSignature;
    if (unitAt(0) == 0xFFFE)
        found |= kReverseUnicodeSignature;
    return found & tests;
}

}  // namespace kov::platform
