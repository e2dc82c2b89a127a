#include "stat/Console.h"
#include "stat/Stat.h"

#include <cmath>
#include <cstdlib>
#include <iostream>

namespace bpp
{
namespace
{
// Below this argument the upward recursion is replaced by the reflection formula. Each
// recursion step costs one division and its product underflows once |x| passes about 170,
// after which it would return -inf; beyond 2^53 adding 1 no longer moves x and the
// recursion would never end. Down to -100 the product stays far from underflow.
const double lngamma_recursion_limit = -100.0;

const double log_pi = 1.1447298858494002;
} // namespace

double
Stat::LnGamma(unsigned int n)
{
  return logfact(n - 1);
}

double
Stat::LnGamma(double x)
{
  if (x == 0)
    return 0.0;
  const int nx = trunc_int32(x);
  // Small integers come from the table so that they agree exactly with logfact.
  if (x == nx && nx >= 1 && nx <= 11)
    return logfact(static_cast<unsigned int>(nx - 1));

  double fneg = 0.0;
  if (x < 0)
  {
    console_out() << "LnGamma(" << x << ") not implemented" << std::endl;
    // Every double of magnitude 2^52 or more is an integer, and so is -inf: Gamma has a pole
    // at each of them.
    if (x == std::trunc(x))
    {
      console_out() << "lnGamma undefined\n";
      return -1.0;
    }
    if (x < lngamma_recursion_limit)
    {
      // Gamma(x) is negative exactly when floor(x) is odd, where the recursion below stops
      // the run; the reflection formula must not quietly return a value there either.
      if (std::fmod(std::floor(x), 2.0) != 0.0)
      {
        console_out() << "strange!! check lngamma" << std::endl;
        throw RunStop{ kNumericErrorStatus };
      }
      // Gamma(x) Gamma(1 - x) = pi / sin(pi x). fmod is exact, so the sine keeps its
      // accuracy however large |x| is.
      const double s = std::sin(M_PI * std::fmod(x, 2.0));
      return log_pi - std::log(std::fabs(s)) - LnGamma(1.0 - x);
    }
    double c = 1.0;
    while (x < 0)
    {
      c = c / x;
      x = x + 1;
    }
    if (c < 0)
    {
      console_out() << "strange!! check lngamma" << std::endl;
      throw RunStop{ kNumericErrorStatus };
    }
    fneg = std::log(c);
  }

  // Raise the argument to 7 or more, where the Stirling series is accurate.
  double z = x;
  double f = 0.0;
  if (x < 7)
  {
    double prod = 1.0;
    while (z < 7)
    {
      prod *= z;
      z += 1;
    }
    f = -std::log(prod);
  }
  const double w = 1.0 / (z * z);
  return f + fneg + (z - 0.5) * std::log(z) - z + 0.918938533204673 +
         (((-0.000595238095238 * w + 0.000793650793651) * w - 0.002777777777778) * w + 0.083333333333333) / z;
}

std::valarray<double>
Stat::LnGamma(std::valarray<double> x)
{
  std::valarray<double> result(x.size());
  for (size_t i = 0; i < x.size(); ++i)
    result[i] = LnGamma(x[i]);
  return result;
}
} // namespace bpp
