#include "stat/Stat.h"
#include "StatTestUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <sstream>
#include <limits>
#include <vector>

using bpp::Stat;

namespace
{
const double inf = std::numeric_limits<double>::infinity();
}

TEST(Stat, new_object_holds_log_factorials_up_to_ten_and_default_vectors)
{
  Stat s;
  EXPECT_EQ(s.logfact_table.size(), 11u);
  EXPECT_EQ(s.nb_values, 0u);
  EXPECT_EQ(s.fis, 0.0);
  const double e = s.epsilon;
  EXPECT_DOUBLE_EQ(e, 0.001);
  const std::valarray<double> want[3] = { { 1 - 3 * e, e, e, e },
                                          { e, 1 - 3 * e, e, e },
                                          { (1 - 2 * e) / 2, (1 - 2 * e) / 2, e, e } };
  const std::valarray<double>* got[3] = { &s.proba_hom1, &s.proba_hom2, &s.proba_het };
  for (int g = 0; g < 3; ++g)
  {
    ASSERT_EQ(got[g]->size(), 4u);
    EXPECT_LT(std::abs(*got[g] - want[g]).max(), 1e-15) << g;
  }
  EXPECT_EQ(s.logfact(0), 0.0);
  EXPECT_EQ(s.logfact(1), 0.0);
  EXPECT_NEAR(s.logfact(10), std::log(3628800.0), 1e-12);
  EXPECT_EQ(s.logfact_table.size(), 11u);
}

TEST(Stat, logfact_grows_the_table_to_the_largest_argument_and_then_looks_up)
{
  Stat s;
  EXPECT_NEAR(s.logfact(11), std::lgamma(12.0), 1e-12);
  EXPECT_EQ(s.logfact_table.size(), 12u);
  EXPECT_NEAR(s.logfact(25), std::lgamma(26.0), 1e-11);
  EXPECT_EQ(s.logfact_table.size(), 26u);
  EXPECT_NEAR(s.logfact(5), std::log(120.0), 1e-13);
  EXPECT_EQ(s.logfact_table.size(), 26u);
  const std::valarray<double> many = s.logfact(std::valarray<unsigned int>{ 3, 0, 30 });
  ASSERT_EQ(many.size(), 3u);
  EXPECT_NEAR(many[0], std::log(6.0), 1e-14);
  EXPECT_NEAR(many[2], std::lgamma(31.0), 1e-11);
  EXPECT_EQ(s.logfact_table.size(), 31u);

  // Values do not depend on the order in which depths arrive.
  Stat jump, step;
  jump.logfact(5000);
  for (unsigned int n = 11; n <= 5000; n += 7)
    step.logfact(n);
  step.logfact(5000);
  EXPECT_EQ(jump.logfact_table, step.logfact_table);
}

TEST(Stat, depths_beyond_the_table_bound_are_computed_without_growing_it)
{
  Stat s;
  const unsigned int bound = Stat::logfact_table_bound;
  ASSERT_GE(bound, 1000000u); // deep sequencing depths must still be memoised
  ASSERT_LE(bound, 1u << 26);
  const double below = s.logfact(bound - 1);
  EXPECT_EQ(s.logfact_table.size(), bound);
  EXPECT_NEAR(below, std::lgamma(static_cast<double>(bound)), 1e-9 * below);
  const double at = s.logfact(bound);
  EXPECT_NEAR(at, std::lgamma(bound + 1.0), 1e-12 * at);
  EXPECT_NEAR(at - below, std::log(static_cast<double>(bound)), 1e-4); // one function across the bound
  const double huge = s.logfact(UINT_MAX);
  EXPECT_NEAR(huge, std::lgamma(4294967296.0), 1e-12 * huge);
  EXPECT_EQ(s.logfact(bound - 1), below);
  EXPECT_EQ(s.logfact_table.size(), bound);
}

TEST(Stat, lngamma_of_zero_and_small_integers_comes_from_the_table)
{
  Stat s;
  EXPECT_EQ(s.LnGamma(0.0), 0.0);
  EXPECT_EQ(s.LnGamma(-0.0), 0.0);
  EXPECT_EQ(s.LnGamma(1.0), 0.0);
  EXPECT_EQ(s.LnGamma(2.0), 0.0);
  EXPECT_EQ(s.LnGamma(11.0), s.logfact(10));
  EXPECT_EQ(s.LnGamma(7u), s.logfact(6));
  // The unsigned 0 asks for log((2^32 - 1)!), which must neither hang nor allocate.
  EXPECT_NEAR(s.LnGamma(0u), std::lgamma(4294967296.0), 1e-3);
  EXPECT_EQ(s.logfact_table.size(), 11u);
}

TEST(Stat, lngamma_agrees_with_lgamma_to_ten_decimals_for_positive_arguments)
{
  Stat s;
  EXPECT_NEAR(s.LnGamma(12.0), std::log(39916800.0), 1e-10);
  EXPECT_NEAR(s.LnGamma(0.5), 0.5 * std::log(M_PI), 1e-10);
  for (double x : { 1e-8, 0.01, 0.3, 0.999, 1.5, 3.7, 6.999, 7.0001, 9.5, 12.5, 40.0, 101.3, 1234.5 })
    EXPECT_NEAR(s.LnGamma(x), std::lgamma(x), 1e-10 * std::max(1.0, std::fabs(std::lgamma(x)))) << x;
  const std::valarray<double> many = s.LnGamma(std::valarray<double>{ 0.5, 4.5 });
  ASSERT_EQ(many.size(), 2u);
  EXPECT_NEAR(many[1], std::lgamma(4.5), 1e-10);
}

TEST(Stat, lngamma_of_negative_arguments_prints_and_ends_quickly)
{
  Stat s;
  {
    StreamCapture out(std::cout);
    EXPECT_NEAR(s.LnGamma(-1.5), std::log(4 * std::sqrt(M_PI) / 3), 1e-10);
    EXPECT_EQ(out.str(), "LnGamma(-1.5) not implemented\n");
  }
  {
    StreamCapture out(std::cout);
    EXPECT_EQ(s.LnGamma(-2.0), -1.0);
    EXPECT_EQ(out.str(), "LnGamma(-2) not implemented\nlnGamma undefined\n");
  }
  StreamCapture out(std::cout);
  EXPECT_NEAR(s.LnGamma(-3.5), std::lgamma(-3.5), 1e-10);
  EXPECT_NEAR(s.LnGamma(-99.5), std::lgamma(-99.5), 1e-9);
  // Every double this large is an integer, where Gamma has a pole; adding 1 cannot reach 0.
  EXPECT_EQ(s.LnGamma(-1e300), -1.0);
  EXPECT_EQ(s.LnGamma(-inf), -1.0);
  EXPECT_EQ(s.LnGamma(-3e9), -1.0);
  // Far below the recursion's reach the value is still log|Gamma(x)|.
  for (double x : { -101.25, -1001.5, -1e15 + 0.5 })
    EXPECT_NEAR(s.LnGamma(x), std::lgamma(x), 1e-12 * std::fabs(std::lgamma(x))) << x;
}

TEST(Stat, dmultinom_matches_the_multinomial_and_ignores_unread_bases)
{
  Stat s;
  std::valarray<unsigned int> c{ 3, 1, 0, 0 };
  std::valarray<double> p{ 0.997, 0.001, 0.001, 0.001 };
  EXPECT_NEAR(s.dmultinom(c, p), 4 * std::pow(0.997, 3) * 0.001, 1e-15);
  std::valarray<unsigned int> c2{ 5, 7, 0, 2 };
  std::valarray<double> p2{ 0.3, 0.6, 0.9, 1.2 }; // unnormalised on purpose
  EXPECT_NEAR(s.dmultinom(c2, p2), multinomial(c2, p2), 1e-13);
  EXPECT_EQ(p2[3], 1.2); // normalised on a private copy
  std::valarray<unsigned int> c3{ 1, 1, 0, 0 };
  std::valarray<double> flat{ 2, 2, 2, 2 }, quarter{ 0.25, 0.25, 0.25, 0.25 };
  EXPECT_NEAR(s.dmultinom(c3, flat), 0.125, 1e-15);
  EXPECT_NEAR(s.dmultinom(c3, quarter), 0.125, 1e-15);
  std::valarray<unsigned int> deep{ 40, 30, 20, 10 };
  EXPECT_NEAR(s.dmultinom(deep, quarter), multinomial(deep, quarter), 1e-17);
  EXPECT_EQ(s.logfact_table.size(), 101u);

  std::valarray<double> a_only{ 1, 0, 0, 0 };
  std::valarray<unsigned int> hom{ 2, 0, 0, 0 }, other{ 0, 1, 0, 0 }, none{ 0, 0, 0, 0 };
  EXPECT_EQ(s.dmultinom(hom, a_only), 1.0);
  EXPECT_EQ(s.dmultinom(other, a_only), 0.0);
  EXPECT_EQ(s.dmultinom(none, a_only), 1.0);
}

TEST(Stat, dmultinom_with_sizes_that_differ_reports_and_uses_the_common_length)
{
  Stat s;
  const std::string message = "dmultinom error : value.size != proba.size\n";
  std::valarray<unsigned int> five{ 3, 1, 0, 0, 9 }, three{ 3, 1, 0 }, four_counts{ 3, 1, 0, 0 };
  std::valarray<double> four{ 0.5, 0.5, 0, 0 };
  StreamCapture err(std::cerr);
  EXPECT_NEAR(s.dmultinom(five, four), 4.0 / 16.0, 1e-15);
  EXPECT_EQ(err.str(), message);
  EXPECT_NEAR(s.dmultinom(three, four), 4.0 / 16.0, 1e-15);
  s.dmultinom(four_counts, four);
  EXPECT_EQ(err.str(), message + message);
}

TEST(Stat, pgeno_dir_is_the_dirichlet_multinomial_times_the_prior)
{
  Stat s;
  const std::valarray<double> p{ 0.7, 0.2, 0.06, 0.04 };
  for (std::valarray<unsigned int> x : { std::valarray<unsigned int>{ 5, 2, 1, 0 }, { 0, 0, 0, 0 }, { 30, 0, 4, 1 } })
    for (double alpha : { 0.5, 3.0, 47.25 })
    {
      double l = std::lgamma(x.sum() + 1.0) + std::lgamma(alpha) - std::lgamma(x.sum() + alpha);
      for (int i = 0; i < 4; ++i)
        l += std::lgamma(x[i] + alpha * p[i]) - std::lgamma(alpha * p[i]) - std::lgamma(x[i] + 1.0);
      EXPECT_NEAR(s.pgeno_dir(x, p, 0.3, alpha), 0.3 * std::exp(l), 1e-9 * std::exp(l)) << alpha;
    }
  std::valarray<unsigned int> x{ 1, 1, 0, 0 };
  // Concentrations are alpha * p_i unnormalised: with (2, 2, 2, 2) and alpha 1,
  // 2! Gamma(1)/Gamma(3) * (Gamma(3)/Gamma(2))^2 = 4; with (1/4, ...), 2 * (1/2) * (1/4)^2.
  EXPECT_NEAR(s.pgeno_dir(x, { 2, 2, 2, 2 }, 1.0, 1.0), 4.0, 1e-9);
  EXPECT_NEAR(s.pgeno_dir(x, { 0.25, 0.25, 0.25, 0.25 }, 1.0, 1.0), 1.0 / 16, 1e-10);
  // A zero concentration: reads of base 0 only are certain, and a read of base 1 gives
  // 4!/3! * Gamma(13)/Gamma(14) = 4/13 rather than 0.
  std::valarray<unsigned int> hom{ 3, 0, 0, 0 }, odd{ 3, 1, 0, 0 };
  EXPECT_NEAR(s.pgeno_dir(hom, { 1, 0, 0, 0 }, 0.4, 10.0), 0.4, 1e-10);
  EXPECT_NEAR(s.pgeno_dir(odd, { 1, 0, 0, 0 }, 1.0, 10.0), 4.0 / 13.0, 1e-10);
  EXPECT_NEAR(s.pgeno(odd, { 0.5, 0.5, 0, 0 }, 0.2), 0.2 * 4 / 16.0, 1e-15);
}

TEST(Stat, log_sum_exp_shifts_by_the_truncated_maximum_and_handles_infinities)
{
  Stat s;
  auto lse = [&s](std::vector<double> v) { return s.log_sum_exp(v); };
  EXPECT_NEAR(lse({ -3.7, -5.2 }), std::log(std::exp(-3.7) + std::exp(-5.2)), 1e-14);
  EXPECT_NEAR(lse({ 2.2, 2.9, -1.0 }), std::log(std::exp(2.2) + std::exp(2.9) + std::exp(-1.0)), 1e-14);
  // Without the shift these would overflow or underflow.
  EXPECT_NEAR(lse({ 1000.5, 999.2 }), 1000.5 + std::log1p(std::exp(-1.3)), 1e-12);
  EXPECT_NEAR(lse({ -1200.25, -1200.25, -1200.25 }), -1200.25 + std::log(3.0), 1e-12);
  // Values beyond the 32-bit range still combine to a finite value.
  EXPECT_NEAR(lse({ -3e9, -3e9 }), -3e9 + std::log(2.0), 1e-5);
  EXPECT_NEAR(lse({ 5e9, 5e9 - 1 }), 5e9 + std::log1p(std::exp(-1.0)), 1e-5);

  EXPECT_EQ(lse({ -inf }), -inf);
  EXPECT_EQ(lse({ 0.123456789 }), 0.123456789);
  EXPECT_EQ(lse({ -inf, -inf, -inf }), -inf);
  EXPECT_NEAR(lse({ -inf, -2.5, -inf }), -2.5, 1e-15);
  EXPECT_EQ(lse({ 1.0, inf }), inf);
  EXPECT_TRUE(std::isnan(lse({ 1.0, std::nan("") })));
}

// A domain error that leaves no value to go on with stops the run with a status that is not
// 0, its message printed where the console of the run goes.
TEST(Stat, domain_errors_stop_the_run_with_their_message)
{
  std::vector<double> empty;
  struct Case
  {
    std::function<void(Stat&)> call;
    const char* out;
    const char* err;
  } const cases[] = {
    { [&](Stat& s) { s.log_sum_exp(empty); }, "", "Empty vector passed to log_sum_exp\n" },
    { [](Stat& s) { s.LnGamma(-0.5); }, "LnGamma(-0.5) not implemented\nstrange!! check lngamma\n", "" },
    { [](Stat& s) { s.LnGamma(-2.25); }, "LnGamma(-2.25) not implemented\nstrange!! check lngamma\n", "" },
    { [](Stat& s) { s.LnGamma(-1000.5); }, "LnGamma(-1000.5) not implemented\nstrange!! check lngamma\n", "" },
    { [](Stat& s) { s.QuantileBeta(-0.1, 1, 1, 0); }, "", "beta parameter error\n" },
    { [](Stat& s) { s.QuantileBeta(0.5, -1, 1, 0); }, "", "beta parameter error\n" },
    { [](Stat& s) { s.QuantileBeta(0.5, 1, -1, 0); }, "", "beta parameter error\n" },
    { [](Stat& s) { s.QuantileBeta(1.5, 1, 1, 0); }, "", "beta parameter error\n" },
  };
  using namespace bpp;
  for (const Case& c : cases)
  {
    Stat s;
    ConsoleRecord record;
    int status = -1;
    {
      ConsoleCapture capture(record);
      try
      {
        c.call(s);
      }
      catch (const RunStop& stop)
      {
        status = stop.status;
      }
    }
    std::ostringstream out, err;
    record.replay(out, err);
    EXPECT_EQ(status, kNumericErrorStatus) << c.out << c.err;
    EXPECT_EQ(out.str(), c.out);
    EXPECT_EQ(err.str(), c.err);
  }
}
