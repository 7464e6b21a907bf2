#include "qiv/unicode_reader.h"

#include <stdexcept>
#include <string_view>

#include "platform/codepage.h"
#include "platform/text_classify.h"
#include "qiv/utf8.h"

namespace qiv {
namespace {

constexpr unsigned kCodePages[] = {65001, 0, 932, 936, 949, 950, 951, 65000};

constexpr std::size_t kSampleSize = 1000;
// Words of a UTF-32 text are Unicode scalar values, all below this bound.
constexpr std::uint32_t kUtf32Bound = 0x110000;

std::uint32_t byteSwap32(std::uint32_t w) {
    return (w >> 24) | ((w >> 8) & 0xFF00) | ((w << 8) & 0xFF0000) | (w << 24);
}

bool isDoubleBytePage(unsigned cp) { return cp == 932 || cp == 936 || cp == 949 || cp == 950; }

// The length of a UTF-8 character that starts at the end of the sample and was cut by it: a
// lead byte followed by fewer continuation bytes than it announces. 0 when the sample ends on
// a character boundary (or on bytes that are no UTF-8 at all).
std::size_t incompleteUtf8Tail(std::string_view s) {
    for (std::size_t k = 1; k <= 3 && k <= s.size(); ++k) {
        const unsigned b = static_cast<unsigned char>(s[s.size() - k]);
        if ((b & 0xC0) == 0x80)
            continue;
        std::size_t len = 0;
        if (b >= 0xC2 && b <= 0xDF)
            len = 2;
        else if (b >= 0xE0 && b <= 0xEF)
            len = 3;
        else if (b >= 0xF0 && b <= 0xF4)
            len = 4;
        return len > k ? k : 0;
    }
    return 0;
}

}  // namespace

std::span<const unsigned> C_UnicodeReader::detectionCodePages() { return kCodePages; }

C_UnicodeReader::C_UnicodeReader(std::span<const char> bytes, unsigned codePage)
    : C_UnicodeReader(ByteSource(FC_ReadMem{bytes.data(), bytes.data() + bytes.size()}), codePage) {
}

C_UnicodeReader::C_UnicodeReader(ByteSource source, unsigned codePage)
    : m_source(std::move(source)) {
    if (!m_source)
        m_sourceEnded = true;
    m_codePage = codePage;
    detect_();
}

void C_UnicodeReader::fail_(int error) {
    m_error = error;
    m_reader = nullptr;
}

bool C_UnicodeReader::pullByte_() {
    if (m_sourceEnded)
        return false;
    std::optional<char> b = m_source();
    if (!b) {
        m_sourceEnded = true;
        return false;
    }
    m_buffer.push_back(*b);
    return true;
}

std::size_t C_UnicodeReader::fill_(std::size_t n) {
    if (available_() >= n)
        return available_();
    m_buffer.erase(0, m_AvailBeg);
    m_AvailBeg = 0;
    while (m_buffer.size() < n && pullByte_()) {
    }
    return available_();
}

void C_UnicodeReader::advance_(std::size_t n) {
    if (n > available_())
        throw std::runtime_error("m_AvailBeg overflow");
    m_AvailBeg += n;
}

std::uint32_t C_UnicodeReader::unitAt_(std::size_t index, std::size_t width, bool bigEndian) const {
    const std::size_t offset = m_AvailBeg + index * width;
    const std::size_t end = offset + width;
    if (end > m_buffer.size())
        throw std::runtime_error("End of char " + std::to_string(end) + " passes end of buffer");
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < width; ++k) {
        const std::size_t at = bigEndian ? offset + k : offset + width - 1 - k;
        value = (value << 8) | static_cast<unsigned char>(m_buffer[at]);
    }
    return value;
}

// Gathers bytes up to and including the first control character (which never occurs inside
// a multi-byte character), or to the end of the text. Returns the chunk's length.
std::size_t C_UnicodeReader::gatherChunk_() {
    m_buffer.erase(0, m_AvailBeg);
    m_AvailBeg = 0;
    std::size_t i = 0;
    for (;;) {
        for (; i < m_buffer.size(); ++i)
            if (static_cast<unsigned char>(m_buffer[i]) < 0x20)
                return i + 1;
        if (!pullByte_())
            return m_buffer.size();
    }
}

bool C_UnicodeReader::decodeQueued_(unsigned codePage, std::size_t size) {
    std::u32string decoded;
    if (!kov::platform::decodeCodePage(
            codePage, std::string_view(m_buffer).substr(m_AvailBeg, size), decoded))
        return false;
    // A conversion that yields what no text can hold has failed as well.
    for (const char32_t c : decoded)
        if (!isScalarValue(static_cast<unsigned>(c)))
            return false;
    m_queue.insert(m_queue.end(), decoded.begin(), decoded.end());
    advance_(size);
    return true;
}

// Trial decoding of the detection sample with each code page in turn. While the text goes on
// behind the sample, a character that the sample's end cuts in two is left out of the trial
// and stays in the buffer for the chunk reader.
bool C_UnicodeReader::trySample_(std::size_t size, bool sourceEnded) {
    if (size < 2)
        return false;
    const std::string_view sample = std::string_view(m_buffer).substr(m_AvailBeg, size);
    for (unsigned cp : kCodePages) {
        std::size_t lengths[2] = {size, 0};
        if (!sourceEnded) {
            if (cp == 65001)
                lengths[0] = size - incompleteUtf8Tail(sample);
            else if (isDoubleBytePage(cp) && static_cast<unsigned char>(sample.back()) >= 0x81)
                lengths[1] = size - 1;  // perhaps a lone lead byte
        }
        for (std::size_t len : lengths) {
            if (len == 0)
                continue;
            if (decodeQueued_(cp, len)) {
                m_codePage = cp;
                m_reader = &C_UnicodeReader::readChunk_;
                return true;
            }
        }
    }
    return false;
}

void C_UnicodeReader::detect_() {
    const unsigned givenCodePage = m_codePage;
    m_codePage = 0;
    const std::size_t avail = fill_(4);
    if (avail > 4) {
        fail_(kDetectionOverrun);
        return;
    }
    if (avail == 0)
        return;  // empty text
    auto byteAt = [this](std::size_t i) {
        return static_cast<unsigned char>(m_buffer[m_AvailBeg + i]);
    };
    if (avail == 1) {
        if (byteAt(0) < 0x80) {
            m_queue.push_back(byteAt(0));
            advance_(1);
        } else if (givenCodePage != 0) {
            // A single byte of a single-byte code page is a whole character.
            m_codePage = givenCodePage;
            m_reader = &C_UnicodeReader::readCodePage_;
        } else {
            fail_(kTruncatedText);
        }
        return;
    }
    if (avail == 4 && byteAt(0) == 0xFF && byteAt(1) == 0xFE && byteAt(2) == 0 && byteAt(3) == 0) {
        advance_(4);
        m_reader = &C_UnicodeReader::readUtf32Le_;
        return;
    }
    if (avail == 4 && byteAt(0) == 0 && byteAt(1) == 0 && byteAt(2) == 0xFE && byteAt(3) == 0xFF) {
        advance_(4);
        m_reader = &C_UnicodeReader::readUtf32Be_;
        return;
    }
    if (byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
        advance_(2);
        m_reader = &C_UnicodeReader::readUtf16Le_;
        return;
    }
    if (byteAt(0) == 0xFE && byteAt(1) == 0xFF) {
        advance_(2);
        m_reader = &C_UnicodeReader::readUtf16Be_;
        return;
    }
    if (avail >= 3 && byteAt(0) == 0xEF && byteAt(1) == 0xBB && byteAt(2) == 0xBF) {
        advance_(3);
        m_codePage = 65001;
        m_reader = &C_UnicodeReader::readChunk_;
        return;
    }
    if (givenCodePage != 0) {
        m_codePage = givenCodePage;
        m_reader = &C_UnicodeReader::readCodePage_;
        return;
    }

    // One byte beyond the sample tells whether the text goes on behind it.
    const std::size_t got = fill_(kSampleSize + 1);
    const bool sourceEnded = got <= kSampleSize;
    const std::size_t size = sourceEnded ? got : kSampleSize;
    const std::string_view sample = std::string_view(m_buffer).substr(m_AvailBeg, size);

    if (size % 4 == 0) {
        bool little = true;
        bool big = true;
        for (std::size_t i = 0; i < size / 4 && (little || big); ++i) {
            const std::uint32_t w = unitAt_(i, 4, false);
            const std::uint32_t swapped = byteSwap32(w);
            if (w >= kUtf32Bound && swapped >= kUtf32Bound) {
                little = big = false;
                break;
            }
            if (w == 0) {
                // U+0000 is no text character; a zero word rules UTF-32 out.
                little = big = false;
                break;
            }
            if (swapped >= kUtf32Bound)
                big = false;
            if (w >= kUtf32Bound)
                little = false;
        }
        if (big) {
            m_reader = &C_UnicodeReader::readUtf32Be_;
            return;
        }
        if (little) {
            m_reader = &C_UnicodeReader::readUtf32Le_;
            return;
        }
    }
    if (kov::platform::textUnicodeTests(sample, kov::platform::kUnicodeMask) != 0) {
        m_reader = &C_UnicodeReader::readUtf16Le_;
        return;
    }
    if (kov::platform::textUnicodeTests(sample, kov::platform::kReverseUnicodeMask) != 0) {
        m_reader = &C_UnicodeReader::readUtf16Be_;
        return;
    }
    if (trySample_(size, sourceEnded))
        return;
    m_codePage = 0;
    m_reader = &C_UnicodeReader::readCodePage_;
}

bool C_UnicodeReader::readUtf16Le_() { return readUtf16_(false); }
bool C_UnicodeReader::readUtf16Be_() { return readUtf16_(true); }
bool C_UnicodeReader::readUtf32Le_() { return readUtf32_(false); }
bool C_UnicodeReader::readUtf32Be_() { return readUtf32_(true); }

bool C_UnicodeReader::readUtf16_(bool bigEndian) {
    const std::size_t avail = fill_(2);
    if (avail == 0)
        return false;
    if (avail == 1) {
        fail_(kTruncatedText);
        return false;
    }
    const std::uint32_t unit = unitAt_(0, 2, bigEndian);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (fill_(4) < 4) {
            fail_(kTruncatedText);
            return false;
        }
        const std::uint32_t low = unitAt_(1, 2, bigEndian);
        if (low < 0xDC00 || low > 0xDFFF) {
            fail_(kUnpairedSurrogate);
            return false;
        }
        m_queue.push_back((((unit & 0x3FF) << 10) | (low & 0x3FF)) + 0x10000);
        advance_(4);
        return true;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        fail_(kUnpairedSurrogate);
        return false;
    }
    m_queue.push_back(unit);
    advance_(2);
    return true;
}

bool C_UnicodeReader::readUtf32_(bool bigEndian) {
    const std::size_t avail = fill_(4);
    if (avail == 0)
        return false;
    if (avail < 4) {
        fail_(kTruncatedText);
        return false;
    }
    const std::uint32_t value = unitAt_(0, 4, bigEndian);
    if (!isScalarValue(value)) {
        fail_(kInvalidCodePoint);  // no UTF-8 form: nothing invalid leaves the reader
        return false;
    }
    m_queue.push_back(value);
    advance_(4);
    return true;
}

bool C_UnicodeReader::readChunk_() {
    const std::size_t len = gatherChunk_();
    if (len == 0)
        return false;
    if (!decodeQueued_(m_codePage, len)) {
        fail_(kCodePageFailed);
        return false;
    }
    return true;
}

bool C_UnicodeReader::readCodePage_() {
    if (fill_(1) == 0)
        return false;
    const unsigned first = static_cast<unsigned char>(m_buffer[m_AvailBeg]);
    if (first < 0x80) {
        m_queue.push_back(first);
        advance_(1);
        return true;
    }
    const std::size_t len = gatherChunk_();
    if (m_codePage != 0) {
        if (!decodeQueued_(m_codePage, len)) {
            fail_(kCodePageFailed);
            return false;
        }
        m_reader = &C_UnicodeReader::readChunk_;
        return true;
    }
    for (unsigned cp : kCodePages) {
        if (decodeQueued_(cp, len)) {
            m_codePage = cp;
            m_reader = &C_UnicodeReader::readChunk_;
            return true;
        }
    }
    // No code page takes the chunk: the text cannot be read any further.
    fail_(kCodePageFailed);
    return false;
}

std::optional<std::uint32_t> C_UnicodeReader::next() {
    while (m_queue.empty()) {
        if (m_error != 0 || !m_reader)
            return std::nullopt;
        if (!(this->*m_reader)() && m_queue.empty()) {
            m_reader = nullptr;  // the end of the text, or an error
            return std::nullopt;
        }
    }
    const std::uint32_t cp = m_queue.front();
    m_queue.pop_front();
    return cp;
}

std::string toUtf8(C_UnicodeReader& reader) {
    std::string out;
    while (std::optional<std::uint32_t> cp = reader.next()) {
        char buf[8];
        const int n = encodeUtf8(*cp, buf);
        if (n <= 0)
            throw std::runtime_error("UTF-8 conversion error " + std::to_string(n));
        out.append(buf, static_cast<std::size_t>(n));
    }
    if (reader.error() != 0)
        throw std::runtime_error("UTF-8 conversion error " + std::to_string(reader.error()));
    return out;
}

}  // namespace qiv
