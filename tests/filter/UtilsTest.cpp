#include "filter/utils.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
using V = std::vector<unsigned int>;

V
sorted(V in)
{
  std::valarray<unsigned int> v(in.data(), in.size());
  bpp::utils::sortMatrixByColumnSum(v);
  return V(std::begin(v), std::end(v));
}
} // namespace

TEST(SortMatrixByColumnSum, columns_follow_descending_totals_and_rows_move_together)
{
  // Totals A 10, C 30, G 30, T 5 give C, G, A, T.
  EXPECT_EQ(sorted({ 4, 10, 20, 1, 6, 20, 10, 4 }), (V{ 10, 20, 4, 1, 20, 10, 6, 4 }));
  EXPECT_EQ(sorted({ 1, 2, 3, 9 }), (V{ 9, 3, 2, 1 }));
}

TEST(SortMatrixByColumnSum, ties_keep_base_order)
{
  EXPECT_EQ(sorted({ 1, 2, 3, 1, 6, 5, 4, 6 }), (V{ 1, 2, 3, 1, 6, 5, 4, 6 })); // 7, 7, 7, 7
  EXPECT_EQ(sorted({ 0, 1, 5, 2, 1, 0, 2, 5 }), (V{ 5, 2, 0, 1, 2, 5, 1, 0 })); // G and T tie on top
}

TEST(SortMatrixByColumnSum, empty_input_and_a_partial_row_are_left_alone)
{
  EXPECT_EQ(sorted({}), V{});
  EXPECT_EQ(sorted({ 1, 2, 3 }), (V{ 1, 2, 3 }));
  // The trailing 100 is neither added to A's total nor moved.
  EXPECT_EQ(sorted({ 1, 2, 0, 0, 100, 0 }), (V{ 2, 1, 0, 0, 100, 0 }));
}
