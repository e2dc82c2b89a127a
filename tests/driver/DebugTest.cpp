#include "driver/Debug.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{
// The self-check's example: ten individuals, allele 1 then allele 2 (no other base is read).
const int kReads[10][2] = {{2, 0}, {6, 2}, {5, 0}, {5, 1}, {6, 6}, {9, 3}, {6, 0}, {4, 2}, {1, 3}, {2, 2}};
const double kE = 0.00246587;
const double kF = 0.99;

// Dirichlet-multinomial probability of (x1, x2, 0, 0) with concentrations alpha * v, from the
// textbook formula.
double dirichlet_multinomial(int x1, int x2, const double v[4], double alpha)
{
  const double a[4] = {alpha * v[0], alpha * v[1], alpha * v[2], alpha * v[3]};
  const double sum_a = a[0] + a[1] + a[2] + a[3];
  const int n = x1 + x2;
  double l = std::lgamma(n + 1.0) - std::lgamma(x1 + 1.0) - std::lgamma(x2 + 1.0) + std::lgamma(sum_a) -
             std::lgamma(n + sum_a);
  l += std::lgamma(x1 + a[0]) - std::lgamma(a[0]) + std::lgamma(x2 + a[1]) - std::lgamma(a[1]);
  return std::exp(l);
}

const double kHom1[4] = {1 - 3 * kE, kE, kE, kE};
const double kHom2[4] = {kE, 1 - 3 * kE, kE, kE};
const double kHet[4] = {0.5 - kE, 0.5 - kE, kE, kE};

void genotype_weights(double p, double w[3]) // 11, 12, 22
{
  w[0] = p * p * (1 - kF) + kF * p;
  w[1] = 2 * p * (1 - p) * (1 - kF);
  w[2] = (1 - p) * (1 - p) * (1 - kF) + kF * (1 - p);
}

double one_locus(double p, double alpha)
{
  double w[3];
  genotype_weights(p, w);
  const double* v[3] = {kHom1, kHet, kHom2};
  double sum = 0.0;
  for (const auto& r : kReads)
  {
    double l = 0.0;
    for (int g = 0; g < 3; ++g)
      l += w[g] * dirichlet_multinomial(r[0], r[1], v[g], alpha);
    sum += std::log(l);
  }
  return -sum;
}

double two_loci(double p1, double p2, double xi, double alpha)
{
  double w1[3], w2[3];
  genotype_weights(p1, w1);
  genotype_weights(p2, w2);
  const double* v[3] = {kHom1, kHet, kHom2};
  double sum = 0.0;
  for (const auto& r : kReads)
  {
    double l = 0.0;
    for (int g1 = 0; g1 < 3; ++g1)
      for (int g2 = 0; g2 < 3; ++g2)
      {
        double mix[4];
        for (int b = 0; b < 4; ++b)
          mix[b] = xi * v[g1][b] + (1 - xi) * v[g2][b];
        l += w1[g1] * w2[g2] * dirichlet_multinomial(r[0], r[1], mix, alpha);
      }
    sum += std::log(l);
  }
  return -sum;
}

std::vector<std::string> lines_of(const std::string& path)
{
  std::ifstream in(path);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line))
    lines.push_back(line);
  return lines;
}

std::string slurp(const std::string& path)
{
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Number after a prefix, up to the next tab or space.
double value_after(const std::string& line, const std::string& prefix)
{
  EXPECT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
  return std::strtod(line.c_str() + prefix.size(), nullptr);
}
} // namespace

TEST(Debug, prints_ten_lines_on_stderr_and_exits_0)
{
  const char* layout = "^\n"
                       "ml0=[^\n ]+ in R : 43\\.97648\n"
                       "xi=[^\n ]+\n"
                       "logvrais0dir=[^\n ]+\n"
                       "\n"
                       "ml1=[^\n\t]+\tin R : 105\\.8411\n"
                       "p1=[^\n\t]+\tin R : 0\\.5999006\n"
                       "p2=[^\n\t]+\tin R : 0\\.6335156\n"
                       "xi=[^\n\t]+\tin R : 0\\.8031929\n"
                       "logvrais1=[^\n ]+ in R : 105\\.8411\n$";
  EXPECT_EXIT(bpp::debug(), ::testing::ExitedWithCode(0), layout);
}

TEST(Debug, direct_evaluations_match_the_closed_form_and_stdout_stays_empty)
{
  const auto dir = std::filesystem::temp_directory_path() / ("quorlin_debug_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string out_path = (dir / "out").string();
  const std::string err_path = (dir / "err").string();

  EXPECT_EXIT(
    {
      if (!std::freopen(out_path.c_str(), "w", stdout) || !std::freopen(err_path.c_str(), "w", stderr))
        std::_Exit(2);
      bpp::debug();
    },
    ::testing::ExitedWithCode(0), "");

  EXPECT_EQ(slurp(out_path), "");
  const std::vector<std::string> lines = lines_of(err_path);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[4], "");

  // Printed with six significant digits.
  const double lv0 = value_after(lines[3], "logvrais0dir=");
  EXPECT_NEAR(lv0, one_locus(0.7076923, 0.99), 1e-5 * std::fabs(lv0));
  const double lv1 = value_after(lines[9], "logvrais1=");
  EXPECT_NEAR(lv1, two_loci(0.999, 0.1442293, 0.6736401, 99.9999166), 1e-5 * std::fabs(lv1));

  // The fits reach at least the best point of a coarse grid over the parameters' ranges.
  double grid0 = INFINITY;
  double grid1 = INFINITY;
  for (double alpha : {1.0, 3.0, 10.0, 30.0, 100.0, 1000.0})
    for (double p = 0.001; p < 1.0; p += 0.02)
    {
      grid0 = std::min(grid0, one_locus(p, alpha));
      for (double p2 = 0.001; p2 < 1.0; p2 += 0.07)
        for (double xi = 0.5; xi < 1.0; xi += 0.05)
          grid1 = std::min(grid1, two_loci(p, p2, xi, alpha));
    }
  const double ml0 = value_after(lines[1], "ml0=");
  const double ml1 = value_after(lines[5], "ml1=");
  EXPECT_LE(ml0, grid0 + 1e-3);
  EXPECT_LE(ml1, grid1 + 1e-3);
  EXPECT_GT(ml0, grid0 - 1.0);
  EXPECT_GT(ml1, grid1 - 1.0);

  std::filesystem::remove_all(dir);
}

TEST(Debug, options_before_it_change_nothing_and_no_file_is_written)
{
  const std::string binary = QUORLIN_BINARY;
  if (binary.empty())
    GTEST_SKIP() << "quorlin executable not built";
  const auto dir = std::filesystem::temp_directory_path() / ("quorlin_debug_cli_" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string d = dir.string();

  const std::string plain = "cd '" + d + "' && '" + binary + "' -debug >out1 2>err1";
  const std::string with_options =
    "cd '" + d + "' && '" + binary + "' -alr x.alr -fis 0.5 -par -dir -debug -thr 0.3 >out2 2>err2";
  const int status1 = std::system(plain.c_str());
  const int status2 = std::system(with_options.c_str());
  ASSERT_TRUE(WIFEXITED(status1));
  ASSERT_TRUE(WIFEXITED(status2));
  EXPECT_EQ(WEXITSTATUS(status1), 0);
  EXPECT_EQ(WEXITSTATUS(status2), 0);

  EXPECT_EQ(slurp(d + "/out1"), "");
  EXPECT_EQ(slurp(d + "/out2"), "");
  EXPECT_EQ(lines_of(d + "/err1").size(), 10u);
  EXPECT_EQ(slurp(d + "/err1"), slurp(d + "/err2"));
  // Only the redirections: no .gen, .data or .fasta file.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
  {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 4u);
  std::filesystem::remove_all(dir);
}
