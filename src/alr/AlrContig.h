#ifndef ALR_ALRCONTIG_H
#define ALR_ALRCONTIG_H

#include "alr/Alrline.h"

#include <map>
#include <string>
#include <vector>

namespace bpp
{
/**
 * @brief One contig as read: its individuals, their species and its position lines.
 */
class AlrContig
{
public:
  std::vector<std::string> ind_names;                 // header order
  std::vector<std::string> ind_species;               // species of each individual, same order
  std::map<std::string, unsigned int> species_count;  // byte-wise order; size = number of species
  std::vector<Alrline> lines;                         // position records in file order
  std::string name;

  virtual ~AlrContig() = default;
};
} // namespace bpp

#endif
