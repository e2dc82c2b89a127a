#include "stat/Stat.h"

#include <gsl/gsl_cdf.h>
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <functional>
#include <sstream>

using namespace bpp;
using Counts = std::valarray<unsigned int>;
using Probs = std::valarray<double>;

// Value, expected value, tolerance; an infinity agrees only with itself.
static void
expect_rows(const std::vector<std::array<double, 3>>& rows)
{
  for (const auto& [got, want, tol] : rows)
    EXPECT_TRUE(got == want || std::fabs(got - want) <= tol)
      << testing::PrintToString(got) << " instead of " << testing::PrintToString(want) << " within " << tol;
}

// f run on a new object: "<status of the RunStop it threw, or -1>|<its standard output>|<its standard error>"
static std::string
console_of(const std::function<void(Stat&)>& f)
{
  Stat s;
  ConsoleRecord record;
  std::string status = "-1";
  try
  {
    ConsoleCapture capture(record);
    f(s);
  }
  catch (const RunStop& stop)
  {
    status = std::to_string(stop.status);
  }
  std::ostringstream out, err;
  record.replay(out, err);
  return status + "|" + out.str() + "|" + err.str();
}

TEST(Stat, log_factorials_and_lngamma_agree_with_lgamma)
{
  Stat s;
  const unsigned int bound = Stat::logfact_table_bound;
  ASSERT_TRUE(bound >= 1000000u && bound <= 1u << 26); // deep sequencing depths memoised, in bounded memory
  auto size = [&s] { return static_cast<double>(s.logfact_table.size()); };
  // The table grows to the largest argument below the bound; log(n!) past it is computed.
  expect_rows({ { size(), 11, 0 },
                { s.logfact(5000), std::lgamma(5001.0), 1e-9 },
                { s.logfact(Counts{ 7, 11 })[1], std::lgamma(12.0), 1e-12 },
                { size(), 5001, 0 },
                { s.logfact(bound - 1), std::lgamma(static_cast<double>(bound)), 1e-4 },
                { s.logfact(bound), std::lgamma(bound + 1.0), 1e-4 },
                { s.LnGamma(0u), std::lgamma(4294967296.0), 1e-2 }, // wraps around: must neither hang nor allocate
                { size(), static_cast<double>(bound), 0 },
                { s.LnGamma(7u), std::log(720.0), 1e-13 },
                { s.LnGamma(11.0), s.logfact(10), 0 }, // small integers agree exactly with the table
                { s.LnGamma(Probs{ 0.5, 4.5 })[1], s.LnGamma(4.5), 0 } });
  ConsoleRecord quiet; // every negative argument is reported
  ConsoleCapture capture(quiet);
  for (double x : { 1e-8, 0.01, 0.3,   0.5,    0.999, 1.5,  3.7,   6.999,   7.0001,  9.5,        12.0,
                    12.5, 40.0, 101.3, 1234.5, -1.5,  -3.5, -99.5, -101.25, -1001.5, -1e15 + 0.5 })
    EXPECT_NEAR(s.LnGamma(x), std::lgamma(x), 1e-10 * std::max(1.0, std::fabs(std::lgamma(x)))) << x;
  // Gamma has a pole at each negative integer, and every double of magnitude 2^52 or more is one.
  for (double x : { 0.0, -0.0, 1.0, 2.0, -2.0, -3e9, -1e300, -HUGE_VAL })
    EXPECT_EQ(s.LnGamma(x), x < 0 ? -1.0 : 0.0) << x;
}

// A domain error that leaves no value to go on with stops the run with a status that is not
// 0, its message printed where the console of the run goes; the others only print.
TEST(Stat, domain_errors_print_their_message_and_stop_the_run_when_nothing_can_follow)
{
  std::vector<double> empty;
  Counts five{ 3, 1, 0, 0, 9 };
  Probs half{ 0.5, 0.5, 0, 0 };
  const std::string stop = std::to_string(kNumericErrorStatus), beta = stop + "||beta parameter error\n",
                    strange = " not implemented\nstrange!! check lngamma\n|";
  const std::pair<std::function<void(Stat&)>, std::string> cases[] = {
    { [&](Stat& s) { s.log_sum_exp(empty); }, stop + "||Empty vector passed to log_sum_exp\n" },
    { [](Stat& s) { s.LnGamma(-0.5); }, stop + "|LnGamma(-0.5)" + strange },
    { [](Stat& s) { s.LnGamma(-1000.5); }, stop + "|LnGamma(-1000.5)" + strange },
    { [](Stat& s) { s.QuantileBeta(-0.1, 1, 1, 0); }, beta },
    { [](Stat& s) { s.QuantileBeta(0.5, -1, 1, 0); }, beta },
    { [](Stat& s) { s.QuantileBeta(0.5, 1, -1, 0); }, beta },
    { [](Stat& s) { s.QuantileBeta(1.5, 1, 1, 0); }, beta },
    { [](Stat& s) { s.LnGamma(-2.0); }, "-1|LnGamma(-2) not implemented\nlnGamma undefined\n|" },
    { [](Stat& s) { EXPECT_EQ(s.CDFBeta(0.3, 0, 1, 0), -1.0); }, "-1|p=0 q=1: parameter outside range in CDFBeta\n|" },
    { [](Stat& s) { s.CDFBeta(0.3, 2.5, -0.25, 0); }, "-1|p=2.5 q=-0.25: parameter outside range in CDFBeta\n|" },
    // x is tested before the shapes
    { [](Stat& s) { EXPECT_EQ(s.CDFBeta(0, -1, 1, 0) + s.CDFBeta(-2, 2, 3, 0) + s.CDFBeta(1.0, 0, 0, 0), 1.0); },
      "-1||" },
    // Counts and probabilities of different lengths: the probability of their common entries.
    { [&](Stat& s) { EXPECT_NEAR(s.dmultinom(five, half), 0.25, 1e-15); },
      "-1||dmultinom error : value.size != proba.size\n" },
  };
  for (const auto& [call, want] : cases)
    EXPECT_EQ(console_of(call), want);
}

TEST(Stat, probabilities_match_their_closed_forms)
{
  Stat s;
  auto lse = [&s](std::vector<double> v) { return s.log_sum_exp(v); };
  auto multinomial = [&s](Counts x, Probs p) { return s.dmultinom(x, p); };
  // prior 0.25 times the Dirichlet-multinomial
  auto dm = [&s](Counts x, Probs p, double alpha) { return s.pgeno_dir(x, p, 0.25, alpha) / 0.25; };
  const Probs p{ 0.7, 0.2, 0.06, 0.04 }, a_only{ 1, 0, 0, 0 };
  Counts x{ 2, 1, 0, 0 };
  Probs weights{ 1, 2, 3, 4 };
  expect_rows({
    { lse({ -3.7, -5.2 }), std::log(std::exp(-3.7) + std::exp(-5.2)), 1e-14 },
    // Shifted by any other element than the largest, these overflow.
    { lse({ 1000, 0 }), 1000, 1e-12 },
    { lse({ -1000, 0 }), 0, 1e-12 },
    // Beyond the 32-bit range the sum stays finite.
    { lse({ 5e9, 5e9 - 1 }), 5e9 + std::log1p(std::exp(-1.0)), 1e-5 },
    { lse({ 0.123456789 }), 0.123456789, 0 },
    { lse({ -HUGE_VAL, -HUGE_VAL, -HUGE_VAL }), -HUGE_VAL, 0 },
    { lse({ 1.0, HUGE_VAL }), HUGE_VAL, 0 },
    { s.dmultinom(x, weights), 3 * 0.1 * 0.1 * 0.2, 1e-15 },
    { weights[0], 1, 0 }, // normalised on a private copy
    // A base that was not read weighs 1 even at probability 0.
    { multinomial({ 2, 0, 0, 0 }, a_only), 1, 0 },
    { multinomial({ 0, 1, 0, 0 }, a_only), 0, 0 },
    { dm({ 0, 1, 1, 0 }, p, 0.5), 2 * 0.2 * 0.06 * 0.5 / 1.5, 1e-9 },           // 2 p_i p_j alpha / (alpha + 1)
    { dm({ 30, 0, 4, 1 }, p, 1e8) / multinomial({ 30, 0, 4, 1 }, p), 1, 1e-5 }, // as alpha grows
    // Concentrations alpha p_i unnormalised: 2! Gamma(1) / Gamma(3) (Gamma(3) / Gamma(2))^2.
    { dm({ 1, 1, 0, 0 }, { 2, 2, 2, 2 }, 1), 4, 1e-9 },
    // A zero concentration: 4!/3! Gamma(13)/Gamma(14) for a read of its base, not 0.
    { dm({ 3, 1, 0, 0 }, a_only, 10), 4.0 / 13, 1e-9 },
  });
}

TEST(Stat, beta_cdf_and_quantile_agree_with_gsl_and_discretize_writes_the_class_medians)
{
  Stat s;
  const double shapes[] = { 0.5, 1, 2, 2.5, 4, 7, 30 };
  for (double p : shapes)
    for (double q : shapes)
      for (double x = 0.01; x < 1; x += 0.07)
      {
        EXPECT_NEAR(s.CDFBeta(x, p, q, 0), gsl_cdf_beta_P(x, p, q), 1e-10) << x << " " << p << " " << q;
        EXPECT_NEAR(gsl_cdf_beta_P(s.QuantileBeta(x, p, q, 0), p, q), x, 1e-9) << x << " " << p << " " << q;
      }
  double out[5] = { -7, -7, -7, -7, -7 };
  s.discretize_beta(0.5, 3, 4, out);
  for (int i = 0; i < 4; ++i)
    EXPECT_NEAR(gsl_cdf_beta_P(out[i], 0.5, 3), (2 * i + 1) / 8.0, 1e-9) << i;
  expect_rows({ { out[4], -7, 0 },
                { s.CDFBeta(1e-14, 0.01, 0.001, 0), gsl_cdf_beta_P(1e-14, 0.01, 0.001), 1e-9 }, // leading term alone
                { s.QuantileBeta(0, 2, 5, 0), 0, 0 },
                { s.QuantileBeta(1, 2, 5, 0), 1, 0 } });
}

TEST(Stat, likelihoods_combine_genotypes_loci_and_individuals_as_the_model_says)
{
  // A new object holds the read probabilities of error rate 0.001 and F = 0.
  Stat s, inbred, pos, first, beyond;
  inbred.fis = 1.0;
  pos.values = first.values = beyond.values = { 10, 0, 0, 0, 4, 5, 0, 1 };
  pos.nb_values = 8;
  first.nb_values = 4;
  beyond.nb_values = 22; // never read past the array
  Counts c{ 4, 3, 1, 0 }, i1{ 10, 0, 0, 0 }, i2{ 4, 5, 0, 1 };
  const Probs A{ 0.997, 0.001, 0.001, 0.001 }, B{ 0.001, 0.997, 0.001, 0.001 }, C{ 0.499, 0.499, 0.001, 0.001 };
  auto M = [&](Probs v) { return s.dmultinom(c, v); };
  const double p = 0.35, q = 0.9, xi = 0.25;
  expect_rows({
    { s.epsilon, 0.001, 0 },
    { s.lnL0(c, p), std::log(p * p * M(A) + 2 * p * (1 - p) * M(C) + (1 - p) * (1 - p) * M(B)), 1e-12 },
    // Fully inbred: in two loci only the pairs 11/11, 11/22, 22/11 and 22/22.
    { inbred.lnL1(c, p, q, xi),
      std::log(p * q * M(A) + p * (1 - q) * M(xi * A + (1 - xi) * B) + (1 - p) * q * M(xi * B + (1 - xi) * A) +
               (1 - p) * (1 - q) * M(B)),
      1e-12 },
    // xi = 1: every read from locus 1; xi = 0: every read from locus 2.
    { pos.lnL1(c, p, q, 1.0), pos.lnL0(c, p), 1e-12 },
    { pos.lnL1(c, q, p, 0.0), pos.lnL0(c, p), 1e-12 },
    { pos.lnL1_dir(c, p, q, 1.0, 6.0), pos.lnL0_dir(c, p, 6.0), 1e-12 },
    // The Dirichlet-multinomial tends to the multinomial as alpha grows.
    { pos.lnL0_dir(c, p, 1e8), pos.lnL0(c, p), 1e-5 },
    // A position is minus the sum over its individuals, as many as nb_values says.
    { pos.logvrais0(p), -pos.lnL0(i1, p) - pos.lnL0(i2, p), 1e-12 },
    { pos.logvrais0_dir(p, 4), -pos.lnL0_dir(i1, p, 4) - pos.lnL0_dir(i2, p, 4), 1e-12 },
    { pos.logvrais1(p, q, xi), -pos.lnL1(i1, p, q, xi) - pos.lnL1(i2, p, q, xi), 1e-12 },
    { pos.logvrais1_dir(p, q, xi, 4), -pos.lnL1_dir(i1, p, q, xi, 4) - pos.lnL1_dir(i2, p, q, xi, 4), 1e-12 },
    { first.logvrais1(p, q, xi), -pos.lnL1(i1, p, q, xi), 1e-12 },
    { beyond.logvrais1(p, q, xi), pos.logvrais1(p, q, xi), 1e-12 },
    // A position without individuals gives -0, whose inverse is -inf.
    { 1 / s.logvrais0(p) + 1 / s.logvrais0_dir(p, 5) + 1 / s.logvrais1(p, q, xi) + 1 / s.logvrais1_dir(p, q, xi, 5),
      -HUGE_VAL,
      0 },
  });
}
