#include "filter/Kestrin.h"

#include "FilterFixtures.h"

#include <Bpp/Exceptions.h>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_errno.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

using namespace bpp;
using namespace filter_test;

namespace
{
const double kThrows = -999.0;

// The H1 rule with retries returning lb and lc (kThrows: the retry throws); counts retries run.
double
pick(double la, double lref, double lb, double lc, int* runs = nullptr)
{
  int count = 0;
  auto retry = [&count](double v)
  {
    return [&count, v]
    {
      ++count;
      if (v == kThrows)
        throw Exception("fit failed");
      return v;
    };
  };
  const double l1 = choose_h1(la, lref, retry(lb), retry(lc));
  if (runs)
    *runs = count;
  return l1;
}

Kestrin
make_test(double epsilon, bool dirichlet, const char* optimizer = "newton")
{
  Kestrin k;
  k.epsilon = epsilon;
  k.dirichlet = dirichlet;
  k.optimizer = optimizer;
  return k;
}
} // namespace

TEST(Kestrin, acceptance_and_retry_rules_on_their_boundaries)
{
  int runs = -1;
  EXPECT_EQ(pick(5.0, 5.0, 1.0, 1.0, &runs), 5.0); // first fit equal to Lref: kept
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(std::isnan(pick(NAN, 5.0, 1.0, 1.0)));
  EXPECT_EQ(pick(6.0, 5.0, 4.0, 1.0, &runs), 4.0); // retry 1 strictly better
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(pick(6.0, 5.0, 5.0, 4.5, &runs), 4.5); // retry 1 equal to Lref: not kept
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(pick(6.0, 5.0, 8.0, 7.0), 7.0); // La < Lc < Lb gives Lc
  EXPECT_EQ(pick(6.0, 5.0, 5.5, 5.0), 5.0); // retry 2 ties Lref; fallback Lc < Lb
  EXPECT_EQ(pick(6.0, 5.0, 5.5, 7.0), 5.5); // fallback Lb < La
  EXPECT_EQ(pick(6.0, 5.0, 7.0, 7.0), 6.0); // fallback La
  // A retry that throws stands for La.
  EXPECT_EQ(pick(6.0, 5.0, kThrows, 5.5), 5.5);
  EXPECT_EQ(pick(6.0, 5.0, kThrows, 6.5), 6.0);
  EXPECT_EQ(pick(6.0, 5.0, 7.0, kThrows), 6.0);
}

TEST(Kestrin, pvalue_is_the_chi_square_tail_and_fails_on_a_non_finite_statistic)
{
  // With 2 degrees of freedom the upper tail at T is exp(-T / 2).
  EXPECT_NEAR(lrt_pvalue(13.0, 10.0), std::exp(-3.0), 1e-14);
  EXPECT_EQ(lrt_pvalue(10.0, 12.0), 1.0); // a negative statistic counts as 0
  EXPECT_EQ(lrt_pvalue(INFINITY, INFINITY), -1.0);
  EXPECT_EQ(lrt_pvalue(10.0, INFINITY), -1.0);
  EXPECT_EQ(lrt_pvalue(NAN, 10.0), -1.0);
}

TEST(Kestrin, error_rate_choice_and_decision_rule)
{
  EXPECT_EQ(filter_error_rate(0.01, 0.004, 5.0), 0.01); // 0.02 is above the cap
  EXPECT_EQ(filter_error_rate(0.01, 0.001, 2.0), 0.002);
  EXPECT_TRUE(std::isnan(filter_error_rate(0.01, NAN, 2.0)));

  EXPECT_TRUE(is_flagged(0.0009, 0.001, false));
  EXPECT_FALSE(is_flagged(0.001, 0.001, false)); // equal to the threshold
  EXPECT_TRUE(is_flagged(0.0009, 0.001, true));  // "-kun" only concerns failures
  EXPECT_TRUE(is_flagged(-1.0, 0.001, false));
  EXPECT_FALSE(is_flagged(-1.0, 0.001, true));
  EXPECT_FALSE(is_flagged(0.0, 0.0, false)); // "-thr 0": only failures
  EXPECT_TRUE(is_flagged(-1.0, 0.0, false));
}

TEST(Kestrin, writes_the_sorted_position_into_stat_and_leaves_the_counts)
{
  Stat stat;
  Kestrin k = make_test(0.01, false);
  k.fis = 0.25;
  std::valarray<unsigned int> counts = one_locus();
  const std::valarray<unsigned int> before = counts;
  k.assignation(counts, stat);
  EXPECT_TRUE((counts == before).min());
  // Totals A 0, C 84, G 75, T 1: the columns become C, G, T, A.
  ASSERT_EQ(stat.nb_values, 48u);
  for (size_t i = 0; i < 12; ++i)
    for (size_t j = 0; j < 4; ++j)
      EXPECT_EQ(stat.values[4 * i + j], before[4 * i + (j + 1) % 4]);
  EXPECT_EQ(stat.fis, 0.25);
  EXPECT_EQ(stat.epsilon, 0.01);
  EXPECT_DOUBLE_EQ(stat.proba_hom1[0], 0.97);
  EXPECT_DOUBLE_EQ(stat.proba_hom2[3], 0.01);
  EXPECT_DOUBLE_EQ(stat.proba_het[1], 0.49);
}

TEST(Kestrin, separates_one_locus_from_two_collapsed_loci)
{
  for (const char* optimizer : { "newton", "bfgs" })
    for (bool dirichlet : { false, true })
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
      // Dirichlet reads absorb part of the skew as overdispersion.
      EXPECT_LT(p_collapsed, dirichlet ? 0.05 : 0.001);
    }
}

TEST(Kestrin, undefined_likelihoods_or_start_fail_the_test)
{
  Stat stat;
  // At error rate 0 the stray T read has probability 0 under every genotype.
  std::valarray<unsigned int> stray = one_locus();
  EXPECT_EQ(make_test(0.0, false).assignation(stray, stat), -1.0);
  EXPECT_GE(make_test(0.0, true).assignation(stray, stat), 0.0); // Dirichlet reads stay finite
  std::valarray<unsigned int> collapsed = two_loci();
  EXPECT_EQ(make_test(NAN, false).assignation(collapsed, stat), -1.0);
  // No reads of the two main bases: the starting frequency is 0/0.
  std::valarray<unsigned int> empty(0u, 12);
  EXPECT_EQ(make_test(0.01, false).assignation(empty, stat), -1.0);
}

TEST(Kestrin, gsl_errors_do_not_abort_once_a_test_has_run)
{
  EXPECT_EXIT(
    {
      gsl_set_error_handler(nullptr); // GSL's default handler aborts
      Stat stat;
      std::valarray<unsigned int> counts = two_loci();
      make_test(0.01, false).assignation(counts, stat);
      const double q = gsl_cdf_chisq_Pinv(2.0, 2.0); // a probability above 1: domain error
      std::exit(std::isnan(q) ? 0 : 3);
    },
    ::testing::ExitedWithCode(0),
    "");
}
