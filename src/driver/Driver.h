#ifndef DRIVER_DRIVER_H
#define DRIVER_DRIVER_H

#include "driver/Options.h"
#include "engine/Quorlin.h"
#include "export/Tamsel.h"
#include "export/Vorrin.h"

namespace bpp
{
/**
 * @brief The run once the settings are read and checked: banner, output files, the contig
 * loop and the closing lines, all on standard output.
 *
 * Output names left empty are defaulted from the alr name. Contigs are computed on
 * @p threads worker threads and committed in input order: the files, standard output and
 * standard error are those of one thread. The three output files and standard output are
 * flushed after every contig, so a run that ends early keeps what earlier contigs wrote.
 * Before the banner, and before any output is truncated, the input is opened, once, and its
 * first character must begin a contig; then every output is checked by name and opened, once
 * (a new one created empty), and the files this run created are removed again when one fails.
 * @p warnings (the settings' own) and the banner are the last check: they are flushed before
 * any output is truncated, and a standard output that cannot take them stops the run there.
 * @throw RunStop when a contig stops the run: the "forbidden" policy (status 1, once a line
 * on standard error names the input line, the position and the contig) or a numeric domain
 * error (its message already printed).
 * @throw Exception on an input that cannot be opened, is a folder or does not begin with a
 * contig line, an input error (with the file name and line), an output file that cannot be
 * created, or a failed write to an output or standard output.
 */
void
run(RunFiles& files,
    Quorlin& quorlin,
    Vorrin& vorrin,
    Tamsel& tamsel,
    unsigned int threads,
    const std::string& warnings = std::string());

/**
 * @brief Refuses a run whose standard output or standard error is the alr file, compared as
 * the outputs are: the console would write into the input and then read it back as data.
 * The message goes only to a stream that is not the input. A character device is never
 * refused. Nothing may be printed before it.
 * @throw RunStop with status 1 once the message is printed.
 */
void
check_console_is_not_input(const std::string& alr_name);

/**
 * @brief Refuses output names that reach the input file, standard output or error, or each
 * other, by path or as the same existing file (a link, a link to a file not yet created,
 * another spelling of the path). Character devices such as /dev/null are never refused.
 * @throw IOException naming both files.
 */
void
check_output_names(const RunFiles& files);
} // namespace bpp

#endif
