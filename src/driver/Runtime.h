#ifndef DRIVER_RUNTIME_H
#define DRIVER_RUNTIME_H

#include <ctime>
#include <ostream>
#include <string>

namespace bpp
{
extern const std::string version;      // "1.2.1"
extern const std::string version_date; // "27-09-2012"
extern const std::time_t rawtime;      // process start, taken before main runs

/**
 * @brief A duration as days, hours, minutes and seconds, e.g. "1 hour 2 minutes 5 seconds",
 * or "less than 1 second"; ends in a newline. Units that are 0 are left out, and every unit
 * but the seconds is followed by a blank.
 * @param t seconds; the fraction is dropped.
 */
std::string
printtime_text(double t);

/** @brief Writes printtime_text(t) on standard output. */
void
printtime(double t);

/** @brief ": " and the system's text for errno, or nothing when errno is 0. */
std::string
system_reason();

/**
 * @brief Flushes standard output. The model lines and p-values exist only there: losing them
 * is a failed run.
 * @throw IOException "cannot write to standard output" with the system's reason.
 */
void
check_console();

/** @brief The three banner lines and "Start time: " with the start time (an empty line follows). */
void
print_banner(std::ostream& out, std::time_t start);

/** @brief The running time, the stop time and the closing banner. */
void
print_closing(std::ostream& out, double running_seconds, std::time_t stop);

/**
 * @brief The two summary lines of a contig from its five counters.
 *
 * A contig without positions prints 0 for the three percentages.
 */
void
print_summary(std::ostream& out,
              unsigned int positions,
              unsigned int homozygous,
              unsigned int heterozygous,
              unsigned int paralogous,
              unsigned int checked,
              unsigned int in_error);
} // namespace bpp

#endif
