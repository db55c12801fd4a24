#include "platform/decimal_text.h"

#include <gtest/gtest.h>

#include <climits>

namespace ombrix {

TEST(DecimalText, ZeroSignsAndTheExtremes) {
    EXPECT_EQ(DecimalText(0), L"0");
    EXPECT_EQ(DecimalText(404), L"404");
    EXPECT_EQ(DecimalText(-7), L"-7");
    EXPECT_EQ(DecimalText(4294967295LL), L"4294967295");
    EXPECT_EQ(DecimalText(LLONG_MAX), L"9223372036854775807");
    EXPECT_EQ(DecimalText(LLONG_MIN), L"-9223372036854775808");
}

}  // namespace ombrix
