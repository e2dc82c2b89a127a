#ifndef ENGINE_SPECIESDATA_H
#define ENGINE_SPECIESDATA_H

#include <string>

namespace bpp
{
/**
 * @brief Per species of a contig: its estimates as written to the .data file and its
 * count of multi-allelic positions. -1.0 means "not set".
 */
class Speciesdata
{
public:
  std::string name;
  double bias = -1.0;
  double transversion_rate = -1.0;
  double transition_rate = -1.0;
  double tstv = -1.0;
  unsigned int multi_alleles_count = 0;

  virtual ~Speciesdata() = default;
};
} // namespace bpp

#endif
