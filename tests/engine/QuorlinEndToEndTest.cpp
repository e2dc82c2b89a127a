// End-to-end runs of the quorlin executable on generated data, checked against an independent
// computation of the posteriors (tests/golden/check_posteriors.py) and against the truth the
// generator wrote (bench/call_accuracy.py).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
const std::string kSource = QUORLIN_SOURCE_DIR;
const std::string kBinary = QUORLIN_BINARY;

int
run(const std::string& command)
{
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string
read_file(const std::string& path)
{
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class QuorlinEndToEnd : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (run("python3 -c 'import sys' >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "python3 is not available";
    std::string templ = ::testing::TempDir() + "quorlin_e2e_XXXXXX";
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    ASSERT_NE(mkdtemp(buffer.data()), nullptr);
    dir_ = buffer.data();
  }

  void TearDown() override
  {
    if (!dir_.empty())
      run("rm -rf '" + dir_ + "'");
  }

  bool have_binary() const { return !kBinary.empty() && access(kBinary.c_str(), X_OK) == 0; }

  // Writes sim.alr (and sim.truth) in the work directory.
  void generate(const std::string& options)
  {
    ASSERT_EQ(run("python3 '" + kSource + "/bench/gen_alr.py' " + options + " --out '" + dir_ + "/sim.alr' --truth '" +
                  dir_ + "/sim.truth'"),
              0);
  }

  // Runs quorlin in the work directory; stdout to sim.out.
  int quorlin(const std::string& options)
  {
    run("rm -f '" + dir_ + "/sim.gen' '" + dir_ + "/sim.data'");
    return run("cd '" + dir_ + "' && '" + kBinary + "' -alr sim.alr " + options + " > sim.out 2> sim.err");
  }

  // Runs the independent checker on the run's files; its report goes to check.out.
  int check(const std::string& options)
  {
    return run("cd '" + dir_ + "' && python3 '" + kSource +
               "/tests/golden/check_posteriors.py' sim.alr sim.gen sim.data " + options + " > check.out 2>&1");
  }

  std::string dir_;
};
} // namespace

TEST_F(QuorlinEndToEnd, checked_in_expected_files_agree_with_an_independent_computation)
{
  // Every engine case under tests/golden with a "check" file: its expected .gen, .data and
  // console output are recomputed from the input by the checker.
  std::ofstream(dir_ + "/golden.sh") << R"(cd "$1" || exit 2
n=0
for d in */; do
  d=${d%/}
  [ -f "$d/check" ] || continue
  alr=$(sed -n 2p "$d/args")
  mapfile -t opts < "$d/check"
  if ! python3 check_posteriors.py "$d/$alr" "$d/expected.gen" "$d/expected.data" "${opts[@]}" \
       --stdout "$d/expected.stdout" > "$2/one.out" 2>&1; then
    { echo "$d"; cat "$2/one.out"; } >> "$2/failed"
  fi
  n=$((n + 1))
done
echo $n > "$2/count"
)";
  ASSERT_EQ(run("bash '" + dir_ + "/golden.sh' '" + kSource + "/tests/golden' '" + dir_ + "'"), 0);
  EXPECT_GE(std::stoi(read_file(dir_ + "/count")), 8);
  EXPECT_EQ(read_file(dir_ + "/failed"), "");
}

TEST_F(QuorlinEndToEnd, best_calls_agree_with_an_independent_computation)
{
  if (!have_binary())
    GTEST_SKIP() << "quorlin is not built";
  generate("--contigs 3 --positions 120 --species 2 --individuals 4 --interleave --depth 9 --error 0.015 "
           "--bias 0.2 --snp-rate 0.25 --multi-rate 0.03 --seed 101");
  struct Case
  {
    std::string options;
    std::string check;
  };
  const std::vector<Case> cases = {
    { "-best", "--best --lnl-model M1" },
    { "-best -M2", "--best --lnl-model M2" },
    { "-best -sep", "--best --separate --lnl-model M1" },
    { "-best -M2 -all sim_all.fasta", "--best --separate --lnl-model M2" },
    { "-best -fis 0.2", "--best --fis 0.2 --lnl-model M1" },
    { "-best -min 0", "--best --min 0 --lnl-model M1" },
    { "-best -acc", "--best --policy accepted --lnl-model M1" },
  };
  for (const Case& c : cases)
  {
    ASSERT_EQ(quorlin(c.options), 0) << c.options << "\n" << read_file(dir_ + "/sim.err");
    EXPECT_EQ(check(c.check + " --stdout sim.out"), 0) << c.options << "\n" << read_file(dir_ + "/check.out");
  }
}

TEST_F(QuorlinEndToEnd, random_calls_follow_the_posteriors_of_the_best_run)
{
  if (!have_binary())
    GTEST_SKIP() << "quorlin is not built";
  generate("--contigs 2 --positions 400 --species 2 --individuals 5 --depth 4 --error 0.03 --snp-rate 0.3 --seed 7");
  ASSERT_EQ(quorlin("-best"), 0);
  const std::string best_data = read_file(dir_ + "/sim.data");
  ASSERT_EQ(quorlin(""), 0);
  // The fits do not depend on the draws: the same estimates, hence the same posteriors.
  EXPECT_EQ(read_file(dir_ + "/sim.data"), best_data);
  // Every random call is a possible genotype printed with its own posterior, and calls other
  // than the most probable genotype occur as often as the posteriors say (the checker prints
  // the z-score of their number).
  ASSERT_EQ(check("--random --stdout sim.out --lnl-model M1"), 0) << read_file(dir_ + "/check.out");
  const std::string report = read_file(dir_ + "/check.out");
  const size_t at = report.find("(z = ");
  ASSERT_NE(at, std::string::npos) << report;
  const double z = std::stod(report.substr(at + 5));
  EXPECT_LT(std::abs(z), 5.0) << report;
  // Low depth and a high error rate: many calls are uncertain, so the test has power.
  const size_t expected_at = report.find("expected ");
  EXPECT_GT(std::stod(report.substr(expected_at + 9)), 50.0) << report;
}

TEST_F(QuorlinEndToEnd, best_calls_match_the_truth_at_depth_10_or_more)
{
  if (!have_binary())
    GTEST_SKIP() << "quorlin is not built";
  generate("--contigs 4 --positions 300 --species 2 --individuals 6 --depth 14 --error 0.01 --snp-rate 0.1 "
           "--seed 2024");
  ASSERT_EQ(quorlin("-best"), 0);
  ASSERT_EQ(run("cd '" + dir_ + "' && python3 '" + kSource +
                "/bench/call_accuracy.py' sim.alr sim.truth sim.gen --min-depth 10 > accuracy.out"),
            0);
  const std::string report = read_file(dir_ + "/accuracy.out");
  const size_t at = report.find("share ");
  ASSERT_NE(at, std::string::npos) << report;
  EXPECT_GE(std::stod(report.substr(at + 6)), 0.99) << report;
  EXPECT_GT(std::stoi(report.substr(report.find("called ") + 7)), 10000) << report;
}

TEST_F(QuorlinEndToEnd, forbidden_stop_keeps_earlier_contigs_complete_on_disk)
{
  if (!have_binary())
    GTEST_SKIP() << "quorlin is not built";
  std::ofstream(dir_ + "/sim.alr") << ">first\nc\tp\ts1|a\ts2|b\n"
                                      "A\tP\t9[6/3/0/0]\t8[8/0/0/0]\n"
                                      "C\tM\t7\t5\n"
                                      ">second\nc\tp\ts1|a\ts2|b\n"
                                      "A\tM\t7\t5\n"
                                      "A\tP\t12[4/4/4/0]\t8[8/0/0/0]\n"
                                      ">third\nc\tp\ts1|a\ts2|b\n"
                                      "A\tM\t7\t5\n";
  EXPECT_EQ(quorlin("-best -for"), 0);
  const std::string out = read_file(dir_ + "/sim.out");
  EXPECT_NE(out.find("\nMore than 2 alleles detected at position 1\n"), std::string::npos) << out;
  EXPECT_EQ(out.find(">third"), std::string::npos) << out;
  const std::string gen = read_file(dir_ + "/sim.gen");
  EXPECT_EQ(gen.substr(0, gen.find('\n', gen.find("\n2\t") + 1) + 1), gen);
  EXPECT_EQ(gen.substr(0, 31), ">first\nposition\ts1|a\ts2|b\n1\tAC|");
  EXPECT_EQ(gen.find(">second"), std::string::npos);
  const std::string data = read_file(dir_ + "/sim.data");
  EXPECT_EQ(std::count(data.begin(), data.end(), '\n'), 2) << data;
  EXPECT_EQ(data.substr(data.size() - 27), "Multi_alleles_positions=0;\n");
  EXPECT_FALSE(read_file(dir_ + "/sim.fasta").empty());
}
