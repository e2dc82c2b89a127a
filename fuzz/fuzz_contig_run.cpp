// libFuzzer target: the whole per-contig run on small inputs. Each contig the reader accepts
// goes through the sharing mode, Quorlin::compute, Quorlin::write_genotypes (and so the
// paralogy filter when "-par" is given), Quorlin::write_speciesdata, Tamsel::gen2seq,
// Vorrin::clean and the FASTA writer, as the driver runs them.
//
// An input may start with a line "#" followed by command-line options separated by blanks
// (for example "#-par -sep -M2 -pfc"); they are read by the program's own option parser after
// "-alr fuzz.alr -best", so calls are deterministic. The rest of the input is the alr file.
//
// The reader's input errors end an input, as they end a run. Anything thrown after the reader
// accepted a contig is a fault and reaches libFuzzer. So do the invariants checked on the
// outputs: one .gen line per position, two sequences per individual as long as the contig.
#include "alr/Alrparser.h"
#include "driver/Options.h"
#include "engine/Quorlin.h"
#include "export/Tamsel.h"
#include "export/Vorrin.h"
#include "stat/Stat.h"

#include <Bpp/Exceptions.h>
#include <Bpp/Numeric/Random/RandomTools.h>
#include <Bpp/Seq/Io/Fasta.h>
#include <Bpp/Seq/Sequence.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace
{
// Bounds that keep one run in the millisecond range: every fit evaluates the whole contig a
// few hundred times, and every tested position runs two to four more fits.
const std::size_t MAX_INPUT = 2048;
const std::size_t MAX_CELLS = 64;       // positions x individuals of one contig
const std::size_t MAX_INDIVIDUALS = 6;
const std::size_t MAX_OPTIONS = 24;

[[noreturn]] void
fail(const std::string& what)
{
  std::fprintf(stderr, "fuzz_contig_run: %s\n", what.c_str());
  std::abort();
}

// Swallows the console output of the run; its text is not what is fuzzed here.
class NullBuffer : public std::streambuf
{
protected:
  int overflow(int c) override { return c == traits_type::eof() ? 0 : c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

class SilenceConsole
{
public:
  SilenceConsole()
    : out_(std::cout.rdbuf(&null_))
    , err_(std::cerr.rdbuf(&null_))
  {
  }
  ~SilenceConsole()
  {
    std::cout.rdbuf(out_);
    std::cerr.rdbuf(err_);
  }

private:
  NullBuffer null_;
  std::streambuf* out_;
  std::streambuf* err_;
};

struct SequenceList
{
  std::vector<bpp::Sequence*> seqs;
  ~SequenceList()
  {
    for (bpp::Sequence* seq : seqs)
      delete seq;
  }
};

std::size_t
count_lines(const std::string& text)
{
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

void
check_outputs(const bpp::AlrContig& contig, const std::string& text, const std::vector<bpp::Sequence*>& seqs)
{
  // The name line, the header line and one line per position.
  if (count_lines(text) != contig.lines.size() + 2)
    fail("genotype text with " + std::to_string(count_lines(text)) + " lines for " +
         std::to_string(contig.lines.size()) + " positions");
  if (seqs.size() != 2 * contig.ind_names.size())
    fail(std::to_string(seqs.size()) + " sequences for " + std::to_string(contig.ind_names.size()) + " individuals");
  for (const bpp::Sequence* seq : seqs)
    if (seq->size() != contig.lines.size())
      fail("sequence of " + std::to_string(seq->size()) + " bases for " + std::to_string(contig.lines.size()) +
           " positions");
}

// Every call of the genotype text is a genotype of two bases with a posterior in [0, 1], or
// the no call "NN|0". Only checked when the settings that enter the posteriors are numbers.
void
check_calls(const std::string& text)
{
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line); // contig name
  std::getline(lines, line); // header
  while (std::getline(lines, line))
  {
    std::size_t tab = line.find('\t');
    while (tab != std::string::npos)
    {
      const std::size_t next = line.find('\t', tab + 1);
      const std::string call = line.substr(tab + 1, next == std::string::npos ? std::string::npos : next - tab - 1);
      tab = next;
      if (call == "NN|0")
        continue;
      const bool bases = call.size() > 3 && std::string("ACGT").find(call[0]) != std::string::npos &&
                         std::string("ACGT").find(call[1]) != std::string::npos && call[2] == '|';
      char* end = nullptr;
      const double posterior = bases ? std::strtod(call.c_str() + 3, &end) : -1.0;
      if (!bases || *end != '\0' || !(posterior >= 0.0 && posterior <= 1.0))
        fail("call \"" + call + "\" is neither a genotype with a posterior in [0, 1] nor NN|0");
    }
  }
}

void
run_contig(bpp::AlrContig& contig,
           bpp::Quorlin& quorlin,
           bpp::Vorrin& vorrin,
           bpp::Tamsel& tamsel,
           std::ofstream& gen,
           std::ofstream& dat)
{
  bpp::apply_sharing_mode(contig, quorlin);
  quorlin.compute(contig);
  const std::string text = quorlin.write_genotypes(contig, gen);
  quorlin.write_speciesdata(dat);
  if (quorlin.nb_positions != contig.lines.size())
    fail("position counter differs from the contig's positions");
  if (static_cast<std::size_t>(quorlin.nb_homozygous) + quorlin.nb_paralogous > contig.lines.size())
    fail("more homozygous and paralogous positions than positions");
  if (text.empty())
    return;
  if (std::isfinite(quorlin.fis))
    check_calls(text);

  SequenceList list;
  tamsel.gen2seq(text, list.seqs);
  if (vorrin.enabled)
    vorrin.clean(list.seqs);
  check_outputs(contig, text, list.seqs);
  std::ostringstream fasta;
  const bpp::Fasta writer(60, true, false, false);
  for (const bpp::Sequence* seq : list.seqs)
    writer.writeSequence(fasta, *seq);
}
} // namespace

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  if (size > MAX_INPUT)
    return 0;
  std::string alr(reinterpret_cast<const char*>(data), size);

  std::vector<std::string> args = { "quorlin", "-alr", "fuzz.alr", "-best" };
  if (!alr.empty() && alr[0] == '#')
  {
    const std::size_t end = alr.find('\n');
    std::istringstream words(alr.substr(1, end == std::string::npos ? std::string::npos : end - 1));
    std::string word;
    while (words >> word && args.size() < MAX_OPTIONS)
      args.push_back(word);
    alr.erase(0, end == std::string::npos ? alr.size() : end + 1);
  }
  std::vector<const char*> argv;
  for (const std::string& arg : args)
    argv.push_back(arg.c_str());

  // The log-factorial table only grows and its values do not depend on the order in which
  // depths arrive, so one kernel serves every input.
  static bpp::Stat stat;
  bpp::Quorlin quorlin(&stat);
  bpp::Vorrin vorrin;
  bpp::Tamsel tamsel;
  bpp::RunFiles files;
  SilenceConsole silence;
  std::ostringstream option_output;
  if (bpp::configure(static_cast<int>(argv.size()), argv.data(), files, quorlin, vorrin, tamsel, option_output) !=
      bpp::OptionAction::run)
    return 0;
  // The "forbidden" policy stops the run by design; fuzzing it would only report that.
  if (quorlin.multi_alleles != "accepted" && quorlin.multi_alleles != "tolerated")
    quorlin.multi_alleles = "tolerated";
  bpp::RandomTools::setSeed(12345);

  std::ofstream gen("/dev/null");
  std::ofstream dat("/dev/null");
  std::istringstream input(alr);
  bpp::Alrparser parser("fuzz.alr");
  for (;;)
  {
    auto contig = std::make_unique<bpp::AlrContig>();
    try
    {
      if (!parser.next_contig(input, *contig))
        break;
    }
    catch (const bpp::Exception&)
    {
      break; // an input error ends the run; earlier contigs are done
    }
    if (contig->ind_names.size() > MAX_INDIVIDUALS ||
        contig->lines.size() * std::max<std::size_t>(contig->ind_names.size(), 1) > MAX_CELLS)
      continue;
    try
    {
      run_contig(*contig, quorlin, vorrin, tamsel, gen, dat);
    }
    catch (const bpp::RunStop&)
    {
      break; // a numeric domain error stops the run with its message, by design
    }
  }
  return 0;
}
