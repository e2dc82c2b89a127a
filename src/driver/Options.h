#ifndef DRIVER_OPTIONS_H
#define DRIVER_OPTIONS_H

#include "alr/AlrContig.h"
#include "engine/Quorlin.h"
#include "export/Tamsel.h"
#include "export/Vorrin.h"

#include <ostream>
#include <string>
#include <vector>

namespace bpp
{
/**
 * @brief The run's four file names. Empty until an option sets them; the output names
 * are defaulted from the alr name when the files are created.
 */
struct RunFiles
{
  std::string alr_name;
  std::string gen_name;
  std::string dat_name;
  std::string fasta_name;
};

/** @brief What the command line asks for once it has been read and checked. */
enum class OptionAction
{
  run,     ///< settings read and checked: go on with the run
  usage,   ///< print the usage text, status 0 (asked for, or no arguments at all)
  usage_error, ///< print the usage text, status 1: the run cannot start as asked
  version, ///< print the version line, status 0
  debug    ///< run the self-check, status 0
};

/**
 * @brief The option loop: compares every argument with every option word, in table order,
 * and writes the settings into their owners.
 *
 * An option's value is the next argument, which is then examined as an argument itself.
 * Numbers are converted as strtod/strtol do, without any test. "-help", "-h", "-v" and
 * "-debug" end the loop where they stand; so does an option whose value is missing
 * (usage_error). A "-min" outside 0..4294967295 or a "-win" outside -2147483648..2147483647,
 * when no later one replaces it, gives usage_error once the loop has ended.
 */
OptionAction
read_options(int argc, const char* const* argv, RunFiles& files, Quorlin& quorlin, Vorrin& vorrin, Tamsel& tamsel);

/**
 * @brief Every argument that follows a "-alr" word, in command-line order: the values the
 * option loop reads as the alr name when it reads the whole line, also those after a "-help",
 * "-h", "-v" or "-debug" that would end it. A "-alr" with nothing after it gives nothing.
 */
std::vector<std::string>
alr_names(int argc, const char* const* argv);

/**
 * @brief Model defaulting and start-up checks, after the option loop.
 *
 * M1 becomes the model when none is active. No alr name, "-fis" or "-thr" outside [0, 1],
 * "-err" outside [0, 0.333] or "-pre" outside ]0, 0.5[ (a NaN is outside every bound) give
 * usage_error. An unknown optimizer name prints its warning on @p out and falls back to
 * "newton".
 */
OptionAction
check_settings(const RunFiles& files, Quorlin& quorlin, std::ostream& out);

/** @brief read_options then, when the run goes on, check_settings. */
OptionAction
configure(int argc,
          const char* const* argv,
          RunFiles& files,
          Quorlin& quorlin,
          Vorrin& vorrin,
          Tamsel& tamsel,
          std::ostream& out);

/**
 * @brief The alr name without everything from the last '.' of its last path component; the
 * whole name when that component has no '.' or only a leading one.
 */
std::string
base_name(const std::string& alr_name);

/** @brief @p name when an option gave it, otherwise the base name followed by @p extension. */
std::string
output_name(const std::string& name, const std::string& alr_name, const std::string& extension);

/**
 * @brief Sharing mode of the fits for the next contig. A contig with one species switches
 * the separate fit off for good; the shared fit runs whenever the separate one does not.
 */
void
apply_sharing_mode(const AlrContig& contig, Quorlin& quorlin);

/** @brief The 35 lines of the usage text. */
std::string
usage_text();

/** @brief The version line. */
std::string
version_line();

/**
 * @brief Prints the usage text on standard output and ends the process with @p status.
 * @throw IOException when standard output cannot be written.
 */
[[noreturn]] void
usage(int status);

/**
 * @brief Prints the version line and ends the process with status 0.
 * @throw IOException when standard output cannot be written.
 */
[[noreturn]] void
display();
} // namespace bpp

#endif
