#ifndef EXPORT_TAMSEL_H
#define EXPORT_TAMSEL_H

#include <Bpp/Seq/Sequence.h>

#include <string>
#include <vector>

namespace bpp
{
/**
 * @brief Turns one contig's genotype text into two allele sequences per individual.
 */
class Tamsel
{
public:
  double pvalueThreshold = 0.95; // a call is kept when its printed posterior is strictly above

  /**
   * @brief Appends Allele_1 then Allele_2 of every header column to the list (empty in the driver).
   * The sequences share one DNA alphabet, which outlives them.
   */
  void gen2seq(std::string text, std::vector<Sequence*>& seqs);
};
} // namespace bpp

#endif
