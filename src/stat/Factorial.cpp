#include "stat/Stat.h"

#include <cmath>

namespace bpp
{
void
Stat::init_logfact(unsigned int n)
{
  // Entries past the bound are never stored; logfact computes them directly.
  if (n >= logfact_table_bound)
    n = logfact_table_bound - 1;
  logfact_table.push_back(0.0);
  for (unsigned int k = 1; k <= n; ++k)
    logfact_table.push_back(logfact_table[k - 1] + std::log(static_cast<double>(k)));
}

double
Stat::logfact(unsigned int n)
{
  if (n < logfact_table.size())
    return logfact_table[n];
  // A depth beyond the bound would need gigabytes of table for one value: compute it
  // instead and leave the table as it is.
  if (n >= logfact_table_bound)
    return std::lgamma(static_cast<double>(n) + 1.0);
  // Each entry is its predecessor plus log(k), so the values below the bound never depend
  // on the order in which depths arrive.
  for (size_t k = logfact_table.size(); k <= n; ++k)
    logfact_table.push_back(logfact_table[k - 1] + std::log(static_cast<double>(k)));
  return logfact_table[n];
}

std::valarray<double>
Stat::logfact(std::valarray<unsigned int> x)
{
  std::valarray<double> result(x.size());
  for (size_t i = 0; i < x.size(); ++i)
    result[i] = logfact(x[i]);
  return result;
}
} // namespace bpp
