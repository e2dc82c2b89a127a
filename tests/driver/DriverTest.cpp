// What a user sees of a run is checked by the end-to-end cases (tests/golden); random calls
// differ from run to run there, so they are checked here, in the process, with a fixed seed.
#include "driver/Driver.h"
#include "stat/Stat.h"

#include <Bpp/Numeric/Random/RandomTools.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

using namespace bpp;

namespace
{
// The console lines but the times, then the three output files.
std::string
random_run(unsigned int threads, long seed)
{
  char dir[] = "/tmp/quorlin-random-XXXXXX";
  const std::string stem = std::string(::mkdtemp(dir)) + "/t";
  // clang-format off
  const std::string args[] = { "quorlin", "-alr", QUORLIN_SOURCE_DIR "/tests/golden/threads_best/in.alr", "-M2", "-par",
                               "-gen", stem + ".gen", "-dat", stem + ".data", "-all", stem + ".fasta" };
  // clang-format on
  const char* argv[11];
  for (int i = 0; i < 11; ++i)
    argv[i] = args[i].c_str();
  RunFiles files;
  Stat stat;
  Quorlin quorlin(&stat);
  Vorrin vorrin;
  Tamsel tamsel;
  std::ostringstream console, kept;
  EXPECT_EQ(configure(11, argv, files, quorlin, vorrin, tamsel, console), OptionAction::run);
  RandomTools::setSeed(seed);
  std::streambuf* const saved = std::cout.rdbuf(console.rdbuf());
  run(files, quorlin, vorrin, tamsel, threads);
  std::cout.rdbuf(saved);
  std::istringstream lines(console.str());
  for (std::string line; std::getline(lines, line);)
    if (line.find(" time: ") == std::string::npos)
      kept << line << "\n";
  for (const char* ext : { ".gen", ".data", ".fasta" })
    kept << std::ifstream(stem + ext).rdbuf() << "--\n";
  std::filesystem::remove_all(dir);
  return kept.str();
}
} // namespace

// Random calls draw from one generator: with several threads the draws must still go to the
// same individuals, in input order, as with one.
TEST(Driver, random_calls_with_several_threads_are_those_of_one_thread)
{
  const std::string one = random_run(1, 7);
  EXPECT_EQ(random_run(4, 7), one);
  // The draws make the calls: another seed gives other calls.
  EXPECT_NE(random_run(4, 8), one);
}
