#include "stat/Stat.h"

#include <cmath>

namespace bpp
{
namespace
{
// One-locus genotype frequencies for an allele-1 frequency p and an inbreeding coefficient F.
inline double
g11(double p, double F)
{
  return p * p * (1 - F) + F * p;
}

inline double
g12(double p, double F)
{
  return 2 * p * (1 - p) * (1 - F);
}

inline double
g22(double p, double F)
{
  return (1 - p) * (1 - p) * (1 - F) + F * (1 - p);
}

// Sums the per-individual values of one position; individuals sit at entries 4i..4i+3.
template<class PerIndividual>
double
sum_over_individuals(const std::valarray<unsigned int>& values, unsigned int nb_values, PerIndividual f)
{
  double sum = 0.0;
  std::valarray<unsigned int> counts(4);
  // nb_values is trusted only as far as values holds whole individuals.
  for (size_t i = 0; i < nb_values && i + 4 <= values.size(); i += 4)
  {
    for (size_t j = 0; j < 4; ++j)
      counts[j] = values[i + j];
    sum += f(counts);
  }
  return sum;
}
} // namespace

double
Stat::pgeno(std::valarray<unsigned int>& counts, std::valarray<double> proba, double prior)
{
  return dmultinom(counts, proba) * prior;
}

double
Stat::pgeno_dir(std::valarray<unsigned int>& x, std::valarray<double> proba, double prior, double alpha)
{
  unsigned int total = 0;
  for (size_t i = 0; i < x.size(); ++i)
    total += x[i];

  // The concentrations are alpha * proba_i without normalisation: the scale of proba acts
  // as part of the concentration.
  double sum_logfact = 0.0;
  double sum_terms = 0.0;
  for (size_t i = 0; i < 4; ++i)
  {
    sum_logfact += logfact(x[i]);
    sum_terms += LnGamma(x[i] + alpha * proba[i]) - LnGamma(alpha * proba[i]);
  }
  return prior * std::exp(sum_terms + (logfact(total) + LnGamma(alpha) - sum_logfact - LnGamma(total + alpha)));
}

double
Stat::lnL0(std::valarray<unsigned int>& counts, double p)
{
  std::valarray<double> a = proba_hom1;
  std::valarray<double> c = proba_het;
  std::valarray<double> b = proba_hom2;
  const double ma = dmultinom(counts, a);
  const double mc = dmultinom(counts, c);
  const double mb = dmultinom(counts, b);
  return std::log(g11(p, fis) * ma + g12(p, fis) * mc + g22(p, fis) * mb);
}

double
Stat::lnL0_dir(std::valarray<unsigned int>& counts, double p, double alpha)
{
  double s = pgeno_dir(counts, proba_hom1, g11(p, fis), alpha);
  s += pgeno_dir(counts, proba_het, g12(p, fis), alpha);
  s += pgeno_dir(counts, proba_hom2, g22(p, fis), alpha);
  return std::log(s);
}

namespace
{
// The nine (locus 1, locus 2) genotype pairs of the two-locus model with their read
// probability vectors and weights, in the fixed order 11/11, 11/12, 11/22, 12/11, ... 22/22.
// Pairs of equal genotypes use the stored vector, not a mixture.
struct TwoLocusTerms
{
  std::valarray<double> vec[9];
  double weight[9];

  TwoLocusTerms(const std::valarray<double>& A,
                const std::valarray<double>& B,
                const std::valarray<double>& C,
                double p1,
                double p2,
                double xi,
                double F)
  {
    const std::valarray<double> xa = xi * A, xb = xi * B, xc = xi * C;
    const std::valarray<double> ya = (1 - xi) * A, yb = (1 - xi) * B, yc = (1 - xi) * C;
    vec[0] = A;
    vec[1] = xa + yc;
    vec[2] = xa + yb;
    vec[3] = xc + ya;
    vec[4] = C;
    vec[5] = xc + yb;
    vec[6] = xb + ya;
    vec[7] = xb + yc;
    vec[8] = B;
    const double w1[3] = { g11(p1, F), g12(p1, F), g22(p1, F) };
    const double w2[3] = { g11(p2, F), g12(p2, F), g22(p2, F) };
    for (int k = 0; k < 9; ++k)
      weight[k] = w1[k / 3] * w2[k % 3];
  }
};
} // namespace

double
Stat::lnL1(std::valarray<unsigned int> counts, double p1, double p2, double xi)
{
  TwoLocusTerms t(proba_hom1, proba_hom2, proba_het, p1, p2, xi, fis);
  double s = 0.0;
  for (int k = 0; k < 9; ++k)
    s += t.weight[k] * dmultinom(counts, t.vec[k]);
  return std::log(s);
}

double
Stat::lnL1_dir(std::valarray<unsigned int>& counts, double p1, double p2, double xi, double alpha)
{
  TwoLocusTerms t(proba_hom1, proba_hom2, proba_het, p1, p2, xi, fis);
  double s = 0.0;
  for (int k = 0; k < 9; ++k)
    s += pgeno_dir(counts, t.vec[k], t.weight[k], alpha);
  return std::log(s);
}

double
Stat::logvrais0(double p)
{
  if (nb_values == 0)
    return -0.0;
  return -sum_over_individuals(values, nb_values, [&](std::valarray<unsigned int>& c) { return lnL0(c, p); });
}

double
Stat::logvrais0_dir(double p, double alpha)
{
  if (nb_values == 0)
    return -0.0;
  return -sum_over_individuals(
    values, nb_values, [&](std::valarray<unsigned int>& c) { return lnL0_dir(c, p, alpha); });
}

double
Stat::logvrais1(double p1, double p2, double xi)
{
  if (nb_values == 0)
    return -0.0;
  return -sum_over_individuals(values, nb_values, [&](std::valarray<unsigned int>& c) { return lnL1(c, p1, p2, xi); });
}

double
Stat::logvrais1_dir(double p1, double p2, double xi, double alpha)
{
  if (nb_values == 0)
    return -0.0;
  return -sum_over_individuals(
    values, nb_values, [&](std::valarray<unsigned int>& c) { return lnL1_dir(c, p1, p2, xi, alpha); });
}
} // namespace bpp
