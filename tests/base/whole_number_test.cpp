#include "base/whole_number.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace tolmar {
namespace {

TEST(WholeNumber, TakesBlanksAndOneSignAroundDecimalDigits) {
  EXPECT_EQ(parseWholeNumber<int32_t>("42"), 42);
  EXPECT_EQ(parseWholeNumber<int32_t>(" \t+42\t "), 42);
  EXPECT_EQ(parseWholeNumber<int32_t>("-7"), -7);
  EXPECT_EQ(parseWholeNumber<int>("0"), 0);
  for (const char* bad : {"", "  ", "+", "-", "+-3", "-+3", "1 2", "12a", "0x10", "1.5", "٣"})
    EXPECT_FALSE(parseWholeNumber<int32_t>(bad)) << '"' << bad << '"';
}

TEST(WholeNumber, AValueTheTypeCannotHoldIsNotANumber) {
  EXPECT_EQ(parseWholeNumber<int32_t>("2147483647"), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(parseWholeNumber<int32_t>("-2147483648"), std::numeric_limits<int32_t>::min());
  EXPECT_FALSE(parseWholeNumber<int32_t>("2147483648"));
  EXPECT_FALSE(parseWholeNumber<int32_t>("-2147483649"));
  EXPECT_EQ(parseWholeNumber<int64_t>("2147483648"), int64_t{2147483648});
  EXPECT_FALSE(parseWholeNumber<int64_t>("99999999999999999999"));
}

}  // namespace
}  // namespace tolmar
