#include <gtest/gtest.h>

#include <climits>

// The engine assumes 8-bit bytes and two's-complement sizes on every target it is built for.
TEST(Build, TargetsHaveEightBitBytes) {
    EXPECT_EQ(CHAR_BIT, 8);
    EXPECT_GE(sizeof(void*), 4u);
}
