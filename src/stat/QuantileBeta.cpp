#include "stat/Console.h"
#include "stat/Stat.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>

namespace bpp
{
double
Stat::CDFBeta(double x, double pin, double qin, double lbeta)
{
  // Machine constants of the series: precision, its log, the smallest normal double and its
  // log. Initialised once, safely when several threads arrive first together.
  static const double eps = std::ldexp(1.0, -53);
  static const double alneps = std::log(eps);
  static const double sml = std::ldexp(1.0, -1022);
  static const double alnsml = std::log(sml);

  if (x < 1e-15)
    return 0.0;
  if (x > 0.999999999999999)
    return 1.0;
  if (pin <= 0 || qin <= 0)
  {
    console_out() << "p=" << pin << " q=" << qin << ": parameter outside range in CDFBeta" << std::endl;
    return -1.0;
  }

  // Work in the lighter tail, where the series converge fast.
  const bool swapped = x > pin / (pin + qin);
  const double y = swapped ? 1 - x : x;
  const double p = swapped ? qin : pin;
  const double q = swapped ? pin : qin;

  if (lbeta == 0)
    lbeta = LnGamma(p) + LnGamma(q) - LnGamma(p + q);

  double ans;
  if ((p + q) * y / (p + 1) < eps)
  {
    // y so small that only the leading term y^p / (p B(p, q)) matters.
    const double xb = p * std::log(std::max(y, sml)) - std::log(p) - lbeta;
    ans = (xb > alnsml && y != 0) ? std::exp(xb) : 0.0;
    if (swapped)
      ans = 1 - ans;
    return ans;
  }

  // Power series for I_y(p, ps), ps being the fractional part of q (or 1).
  double ps = q - std::floor(q);
  if (ps == 0)
    ps = 1;
  double xb = p * std::log(y) - (LnGamma(ps) + LnGamma(p) - LnGamma(p + ps)) - std::log(p);
  ans = 0.0;
  if (xb >= alnsml)
  {
    ans = std::exp(xb);
    if (ps != 1)
    {
      double term = p * ans;
      const double quotient = alneps / std::log(y);
      const int n = quotient > 4 ? trunc_int32(quotient) : 4;
      for (int i = 1; i <= n; ++i)
      {
        term = term * (i - ps) * y / i;
        ans = ans + term / (p + i);
      }
    }
  }

  // Finite sum raising the second shape from ps to q, scaled by powers of sml against overflow.
  if (q > 1)
  {
    xb = p * std::log(y) + q * std::log(1 - y) - lbeta - std::log(q);
    int ib = trunc_int32(xb / alnsml);
    if (ib < 0)
      ib = 0;
    double term = std::exp(xb - ib * alnsml);
    const double c = 1 / (1 - y);
    const double p1 = q * c / (p + q - 1);
    double finsum = 0.0;
    int n = trunc_int32(q);
    if (q == std::floor(q) && n > 0)
      n = n - 1;
    for (int i = 1; i <= n; ++i)
    {
      if (p1 <= 1 && term / eps <= finsum)
        break;
      term = term * ((q - i + 1) * c) / (p + q - i);
      if (term > 1)
      {
        ib = ib - 1;
        term = term * sml;
      }
      if (ib == 0)
        finsum = finsum + term;
    }
    ans = ans + finsum;
  }

  if (swapped)
    ans = 1 - ans;
  // Rounding can leave the sums a hair outside [0, 1].
  if (ans > 1)
    ans = 1;
  if (ans < 0)
    ans = 0;
  return ans;
}

double
Stat::QuantileBeta(double prob, double p, double q, double lbeta)
{
  if (p < 0 || q < 0 || prob < 0 || prob > 1)
  {
    console_err() << "beta parameter error" << std::endl;
    throw RunStop{ kNumericErrorStatus }; // an impossible class boundary: the run cannot go on
  }
  if (prob == 0 || prob == 1)
    return prob;
  if (lbeta == 0)
    lbeta = LnGamma(p) + LnGamma(q) - LnGamma(p + q);

  // Solve in the lower tail; the upper one follows from I_x(p, q) = 1 - I_(1-x)(q, p).
  const bool swapped = prob > 0.5;
  const double a = swapped ? 1 - prob : prob;
  const double pp = swapped ? q : p;
  const double qq = swapped ? p : q;
  auto result = [swapped](double v) { return swapped ? 1 - v : v; };

  // Start value from a normal approximation of the quantile.
  double r = std::sqrt(-std::log(a * a));
  double y = r - (2.30753 + 0.27061 * r) / (1 + (0.99229 + 0.04481 * r) * r);
  double x;
  if (pp > 1 && qq > 1)
  {
    r = (y * y - 3) / 6;
    const double s = 1 / (pp + pp - 1);
    const double t = 1 / (qq + qq - 1);
    const double h = 2 / (s + t);
    const double w = y * std::sqrt(h + r) / h - (t - s) * (r + 5.0 / 6.0 - 2 / (3 * h));
    x = pp / (pp + qq * std::exp(w + w));
  }
  else
  {
    r = qq + qq;
    double t = 1 / (9 * qq);
    t = r * std::pow(1 - t + y * std::sqrt(t), 3);
    if (t <= 0)
      x = 1 - std::exp((std::log((1 - a) * qq) + lbeta) / qq);
    else
    {
      t = (4 * pp + r - 2) / t;
      if (t <= 1)
        x = std::exp((std::log(a * pp) + lbeta) / pp);
      else
        x = 1 - 2 / (t + 1);
    }
  }
  if (x <= 3e-308 || x >= 0.9999999999999998)
    x = (a + 0.5) / 2;

  const double acu = std::max(1e-300, std::pow(10.0, -13 - 2.5 / (pp * pp) - 0.5 / (a * a)));

  // Newton steps on I_x - a, each divided by 3 until it stays inside [0, 1] and shrinks.
  double yprev = 0.0;
  double adj = 1.0;
  double tx = 0.0;
  double prev = 0.0;
  for (int iter = 0; iter < 2000; ++iter)
  {
    y = (CDFBeta(x, pp, qq, lbeta) - a) * std::exp(lbeta + (1 - pp) * std::log(x) + (1 - qq) * std::log(1 - x));
    if (y * yprev <= 0)
      prev = std::max(std::fabs(adj), 3e-308);
    double g = 1.0;
    for (int trial = 0; trial < 2000; ++trial)
    {
      adj = g * y;
      if (std::fabs(adj) < prev)
      {
        tx = x - adj;
        if (tx >= 0 && tx <= 1)
        {
          if (prev <= acu || std::fabs(y) <= acu)
            return result(x);
          if (tx != 0 && tx != 1)
            break;
        }
      }
      g /= 3;
    }
    if (std::fabs(tx - x) < 3e-308)
      return result(x);
    x = tx;
    yprev = y;
  }
  return result(x);
}

void
Stat::discretize_beta(double p, double q, int K, double* out)
{
  // log B(p, q) once for all K quantiles.
  const double lbeta = LnGamma(p) + LnGamma(q) - LnGamma(p + q);
  for (int i = 0; i < K; ++i)
    out[i] = QuantileBeta((2.0 * i + 1) / (2.0 * K), p, q, lbeta);
}
} // namespace bpp
