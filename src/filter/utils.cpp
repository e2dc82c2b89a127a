#include "filter/utils.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bpp
{
namespace utils
{
void
sortMatrixByColumnSum(std::valarray<unsigned int>& counts)
{
  const size_t rows = counts.size() / 4;
  if (rows == 0)
    return;

  // Totals are 32-bit sums and wrap like the counts themselves.
  uint32_t totals[4] = { 0, 0, 0, 0 };
  for (size_t i = 0; i < rows; ++i)
    for (size_t j = 0; j < 4; ++j)
      totals[j] += counts[4 * i + j];

  // Insertion sort, descending; a column only moves past strictly smaller totals,
  // which is what keeps ties in base order.
  std::vector<unsigned int> saved(rows);
  for (size_t k = 1; k < 4; ++k)
  {
    const uint32_t t = totals[k];
    for (size_t i = 0; i < rows; ++i)
      saved[i] = counts[4 * i + k];
    size_t j = k;
    while (j > 0 && totals[j - 1] < t)
    {
      for (size_t i = 0; i < rows; ++i)
        counts[4 * i + j] = counts[4 * i + j - 1];
      totals[j] = totals[j - 1];
      --j;
    }
    for (size_t i = 0; i < rows; ++i)
      counts[4 * i + j] = saved[i];
    totals[j] = t;
  }
}

std::unique_ptr<Parameter>
bounded_parameter(const std::string& name,
                  double value,
                  double lower,
                  double upper,
                  double precision,
                  ConstraintStore& store)
{
  // The store owns the constraint before the parameter can throw on a bad start value.
  store.push_back(std::make_shared<IntervalConstraint>(lower, upper, true, true, precision));
  return std::make_unique<Parameter>(name, value, store.back().get(), false);
}

std::unique_ptr<Parameter>
lower_bounded_parameter(const std::string& name, double value, double lower, double precision, ConstraintStore& store)
{
  store.push_back(std::make_shared<IntervalConstraint>(true, lower, true, precision));
  return std::make_unique<Parameter>(name, value, store.back().get(), false);
}
} // namespace utils
} // namespace bpp
