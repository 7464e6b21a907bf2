#include "qiv/byte_cursor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using qiv::C_ByteCursor;

namespace {

const std::string kBytes{
    "\x01\x02\x03\x04\x00\x00\x00\x3F"
    "ab\0c",
    12};

TEST(ByteCursor, ReadsLittleEndianNumbersSequentially) {
    C_ByteCursor c(kBytes);
    uint8_t b = 0;
    uint16_t w = 0;
    ASSERT_TRUE(c.readU8(b));
    ASSERT_TRUE(c.readU16(w));
    EXPECT_EQ(b, 0x01);
    EXPECT_EQ(w, 0x0302);
    EXPECT_EQ(c.pos(), 3u);
    EXPECT_EQ(c.u32At(1), 0x00040302u);
    EXPECT_EQ(c.f32At(4), 0.5f);
    EXPECT_EQ(c.f32At(9), std::nullopt);
    ASSERT_TRUE(c.seek(4));
    float f = 0;
    ASSERT_TRUE(c.readF32(f));
    EXPECT_EQ(f, 0.5f);
    int8_t s = 0;
    C_ByteCursor neg(std::string_view("\xFE", 1));
    ASSERT_TRUE(neg.readI8(s));
    EXPECT_EQ(s, -2);
}

TEST(ByteCursor, ReadPastTheEndFailsWithoutMoving) {
    C_ByteCursor c(kBytes);
    ASSERT_TRUE(c.seek(10));
    uint32_t v = 0xDEADBEEF;
    EXPECT_FALSE(c.readU32(v));
    EXPECT_EQ(v, 0xDEADBEEFu);
    EXPECT_EQ(c.pos(), 10u);
    std::string_view sv;
    EXPECT_FALSE(c.readBytes(3, sv));
    EXPECT_FALSE(c.skip(3));
    EXPECT_FALSE(c.seek(13));
    EXPECT_TRUE(c.seek(12));
    EXPECT_TRUE(c.atEnd());
    EXPECT_FALSE(c.u8());
    EXPECT_EQ(c.u16At(11), std::nullopt);
    EXPECT_EQ(c.u16At(UINT64_MAX), std::nullopt);
    EXPECT_FALSE(c.fits(UINT64_MAX, 2));
    EXPECT_FALSE(c.fits(2, UINT64_MAX));
    EXPECT_EQ(c.sub(8, 5).size(), 0u);
    EXPECT_EQ(c.sub(8, 4).size(), 4u);
}

TEST(ByteCursor, CStringsNeedTheirNulInsideTheRange) {
    C_ByteCursor c(kBytes);
    ASSERT_TRUE(c.seek(8));
    std::string_view s;
    ASSERT_TRUE(c.readCString(s));
    EXPECT_EQ(s, "ab");
    EXPECT_EQ(c.pos(), 11u);
    EXPECT_FALSE(c.readCString(s));  // "c" has no NUL before the end
    EXPECT_EQ(c.pos(), 11u);
    EXPECT_EQ(c.cStringAt(10), std::string_view());
    EXPECT_EQ(c.cStringAt(12), std::nullopt);
    EXPECT_EQ(C_ByteCursor().cString(), std::nullopt);
}

TEST(ByteCursor, WritersProduceWhatTheReadsTakeBack) {
    std::string out;
    qiv::putU8(out, 0xAB);
    qiv::putU16(out, 0x1234);
    qiv::putU32(out, 0x89ABCDEF);
    qiv::putF32(out, -1.25f);
    qiv::putCString(out, "k1");
    EXPECT_EQ(out, std::string("\xAB\x34\x12\xEF\xCD\xAB\x89\x00\x00\xA0\xBF"
                               "k1\0",
                               14));
    C_ByteCursor c(out);
    EXPECT_EQ(c.u8(), 0xAB);
    EXPECT_EQ(c.u16(), 0x1234);
    EXPECT_EQ(c.u32(), 0x89ABCDEFu);
    EXPECT_EQ(c.f32(), -1.25f);
    EXPECT_EQ(c.cString(), "k1");
    EXPECT_TRUE(c.atEnd());
}

}  // namespace
