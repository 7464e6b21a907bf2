#include "platform/text_classify.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/byte_string.h"

namespace {

using kov::platform::kReverseUnicodeMask;
using kov::platform::kUnicodeMask;
using kov::platform::textUnicodeTests;
using kov::test::bytes;

}  // namespace

// Clear-cut samples only: the Windows statistics differ from ours in detail.
TEST(TextUnicodeTests, SeesUtf16InEitherByteOrder) {
    const std::string le = bytes({'H', 0, 'i', 0, '\r', 0, '\n', 0});
    EXPECT_NE(textUnicodeTests(le, kUnicodeMask) & kov::platform::kUnicodeControls, 0u);
    EXPECT_EQ(textUnicodeTests(le, kUnicodeMask) & ~kUnicodeMask, 0u);

    const std::string be = bytes({0, 'H', 0, 'i', 0, ' ', 0, 'y', 0, 'o'});
    EXPECT_NE(textUnicodeTests(be, kReverseUnicodeMask) & kov::platform::kReverseUnicodeControls,
              0u);
    EXPECT_EQ(textUnicodeTests(be, kReverseUnicodeMask) & ~kReverseUnicodeMask, 0u);
}

TEST(TextUnicodeTests, PassesNoTestOnBytesWithoutZeros) {
    const std::string samples[] = {
        "Hello, world. Tsit ki tiann-nau.\r\n",
        bytes({0xE4, 0xB8, 0xAD, 0xE6, 0x96, 0x87, 0xE5, 0xAD, 0x97, 0x0A}),
        "",
        "a",
        bytes({'H', 0}),  // one unit and a trailing zero: too little to tell
    };
    for (const auto& s : samples) {
        EXPECT_EQ(textUnicodeTests(s, kUnicodeMask), 0u) << s;
        EXPECT_EQ(textUnicodeTests(s, kReverseUnicodeMask), 0u) << s;
    }
}

#if !defined(_WIN32)
// Our own statistics: strictly more than half of the first 256 units at most 0xFF.
TEST(TextUnicodeTests, OwnStatisticsCountTheFirstUnits) {
    const std::string half = bytes({'a', 0, 'b', 0, 0x2D, 0x4E, 0x87, 0x65});
    EXPECT_EQ(textUnicodeTests(half, kov::platform::kUnicodeStatistics), 0u);
    const std::string most = bytes({'a', 0, 'b', 0, 'c', 0, 0x2D, 0x4E});
    EXPECT_EQ(textUnicodeTests(most, kUnicodeMask), kov::platform::kUnicodeStatistics);

    std::string longText;
    for (int i = 0; i < 256; ++i)
        longText += bytes({0x2D, 0x4E});
    for (int i = 0; i < 300; ++i)
        longText += bytes({'a', 0});
    EXPECT_EQ(textUnicodeTests(longText, kUnicodeMask), 0u);  // the Latin part is past unit 256

    EXPECT_EQ(textUnicodeTests(bytes({0xFF, 0xFE, 0x2D, 0x4E}), kUnicodeMask),
              kov::platform::kUnicodeSignature);
    EXPECT_EQ(textUnicodeTests(bytes({0xFE, 0xFF, 0x4E, 0x2D}), kReverseUnicodeMask),
              kov::platform::kReverseUnicodeSignature);
}
#endif
