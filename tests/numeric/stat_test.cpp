#include "numeric/stat.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "numeric/randnum.h"

namespace plk {
namespace {

TEST(Median, OddCountGivesTheMiddleValueEvenCountTheMeanOfTheTwo) {
  Vector odd{5.0, -1.0, 3.0, 9.0, 3.5};
  EXPECT_EQ(median(odd, 0, 4), 3.5);
  Vector even{4.0, 1.0, 3.0, 2.0};
  EXPECT_EQ(median(even, 0, 3), 2.5);
  Vector single{7.0};
  EXPECT_EQ(median(single, 0, 0), 7.0);
}

TEST(Median, WorksOnASubRangeAndLeavesTheRestAlone) {
  Vector v{100.0, 8.0, 2.0, 6.0, 4.0, -100.0};
  EXPECT_EQ(median(v, 1, 4), 5.0);
  EXPECT_EQ(v, (Vector{100.0, 2.0, 4.0, 6.0, 8.0, -100.0}));
}

TEST(QuickSort, SortsRandomRangesWithRepeatsLikeTheStandardSort) {
  MultiplyWithCarry generator(3, 5);
  for (int length = 1; length < 60; ++length) {
    Vector v(static_cast<std::size_t>(length));
    for (double& value : v) value = static_cast<double>(generator.nextInt32() % 10);
    Vector expected = v;
    std::sort(expected.begin(), expected.end());
    quickSort(v, 0, length - 1);
    ASSERT_EQ(v, expected) << length;
  }
}

}  // namespace
}  // namespace plk
