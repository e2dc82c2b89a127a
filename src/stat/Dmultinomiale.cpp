#include "stat/Console.h"
#include "stat/Stat.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace bpp
{
double
Stat::dmultinom(std::valarray<unsigned int>& value, std::valarray<double>& proba)
{
  size_t n = value.size();
  if (value.size() != proba.size())
  {
    console_err() << "dmultinom error : value.size != proba.size" << std::endl;
    // Counts without a probability (or probabilities without a count) have no meaning:
    // the probability is that of the entries the two vectors share.
    n = std::min(value.size(), proba.size());
  }

  unsigned int total = 0;
  for (size_t i = 0; i < n; ++i)
    total += value[i];

  // Normalise a private copy: callers may hand over unnormalised weights.
  double sum = 0.0;
  for (size_t i = 0; i < n; ++i)
    sum += proba[i];

  const double lognum = logfact(total);
  double logden = 0.0;
  double logprob = 0.0;
  for (size_t i = 0; i < n; ++i)
  {
    logden += logfact(value[i]);
    // A base that was not read contributes a factor 1 even at probability 0 (0^0 = 1).
    if (value[i] > 0)
      logprob += value[i] * std::log(proba[i] / sum);
  }
  return std::exp(lognum - logden + logprob);
}
} // namespace bpp
