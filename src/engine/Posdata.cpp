#include "engine/Posdata.h"

namespace bpp
{
Posdata::Posdata(unsigned int n)
  : individuals(n)
{
}

void
Posdata::calculate_allele_frequencies(std::valarray<unsigned int>& counts, std::string species)
{
  unsigned int total = 0;
  unsigned int base_totals[4] = { 0, 0, 0, 0 };
  for (size_t i = 0; i < counts.size(); ++i)
  {
    total += counts[i];
    base_totals[i % 4] += counts[i];
  }

  std::vector<double>& f = frequencies[species];
  if (total == 0)
  {
    // No read of the species here: every base is equally plausible, so no genotype is ruled out.
    f.insert(f.end(), 4, 0.25);
    return;
  }
  for (unsigned int b = 0; b < 4; ++b)
    f.push_back(static_cast<double>(base_totals[b]) / total);
}
} // namespace bpp
