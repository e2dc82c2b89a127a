// Runs of the quorlin executable, checked against an independent computation of posteriors
// and calls (tests/golden/check_posteriors.py) and against the truth of simulated data.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
const std::string kSource = QUORLIN_SOURCE_DIR;

std::string
slurp(const fs::path& path)
{
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int
run_in(const fs::path& dir, const std::string& command)
{
  return std::system(("cd " + dir.string() + " && " + command).c_str());
}
} // namespace

TEST(EndToEnd, posteriors_and_calls_agree_with_an_independent_computation_and_the_truth)
{
  const std::string checker = "python3 " + kSource + "/tests/golden/check_posteriors.py ";
  // The reviewed expected files of the golden cases that name the checker's options.
  int cases = 0;
  for (const auto& entry : fs::directory_iterator(kSource + "/tests/golden"))
  {
    const fs::path d = entry.path();
    if (!fs::exists(d / "check"))
      continue;
    std::istringstream args(slurp(d / "args"));
    std::string alr, options = slurp(d / "check");
    std::getline(args, alr) && std::getline(args, alr);
    std::replace(options.begin(), options.end(), '\n', ' ');
    EXPECT_EQ(run_in(d, checker + alr + " expected.gen expected.data --stdout expected.stdout " + options), 0) << d;
    ++cases;
  }
  EXPECT_GE(cases, 8);
  if (std::string(QUORLIN_BINARY).empty())
    GTEST_SKIP() << "the quorlin executable is not built";

  // Fresh runs on interleaved species with bias and a few third alleles.
  const fs::path dir = fs::path(::testing::TempDir()) / ("quorlin_end_to_end_" + std::to_string(getpid()));
  fs::create_directories(dir);
  ASSERT_EQ(run_in(dir,
                   "python3 " + kSource +
                     "/bench/gen_alr.py --contigs 3 --positions 150 --species 2 --individuals 4 --interleave "
                     "--depth 14 --error 0.015 --bias 0.2 --snp-rate 0.25 --multi-rate 0.03 --seed 101 "
                     "--out sim.alr --truth sim.truth"),
            0);
  const std::pair<const char*, const char*> runs[] = {
    { "-M2 -min 12", "--min 12 --lnl-model M2" }, // calls drawn at random
    { "-best -M2 -sep", "--best --separate --lnl-model M2" },
    { "-best -fis 0.2 -min 0 -acc", "--best --fis 0.2 --min 0 --policy accepted --lnl-model M1" },
    { "-best", "--best --lnl-model M1" },
  };
  for (const auto& r : runs)
  {
    ASSERT_EQ(run_in(dir, QUORLIN_BINARY " -alr sim.alr " + std::string(r.first) + " > sim.out 2> sim.err"), 0)
      << r.first << slurp(dir / "sim.err");
    EXPECT_EQ(run_in(dir, checker + "sim.alr sim.gen sim.data --stdout sim.out " + r.second), 0) << r.first;
  }
  // The calls of the last run against the truth, where the depth is at least 10.
  ASSERT_EQ(run_in(dir, "python3 " + kSource + "/bench/call_accuracy.py sim.alr sim.truth sim.gen > accuracy"), 0);
  const std::string report = slurp(dir / "accuracy"); // "called N, agreeing M, share S, ..."
  EXPECT_GT(std::stoi(report.substr(report.find("called ") + 7)), 2500) << report;
  EXPECT_GE(std::stod(report.substr(report.find("share ") + 6)), 0.99) << report;
  fs::remove_all(dir);
}
