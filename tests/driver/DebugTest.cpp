#include "driver/Debug.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{
// The self-check's example: ten individuals reading allele 1 and allele 2 only.
const int kReads[10][2] = { { 2, 0 }, { 6, 2 }, { 5, 0 }, { 5, 1 }, { 6, 6 },
                            { 9, 3 }, { 6, 0 }, { 4, 2 }, { 1, 3 }, { 2, 2 } };
const double kE = 0.00246587, kF = 0.99;
const double kVectors[3][4] = { { 1 - 3 * kE, kE, kE, kE },
                                { 0.5 - kE, 0.5 - kE, kE, kE },
                                { kE, 1 - 3 * kE, kE, kE } };

// Textbook Dirichlet-multinomial probability of (x1, x2, 0, 0) with concentrations alpha * v.
double
dm(int x1, int x2, const double* v, double alpha)
{
  const double a1 = alpha * v[0], a2 = alpha * v[1], sum = alpha * (v[0] + v[1] + v[2] + v[3]);
  return std::exp(std::lgamma(x1 + x2 + 1.0) - std::lgamma(x1 + 1.0) - std::lgamma(x2 + 1.0) + std::lgamma(sum) -
                  std::lgamma(x1 + x2 + sum) + std::lgamma(x1 + a1) - std::lgamma(a1) + std::lgamma(x2 + a2) -
                  std::lgamma(a2));
}

void
weights(double p, double w[3]) // genotypes 11, 12, 22
{
  w[0] = p * p * (1 - kF) + kF * p;
  w[1] = 2 * p * (1 - p) * (1 - kF);
  w[2] = (1 - p) * (1 - p) * (1 - kF) + kF * (1 - p);
}

// Minus the two-locus log-likelihood; xi = 1 and p1 = p give the one-locus one.
double
minus_loglik(double p1, double p2, double xi, double alpha)
{
  double w1[3], w2[3];
  weights(p1, w1);
  weights(p2, w2);
  double total = 0.0;
  for (const auto& r : kReads)
  {
    double l = 0.0;
    for (int g1 = 0; g1 < 3; ++g1)
      for (int g2 = 0; g2 < 3; ++g2)
      {
        double mix[4];
        for (int b = 0; b < 4; ++b)
          mix[b] = xi * kVectors[g1][b] + (1 - xi) * kVectors[g2][b];
        l += w1[g1] * w2[g2] * dm(r[0], r[1], mix, alpha);
      }
    total -= std::log(l);
  }
  return total;
}

std::string
slurp(const std::string& path)
{
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
} // namespace

TEST(Debug, prints_ten_lines_on_stderr_and_exits_0)
{
  EXPECT_EXIT(bpp::debug(),
              ::testing::ExitedWithCode(0),
              "^\nml0=[^\n ]+ in R : 43\\.97648\nxi=[^\n ]+\nlogvrais0dir=[^\n ]+\n\n"
              "ml1=[^\n\t]+\tin R : 105\\.8411\np1=[^\n\t]+\tin R : 0\\.5999006\n"
              "p2=[^\n\t]+\tin R : 0\\.6335156\nxi=[^\n\t]+\tin R : 0\\.8031929\n"
              "logvrais1=[^\n ]+ in R : 105\\.8411\n$");
}

TEST(Debug, direct_evaluations_match_the_closed_form_and_stdout_stays_empty)
{
  const std::string base = ::testing::TempDir() + "quorlin_debug_" + std::to_string(::getpid());
  EXPECT_EXIT(
    {
      if (!std::freopen((base + ".out").c_str(), "w", stdout) || !std::freopen((base + ".err").c_str(), "w", stderr))
        std::_Exit(2);
      bpp::debug();
    },
    ::testing::ExitedWithCode(0),
    "");
  EXPECT_EQ(slurp(base + ".out"), "");
  std::istringstream err(slurp(base + ".err"));
  std::vector<std::string> lines;
  for (std::string l; std::getline(err, l);)
    lines.push_back(l);
  ASSERT_EQ(lines.size(), 10u);
  // Six significant digits are printed.
  const double lv0 = std::strtod(lines[3].c_str() + 13, nullptr); // after "logvrais0dir="
  const double lv1 = std::strtod(lines[9].c_str() + 10, nullptr); // after "logvrais1="
  EXPECT_NEAR(lv0, minus_loglik(0.7076923, 0.5, 1.0, 0.99), 1e-5 * lv0);
  EXPECT_NEAR(lv1, minus_loglik(0.999, 0.1442293, 0.6736401, 99.9999166), 1e-5 * lv1);
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
}
