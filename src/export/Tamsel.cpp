#include "export/Tamsel.h"

#include <Bpp/Exceptions.h>
#include <Bpp/Seq/Alphabet/DNA.h>
#include <Bpp/Text/StringTokenizer.h>

#include <cstdlib>
#include <sstream>

namespace bpp
{
namespace
{
const int STATE_N = 14; // N in the DNA alphabet

// One alphabet per thread: a sequence only borrows its alphabet, and a contig's sequences are
// released by the thread that made them, before it ends, so none of them can dangle. The
// library does not promise that an alphabet may be read by several threads at once.
const Alphabet*
dna_alphabet()
{
  static thread_local const DNA alphabet(false);
  return &alphabet;
}

inline int
base_state(char c)
{
  switch (c)
  {
    case 'A':
      return 0;
    case 'C':
      return 1;
    case 'G':
      return 2;
    case 'T':
      return 3;
    default:
      return STATE_N;
  }
}
} // namespace

void
Tamsel::gen2seq(std::string text, std::vector<Sequence*>& seqs)
{
  const Alphabet* alphabet = dna_alphabet();
  std::istringstream input(text);
  std::string line;

  std::getline(input, line);
  if (line.empty())
    throw Exception("Tamsel::gen2seq: genotype text without a contig name line");
  const std::string contig = line.substr(1); // drops the '>'

  std::getline(input, line);
  StringTokenizer header(line, "\t", false, false);
  header.nextToken(); // "position"
  const size_t first = seqs.size();
  while (header.hasMoreToken())
  {
    const std::string prefix = contig + "|" + header.nextToken() + "|Allele_";
    seqs.push_back(new BasicSequence(prefix + "1", "", alphabet));
    seqs.push_back(new BasicSequence(prefix + "2", "", alphabet));
  }
  const size_t columns = (seqs.size() - first) / 2;

  while (!input.eof())
  {
    std::getline(input, line);
    if (line.empty())
      continue;
    StringTokenizer fields(line, "\t|", false, false);
    fields.nextToken(); // the ordinal: bases follow the order of the lines, not the numbering
    size_t j = 0;
    // Pairs beyond the header's columns have no sequence to go to and are ignored.
    for (; j < columns && fields.hasMoreToken(); ++j)
    {
      const std::string genotype = fields.nextToken();
      const double posterior = std::strtod(fields.nextToken().c_str(), nullptr);
      Sequence& allele1 = *seqs[first + 2 * j];
      Sequence& allele2 = *seqs[first + 2 * j + 1];
      // The comparison is on the printed posterior; a NaN fails it and gives N.
      if (posterior > pvalueThreshold)
      {
        allele1.addElement(base_state(genotype[0]));
        allele2.addElement(genotype.size() > 1 ? base_state(genotype[1]) : STATE_N);
      }
      else
      {
        allele1.addElement(STATE_N);
        allele2.addElement(STATE_N);
      }
    }
    // A short line still adds one base to every sequence, so all stay as long as the contig.
    for (; j < columns; ++j)
    {
      seqs[first + 2 * j]->addElement(STATE_N);
      seqs[first + 2 * j + 1]->addElement(STATE_N);
    }
  }
}
} // namespace bpp
