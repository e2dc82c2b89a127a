#include "driver/Options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

using namespace bpp;

namespace
{
// Everything the command line writes into, built as main builds it.
struct Settings
{
  RunFiles files;
  Quorlin quorlin{ nullptr };
  Vorrin vorrin;
  Tamsel tamsel;
  std::ostringstream out; // where the optimizer warning goes
  OptionAction action = OptionAction::run;

  explicit Settings(std::vector<std::string> args)
  {
    args.insert(args.begin(), "quorlin");
    std::vector<const char*> argv;
    for (const std::string& a : args)
      argv.push_back(a.c_str());
    argv.push_back(nullptr);
    action = configure(static_cast<int>(args.size()), argv.data(), files, quorlin, vorrin, tamsel, out);
  }
};

OptionAction
action_of(const std::vector<std::string>& args)
{
  return Settings(args).action;
}

std::string
blanks(size_t n)
{
  return std::string(n, ' ');
}
} // namespace

TEST(Options, model_defaults_to_M1_and_output_names_stay_empty)
{
  Settings s({ "-alr", "x.alr" });
  ASSERT_EQ(s.action, OptionAction::run);
  EXPECT_EQ(s.files.alr_name, "x.alr");
  EXPECT_TRUE(s.files.gen_name.empty() && s.files.dat_name.empty() && s.files.fasta_name.empty());
  EXPECT_FALSE(s.quorlin.models[0].active);
  EXPECT_TRUE(s.quorlin.models[1].active);
  EXPECT_FALSE(s.quorlin.models[2].active);
  EXPECT_EQ(s.quorlin.model_index, 1u);
  EXPECT_FALSE(s.quorlin.shared || s.quorlin.separate);
  EXPECT_EQ(s.out.str(), "");
}

TEST(Options, every_option_reaches_its_setting)
{
  Settings s({ "-alr", "in.alr", "-gen", "g.out", "-dat", "d.out", "-sh",  "-sep",   "-best", "-acc", "-min", "7",
               "-fis", "0.25",   "-thr", "0.05",  "-dir", "-spa",  "-pre", "0.0001", "-kun",  "-opt", "bfgs", "-err",
               "0.1",  "-par",   "-gpv", "0.5",   "-pfc", "-win",  "9",    "-het",   "0.6",   "-snp", "0.3",  "-M2" });
  ASSERT_EQ(s.action, OptionAction::run);
  EXPECT_EQ(s.files.alr_name, "in.alr");
  EXPECT_EQ(s.files.gen_name, "g.out");
  EXPECT_EQ(s.files.dat_name, "d.out");
  EXPECT_EQ(s.files.fasta_name, "");
  EXPECT_TRUE(s.quorlin.shared && s.quorlin.separate && s.quorlin.best_genotype && s.quorlin.use_kestrin);
  EXPECT_TRUE(s.quorlin.dirichlet && s.quorlin.skip_paralogous && s.quorlin.keep_unknown);
  EXPECT_EQ(s.quorlin.multi_alleles, "accepted");
  EXPECT_EQ(s.quorlin.min_coverage, 7u);
  EXPECT_EQ(s.quorlin.fis, 0.25);
  EXPECT_EQ(s.quorlin.threshold, 0.05);
  EXPECT_EQ(s.quorlin.precision, 0.0001);
  EXPECT_EQ(s.quorlin.optimizer, "bfgs");
  EXPECT_EQ(s.quorlin.max_error, 0.1);
  EXPECT_EQ(s.tamsel.pvalueThreshold, 0.5);
  EXPECT_TRUE(s.vorrin.enabled);
  EXPECT_EQ(s.vorrin.windowSize, 9);
  EXPECT_EQ(s.vorrin.hetThreshold, 0.6);
  EXPECT_EQ(s.vorrin.snpThreshold, 0.3);
  EXPECT_FALSE(s.quorlin.models[1].active);
  EXPECT_TRUE(s.quorlin.models[2].active);
  EXPECT_EQ(s.quorlin.model_index, 2u);
}

TEST(Options, all_names_the_fasta_file_and_turns_on_both_fits)
{
  Settings s({ "-alr", "in.alr", "-all", "out.fa" });
  EXPECT_EQ(s.files.fasta_name, "out.fa");
  EXPECT_TRUE(s.quorlin.shared);
  EXPECT_TRUE(s.quorlin.separate);
}

TEST(Options, models_and_repeated_options_keep_the_last_given)
{
  Settings m2({ "-alr", "a", "-M2" });
  EXPECT_FALSE(m2.quorlin.models[1].active);
  EXPECT_TRUE(m2.quorlin.models[2].active);
  EXPECT_EQ(m2.quorlin.model_index, 2u);

  Settings both({ "-alr", "a", "-M2", "-M1" });
  EXPECT_TRUE(both.quorlin.models[1].active && both.quorlin.models[2].active);
  EXPECT_FALSE(both.quorlin.models[0].active);
  EXPECT_EQ(both.quorlin.model_index, 1u);

  Settings s({ "-alr", "a", "-best", "-rand", "-tol", "-for", "-min", "3", "-min", "4", "-opt", "x", "-opt", "bfgs" });
  EXPECT_FALSE(s.quorlin.best_genotype);
  EXPECT_EQ(s.quorlin.multi_alleles, "forbidden");
  EXPECT_EQ(s.quorlin.min_coverage, 4u);
  EXPECT_EQ(s.quorlin.optimizer, "bfgs");
  EXPECT_EQ(s.out.str(), "");
}

TEST(Options, values_are_examined_as_arguments_too)
{
  Settings alr({ "-alr", "-M2" });
  EXPECT_EQ(alr.action, OptionAction::run);
  EXPECT_EQ(alr.files.alr_name, "-M2");
  EXPECT_TRUE(alr.quorlin.models[2].active);
  EXPECT_FALSE(alr.quorlin.models[1].active);

  Settings gen({ "-alr", "a", "-gen", "-h" });
  EXPECT_EQ(gen.action, OptionAction::usage);
  EXPECT_EQ(gen.files.gen_name, "-h");

  EXPECT_EQ(action_of({ "-alr", "a", "-fis", "-v" }), OptionAction::version);
  // "-all" as the value of "-dat" still switches both fits on.
  Settings dat({ "-alr", "a", "-dat", "-all", "f.fa" });
  EXPECT_EQ(dat.files.dat_name, "-all");
  EXPECT_EQ(dat.files.fasta_name, "f.fa");
  EXPECT_TRUE(dat.quorlin.shared && dat.quorlin.separate);
}

// What a command line asks for. "-help", "-h", "-v" and "-debug" stop the loop where they
// stand, before any bound is checked; a run that cannot start as asked is an error.
TEST(Options, actions_and_start_up_checks)
{
  const OptionAction run = OptionAction::run, usage = OptionAction::usage, error = OptionAction::usage_error;
  struct Case
  {
    std::vector<std::string> args;
    OptionAction expected;
  } const cases[] = {
    { {}, error }, // main prints the usage text with status 0 when there are no arguments
    { { "-help" }, usage },
    { { "-alr", "a", "-h" }, usage },
    { { "-alr", "a", "-debug" }, OptionAction::debug },
    { { "-fis", "5", "-v", "-alr", "a", "-h" }, OptionAction::version },
    { { "-debug", "-h" }, OptionAction::debug },
    { { "-alr", "a", "-V", "-H", "-vv", "--v", "other" }, run }, // case matters, words match whole
    { { "-fis", "0.5" }, error },                                 // no alr file
    { { "-alr", "" }, error },
    // A value missing at the end of the line.
    { { "-alr" }, error },
    { { "-alr", "a", "-fis" }, error },
    { { "-alr", "a", "-all" }, error },
    { { "-alr", "a", "-snp" }, error },
    // Bounds are included; a value that is not a number fails every bound.
    { { "-alr", "a", "-fis", "0" }, run },
    { { "-alr", "a", "-fis", "1" }, run },
    { { "-alr", "a", "-fis", "1.000001" }, error },
    { { "-alr", "a", "-fis", "-0.000001" }, error },
    { { "-alr", "a", "-fis", "nan" }, error },
    { { "-alr", "a", "-thr", "0" }, run },
    { { "-alr", "a", "-thr", "1.0" }, run },
    { { "-alr", "a", "-thr", "1.01" }, error },
    { { "-alr", "a", "-thr", "-1" }, error },
    { { "-alr", "a", "-thr", "NaN" }, error },
    { { "-alr", "a", "-err", "0" }, run },
    { { "-alr", "a", "-err", "0.333" }, run },
    { { "-alr", "a", "-err", "0.3330001" }, error },
    { { "-alr", "a", "-err", "-0.01" }, error },
    { { "-alr", "a", "-err", "nan" }, error },
    // The filter's precision e bounds frequencies to [e, 1 - e] and shares to [0.5, 1 - e].
    { { "-alr", "a", "-pre", "0.000001" }, run },
    { { "-alr", "a", "-pre", "0.49" }, run },
    { { "-alr", "a", "-pre", "0" }, error },
    { { "-alr", "a", "-pre", "-0.5" }, error },
    { { "-alr", "a", "-pre", "0.5" }, error },
    { { "-alr", "a", "-pre", "0.7" }, error },
    { { "-alr", "a", "-pre", "nan" }, error },
    { { "-alr", "a", "-gpv", "7" }, run },
    { { "-alr", "a", "-min", "-9" }, run },
  };
  for (const Case& c : cases)
  {
    Settings s(c.args);
    std::string line;
    for (const std::string& a : c.args)
      line += a + " ";
    EXPECT_EQ(s.action, c.expected) << line;
    EXPECT_EQ(s.out.str(), "") << line;
  }
}

TEST(Options, numbers_convert_like_strtod_and_strtol)
{
  Settings s(
    { "-alr", "a", "-min", "12abc", "-win", "-3", "-fis", "abc", "-snp", "1e-1", "-het", " .5x", "-gpv", "-2" });
  ASSERT_EQ(s.action, OptionAction::run);
  EXPECT_EQ(s.quorlin.min_coverage, 12u);
  EXPECT_EQ(s.vorrin.windowSize, -3);
  EXPECT_EQ(s.quorlin.fis, 0.0);
  EXPECT_DOUBLE_EQ(s.vorrin.snpThreshold, 0.1);
  EXPECT_DOUBLE_EQ(s.vorrin.hetThreshold, 0.5);
  EXPECT_EQ(s.tamsel.pvalueThreshold, -2.0);
  // Kept in 32 bits: -1 is handed on as the largest unsigned, 2^32 + 5 as 5.
  EXPECT_EQ(Settings({ "-alr", "a", "-min", "0x1A" }).quorlin.min_coverage, 0u);
  EXPECT_EQ(Settings({ "-alr", "a", "-min", "-1" }).quorlin.min_coverage, 4294967295u);
  EXPECT_EQ(Settings({ "-alr", "a", "-min", "4294967301" }).quorlin.min_coverage, 5u);
  // The error-rate cap the usage text promises.
  EXPECT_EQ(Settings({ "-alr", "a" }).quorlin.max_error, 0.01);
}

TEST(Options, unknown_optimizer_warns_after_the_range_checks)
{
  Settings newton({ "-alr", "a", "-opt", "newton" });
  EXPECT_EQ(newton.out.str(), "");
  EXPECT_EQ(newton.quorlin.optimizer, "newton");

  Settings other({ "-alr", "a", "-opt", "Simplex 2" });
  EXPECT_EQ(other.action, OptionAction::run);
  EXPECT_EQ(other.out.str(), "warning : Simplex 2 optimizer doesn't exist, default is used\n");
  EXPECT_EQ(other.quorlin.optimizer, "newton");

  Settings both({ "-alr", "a", "-opt", "x", "-err", "0.5" });
  EXPECT_EQ(both.action, OptionAction::usage_error);
  EXPECT_EQ(both.out.str(), "");
}

// Only a '.' inside the file's own name cuts it: outputs stay beside the input, never in a
// parent folder or hidden.
TEST(Options, default_output_names_cut_at_the_last_dot_of_the_file_name)
{
  const std::pair<const char*, const char*> cases[] = {
    { "data/sample.alr", "data/sample" }, { "a.b.alr", "a.b" },   { "sample", "sample" },
    { "./sample", "./sample" },           { "run.v2/sample", "run.v2/sample" },
    { ".hidden", ".hidden" },             { "dir/.hidden.alr", "dir/.hidden" },
    { "/abs/x.alr", "/abs/x" },
  };
  for (const auto& c : cases)
    EXPECT_EQ(base_name(c.first), c.second) << c.first;
  EXPECT_EQ(output_name("", "x/y.alr", ".data"), "x/y.data");
  EXPECT_EQ(output_name("given.txt", "x/y.alr", ".gen"), "given.txt");
}

TEST(Options, sharing_mode_follows_the_species_of_each_contig)
{
  AlrContig two;
  two.species_count = { { "s1", 2 }, { "s2", 1 } };
  AlrContig one;
  one.species_count = { { "s1", 3 } };

  struct Case
  {
    bool shared, separate;
    // after a two-species contig, then after a one-species contig, then a two-species one
    bool expect[3][2];
  };
  const std::vector<Case> cases = {
    { false, false, { { true, false }, { true, false }, { true, false } } },
    { true, false, { { true, false }, { true, false }, { true, false } } },
    { false, true, { { false, true }, { true, false }, { true, false } } },
    { true, true, { { true, true }, { true, false }, { true, false } } },
  };
  for (const Case& c : cases)
  {
    Quorlin q(nullptr);
    q.shared = c.shared;
    q.separate = c.separate;
    const AlrContig* order[3] = { &two, &one, &two };
    for (int k = 0; k < 3; ++k)
    {
      apply_sharing_mode(*order[k], q);
      EXPECT_EQ(q.shared, c.expect[k][0]) << c.shared << c.separate << " contig " << k;
      EXPECT_EQ(q.separate, c.expect[k][1]) << c.shared << c.separate << " contig " << k;
    }
  }
  // A contig without species keeps the separate fit that was asked for.
  Quorlin q(nullptr);
  q.separate = true;
  apply_sharing_mode(AlrContig(), q);
  EXPECT_TRUE(q.separate);
  EXPECT_FALSE(q.shared);
}

TEST(Options, usage_text_byte_for_byte)
{
  const std::vector<std::string> expected = {
    "",
    "usage: quorlin [options] -alr alr_file",
    "",
    "alr_file : aligned sequence file in ALR format",
    "",
    "options:",
    "[-gen string]            output file name(alr_gen)                        default=alr_file.alr_gen",
    "[-dat string]            output data file name(dat)                       default=alr_file.dat",
    "[-sh|-sep|-all]          parameters_sharing: shared|separated|all         default=all" + blanks(6),
    "[-best|-rand]            output_genotype:    best|random                  default=best" + blanks(5),
    "[-acc|-tol|-for]         multi_alleles:      accepted|tolerated|forbidden default=tolerated",
    "[-min positive integer]  min_coverage                                     default=-1\t\t",
    "[-fis positive float]    fis                                              default=0.0" + blanks(6),
    "[-M1|-M2]                models: M1= error rate                           default=M1" + blanks(7),
    blanks(33) + "M2= error rate + allelic expression bias" + blanks(18),
    "",
    "kestrin",
    "[-par]                   use kestrin       remove paralogous positions" + blanks(19),
    "[-dir]                   use dirichlet" + blanks(53),
    "[-thr positive float]    likelihood threshold  ]0,1[                      default=0.001" + blanks(4),
    "[-spa]                   skip Paralogous :   skip contigs with paralogous positions." + blanks(7),
    "[-pre]                   precision on parameters                          default=0.001" + blanks(4),
    "[-kun]                   keep position when kestrin return an error" + blanks(22),
    "[-opt]                   optimizer used for kestrin [bfgs|newton]       default=newton" + blanks(3),
    "[-err]                   max transition/tranvertion  (max=0.3333)         default=0.01" + blanks(5),
    "",
    "tamsel",
    "[-gpv positive float]    tamsel pvalue threshold ]0,1[                 default=0.95" + blanks(5),
    "",
    "vorrin",
    "[-pfc]                   use vorrin       hide non reliable zones" + blanks(23),
    "[-win]                   windows size                                     default=4" + blanks(8),
    "[-het]                   heterozygotie density threshold                  default=0.8" + blanks(6),
    "[-snp                    snp density threshold                            default=0.4" + blanks(6),
    "",
  };
  ASSERT_EQ(expected.size(), 35u);
  std::string joined;
  for (const std::string& line : expected)
    joined += line + "\n";
  EXPECT_EQ(usage_text(), joined);
}

TEST(Options, version_line)
{
  EXPECT_EQ(version_line(), "quorlin version = 1.2.1  27-09-2012\n");
}
