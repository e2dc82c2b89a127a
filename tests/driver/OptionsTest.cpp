// The usage text is a fixed text: the end-to-end cases usage_no_args, help_h, bad_fis,
// err_above_bound and value_missing hold it byte for byte.
#include "driver/Options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace bpp;

namespace
{
// The command line of words separated by blanks ('' for an empty word), configured into
// everything it writes into, as main does.
struct Settings
{
  RunFiles files;
  Quorlin quorlin{ nullptr };
  Vorrin vorrin;
  Tamsel tamsel;
  std::ostringstream out; // where the optimizer warning goes
  OptionAction action;

  explicit Settings(const std::string& line)
  {
    std::vector<std::string> args = { "quorlin" };
    std::istringstream words(line);
    for (std::string word; words >> word;)
      args.push_back(word == "''" ? "" : word);
    std::vector<const char*> argv;
    for (const std::string& a : args)
      argv.push_back(a.c_str());
    action = configure(static_cast<int>(argv.size()), argv.data(), files, quorlin, vorrin, tamsel, out);
  }

  // Every setting an option reaches, as "name=value" words; "M" is the active flags of M0, M1
  // and M2, then the index of the model that makes the calls.
  std::string values() const
  {
    const Quorlin& q = quorlin;
    std::ostringstream s;
    s << "alr=" << files.alr_name << " gen=" << files.gen_name << " dat=" << files.dat_name
      << " fasta=" << files.fasta_name << " M=" << q.models[0].active << q.models[1].active << q.models[2].active << ":"
      << q.model_index << " sh=" << q.shared << " sep=" << q.separate << " best=" << q.best_genotype
      << " multi=" << q.multi_alleles << " min=" << q.min_coverage << " fis=" << q.fis << " thr=" << q.threshold
      << " dir=" << q.dirichlet << " spa=" << q.skip_paralogous << " pre=" << q.precision << " kun=" << q.keep_unknown
      << " opt=" << q.optimizer << " err=" << q.max_error << " par=" << q.use_kestrin
      << " gpv=" << tamsel.pvalueThreshold << " pfc=" << vorrin.enabled << " win=" << vorrin.windowSize
      << " het=" << vorrin.hetThreshold << " snp=" << vorrin.snpThreshold;
    return s.str();
  }
};
} // namespace

// A later option overrides an earlier one; an option's value is examined as an option too;
// numbers convert as strtod and strtol do; integers are kept in 32 bits.
TEST(Options, every_option_reaches_its_setting)
{
  const std::string defaults = "alr=a gen= dat= fasta= M=010:1 sh=0 sep=0 best=0 multi=tolerated min=1 fis=0 "
                               "thr=0.001 dir=0 spa=0 pre=0.001 kun=0 opt=newton err=0.01 par=0 gpv=0.95 pfc=0 win=4 "
                               "het=0.8 snp=0.4";
  const std::pair<const char*, const char*> cases[] = {
    // command line after "-alr a", settings that differ
    { "", "" },
    { "-gen g -dat d -sh -sep -best -acc -min 7 -fis 0.25 -thr 0.05 -dir -spa -pre 0.0001 -kun -opt bfgs -err 0.1 "
      "-par -gpv 0.5 -pfc -win 9 -het 0.6 -snp 0.3 -M2 -alr in",
      "alr=in gen=g dat=d M=001:2 sh=1 sep=1 best=1 multi=accepted min=7 fis=0.25 thr=0.05 dir=1 spa=1 pre=0.0001 "
      "kun=1 opt=bfgs err=0.1 par=1 gpv=0.5 pfc=1 win=9 het=0.6 snp=0.3" },
    // clang-format off
    { "-all f.fa", "fasta=f.fa sh=1 sep=1" }, { "-M2 -M1", "M=011:1" },
    { "-best -rand -acc -for -min 3 -min 4 -opt x -opt bfgs", "multi=forbidden min=4 opt=bfgs" },
    { "-for -tol -opt Simplex", "" }, { "-alr -M2", "alr=-M2 M=001:2" }, { "-dat -all f.fa", "dat=-all fasta=f.fa sh=1 sep=1" },
    { "-min 12abc -win -3 -fis abc -snp 1e-1 -het .5x -gpv -2", "min=12 win=-3 snp=0.1 het=0.5 gpv=-2" },
    { "-min 0x1A", "min=0" }, { "-min 4294967295", "min=4294967295" }, { "-min -1 -min 3", "min=3" },
    { "-win 2147483647", "win=2147483647" }, { "-win -2147483648", "win=-2147483648" }, { "-win nan -min nan", "win=0 min=0" },
    { "-win 4294967300 -win 5", "win=5" },
    // clang-format on
  };
  for (const auto& c : cases)
  {
    Settings s(std::string("-alr a ") + c.first);
    EXPECT_EQ(s.action, OptionAction::run) << c.first;
    std::string expected = " " + defaults + " ";
    std::istringstream changes(c.second);
    for (std::string word; changes >> word;)
    {
      const std::size_t at = expected.find(" " + word.substr(0, word.find('=') + 1));
      expected.replace(at, expected.find(' ', at + 1) - at, " " + word);
    }
    EXPECT_EQ(" " + s.values() + " ", expected) << c.first;
  }
}

// "-help", "-h", "-v" and "-debug" stop the loop where they stand, before any bound is
// checked; a run that cannot start as asked is an error. The optimizer warning comes last.
TEST(Options, actions_and_start_up_checks)
{
  // Command lines separated by commas.
  const std::pair<OptionAction, const char*> cases[] = {
    { OptionAction::usage, "-help, -alr a -h, -alr a -gen -h" },
    { OptionAction::debug, "-alr a -debug, -debug -h" },
    { OptionAction::version, "-fis 5 -v -alr a -h, -alr a -fis -v, -alr a -min -1 -v" },
    // Case matters and words match whole. Bounds are included.
    { OptionAction::run,
      "-alr a -V -H -vv --v other, -alr a -fis 0, -alr a -fis 1, -alr a -thr 0, -alr a -thr 1.0,"
      "-alr a -err 0, -alr a -err 0.333, -alr a -pre 0.000001, -alr a -pre 0.49, -alr a -gpv 7,"
      "-alr a -min -0, -alr a -opt newton" },
    // No alr file, a value missing at the end, a value out of its bounds or not a number; the
    // filter's precision e bounds frequencies to [e, 1 - e] and shares to [0.5, 1 - e].
    { OptionAction::usage_error,
      ", -fis 0.5, -alr '', -alr, -alr a -fis, -alr a -all, -alr a -snp, -alr a -fis 1.000001,"
      "-alr a -fis -0.000001, -alr a -fis nan, -alr a -thr 1.01, -alr a -thr -1,"
      "-alr a -thr NaN, -alr a -err 0.3330001, -alr a -err -0.01, -alr a -err nan,"
      "-alr a -pre 0, -alr a -pre -0.5, -alr a -pre 0.5, -alr a -pre 0.7, -alr a -pre nan,"
      "-alr a -opt Simplex -err 0.5, -alr a -min -9, -alr a -min 4294967296, -alr a -min 99999999999999999999,"
      "-alr a -min 3 -min -1, -alr a -win 4294967300, -alr a -win 2147483648, -alr a -win -2147483649,"
      "-alr a -win 99999999999999999999, -alr a -win 3 -win 4294967296" },
  };
  for (const auto& group : cases)
  {
    std::istringstream lines(group.second);
    for (std::string line; std::getline(lines, line, ',');)
    {
      Settings s(line);
      EXPECT_EQ(s.action, group.first) << line;
      EXPECT_EQ(s.out.str(), "") << line;
    }
  }
  EXPECT_EQ(Settings("-alr a -opt Simplex").out.str(), "warning : Simplex optimizer doesn't exist, default is used\n");
}

// The files the console is checked against: the argument after every "-alr", as the option
// loop reads it, also after the words that end the loop.
TEST(Options, every_alr_value_is_an_input_name)
{
  const std::pair<const char*, const char*> cases[] = {
    // command line, names separated by blanks
    { "-v -alr in.alr", "in.alr" }, { "-h -alr in.alr", "in.alr" }, { "-help -alr in.alr", "in.alr" },
    { "-debug -alr in.alr", "in.alr" }, { "-alr a -v -alr b -best -alr c", "a b c" },
    // A value is examined as an option too: "-gen -alr x" names x as the input.
    { "-gen -alr x", "x" }, { "-alr -alr x", "-alr x" }, { "-alr -v", "-v" },
    { "", "" }, { "-v", "" }, { "-v -alr", "" }, { "-gen in.alr -ALR b --alr c alr d", "" },
  };
  for (const auto& c : cases)
  {
    std::vector<std::string> args = { "quorlin" };
    std::istringstream words(c.first);
    for (std::string word; words >> word;)
      args.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& a : args)
      argv.push_back(a.c_str());
    std::string names;
    for (const std::string& name : alr_names(static_cast<int>(argv.size()), argv.data()))
      names += (names.empty() ? "" : " ") + name;
    EXPECT_EQ(names, c.second) << c.first;
  }
}

// Only a '.' inside the file's own name cuts it: outputs stay beside the input, never in a
// parent folder or hidden.
TEST(Options, default_output_names_cut_at_the_last_dot_of_the_file_name)
{
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
    { "data/s.alr", "data/s" }, { "a.b.alr", "a.b" }, { "s", "s" }, { "./s", "./s" }, { "run.v2/s", "run.v2/s" },
    { ".hidden", ".hidden" }, { "d/.h.alr", "d/.h" }, { "/abs/x.alr", "/abs/x" },
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(base_name(c.first), c.second) << c.first;
  EXPECT_EQ(output_name("", "x/y.alr", ".data"), "x/y.data");
  EXPECT_EQ(output_name("given.txt", "x/y.alr", ".gen"), "given.txt");
}
