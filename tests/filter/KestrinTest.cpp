#include "filter/Kestrin.h"
#include "stat/Stat.h"

#include <Bpp/Exceptions.h>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_errno.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <valarray>
#include <vector>

using namespace bpp;

namespace
{
// Counts a retry's calls and returns a fixed value, or throws a library exception.
struct Retry
{
  double value;
  bool throws = false;
  int calls = 0;
  std::function<double()> fn()
  {
    return [this] {
      ++calls;
      if (throws)
        throw Exception("fit failed");
      return value;
    };
  }
};

std::valarray<unsigned int> repeat(const std::vector<std::vector<unsigned int>>& individuals)
{
  std::valarray<unsigned int> v(4 * individuals.size());
  for (size_t i = 0; i < individuals.size(); ++i)
    for (size_t j = 0; j < 4; ++j)
      v[4 * i + j] = individuals[i][j];
  return v;
}

// Twelve individuals of one locus in Hardy-Weinberg proportions, allele 1 at about 0.5, read in
// columns C (allele 1) and G (allele 2) with one stray T read.
std::valarray<unsigned int> one_locus()
{
  return repeat({{0, 12, 0, 0},
                 {0, 10, 0, 0},
                 {0, 14, 0, 1},
                 {0, 6, 7, 0},
                 {0, 8, 9, 0},
                 {0, 7, 6, 0},
                 {0, 9, 10, 0},
                 {0, 5, 6, 0},
                 {0, 7, 8, 0},
                 {0, 0, 11, 0},
                 {0, 0, 13, 0},
                 {0, 6, 5, 0}});
}

// Two collapsed loci sharing the reads equally: locus 1 fixed for allele 1 (A), locus 2 in
// Hardy-Weinberg proportions at 1/2. Its heterozygotes read about 3:1, a ratio that one locus
// explains badly.
std::valarray<unsigned int> two_loci()
{
  return repeat({{20, 0, 0, 0},
                 {19, 0, 0, 0},
                 {21, 0, 0, 0},
                 {15, 0, 5, 0},
                 {14, 0, 6, 0},
                 {16, 0, 5, 0},
                 {15, 0, 4, 0},
                 {13, 0, 6, 0},
                 {15, 0, 5, 0},
                 {10, 0, 10, 0},
                 {11, 0, 9, 0},
                 {9, 0, 10, 0}});
}

Kestrin make_test(double epsilon, bool dirichlet, const char* optimizer)
{
  Kestrin k;
  k.epsilon = epsilon;
  k.dirichlet = dirichlet;
  k.optimizer = optimizer;
  k.precision = 0.001;
  k.fis = 0.0;
  return k;
}
} // namespace

TEST(Kestrin, first_fit_not_worse_than_the_reference_is_kept_without_retry)
{
  Retry b{1.0}, c{1.0};
  EXPECT_EQ(choose_h1(5.0, 5.0, b.fn(), c.fn()), 5.0); // a tie is accepted
  EXPECT_EQ(choose_h1(4.0, 5.0, b.fn(), c.fn()), 4.0);
  EXPECT_TRUE(std::isnan(choose_h1(NAN, 5.0, b.fn(), c.fn())));
  EXPECT_EQ(choose_h1(6.0, NAN, b.fn(), c.fn()), 6.0);
  EXPECT_EQ(b.calls + c.calls, 0);
}

TEST(Kestrin, a_retry_is_kept_only_when_strictly_better_than_the_reference)
{
  Retry b1{4.0}, c1{1.0};
  EXPECT_EQ(choose_h1(6.0, 5.0, b1.fn(), c1.fn()), 4.0);
  EXPECT_EQ(b1.calls, 1);
  EXPECT_EQ(c1.calls, 0);

  // Retry 1 equal to the reference is not enough: retry 2 runs and wins.
  Retry b2{5.0}, c2{4.5};
  EXPECT_EQ(choose_h1(6.0, 5.0, b2.fn(), c2.fn()), 4.5);
  EXPECT_EQ(c2.calls, 1);

  // Neither retry beats the reference (retry 2 ties it): the fallback decides.
  Retry b3{7.0}, c3{5.0};
  EXPECT_EQ(choose_h1(6.0, 5.0, b3.fn(), c3.fn()), 5.0);
}

TEST(Kestrin, fallback_order_is_not_the_minimum)
{
  // La < Lc < Lb gives Lc.
  Retry b{8.0}, c{7.0};
  EXPECT_EQ(choose_h1(6.0, 5.0, b.fn(), c.fn()), 7.0);
  EXPECT_EQ(h1_fallback(6.0, 8.0, 7.0), 7.0);
  EXPECT_EQ(h1_fallback(6.0, 5.5, 7.0), 5.5); // Lb < La, Lc not below Lb
  EXPECT_EQ(h1_fallback(6.0, 7.0, 7.0), 6.0); // ties fall through to La
  EXPECT_EQ(h1_fallback(6.0, 6.0, 8.0), 6.0);
}

TEST(Kestrin, a_retry_that_throws_stands_for_the_first_fit)
{
  // Retry 1 throws (Lb = La = 6): Lc = 5.5 is below La and is kept...
  Retry b1{0.0, true}, c1{5.5};
  EXPECT_EQ(choose_h1(6.0, 5.0, b1.fn(), c1.fn()), 5.5);
  // ...but Lc = 6.5 is not, and La is.
  Retry b2{0.0, true}, c2{6.5};
  EXPECT_EQ(choose_h1(6.0, 5.0, b2.fn(), c2.fn()), 6.0);
  // Retry 2 throws (Lc = La): Lb = 7 is worse, so La.
  Retry b3{7.0}, c3{0.0, true};
  EXPECT_EQ(choose_h1(6.0, 5.0, b3.fn(), c3.fn()), 6.0);
  EXPECT_EQ(b3.calls + c3.calls, 2);
}

TEST(Kestrin, pvalue_is_the_chi_square_tail_with_two_degrees_of_freedom)
{
  // With 2 degrees of freedom the upper tail at T is exp(-T / 2).
  EXPECT_NEAR(lrt_pvalue(13.0, 10.0), std::exp(-3.0), 1e-14);
  EXPECT_NEAR(lrt_pvalue(10.25, 10.0), std::exp(-0.25), 1e-14);
  EXPECT_EQ(lrt_pvalue(10.0, 10.0), 1.0);
  EXPECT_EQ(lrt_pvalue(10.0, 12.0), 1.0); // a negative statistic counts as 0
}

TEST(Kestrin, a_statistic_that_is_not_finite_fails_the_test)
{
  EXPECT_EQ(lrt_pvalue(INFINITY, INFINITY), -1.0);
  EXPECT_EQ(lrt_pvalue(INFINITY, 10.0), -1.0);
  EXPECT_EQ(lrt_pvalue(10.0, INFINITY), -1.0);
  EXPECT_EQ(lrt_pvalue(NAN, 10.0), -1.0);
}

TEST(Kestrin, error_rate_is_the_smaller_of_the_cap_and_the_transition_rate)
{
  EXPECT_EQ(filter_error_rate(0.01, 0.004, 5.0), 0.01);   // 0.02 is above the cap
  EXPECT_EQ(filter_error_rate(0.01, 0.001, 2.0), 0.002);  // below the cap
  EXPECT_EQ(filter_error_rate(0.0, 0.001, 2.0), 0.0);     // the default cap
  EXPECT_EQ(filter_error_rate(0.02, 0.01, 2.0), 0.02);    // equal: either value
  EXPECT_TRUE(std::isnan(filter_error_rate(0.01, NAN, 2.0)));
}

TEST(Kestrin, decision_rule)
{
  EXPECT_TRUE(is_flagged(0.0009, 0.001, false));
  EXPECT_FALSE(is_flagged(0.001, 0.001, false)); // equal to the threshold
  EXPECT_FALSE(is_flagged(0.5, 0.001, false));
  EXPECT_TRUE(is_flagged(-1.0, 0.001, false));   // failed test
  EXPECT_FALSE(is_flagged(-1.0, 0.001, true));   // "-kun" keeps it
  EXPECT_TRUE(is_flagged(0.0009, 0.001, true));  // "-kun" only concerns failures
  // "-thr 0": no p-value is below 0, so only failures are flagged, and not with "-kun".
  EXPECT_FALSE(is_flagged(0.0, 0.0, false));
  EXPECT_TRUE(is_flagged(-1.0, 0.0, false));
  EXPECT_FALSE(is_flagged(-1.0, 0.0, true));
  EXPECT_FALSE(is_flagged(NAN, 0.5, false));
}

TEST(Kestrin, writes_the_sorted_position_into_stat_and_leaves_the_counts)
{
  Stat stat;
  Kestrin k = make_test(0.01, false, "newton");
  k.fis = 0.25;
  std::valarray<unsigned int> counts = one_locus();
  const std::valarray<unsigned int> before = counts;
  k.assignation(counts, stat);

  ASSERT_EQ(counts.size(), before.size());
  for (size_t i = 0; i < counts.size(); ++i)
    EXPECT_EQ(counts[i], before[i]);

  // Totals A 0, C 84, G 75, T 1: columns become C, G, T, A.
  ASSERT_EQ(stat.values.size(), counts.size());
  EXPECT_EQ(stat.nb_values, 48u);
  for (size_t i = 0; i < 12; ++i)
  {
    EXPECT_EQ(stat.values[4 * i], before[4 * i + 1]);
    EXPECT_EQ(stat.values[4 * i + 1], before[4 * i + 2]);
    EXPECT_EQ(stat.values[4 * i + 2], before[4 * i + 3]);
    EXPECT_EQ(stat.values[4 * i + 3], before[4 * i]);
  }
  EXPECT_EQ(stat.epsilon, 0.01);
  EXPECT_EQ(stat.fis, 0.25);
  const double hom1[4] = {0.97, 0.01, 0.01, 0.01};
  const double hom2[4] = {0.01, 0.97, 0.01, 0.01};
  const double het[4] = {0.49, 0.49, 0.01, 0.01};
  for (size_t j = 0; j < 4; ++j)
  {
    EXPECT_DOUBLE_EQ(stat.proba_hom1[j], hom1[j]);
    EXPECT_DOUBLE_EQ(stat.proba_hom2[j], hom2[j]);
    EXPECT_DOUBLE_EQ(stat.proba_het[j], het[j]);
  }
}

TEST(Kestrin, separates_one_locus_from_two_collapsed_loci)
{
  for (const char* optimizer : {"newton", "bfgs"})
    for (bool dirichlet : {false, true})
    {
      SCOPED_TRACE(std::string(optimizer) + (dirichlet ? " dirichlet" : " plain"));
      Stat stat;
      Kestrin k = make_test(0.01, dirichlet, optimizer);
      std::valarray<unsigned int> single = one_locus();
      std::valarray<unsigned int> collapsed = two_loci();
      const double p_single = k.assignation(single, stat);
      const double p_collapsed = k.assignation(collapsed, stat);
      EXPECT_GT(p_single, 0.05);
      EXPECT_LE(p_single, 1.0);
      EXPECT_GE(p_collapsed, 0.0);
      // The Dirichlet reads absorb part of the skew as overdispersion.
      EXPECT_LT(p_collapsed, dirichlet ? 0.05 : 0.001);
    }
}

TEST(Kestrin, plain_test_fails_on_a_third_base_at_error_rate_zero)
{
  // The stray T read has probability 0 under every genotype: both likelihoods are infinite.
  Stat stat;
  Kestrin k = make_test(0.0, false, "newton");
  std::valarray<unsigned int> counts = one_locus();
  EXPECT_EQ(k.assignation(counts, stat), -1.0);

  // The Dirichlet reads stay finite there.
  Kestrin dir = make_test(0.0, true, "newton");
  const double p = dir.assignation(counts, stat);
  EXPECT_GE(p, 0.0);
  EXPECT_LE(p, 1.0);
}

TEST(Kestrin, no_reads_of_the_two_main_bases_fails_the_test)
{
  Stat stat;
  Kestrin k = make_test(0.01, false, "newton");
  std::valarray<unsigned int> empty(0u, 12);
  EXPECT_EQ(k.assignation(empty, stat), -1.0);
  EXPECT_EQ(stat.nb_values, 12u);

  std::valarray<unsigned int> nobody;
  EXPECT_EQ(k.assignation(nobody, stat), -1.0);
}

TEST(Kestrin, an_undefined_error_rate_fails_the_test)
{
  Stat stat;
  Kestrin k = make_test(NAN, false, "newton");
  std::valarray<unsigned int> counts = two_loci();
  EXPECT_EQ(k.assignation(counts, stat), -1.0);
}

TEST(Kestrin, gsl_errors_do_not_abort_once_a_test_has_run)
{
  EXPECT_EXIT(
    {
      gsl_set_error_handler(nullptr); // GSL's default: abort on error
      Stat stat;
      Kestrin k = make_test(0.01, false, "newton");
      std::valarray<unsigned int> counts = two_loci();
      k.assignation(counts, stat);
      // A probability above 1 is a domain error; with the default handler this aborts.
      const double q = gsl_cdf_chisq_Pinv(2.0, 2.0);
      std::exit(std::isnan(q) ? 0 : 3);
    },
    ::testing::ExitedWithCode(0), "");
}
