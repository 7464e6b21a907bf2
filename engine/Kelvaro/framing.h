// The wire format of the pipe, both ways: frames of an ASCII decimal length, one 0x00 byte and
// a body of exactly that many bytes (one JSON text in UTF-8), back to back.
//
// Reading is lenient where front ends rely on it and strict where a client could hurt the
// server: the length is read with the rules of std::stoul (leading white space, an optional
// "+", digits, anything after the digits up to the 0x00 ignored), but at most
// kMaxLengthPrefix bytes may stand before the 0x00, a "-" sign is refused and the length may
// not pass kMaxFrameBody. A frame that breaks these rules is malformed; the reader then stops.
//
// Not responsible for: what the JSON means (sessions), or when bytes arrive (streams).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kov {

// Bytes that may stand before the 0x00 of a frame.
inline constexpr std::size_t kMaxLengthPrefix = 32;
// The longest body a frame may announce: 16 MiB.
inline constexpr std::uint32_t kMaxFrameBody = 16u * 1024 * 1024;
// Output a session may hold unsent before it is closed: 64 MiB.
inline constexpr std::size_t kMaxUnsentOutput = 64u * 1024 * 1024;
// The deepest nesting of arrays and objects a request body may hold. Copying and writing JSON
// recurse once per level, so a deeper body could exhaust the stack of the whole server.
inline constexpr std::size_t kMaxJsonDepth = 512;

// The body length of the bytes before a frame's 0x00; nullopt when they are refused: more than
// kMaxLengthPrefix bytes, no digits after the white space and sign, a "-" sign, or a value
// above maxBody.
std::optional<std::uint32_t> parseLengthPrefix(std::string_view prefix,
                                               std::uint32_t maxBody = kMaxFrameBody);

// Appends the frame of body: its decimal length, 0x00 and the body.
void appendFrame(std::string& out, std::string_view body);

// True when no array or object of the JSON text nests deeper than maxDepth (the text is not
// checked otherwise; brackets inside strings do not count).
bool jsonDepthWithin(std::string_view text, std::size_t maxDepth);

// Cuts a byte stream into frame bodies as the bytes come.
class C_FrameReader {
public:
    // maxBody: the longest body accepted (a client reading the server's output allows more
    // than the server allows its clients).
    explicit C_FrameReader(std::uint32_t maxBody = kMaxFrameBody) : m_maxBody(maxBody) {}

    enum E_Next {
        NEED_MORE,  // no whole frame yet
        FRAME,      // body holds the next frame's body
        MALFORMED,  // the stream broke a framing rule; nothing more is read from it
    };

    void feed(std::string_view bytes);
    // Takes the next whole frame out of the bytes fed so far. body stays valid until the next
    // call of feed or next.
    E_Next next(std::string_view& body);
    // Bytes fed and not yet taken.
    std::size_t buffered() const { return m_received.size() - m_consumed; }

private:
    std::uint32_t m_maxBody;
    std::string m_received;
    std::size_t m_consumed = 0;                 // bytes at the front of m_received already taken
    std::optional<std::uint32_t> m_bodyLength;  // of the frame whose prefix was taken
    bool m_malformed = false;
};

}  // namespace kov
