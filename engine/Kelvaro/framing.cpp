#include "engine/Kelvaro/framing.h"

#include <charconv>

#include "qiv/byte_cursor.h"

namespace kov {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::optional<std::uint32_t> parseLengthPrefix(std::string_view prefix, std::uint32_t maxBody) {
    if (prefix.size() > kMaxLengthPrefix)
        return std::nullopt;
    size_t pos = 0;
    while (pos < prefix.size() && isBlank(prefix[pos]))
        ++pos;
    if (pos < prefix.size() && prefix[pos] == '+')
        ++pos;
    std::uint64_t value = 0;
    size_t digits = 0;
    for (; pos < prefix.size() && prefix[pos] >= '0' && prefix[pos] <= '9'; ++pos, ++digits) {
        value = value * 10 + static_cast<unsigned>(prefix[pos] - '0');
        if (value > maxBody)
            return std::nullopt;
    }
    if (digits == 0)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

void appendFrame(std::string& out, std::string_view body) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, body.size());
    out.append(digits, end);
    out.push_back('\0');
    out.append(body);
}

bool jsonDepthWithin(std::string_view text, std::size_t maxDepth) {
    std::size_t depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth)
                return false;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

void C_FrameReader::feed(std::string_view bytes) {
    if (m_malformed)
        return;
    // Drop what was taken before growing, so the buffer never holds more than one frame and
    // one read beyond it.
    if (m_consumed > 0 && (m_consumed == m_received.size() || m_consumed >= 4096)) {
        m_received.erase(0, m_consumed);
        m_consumed = 0;
    }
    m_received.append(bytes);
}

C_FrameReader::E_Next C_FrameReader::next(std::string_view& body) {
    if (m_malformed)
        return MALFORMED;
    const qiv::C_ByteCursor rest(std::string_view(m_received).substr(m_consumed));
    size_t at = 0;
    if (!m_bodyLength) {
        // The 0x00 must come within the first kMaxLengthPrefix + 1 bytes.
        const qiv::C_ByteCursor head = rest.sub(0, std::min(rest.size(), kMaxLengthPrefix + 1));
        const auto prefix = head.cStringAt(0);
        if (!prefix) {
            if (rest.size() > kMaxLengthPrefix) {
                m_malformed = true;
                return MALFORMED;
            }
            return NEED_MORE;
        }
        m_bodyLength = parseLengthPrefix(*prefix, m_maxBody);
        if (!m_bodyLength) {
            m_malformed = true;
            return MALFORMED;
        }
        at = prefix->size() + 1;
        m_consumed += at;
    }
    const auto bytes = rest.bytesAt(at, *m_bodyLength);
    if (!bytes)
        return NEED_MORE;
    body = *bytes;
    m_consumed += bytes->size();
    m_bodyLength.reset();
    return FRAME;
}

}  // namespace kov
