#ifndef STAT_STAT_H
#define STAT_STAT_H

#include "stat/Console.h"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <valarray>
#include <vector>

namespace bpp
{
/**
 * @brief The statistics kernel: log-factorials, multinomial and Dirichlet-multinomial
 * probabilities, log-gamma, the Beta distribution, log-sum-exp and the one- and two-locus
 * likelihoods of the position under test.
 *
 * Besides its functions it carries the state of the position under test, which the
 * paralogy test writes before each test, and the memoised log-factorial table.
 * One caller at a time: most operations may grow the table.
 */
class Stat
{
public:
  /**
   * @brief Largest number of memoised log-factorials.
   *
   * Depths of a few million reads are real, so the table covers them (32 MiB at most);
   * log(n!) for larger n is computed directly so that a corrupt or absurd depth cannot
   * exhaust memory.
   */
  static constexpr unsigned int logfact_table_bound = 1u << 22;

  // Position under test: four counts per individual, columns sorted by total by the filter.
  std::valarray<unsigned int> values;
  unsigned int nb_values = 0;        // number of entries of values
  double epsilon;                    // error rate the three vectors below were built from
  double fis;                        // inbreeding coefficient of the genotype weights
  std::valarray<double> proba_hom1;  // read probabilities of bases 0..3 for a homozygote of allele 1
  std::valarray<double> proba_hom2;  // the same for a homozygote of allele 2
  std::valarray<double> proba_het;   // the same for the allele-1/allele-2 heterozygote
  std::vector<double> logfact_table; // entry k holds log(k!)

  Stat();
  virtual ~Stat() = default;
  Stat(const Stat&) = delete;
  Stat& operator=(const Stat&) = delete;

  // Factorial.cpp
  /** @brief log(n!), memoised below logfact_table_bound. */
  double logfact(unsigned int n);
  std::valarray<double> logfact(std::valarray<unsigned int> x);
  void init_logfact(unsigned int n);

  // Gamma.cpp
  /** @brief logfact(n - 1); defined for n >= 1. */
  double LnGamma(unsigned int n);
  /** @brief log|Gamma(x)|; 0 at x = 0, -1.0 with a message at the negative integers. */
  double LnGamma(double x);
  std::valarray<double> LnGamma(std::valarray<double> x);

  // Dmultinomiale.cpp
  /** @brief Multinomial probability of the counts; proba is normalised on a private copy. */
  double dmultinom(std::valarray<unsigned int>& value, std::valarray<double>& proba);

  // Logvrais.cpp
  double pgeno(std::valarray<unsigned int>& counts, std::valarray<double> proba, double prior);
  /** @brief prior times the Dirichlet-multinomial probability of four counts, concentrations alpha * proba_i. */
  double pgeno_dir(std::valarray<unsigned int>& x, std::valarray<double> proba, double prior, double alpha);
  double lnL0(std::valarray<unsigned int>& counts, double p);
  double lnL0_dir(std::valarray<unsigned int>& counts, double p, double alpha);
  double lnL1(std::valarray<unsigned int> counts, double p1, double p2, double xi);
  double lnL1_dir(std::valarray<unsigned int>& counts, double p1, double p2, double xi, double alpha);
  /** @brief Minus the one-locus log-likelihood of the position under test, summed over individuals. */
  double logvrais0(double p);
  double logvrais0_dir(double p, double alpha);
  /** @brief Minus the two-locus log-likelihood of the position under test, summed over individuals. */
  double logvrais1(double p1, double p2, double xi);
  double logvrais1_dir(double p1, double p2, double xi, double alpha);

  // QuantileBeta.cpp
  /** @brief I_x(p, q); lbeta = 0 means "compute log B(p, q)"; -1.0 for a non-positive shape. */
  double CDFBeta(double x, double p, double q, double lbeta);
  /** @brief Inverse of CDFBeta in x; throws RunStop on a negative shape or prob outside [0, 1]. */
  double QuantileBeta(double prob, double p, double q, double lbeta);
  /** @brief Writes the medians of K equiprobable classes of Beta(p, q) to out[0..K-1]. */
  void discretize_beta(double p, double q, int K, double* out);

  /** @brief log(sum exp(v_i)), shifted by the largest element truncated to an integer. */
  double log_sum_exp(std::vector<double>& v)
  {
    const size_t n = v.size();
    if (n == 1)
      return v[0];
    if (n == 0)
    {
      // The caller has no way to go on without a value: the run stops, and must not look
      // finished.
      console_err() << "Empty vector passed to log_sum_exp\n";
      throw RunStop{ kNumericErrorStatus };
    }
    // The shift is the largest finite element truncated toward zero, or -2^31 when no element
    // is finite, so that all -inf still sums to -inf. Finite elements beyond the 32-bit range
    // keep their own truncation: a shift clipped to 32 bits would make their exponentials
    // underflow or overflow and turn a finite sum into an infinite one.
    double m = -2147483648.0;
    bool seen_finite = false;
    for (size_t i = 0; i < n; ++i)
    {
      if (!std::isfinite(v[i]))
        continue;
      const double t = std::trunc(v[i]);
      if (!seen_finite || t > m)
        m = t;
      seen_finite = true;
    }
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i)
      sum += std::exp(v[i] - m);
    return std::log(sum) + m;
  }

private:
  // Truncation toward zero to a 32-bit signed integer; values without one give -2^31.
  static int trunc_int32(double x)
  {
    if (x > -2147483649.0 && x < 2147483648.0)
      return static_cast<int>(x);
    return -2147483647 - 1;
  }
};
} // namespace bpp

#endif
