#include "driver/Runtime.h"

#include "driver/StandardStreams.h"

#include <Bpp/Exceptions.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>

namespace bpp
{
const std::string version = "1.2.1";
const std::string version_date = "27-09-2012";
const std::time_t rawtime = std::time(nullptr);

namespace
{
const std::string HASH_LINE(64, '#');

// "%d unit", plural 's' above 1.
std::string
amount(int n, const char* unit)
{
  std::string text = std::to_string(n) + " " + unit;
  if (n > 1)
    text += 's';
  return text;
}

double
percent(double part, unsigned int total)
{
  // A contig without positions has nothing to divide: its shares are printed as 0.
  if (total == 0)
    return 0.0;
  return part / total * 100;
}
} // namespace

std::string
system_reason()
{
  return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
}

void
check_console()
{
  errno = 0;
  std::cout.flush();
  if (std::cout.fail())
  {
    // The write that failed may lie long before this flush; its reason is the one to give.
    if (const int reason = console_write_error())
      errno = reason;
    throw IOException("cannot write to standard output" + system_reason());
  }
}

std::string
printtime_text(double t)
{
  const int d = static_cast<int>(t) / 86400;
  t -= 86400.0 * d;
  const int h = static_cast<int>(t) / 3600;
  t -= 3600.0 * h;
  const int m = static_cast<int>(t) / 60;
  t -= 60.0 * m;
  const int s = static_cast<int>(t);

  std::string text;
  if (d != 0)
    text += amount(d, "day") + " ";
  if (h != 0)
    text += amount(h, "hour") + " ";
  if (m != 0)
    text += amount(m, "minute") + " ";
  if (s != 0)
    text += amount(s, "second");
  if (d == 0 && h == 0 && m == 0 && s == 0)
    text += "less than 1 second";
  return text + "\n";
}

void
printtime(double t)
{
  std::cout << printtime_text(t);
}

void
print_banner(std::ostream& out, std::time_t start)
{
  out << HASH_LINE << "\n"
      << "# Welcome in Quorlin (Version " << version << " (Last update: " << version_date << ")) #\n"
      << HASH_LINE << "\n"
      << "Start time: " << std::ctime(&start) << std::endl;
}

void
print_closing(std::ostream& out, double running_seconds, std::time_t stop)
{
  out << "Running time: " << printtime_text(running_seconds) << "\n";
  out << "Stop time: " << std::ctime(&stop);
  out << HASH_LINE << "\n"
      << "#                 Quorlin - End of execution                 #\n"
      << HASH_LINE << std::endl;
}

void
print_summary(std::ostream& out,
              unsigned int positions,
              unsigned int homozygous,
              unsigned int heterozygous,
              unsigned int paralogous,
              unsigned int checked,
              unsigned int in_error)
{
  out << "quorlin: " << positions << " positions, " << homozygous << " homozygous (" << percent(homozygous, positions)
      << "%), " << heterozygous << " h\xC3\xA9t\xC3\xA9rozygous (" << percent(heterozygous, positions) << "%), "
      << paralogous << " Paralogous positions (" << percent(paralogous, positions) << "%) \n";
  out << "kestrin: " << checked << " Checked positions, " << in_error << " Position in error, \n\n";
}
} // namespace bpp
