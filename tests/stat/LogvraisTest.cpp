#include "StatTestUtil.h"
#include "stat/Stat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <valarray>

using bpp::Stat;

namespace
{
// Read probabilities of the three genotypes at error rate e, as the paralogy test sets them.
void
set_error_rate(Stat& s, double e)
{
  s.epsilon = e;
  s.proba_hom1 = { 1 - 3 * e, e, e, e };
  s.proba_hom2 = { e, 1 - 3 * e, e, e };
  s.proba_het = { (1 - 2 * e) / 2, (1 - 2 * e) / 2, e, e };
}

void
load(Stat& s, std::valarray<unsigned int> counts)
{
  s.values = counts;
  s.nb_values = static_cast<unsigned int>(counts.size());
}
} // namespace

TEST(Logvrais, a_position_without_individuals_gives_minus_zero)
{
  Stat s;
  ASSERT_EQ(s.nb_values, 0u);
  for (double v :
       { s.logvrais0(0.3), s.logvrais0_dir(0.3, 5), s.logvrais1(0.3, 0.6, 0.4), s.logvrais1_dir(0.3, 0.6, 0.4, 5) })
  {
    EXPECT_EQ(v, 0.0);
    EXPECT_TRUE(std::signbit(v));
  }
}

TEST(Logvrais, one_locus_weights_follow_hardy_weinberg_and_full_inbreeding)
{
  Stat s;
  set_error_rate(s, 0.02);
  std::valarray<unsigned int> c{ 4, 3, 1, 0 };
  const double ma = multinomial(c, s.proba_hom1), mb = multinomial(c, s.proba_hom2), mc = multinomial(c, s.proba_het);
  const double p = 0.35;
  s.fis = 0.0;
  EXPECT_NEAR(s.lnL0(c, p), std::log(p * p * ma + 2 * p * (1 - p) * mc + (1 - p) * (1 - p) * mb), 1e-12);
  s.fis = 1.0;
  EXPECT_NEAR(s.lnL0(c, p), std::log(p * ma + (1 - p) * mb), 1e-12);
  s.fis = 0.25; // the weights mix the two
  const double g11 = p * p * 0.75 + 0.25 * p, g12 = 2 * p * (1 - p) * 0.75,
               g22 = (1 - p) * (1 - p) * 0.75 + 0.25 * (1 - p);
  EXPECT_NEAR(s.lnL0(c, p), std::log(g11 * ma + g12 * mc + g22 * mb), 1e-12);
}

TEST(Logvrais, one_locus_dirichlet_form_weighs_the_dirichlet_multinomials)
{
  Stat s;
  set_error_rate(s, 0.01);
  s.fis = 1.0;
  std::valarray<unsigned int> c{ 6, 1, 0, 0 };
  const double alpha = 8.0;
  auto dm = [&](const std::valarray<double>& v)
  {
    double l = std::lgamma(8.0) + std::lgamma(alpha) - std::lgamma(7.0 + alpha);
    for (int i = 0; i < 4; ++i)
      l += std::lgamma(c[i] + alpha * v[i]) - std::lgamma(alpha * v[i]) - std::lgamma(c[i] + 1.0);
    return std::exp(l);
  };
  EXPECT_NEAR(s.lnL0_dir(c, 0.8, alpha), std::log(0.8 * dm(s.proba_hom1) + 0.2 * dm(s.proba_hom2)), 1e-9);
}

TEST(Logvrais, two_locus_terms_mix_the_vectors_of_both_loci)
{
  Stat s;
  set_error_rate(s, 0.01);
  // With full inbreeding only the homozygous pairs 11/11, 11/22, 22/11 and 22/22 remain.
  s.fis = 1.0;
  std::valarray<unsigned int> c{ 5, 9, 1, 0 };
  const double p1 = 0.3, p2 = 0.9, xi = 0.25;
  const std::valarray<double> A = s.proba_hom1, B = s.proba_hom2;
  const std::valarray<double> AB = xi * A + (1 - xi) * B, BA = xi * B + (1 - xi) * A;
  const double expected = p1 * p2 * multinomial(c, A) + p1 * (1 - p2) * multinomial(c, AB) +
                          (1 - p1) * p2 * multinomial(c, BA) + (1 - p1) * (1 - p2) * multinomial(c, B);
  EXPECT_NEAR(s.lnL1(c, p1, p2, xi), std::log(expected), 1e-12);
}

TEST(Logvrais, two_loci_with_all_reads_from_locus_one_reduce_to_one_locus)
{
  Stat s;
  set_error_rate(s, 0.005);
  s.fis = 0.1;
  std::valarray<unsigned int> c{ 12, 5, 0, 1 };
  for (double p2 : { 0.0, 0.4, 0.95 })
  {
    EXPECT_NEAR(s.lnL1(c, 0.7, p2, 1.0), s.lnL0(c, 0.7), 1e-12) << p2;
    EXPECT_NEAR(s.lnL1_dir(c, 0.7, p2, 1.0, 6.0), s.lnL0_dir(c, 0.7, 6.0), 1e-12) << p2;
  }
  load(s, { 12, 5, 0, 1, 3, 3, 0, 0, 0, 9, 1, 0 });
  EXPECT_NEAR(s.logvrais1(0.45, 0.1, 1.0), s.logvrais0(0.45), 1e-11);
  EXPECT_NEAR(s.logvrais1_dir(0.45, 0.1, 1.0, 2.5), s.logvrais0_dir(0.45, 2.5), 1e-11);
}

TEST(Logvrais, exchanging_the_loci_together_with_xi_changes_nothing)
{
  Stat s;
  set_error_rate(s, 0.01);
  s.fis = 0.3;
  std::valarray<unsigned int> c{ 8, 4, 1, 0 };
  EXPECT_NEAR(s.lnL1(c, 0.2, 0.75, 0.35), s.lnL1(c, 0.75, 0.2, 0.65), 1e-12);
  EXPECT_NEAR(s.lnL1_dir(c, 0.2, 0.75, 0.35, 3.0), s.lnL1_dir(c, 0.75, 0.2, 0.65, 3.0), 1e-12);
  // Without exchanging xi the loci are not interchangeable.
  EXPECT_GT(std::fabs(s.lnL1(c, 0.2, 0.75, 0.35) - s.lnL1(c, 0.75, 0.2, 0.35)), 1e-3);
}

TEST(Logvrais, position_value_is_minus_the_sum_over_its_individuals)
{
  Stat s;
  set_error_rate(s, 0.01);
  s.fis = 0.05;
  // The last individual has no reads: every probability is 1 and the weights sum to 1.
  load(s, { 10, 0, 0, 0, 4, 5, 0, 0, 0, 7, 0, 1, 0, 0, 0, 0 });
  std::valarray<unsigned int> none{ 0, 0, 0, 0 };
  EXPECT_NEAR(s.lnL0(none, 0.37), 0.0, 1e-15);
  EXPECT_NEAR(s.lnL0_dir(none, 0.37, 4.0), 0.0, 1e-15);
  EXPECT_NEAR(s.lnL1(none, 0.37, 0.8, 0.3), 0.0, 1e-15);
  EXPECT_NEAR(s.lnL1_dir(none, 0.37, 0.8, 0.3, 4.0), 0.0, 1e-15);

  std::valarray<unsigned int> ind[3] = { { 10, 0, 0, 0 }, { 4, 5, 0, 0 }, { 0, 7, 0, 1 } };
  double l0 = 0, l0d = 0, l1 = 0, l1d = 0;
  for (auto& c : ind)
  {
    l0 += s.lnL0(c, 0.6);
    l0d += s.lnL0_dir(c, 0.6, 4);
    l1 += s.lnL1(c, 0.6, 0.3, 0.4);
    l1d += s.lnL1_dir(c, 0.6, 0.3, 0.4, 4);
  }
  EXPECT_NEAR(s.logvrais0(0.6), -l0, 1e-12);
  EXPECT_NEAR(s.logvrais0_dir(0.6, 4), -l0d, 1e-12);
  EXPECT_NEAR(s.logvrais1(0.6, 0.3, 0.4), -l1, 1e-12);
  EXPECT_NEAR(s.logvrais1_dir(0.6, 0.3, 0.4, 4), -l1d, 1e-12);
  EXPECT_GT(-l0, 0.0);

  // nb_values, not the array, says how many individuals the position has; entries past the
  // array are never read.
  s.nb_values = 4;
  EXPECT_NEAR(s.logvrais0(0.6), -s.lnL0(ind[0], 0.6), 1e-12);
  s.nb_values = 22;
  EXPECT_NEAR(s.logvrais0(0.6), -l0, 1e-12);
}

TEST(Logvrais, error_rate_zero_rules_out_third_bases_only_under_the_multinomial)
{
  Stat s;
  set_error_rate(s, 0.0);
  s.fis = 0.0;
  load(s, { 3, 2, 0, 0 });
  EXPECT_TRUE(std::isfinite(s.logvrais0(0.5)));
  EXPECT_TRUE(std::isfinite(s.logvrais1(0.5, 0.5, 0.5)));
  // Only the heterozygote explains reads of both alleles: -log(2 p (1 - p) * C(5,3) / 2^5).
  EXPECT_NEAR(s.logvrais0(0.5), -std::log(0.5 * 10.0 / 32), 1e-12);

  load(s, { 3, 2, 1, 0 });
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(s.logvrais0(0.5), inf);
  EXPECT_EQ(s.logvrais1(0.5, 0.5, 0.5), inf);
  EXPECT_TRUE(std::isfinite(s.logvrais0_dir(0.5, 5)));
  EXPECT_TRUE(std::isfinite(s.logvrais1_dir(0.5, 0.5, 0.5, 5)));
}
