#ifndef TESTS_FILTER_FILTERFIXTURES_H
#define TESTS_FILTER_FILTERFIXTURES_H

// Read counts of twelve individuals (A, C, G, T each) shared by the filter tests.

#include <valarray>

namespace filter_test
{
// One locus near Hardy-Weinberg at 1/2, alleles C and G, with one stray T read.
inline std::valarray<unsigned int>
one_locus()
{
  return { 0, 12, 0,  0, 0, 10, 0, 0, 0, 14, 0, 1, 0, 6, 7,  0, 0, 8, 9,  0, 0, 7, 6, 0,
           0, 9,  10, 0, 0, 5,  6, 0, 0, 7,  8, 0, 0, 0, 11, 0, 0, 0, 13, 0, 0, 6, 5, 0 };
}

// Two collapsed loci with equal shares of the reads: locus 1 fixed for A, locus 2 in
// Hardy-Weinberg proportions at 1/2 over A and G. Its heterozygotes read about 3:1, which one
// locus explains badly.
inline std::valarray<unsigned int>
two_loci()
{
  return { 20, 0, 0, 0, 19, 0, 0, 0, 21, 0, 0, 0, 15, 0, 5,  0, 14, 0, 6, 0, 16, 0, 5,  0,
           15, 0, 4, 0, 13, 0, 6, 0, 15, 0, 5, 0, 10, 0, 10, 0, 11, 0, 9, 0, 9,  0, 10, 0 };
}
} // namespace filter_test

#endif
