#include "driver/Options.h"

#include "driver/Runtime.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace bpp
{
namespace
{
// The integer as strtoll reads it, or false when that lies outside [low, high]. Stored in 32
// bits, a value outside would wrap to another one: a minimum depth of -1 to 4294967295, which
// blanks every call, a window of 4294967300 to 4.
template <typename Int>
bool
to_bounded(const char* text, long long low, long long high, Int& stored)
{
  errno = 0;
  const long long value = std::strtoll(text, nullptr, 10);
  if (errno == ERANGE || value < low || value > high)
    return false;
  stored = static_cast<Int>(value);
  return true;
}

double
to_real(const char* text)
{
  return std::strtod(text, nullptr);
}

void
activate_model(Quorlin& quorlin, unsigned int index)
{
  quorlin.models[index].active = true;
  quorlin.model_index = index;
}
} // namespace

OptionAction
read_options(int argc, const char* const* argv, RunFiles& files, Quorlin& quorlin, Vorrin& vorrin, Tamsel& tamsel)
{
  // Refused once the whole command line is read, as the other bounds are: "-help", "-h", "-v"
  // and "-debug" after it still act, and a later "-min" or "-win" replaces it.
  bool depth_out_of_range = false;
  bool window_out_of_range = false;
  for (int i = 1; i < argc; ++i)
  {
    const char* const arg = argv[i];
    auto is = [arg](const char* word) { return std::strcmp(arg, word) == 0; };
    // The value of an option is the next argument; the loop still examines that argument
    // as an option word on its next turn.
    const char* value = (i + 1 < argc) ? argv[i + 1] : nullptr;
    bool wants_value = false;

    if (is("-help"))
      return OptionAction::usage;
    if (is("-h"))
      return OptionAction::usage;
    if (is("-v"))
      return OptionAction::version;
    if (is("-debug"))
      return OptionAction::debug;

    if (is("-alr") || is("-gen") || is("-dat") || is("-all") || is("-min") || is("-fis") || is("-thr") || is("-pre") ||
        is("-opt") || is("-err") || is("-gpv") || is("-win") || is("-het") || is("-snp"))
      wants_value = true;
    if (wants_value && value == nullptr)
      return OptionAction::usage_error;

    if (is("-alr"))
      files.alr_name = value;
    if (is("-gen"))
      files.gen_name = value;
    if (is("-dat"))
      files.dat_name = value;
    if (is("-all"))
      files.fasta_name = value;
    if (is("-M1"))
      activate_model(quorlin, 1);
    if (is("-M2"))
      activate_model(quorlin, 2);
    if (is("-sh") || is("-all"))
      quorlin.shared = true;
    if (is("-sep") || is("-all"))
      quorlin.separate = true;
    if (is("-best"))
      quorlin.best_genotype = true;
    if (is("-rand"))
      quorlin.best_genotype = false;
    if (is("-acc"))
      quorlin.multi_alleles = "accepted";
    if (is("-tol"))
      quorlin.multi_alleles = "tolerated";
    if (is("-for"))
      quorlin.multi_alleles = "forbidden";
    if (is("-min"))
      depth_out_of_range = !to_bounded(value, 0, UINT32_MAX, quorlin.min_coverage);
    if (is("-fis"))
      quorlin.fis = to_real(value);
    if (is("-thr"))
      quorlin.threshold = to_real(value);
    if (is("-dir"))
      quorlin.dirichlet = true;
    if (is("-spa"))
      quorlin.skip_paralogous = true;
    if (is("-pre"))
      quorlin.precision = to_real(value);
    if (is("-kun"))
      quorlin.keep_unknown = true;
    if (is("-opt"))
      quorlin.optimizer = value;
    if (is("-err"))
      quorlin.max_error = to_real(value);
    if (is("-par"))
      quorlin.use_kestrin = true;
    if (is("-gpv"))
      tamsel.pvalueThreshold = to_real(value);
    if (is("-pfc"))
      vorrin.enabled = true;
    if (is("-win"))
      window_out_of_range = !to_bounded(value, INT32_MIN, INT32_MAX, vorrin.windowSize);
    if (is("-het"))
      vorrin.hetThreshold = to_real(value);
    if (is("-snp"))
      vorrin.snpThreshold = to_real(value);
  }
  return depth_out_of_range || window_out_of_range ? OptionAction::usage_error : OptionAction::run;
}

std::vector<std::string>
alr_names(int argc, const char* const* argv)
{
  // Apart from the option loop, which stops at "-help", "-h", "-v" or "-debug": a file given
  // to any "-alr" was meant as the input, whatever words stand before it or replace it later.
  std::vector<std::string> names;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "-alr") == 0)
      names.emplace_back(argv[i + 1]);
  return names;
}

OptionAction
check_settings(const RunFiles& files, Quorlin& quorlin, std::ostream& out)
{
  bool any_active = false;
  for (const Model& model : quorlin.models)
    any_active = any_active || model.active;
  if (!any_active)
    activate_model(quorlin, 1);

  // Written so that a NaN fails every bound. The filter's precision e bounds its frequencies
  // to [e, 1 - e] and its shares to [0.5, 1 - e]: both need 0 < e < 0.5.
  const auto within = [](double x, double low, double high) { return x >= low && x <= high; };
  if (files.alr_name.empty())
    return OptionAction::usage_error;
  if (!within(quorlin.fis, 0.0, 1.0))
    return OptionAction::usage_error;
  if (!within(quorlin.threshold, 0.0, 1.0))
    return OptionAction::usage_error;
  if (!within(quorlin.max_error, 0.0, 0.333))
    return OptionAction::usage_error;
  if (!(quorlin.precision > 0.0 && quorlin.precision < 0.5))
    return OptionAction::usage_error;

  if (quorlin.optimizer != "bfgs" && quorlin.optimizer != "newton")
  {
    out << "warning : " << quorlin.optimizer << " optimizer doesn't exist, default is used" << std::endl;
    quorlin.optimizer = "newton";
  }
  return OptionAction::run;
}

OptionAction
configure(int argc,
          const char* const* argv,
          RunFiles& files,
          Quorlin& quorlin,
          Vorrin& vorrin,
          Tamsel& tamsel,
          std::ostream& out)
{
  const OptionAction action = read_options(argc, argv, files, quorlin, vorrin, tamsel);
  if (action != OptionAction::run)
    return action;
  return check_settings(files, quorlin, out);
}

std::string
base_name(const std::string& alr_name)
{
  // Only a '.' inside the file's own name counts: one in a directory name would put the
  // outputs in another folder, and a leading one would make them hidden files.
  const std::string::size_type slash = alr_name.rfind('/');
  const std::string::size_type start = (slash == std::string::npos) ? 0 : slash + 1;
  const std::string::size_type dot = alr_name.rfind('.');
  if (dot == std::string::npos || dot <= start)
    return alr_name;
  return alr_name.substr(0, dot);
}

std::string
output_name(const std::string& name, const std::string& alr_name, const std::string& extension)
{
  if (!name.empty())
    return name;
  return base_name(alr_name) + extension;
}

void
apply_sharing_mode(const AlrContig& contig, Quorlin& quorlin)
{
  if (contig.species_count.size() == 1)
  {
    quorlin.separate = false;
    quorlin.shared = true;
  }
  else if (!quorlin.separate)
  {
    quorlin.shared = true;
  }
}

std::string
usage_text()
{
  static const char* const lines[] = {
    "",
    "usage: quorlin [options] -alr alr_file",
    "",
    "alr_file : aligned sequence file in ALR format",
    "",
    "options:",
    "[-gen string]            output file name(alr_gen)                        default=alr_file.alr_gen",
    "[-dat string]            output data file name(dat)                       default=alr_file.dat",
    "[-sh|-sep|-all]          parameters_sharing: shared|separated|all         default=all      ",
    "[-best|-rand]            output_genotype:    best|random                  default=best     ",
    "[-acc|-tol|-for]         multi_alleles:      accepted|tolerated|forbidden default=tolerated",
    "[-min positive integer]  min_coverage                                     default=-1\t\t",
    "[-fis positive float]    fis                                              default=0.0      ",
    "[-M1|-M2]                models: M1= error rate                           default=M1       ",
    "                                 M2= error rate + allelic expression bias                  ",
    "",
    "kestrin",
    "[-par]                   use kestrin       remove paralogous positions                   ",
    "[-dir]                   use dirichlet                                                     ",
    "[-thr positive float]    likelihood threshold  ]0,1[                      default=0.001    ",
    "[-spa]                   skip Paralogous :   skip contigs with paralogous positions.       ",
    "[-pre]                   precision on parameters                          default=0.001    ",
    "[-kun]                   keep position when kestrin return an error                      ",
    "[-opt]                   optimizer used for kestrin [bfgs|newton]       default=newton   ",
    "[-err]                   max transition/tranvertion  (max=0.3333)         default=0.01     ",
    "",
    "tamsel",
    "[-gpv positive float]    tamsel pvalue threshold ]0,1[                 default=0.95     ",
    "",
    "vorrin",
    "[-pfc]                   use vorrin       hide non reliable zones                       ",
    "[-win]                   windows size                                     default=4        ",
    "[-het]                   heterozygotie density threshold                  default=0.8      ",
    "[-snp                    snp density threshold                            default=0.4      ",
    "",
  };
  std::string text;
  for (const char* line : lines)
  {
    text += line;
    text += '\n';
  }
  return text;
}

std::string
version_line()
{
  return "quorlin version = " + version + "  " + version_date + "\n";
}

// The text is the whole run: when it cannot be written, the run did not do its job, and the
// error reaches main as a failed run's does.
void
usage(int status)
{
  std::cout << usage_text();
  check_console();
  std::exit(status);
}

void
display()
{
  std::cout << version_line();
  check_console();
  std::exit(0); // the version line is an orderly end of the run
}
} // namespace bpp
