#include "filter/utils.h"

#include <gtest/gtest.h>

#include <valarray>
#include <vector>

using bpp::utils::sortMatrixByColumnSum;

namespace
{
std::vector<unsigned int> as_vector(const std::valarray<unsigned int>& v)
{
  return std::vector<unsigned int>(std::begin(v), std::end(v));
}
} // namespace

TEST(SortMatrixByColumnSum, columns_follow_descending_totals_and_rows_move_together)
{
  // Column totals A 10, C 30, G 30, T 5: the order becomes C, G, A, T (C before G on the tie).
  std::valarray<unsigned int> counts = {4, 10, 20, 1,  //
                                        6, 20, 10, 4};
  sortMatrixByColumnSum(counts);
  EXPECT_EQ(as_vector(counts), (std::vector<unsigned int>{10, 20, 4, 1, //
                                                          20, 10, 6, 4}));
}

TEST(SortMatrixByColumnSum, ties_keep_base_order)
{
  std::valarray<unsigned int> equal = {1, 2, 3, 1, 6, 5, 4, 6}; // totals 7, 7, 7, 7
  sortMatrixByColumnSum(equal);
  EXPECT_EQ(as_vector(equal), (std::vector<unsigned int>{1, 2, 3, 1, 6, 5, 4, 6}));

  // G and T tie for the largest total: G stays before T, and both pass A and C.
  std::valarray<unsigned int> gt = {0, 1, 5, 2, 1, 0, 2, 5}; // totals 1, 1, 7, 7
  sortMatrixByColumnSum(gt);
  EXPECT_EQ(as_vector(gt), (std::vector<unsigned int>{5, 2, 0, 1, 2, 5, 1, 0}));
}

TEST(SortMatrixByColumnSum, last_column_can_move_to_the_front)
{
  std::valarray<unsigned int> counts = {1, 2, 3, 9};
  sortMatrixByColumnSum(counts);
  EXPECT_EQ(as_vector(counts), (std::vector<unsigned int>{9, 3, 2, 1}));
}

TEST(SortMatrixByColumnSum, empty_input_and_a_partial_row_are_left_alone)
{
  std::valarray<unsigned int> empty;
  sortMatrixByColumnSum(empty);
  EXPECT_EQ(empty.size(), 0u);

  std::valarray<unsigned int> short_row = {1, 2, 3};
  sortMatrixByColumnSum(short_row);
  EXPECT_EQ(as_vector(short_row), (std::vector<unsigned int>{1, 2, 3}));

  // Entries past the last whole row are neither summed nor moved.
  std::valarray<unsigned int> trailing = {1, 2, 0, 0, 100, 0};
  sortMatrixByColumnSum(trailing);
  EXPECT_EQ(as_vector(trailing), (std::vector<unsigned int>{2, 1, 0, 0, 100, 0}));
}
