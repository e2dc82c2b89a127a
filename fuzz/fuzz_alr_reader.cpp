// libFuzzer target: the alr reader over a whole input, contig after contig, until the end of
// the input or an input error.
//
// Besides crashes and sanitizer reports it checks what the rest of the program relies on:
// every contig it returns has one species per individual, species counts that add up to the
// individuals, a name of at most 4096 bytes, and four counts per individual of the header on
// every position line, adding up to at most 2^32 - 1; every input error is one short line
// that starts with the input's name and a line number.
#include "alr/Alrparser.h"

#include <Bpp/Exceptions.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace
{
const char* const SOURCE = "fuzz.alr";

[[noreturn]] void
fail(const std::string& what)
{
  std::fprintf(stderr, "fuzz_alr_reader: %s\n", what.c_str());
  std::abort();
}

void
check_contig(const bpp::AlrContig& contig)
{
  const std::size_t individuals = contig.ind_names.size();
  if (contig.ind_species.size() != individuals)
    fail("ind_species and ind_names differ in size");
  std::size_t counted = 0;
  for (const auto& entry : contig.species_count)
  {
    if (entry.second == 0)
      fail("species without individuals in species_count");
    counted += entry.second;
  }
  if (counted != individuals)
    fail("species_count does not add up to the individuals");
  if (contig.name.size() > 4096)
    fail("contig name of " + std::to_string(contig.name.size()) + " bytes");
  for (const bpp::Alrline& line : contig.lines)
  {
    if (line.counts.size() != 4 * individuals)
      fail("position line with " + std::to_string(line.counts.size()) + " counts for " + std::to_string(individuals) +
           " individuals");
    if (line.label.empty())
      fail("position line with an empty label");
    // Depths and totals downstream are 32-bit sums of a line's counts.
    unsigned long long total = 0;
    for (const unsigned int n : line.counts)
      total += n;
    if (total > 0xffffffffull)
      fail("position line whose counts add up past 32 bits");
  }
}

void
check_message(const std::string& message)
{
  if (message.find('\n') != std::string::npos)
    fail("input error message spans several lines: " + message);
  // Fields are echoed in part only, so a message stays readable whatever the line.
  if (message.size() > 400)
    fail("input error message of " + std::to_string(message.size()) + " bytes");
  const std::string prefix = std::string(SOURCE) + ":";
  if (message.compare(0, prefix.size(), prefix) != 0)
    fail("input error message does not name the input: " + message);
}
} // namespace

extern "C" int
LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
  bpp::Alrparser parser(SOURCE);
  std::size_t contigs = 0;
  try
  {
    for (;;)
    {
      bpp::AlrContig contig;
      if (!parser.next_contig(input, contig))
        break;
      check_contig(contig);
      // Every contig takes at least its '>' line and its header line.
      if (++contigs > size)
        fail("more contigs than bytes: the reader does not advance");
    }
  }
  catch (const bpp::Exception& e)
  {
    check_message(e.what());
  }
  return 0;
}
