#include "StatTestUtil.h"
#include "stat/Stat.h"

#include <gtest/gtest.h>

#include <cmath>

using bpp::Stat;

namespace
{
// I_x(a, b) for integer shapes: the probability of at least a successes in a + b - 1 trials.
double
beta_cdf_integer(double x, int a, int b)
{
  const int n = a + b - 1;
  double sum = 0.0;
  for (int k = a; k <= n; ++k)
    sum += std::exp(std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0)) * std::pow(x, k) *
           std::pow(1 - x, n - k);
  return sum;
}

double
log_beta(double p, double q)
{
  return std::lgamma(p) + std::lgamma(q) - std::lgamma(p + q);
}
} // namespace

TEST(CDFBeta, matches_closed_forms_on_both_sides_of_the_swap)
{
  Stat s;
  EXPECT_NEAR(s.CDFBeta(0.5, 1, 1, 0), 0.5, 1e-14);
  EXPECT_NEAR(s.CDFBeta(0.3, 2, 3, 0), 1 - std::pow(0.7, 4) - 4 * 0.3 * std::pow(0.7, 3), 1e-13);
  EXPECT_NEAR(s.CDFBeta(0.7, 2, 3, 0), 1 - std::pow(0.3, 4) - 4 * 0.7 * std::pow(0.3, 3), 1e-13);
  for (int a = 1; a <= 7; ++a)
    for (int b = 1; b <= 7; ++b)
      for (double x = 0.02; x < 1; x += 0.06)
        EXPECT_NEAR(s.CDFBeta(x, a, b, 0), beta_cdf_integer(x, a, b), 1e-12) << x << " " << a << " " << b;
}

// Non-integer shapes go through LnGamma's series, good to about 2e-11, which bounds the agreement.
TEST(CDFBeta, matches_closed_forms_for_non_integer_shapes)
{
  Stat s;
  for (double x = 0.01; x < 1; x += 0.07)
  {
    EXPECT_NEAR(s.CDFBeta(x, 0.5, 0.5, 0), 2 / M_PI * std::asin(std::sqrt(x)), 1e-10) << x;
    EXPECT_NEAR(s.CDFBeta(x, 2.5, 1, 0), std::pow(x, 2.5), 1e-10) << x;
    EXPECT_NEAR(s.CDFBeta(x, 1, 3.5, 0), 1 - std::pow(1 - x, 3.5), 1e-10) << x;
    // I_x(p, q) = 1 - I_(1-x)(q, p)
    EXPECT_NEAR(s.CDFBeta(x, 3.3, 1.7, 0), 1 - s.CDFBeta(1 - x, 1.7, 3.3, 0), 1e-12) << x;
  }
  // Tiny x takes the leading term x^p / (p B(p, q)): 6 x^2 for Beta(2, 3).
  EXPECT_NEAR(s.CDFBeta(1e-14, 2, 3, 0), 6e-28, 1e-33);
  // A supplied log B(p, q) changes nothing.
  for (double x : { 0.1, 0.45, 0.8 })
    EXPECT_NEAR(s.CDFBeta(x, 4.2, 1.3, log_beta(4.2, 1.3)), s.CDFBeta(x, 4.2, 1.3, 0), 1e-10);
}

TEST(CDFBeta, range_is_tested_before_the_shapes)
{
  Stat s;
  StreamCapture out(std::cout);
  EXPECT_EQ(s.CDFBeta(0, -1, 1, 0), 0.0);
  EXPECT_EQ(s.CDFBeta(-2, 2, 3, 0), 0.0);
  EXPECT_EQ(s.CDFBeta(1.5, 2, 3, 0), 1.0);
  EXPECT_EQ(s.CDFBeta(1.0, 0, 0, 0), 1.0);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(s.CDFBeta(0.3, 0, 1, 0), -1.0);
  EXPECT_EQ(out.str(), "p=0 q=1: parameter outside range in CDFBeta\n");
  EXPECT_EQ(s.CDFBeta(0.3, 2.5, -0.25, 0), -1.0);
  EXPECT_EQ(out.str(),
            "p=0 q=1: parameter outside range in CDFBeta\np=2.5 q=-0.25: parameter outside range in CDFBeta\n");
}

TEST(QuantileBeta, inverts_cdfbeta_and_is_symmetric)
{
  Stat s;
  EXPECT_EQ(s.QuantileBeta(0, 2, 5, 0), 0.0);
  EXPECT_EQ(s.QuantileBeta(1, 2, 5, 0), 1.0);
  EXPECT_NEAR(s.QuantileBeta(0.5, 1, 1, 0), 0.5, 1e-12);
  const double a = s.QuantileBeta(1.0 / 8, 2, 2, 0);
  const double b = s.QuantileBeta(7.0 / 8, 2, 2, 0);
  EXPECT_NEAR(b, 1 - a, 1e-10);
  EXPECT_NEAR(s.CDFBeta(a, 2, 2, 0), 1.0 / 8, 1e-10);
  EXPECT_NEAR(s.CDFBeta(b, 2, 2, 0), 7.0 / 8, 1e-10);

  const double shapes[] = { 0.5, 1.0, 2.5, 7.0, 30.0 };
  for (double p : shapes)
    for (double q : shapes)
      for (double prob : { 0.01, 0.2, 0.5, 0.77, 0.99 })
      {
        const double x = s.QuantileBeta(prob, p, q, 0);
        ASSERT_GE(x, 0.0);
        ASSERT_LE(x, 1.0);
        EXPECT_NEAR(s.CDFBeta(x, p, q, 0), prob, 1e-9) << prob << " " << p << " " << q;
        // Beta(q, p) is Beta(p, q) mirrored.
        EXPECT_NEAR(s.QuantileBeta(1 - prob, q, p, 0), 1 - x, 1e-8) << prob << " " << p << " " << q;
      }
  // Closed forms: Beta(p, 1) has quantile prob^(1/p), Beta(1, q) has 1 - (1 - prob)^(1/q).
  EXPECT_NEAR(s.QuantileBeta(0.3, 3, 1, 0), std::pow(0.3, 1.0 / 3), 1e-10);
  EXPECT_NEAR(s.QuantileBeta(0.3, 1, 4, 0), 1 - std::pow(0.7, 0.25), 1e-10);
}

TEST(DiscretizeBeta, writes_the_class_medians)
{
  Stat s;
  double out[4];
  s.discretize_beta(2, 2, 4, out);
  for (int i = 0; i < 4; ++i)
  {
    // The Beta(2, 2) distribution function is 3x^2 - 2x^3.
    EXPECT_NEAR(3 * out[i] * out[i] - 2 * out[i] * out[i] * out[i], (2 * i + 1) / 8.0, 1e-10) << i;
    EXPECT_NEAR(out[i] + out[3 - i], 1.0, 1e-10) << i;
  }

  double uniform[5];
  s.discretize_beta(1, 1, 5, uniform);
  for (int i = 0; i < 5; ++i)
    EXPECT_NEAR(uniform[i], (2 * i + 1) / 10.0, 1e-12);

  double median[2] = { -7, -7 };
  s.discretize_beta(3, 5, 1, median);
  EXPECT_NEAR(s.CDFBeta(median[0], 3, 5, 0), 0.5, 1e-10);
  EXPECT_EQ(median[1], -7);

  double untouched[1] = { -7 };
  s.discretize_beta(3, 5, 0, untouched);
  s.discretize_beta(3, 5, -2, untouched);
  EXPECT_EQ(untouched[0], -7);
}
