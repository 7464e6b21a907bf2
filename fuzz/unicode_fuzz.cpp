// The Unicode reader: any bytes, read with detection and with the code page the first byte
// picks from the detection list, once over the memory range and once through a byte source.
// Both ways must yield the same code points and the same error, and toUtf8 must agree.

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "qiv/unicode_reader.h"
#include "qiv/utf8.h"

namespace {

struct C_Read {
    std::vector<uint32_t> codePoints;
    int error = 0;
    unsigned codePage = 0;
    bool operator==(const C_Read&) const = default;
};

C_Read drain(qiv::C_UnicodeReader reader) {
    C_Read out;
    // A reader ends: each step takes at least one byte or stops; a bound catches a loop.
    for (size_t steps = 0; auto cp = reader.next(); ++steps) {
        if (steps > (1u << 20))
            std::abort();
        out.codePoints.push_back(*cp);
    }
    out.error = reader.error();
    out.codePage = reader.codePage();
    return out;
}

std::optional<std::string> utf8Of(std::span<const char> bytes, unsigned codePage) {
    qiv::C_UnicodeReader reader(bytes, codePage);
    try {
        return qiv::toUtf8(reader);
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const auto pages = qiv::C_UnicodeReader::detectionCodePages();
    const unsigned picked = data[0] < pages.size() ? pages[data[0]] : 0;
    const std::span<const char> bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    for (const unsigned codePage : {0u, picked}) {
        const C_Read fromMemory = drain(qiv::C_UnicodeReader(bytes, codePage));
        const C_Read fromSource = drain(qiv::C_UnicodeReader(
            qiv::FC_ReadMem{bytes.data(), bytes.data() + bytes.size()}, codePage));
        if (!(fromMemory == fromSource))
            std::abort();
        const auto text = utf8Of(bytes, codePage);
        if (fromMemory.error != 0) {
            if (text)
                std::abort();  // a failed read must not convert
            continue;
        }
        std::string expected;
        bool encodable = true;
        for (uint32_t cp : fromMemory.codePoints) {
            char buf[4];
            const int n = qiv::encodeUtf8(cp, buf);
            encodable &= n > 0;
            if (n > 0)
                expected.append(buf, static_cast<size_t>(n));
        }
        if (text.has_value() != encodable || (text && *text != expected))
            std::abort();
    }
    return 0;
}
