// Runs the quorlin executable on small files and checks what a user sees: console lines,
// exit status, the error line and which output files exist.
#include "driver/Driver.h"
#include "stat/Stat.h"

#include <Bpp/Numeric/Random/RandomTools.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <iostream>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
const std::string BINARY = QUORLIN_BINARY;

struct Result
{
  int status = -1;
  std::string out;
  std::string err;
};

std::string
slurp(const fs::path& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string>
lines_of(const std::string& text)
{
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// The lines of the contig loop: names, sizes and summaries.
std::vector<std::string>
contig_lines(const std::string& out)
{
  std::vector<std::string> kept;
  for (const std::string& line : lines_of(out))
    if (line.rfind(">", 0) == 0 || line.rfind("Found ", 0) == 0 || line.rfind("quorlin: ", 0) == 0 ||
        line.rfind("kestrin: ", 0) == 0)
      kept.push_back(line);
  return kept;
}

class Workdir
{
public:
  Workdir()
  {
    char name[] = "/tmp/quorlin-driver-XXXXXX";
    path_ = mkdtemp(name);
  }
  ~Workdir() { fs::remove_all(path_); }
  Workdir(const Workdir&) = delete;
  Workdir& operator=(const Workdir&) = delete;

  const fs::path& path() const { return path_; }

  void write(const std::string& name, const std::string& text) const
  {
    std::ofstream(path_ / name, std::ios::binary) << text;
  }

  Result run(const std::vector<std::string>& args) const
  {
    // Under LeakSanitizer, keep its suppression statistics out of the error stream.
    std::string command = "cd '" + path_.string() + "' && LSAN_OPTIONS=\"${LSAN_OPTIONS:+$LSAN_OPTIONS:}" +
                          "print_suppressions=0\" '" + BINARY + "'";
    for (const std::string& a : args)
      command += " '" + a + "'";
    command += " >stdout.txt 2>stderr.txt";
    Result r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(path_ / "stdout.txt");
    r.err = slurp(path_ / "stderr.txt");
    return r;
  }

private:
  fs::path path_;
};

#define NEED_BINARY()                                                                                                  \
  if (BINARY.empty())                                                                                                  \
  GTEST_SKIP() << "quorlin executable not built"

const std::string HET = "h\xC3\xA9t\xC3\xA9rozygous";

// Two species with interleaved individuals, one heterozygous call; a block without positions;
// a one-species block whose last line has no '\n'.
const std::string THREE_CONTIGS = ">c1\nx\ty\tsA|a\tsB|b\tsA|c\n"
                                  "A\tM\t20\t20\t20\n"
                                  "C\tP\t20[0/10/10/0]\t20[0/20/0/0]\t20[0/20/0/0]\n"
                                  "G\tM\t15\t15\t15\n"
                                  "T\tM\t25\t25\t25\n"
                                  ">c2\nx\ty\tsA|a\tsB|b\n"
                                  ">c3\nx\ty\tsA|a\tsA|b\n"
                                  "A\tM\t20\t20\n"
                                  "C\tM\t20\t20";

const std::string ONE_CONTIG = ">c1\nx\ty\tsA|a\tsB|b\nA\tM\t20\t20\nG\tM\t20\t20\n";
} // namespace

TEST(Driver, console_lines_of_a_multi_contig_file)
{
  NEED_BINARY();
  Workdir dir;
  dir.write("t.alr", THREE_CONTIGS);
  const Result r = dir.run({ "-alr", "t.alr", "-best" });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> expected = {
    ">c1",
    "Found 2 species, 3 individuals, 4 positions",
    "quorlin: 4 positions, 3 homozygous (75%), 1 " + HET + " (25%), 0 Paralogous positions (0%) ",
    "kestrin: 0 Checked positions, 0 Position in error, ",
    ">c2",
    "Found 2 species, 2 individuals, 0 positions",
    "quorlin: 0 positions, 0 homozygous (0%), 0 " + HET + " (0%), 0 Paralogous positions (0%) ",
    "kestrin: 0 Checked positions, 0 Position in error, ",
    ">c3",
    "Found 1 species, 2 individuals, 2 positions",
    "quorlin: 2 positions, 2 homozygous (100%), 0 " + HET + " (0%), 0 Paralogous positions (0%) ",
    "kestrin: 0 Checked positions, 0 Position in error, ",
  };
  EXPECT_EQ(contig_lines(r.out), expected);

  const std::vector<std::string> lines = lines_of(r.out);
  ASSERT_GE(lines.size(), 12u);
  EXPECT_EQ(lines[0], std::string(64, '#'));
  EXPECT_EQ(lines[1], "# Welcome in Quorlin (Version 1.2.1 (Last update: 27-09-2012)) #");
  EXPECT_EQ(lines[3].rfind("Start time: ", 0), 0u);
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5], ">c1");
  const size_t n = lines.size();
  EXPECT_EQ(lines[n - 8], "kestrin: 0 Checked positions, 0 Position in error, ");
  EXPECT_EQ(lines[n - 7], "");
  EXPECT_EQ(lines[n - 6].rfind("Running time: ", 0), 0u);
  EXPECT_EQ(lines[n - 5], "");
  EXPECT_EQ(lines[n - 4].rfind("Stop time: ", 0), 0u);
  EXPECT_EQ(lines[n - 3], std::string(64, '#'));
  EXPECT_EQ(lines[n - 2], "#                 Quorlin - End of execution                 #");
  EXPECT_EQ(lines[n - 1], std::string(64, '#'));

  // Default names from the input; every contig reached the .gen file.
  const std::string gen = slurp(dir.path() / "t.gen");
  EXPECT_NE(gen.find(">c1\n"), std::string::npos);
  EXPECT_NE(gen.find(">c3\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir.path() / "t.data"));
  EXPECT_NE(slurp(dir.path() / "t.fasta").find(">c3|sA|b|Allele_2\nAC\n"), std::string::npos);
}

TEST(Driver, one_species_contig_ends_the_separate_fit_for_later_contigs)
{
  NEED_BINARY();
  Workdir dir;
  dir.write("t.alr",
            ">c1\nx\ty\tsA|a\tsB|b\nA\tM\t20\t20\n"
            ">c2\nx\ty\tsA|a\nA\tM\t20\n"
            ">c3\nx\ty\tsA|a\tsB|b\nA\tM\t20\t20\n");
  const Result r = dir.run({ "-alr", "t.alr", "-best", "-sep" });
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string& out = r.out;
  const size_t c2 = out.find(">c2\n");
  const size_t c3 = out.find(">c3\n");
  ASSERT_NE(c3, std::string::npos);
  const std::string first = out.substr(0, c2);
  const std::string third = out.substr(c3);
  EXPECT_NE(first.find("Separate (between species) parameters:"), std::string::npos) << first;
  EXPECT_EQ(third.find("Separate (between species) parameters:"), std::string::npos) << third;
  EXPECT_NE(third.find("Shared (across species) parameters:"), std::string::npos) << third;
}

TEST(Driver, input_error_is_one_line_with_file_and_line_and_earlier_contigs_stay_written)
{
  NEED_BINARY();
  struct Case
  {
    std::string tail;    // appended after a complete first contig of 4 lines
    std::string message; // expected stderr
  };
  const std::vector<Case> cases = {
    { ">c2\nx\ty\tsA|a\tsB|b\nA\tM\t20\t20\n\n", "quorlin: bad.alr:8: No more token in tokenizer.\n" },
    { ">c2\nx\ty\tsA\n", "quorlin: bad.alr:6: No more token in tokenizer.\n" },
    { ">c2\nx\ty\tsA|a\tsB|b\nN\tM\t20\t20\n",
      "quorlin: bad.alr:7: label \"N\" of a line not marked \"P\" is not one of the bases A, C, G and T\n" },
    { ">c2\nx\ty\tsA|a\tsB|b\nA\tM\t20\t-2\n", "quorlin: bad.alr:7: negative read count \"-2\"\n" },
    { ">c2\nx\ty\tsA|a\tsB|b\nC\tP\t20[0/20/0/0]\n",
      "quorlin: bad.alr:7: expected 10 fields (a depth and 4 counts per individual of the header), found 5\n" },
  };
  for (const Case& c : cases)
  {
    Workdir dir;
    dir.write("bad.alr", ONE_CONTIG + c.tail);
    const Result r = dir.run({ "-alr", "bad.alr", "-best" });
    EXPECT_EQ(r.status, 1) << c.tail;
    EXPECT_EQ(r.err, c.message);
    EXPECT_NE(r.out.find("quorlin: 2 positions,"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(">c2"), std::string::npos) << r.out;
    const std::string gen = slurp(dir.path() / "bad.gen");
    EXPECT_NE(gen.find(">c1\n"), std::string::npos) << c.tail;
    EXPECT_EQ(gen.find(">c2"), std::string::npos);
    EXPECT_NE(slurp(dir.path() / "bad.fasta").find(">c1|sB|b|Allele_2\nAG\n"), std::string::npos);
  }
}

TEST(Driver, output_file_that_cannot_be_created_stops_before_the_first_contig)
{
  NEED_BINARY();
  Workdir dir;
  dir.write("t.alr", ONE_CONTIG);
  const Result r = dir.run({ "-alr", "t.alr", "-dat", "no/such/dir/t.data" });
  EXPECT_NE(r.status, 0);
  ASSERT_EQ(lines_of(r.err).size(), 1u) << r.err;
  EXPECT_EQ(r.err.rfind("quorlin: cannot create output file \"no/such/dir/t.data\"", 0), 0u) << r.err;
  EXPECT_EQ(r.out.find(">c1"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir.path() / "t.gen"));
  EXPECT_FALSE(fs::exists(dir.path() / "t.fasta"));
}

TEST(Driver, failed_write_is_an_error)
{
  NEED_BINARY();
  if (!fs::exists("/dev/full"))
    GTEST_SKIP() << "no /dev/full";
  Workdir dir;
  dir.write("t.alr", ONE_CONTIG);
  const Result r = dir.run({ "-alr", "t.alr", "-best", "-gen", "/dev/full" });
  EXPECT_NE(r.status, 0);
  ASSERT_EQ(lines_of(r.err).size(), 1u) << r.err;
  EXPECT_EQ(r.err.rfind("quorlin: cannot write to output file \"/dev/full\"", 0), 0u) << r.err;
  EXPECT_EQ(r.out.find("Quorlin - End of execution"), std::string::npos);
}

TEST(Driver, alr_name_without_a_dot_is_the_base_name)
{
  NEED_BINARY();
  Workdir dir;
  dir.write("sample", ONE_CONTIG);
  const Result r = dir.run({ "-alr", "sample", "-best" });
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* name : { "sample.gen", "sample.data", "sample.fasta" })
    EXPECT_GT(fs::file_size(dir.path() / name), 0u) << name;
}

TEST(Driver, forbidden_stop_keeps_what_earlier_contigs_wrote)
{
  NEED_BINARY();
  Workdir dir;
  // The second contig has an individual with three bases of more than 2 reads and 5% each.
  dir.write("t.alr", ONE_CONTIG + ">c2\nx\ty\tsA|a\tsB|b\nC\tP\t30[10/10/10/0]\t20[0/20/0/0]\n");
  const Result r = dir.run({ "-alr", "t.alr", "-best", "-for" });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("More than 2 alleles detected at position 0"), std::string::npos) << r.out;
  EXPECT_EQ(slurp(dir.path() / "t.gen"), ">c1\nposition\tsA|a\tsB|b\n1\tAA|1\tAA|1\n2\tGG|1\tGG|1\n");
  EXPECT_EQ(lines_of(slurp(dir.path() / "t.data")).size(), 2u);
  EXPECT_EQ(slurp(dir.path() / "t.fasta"),
            ">c1|sA|a|Allele_1\nAG\n>c1|sA|a|Allele_2\nAG\n"
            ">c1|sB|b|Allele_1\nAG\n>c1|sB|b|Allele_2\nAG\n");
}

// Random calls draw from one generator: with several threads the draws must still go to the
// same individuals, in input order, as with one.
TEST(Driver, random_calls_with_several_threads_are_those_of_one_thread)
{
  using namespace bpp;
  Workdir dir;
  fs::copy_file(fs::path(QUORLIN_SOURCE_DIR) / "tests/golden/threads_best/in.alr", dir.path() / "in.alr");
  auto run_with = [&](unsigned int threads, long seed) {
    const std::string stem = (dir.path() / ("t" + std::to_string(threads) + "s" + std::to_string(seed))).string();
    const std::vector<std::string> args = { "quorlin", "-alr", (dir.path() / "in.alr").string(), "-gen", stem + ".gen",
                                            "-dat", stem + ".data", "-all", stem + ".fasta", "-M2", "-par" };
    std::vector<const char*> argv;
    for (const std::string& a : args)
      argv.push_back(a.c_str());
    RunFiles files;
    Stat stat;
    Quorlin quorlin(&stat);
    Vorrin vorrin;
    Tamsel tamsel;
    std::ostringstream console;
    EXPECT_EQ(configure(static_cast<int>(argv.size()), argv.data(), files, quorlin, vorrin, tamsel, console),
              OptionAction::run);
    RandomTools::setSeed(seed);
    std::streambuf* const saved = std::cout.rdbuf(console.rdbuf());
    run(files, quorlin, vorrin, tamsel, threads);
    std::cout.rdbuf(saved);
    std::string kept;
    for (const std::string& line : lines_of(console.str()))
      if (line.rfind("Start time", 0) != 0 && line.rfind("Stop time", 0) != 0 && line.rfind("Running time", 0) != 0)
        kept += line + "\n";
    return kept + slurp(stem + ".gen") + slurp(stem + ".data") + slurp(stem + ".fasta");
  };
  const std::string one = run_with(1, 7);
  EXPECT_EQ(run_with(4, 7), one);
  // The draws make the calls: another seed gives other calls.
  EXPECT_NE(run_with(4, 8), one);
}
