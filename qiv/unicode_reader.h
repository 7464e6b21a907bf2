#pragma once
// Reading text of unknown encoding: C_UnicodeReader detects the encoding of a byte sequence
// (byte-order marks, a UTF-32 test, the system's UTF-16 test, then trial decoding with a list
// of code pages) and yields its code points; toUtf8 drains a reader into a UTF-8 string.
//
// Not responsible for: normalising the text or checking that it is Tai-lo.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace qiv {

// Error codes of a reader; 0 means none.
enum E_UnicodeReadError : int {
    kUnpairedSurrogate = -1,  // UTF-16: a surrogate without its partner
    kTruncatedText = -2,      // the text ends inside a character
    kCodePageFailed = -3,     // the code-page conversion failed
    kInvalidCodePoint = -4,   // UTF-32: a surrogate or a value above U+10FFFF
    kDetectionOverrun = -9,   // detection found more than 4 bytes where it expected at most 4
};

// The byte source over a memory range.
struct FC_ReadMem {
    const char* m_cur;
    const char* m_end;
    std::optional<char> operator()() {
        if (m_cur == m_end)
            return std::nullopt;
        return *m_cur++;
    }
};

class C_UnicodeReader {
public:
    using ByteSource = std::function<std::optional<char>()>;

    // Reads the bytes; codePage 0 means the encoding is detected, any other value is the code
    // page of a text without byte-order mark. Detection runs at once.
    explicit C_UnicodeReader(std::span<const char> bytes, unsigned codePage = 0);
    explicit C_UnicodeReader(ByteSource source, unsigned codePage = 0);

    // The next code point, or nothing at the end of the text or after an error (see error()).
    std::optional<std::uint32_t> next();

    int error() const { return m_error; }
    // 65001 for UTF-8, the code page found or given, 0 while none is known (and for UTF-16/32).
    unsigned codePage() const { return m_codePage; }

    // Code pages that detection tries, in order.
    static std::span<const unsigned> detectionCodePages();

private:
    using Reader = bool (C_UnicodeReader::*)();

    void detect_();
    std::size_t fill_(std::size_t n);
    std::size_t available_() const { return m_buffer.size() - m_AvailBeg; }
    void advance_(std::size_t n);
    std::uint32_t unitAt_(std::size_t index, std::size_t width, bool bigEndian) const;
    std::size_t gatherChunk_();
    bool decodeQueued_(unsigned codePage, std::size_t size);
    bool trySample_(std::size_t size, bool sourceEnded);
    bool pullByte_();
    void fail_(int error);

    // Per-character readers: each call queues code points, sets an error, or returns false at
    // the end of the text.
    bool readUtf16Le_();
    bool readUtf16Be_();
    bool readUtf16_(bool bigEndian);
    bool readUtf32Le_();
    bool readUtf32Be_();
    bool readUtf32_(bool bigEndian);
    bool readChunk_();
    bool readCodePage_();

    ByteSource m_source;
    std::string m_buffer;
    std::size_t m_AvailBeg = 0;
    bool m_sourceEnded = false;
    std::deque<std::uint32_t> m_queue;
    unsigned m_codePage = 0;
    int m_error = 0;
    Reader m_reader = nullptr;
};

// The whole text as UTF-8. Throws std::runtime_error "UTF-8 conversion error " and the error
// code when the reader fails, or -1 for a code point that UTF-8 cannot hold.
std::string toUtf8(C_UnicodeReader& reader);

}  // namespace qiv
