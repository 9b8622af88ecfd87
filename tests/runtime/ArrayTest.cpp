#include <gtest/gtest.h>

#include "runtime/Array.h"

namespace corvex {
namespace {

TEST(ArrayTest, NewArraysAreZeroedAndBoundsChecked) {
  Array<int32_t> values(3);
  EXPECT_EQ(values.Length(), 3);
  EXPECT_EQ(values[2], 0);
  EXPECT_THROW(values[3], TArrayBoundsException);
  EXPECT_THROW(values[-1], TArrayBoundsException);
  EXPECT_EQ(Array<int32_t>(-5).Length(), 0);
}

TEST(ArrayTest, EmptyArrayIsAValue) {
  ByteArray empty;
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(empty.Data(), nullptr);
  EXPECT_EQ(empty.begin(), empty.end());
  EXPECT_THROW(empty[0], TArrayBoundsException);
  EXPECT_EQ(empty.Resized(2).Length(), 2);
}

TEST(ArrayTest, CopiesShareElementsAndResizedCopies) {
  Array<int32_t> a{1, 2, 3};
  Array<int32_t> shared = a;
  shared[0] = 9;
  EXPECT_EQ(a[0], 9);
  EXPECT_TRUE(a.SharesWith(shared));
  Array<int32_t> grown = a.Resized(5);
  EXPECT_FALSE(grown.SharesWith(a));
  EXPECT_EQ(grown[2], 3);
  EXPECT_EQ(grown[4], 0);
  EXPECT_EQ(a.Resized(1).Length(), 1);
}

}  // namespace
}  // namespace corvex
