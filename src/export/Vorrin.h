#ifndef EXPORT_VORRIN_H
#define EXPORT_VORRIN_H

#include <Bpp/Seq/Sequence.h>

#include <set>
#include <string>
#include <vector>

namespace bpp
{
/**
 * @brief Masks with N the windows where a species is dense in SNPs and heterozygous calls.
 */
class Vorrin
{
public:
  bool enabled = false;
  int windowSize = 4; // in steps of three positions; zero or negative: no window, nothing masked
  double snpThreshold = 0.4;
  double hetThreshold = 0.8;
  std::set<std::string> groupKeys;
  std::vector<std::string> sequenceGroupKeys;
  std::vector<int> groupMask;

  virtual ~Vorrin() = default;

  /**
   * @brief Writes N, in every sequence of the list, over each window where one species is dense
   * in SNPs against the first sequence and in heterozygous pairs.
   * @param seqs Alleles 1 and 2 of each individual in turn, named contig|species|individual|Allele_k;
   * masked in place.
   */
  void clean(std::vector<Sequence*>& seqs);
};
} // namespace bpp

#endif
