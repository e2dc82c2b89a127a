#ifndef FILTER_KESTRIN_H
#define FILTER_KESTRIN_H

#include "stat/Stat.h"

#include <Bpp/Numeric/Function/Optimizer.h>
#include <Bpp/Numeric/ParameterList.h>

#include <functional>
#include <string>
#include <valarray>

namespace bpp
{
/**
 * @brief Likelihood-ratio test of one position for paralogy: one diploid locus (H0) against
 * two collapsed loci over the same two alleles (H1), chi-square with 2 degrees of freedom.
 *
 * The engine fills the settings before every test; the constructor values are defaults only.
 */
class Kestrin
{
public:
  double fis = 0.0;               // inbreeding coefficient of the genotype weights
  double threshold = 0.001;       // kept for the caller; the test itself does not read it
  double epsilon = 0.0;           // read error rate of the three base-probability vectors
  double precision = 0.001;       // bounds and start values of the fits, and the comparison point
  bool dirichlet = false;         // Dirichlet-multinomial reads instead of multinomial ones
  std::string optimizer = "bfgs"; // "bfgs" or "newton"

  Kestrin() = default;
  virtual ~Kestrin() = default;

  /**
   * @brief Runs the test on one position.
   *
   * Writes the position state (a column-sorted copy of the counts, the error vectors and
   * the inbreeding coefficient) into stat; the counts themselves are not changed.
   *
   * @param counts four counts per individual, A, C, G, T, all individuals of the contig.
   * @param stat the statistics object the likelihood functions read.
   * @return the p-value in [0, 1], or -1 when the test could not be carried out: the H0 fit
   *         or the first H1 fit threw, the two most-read bases have no reads, or the
   *         statistic is not a finite number.
   */
  double assignation(std::valarray<unsigned int>& counts, Stat& stat);

  /** @brief One-locus fit from the start value xi (wrapper coordinates); the minimised value. */
  double optimization0(Optimizer& optimizer, ParameterList& parameters, double xi);
  /** @brief One-locus Dirichlet fit from xi and alpha. */
  double optimization0dir(Optimizer& optimizer, ParameterList& parameters, double xi, double alpha);
  /** @brief Two-locus fit from p1, p2 and xi. */
  double optimization1(Optimizer& optimizer, ParameterList& parameters, double p1, double p2, double xi);
  /** @brief Two-locus Dirichlet fit from p1, p2, xi and alpha. */
  double optimization1dir(Optimizer& optimizer,
                          ParameterList& parameters,
                          double p1,
                          double p2,
                          double xi,
                          double alpha);
};

/**
 * @brief Which two-locus value the test keeps.
 *
 * The first fit is kept unless it is worse than the comparison value (a tie, or a value
 * that is not a number, keeps it). Otherwise the retries run in turn, and a retry is kept
 * only when strictly better than the comparison value. When neither is, the fallback order
 * of h1_fallback applies. A bpp::Exception from a retry stands for the first fit's value.
 *
 * @param first the first fit (La).
 * @param reference the two-locus value at the one-locus estimate (Lref).
 * @param retry1 runs the first retry (Lb); called at most once.
 * @param retry2 runs the second retry (Lc); called at most once.
 */
double
choose_h1(double first, double reference, const std::function<double()>& retry1, const std::function<double()>& retry2);

/**
 * @brief Fallback when no fit beat the comparison value: Lc if Lc < Lb, else Lb if Lb < La,
 * else La. Not the minimum: La < Lc < Lb gives Lc.
 */
double
h1_fallback(double la, double lb, double lc);

/**
 * @brief Upper chi-square tail (2 degrees of freedom) of T = 2 (L0 - L1), T raised to 0
 * when negative; -1 when T is not a finite number.
 * @param l0 minimised minus log-likelihood of the one-locus model.
 * @param l1 retained minus log-likelihood of the two-locus model.
 */
double
lrt_pvalue(double l0, double l1);

/**
 * @brief The error rate the test assumes: max_error, unless the contig's transition error
 * rate (rate x tstv) is not above it. A product that is not a number is passed on.
 */
double
filter_error_rate(double max_error, double rate, double tstv);

/**
 * @brief Whether a tested position is blanked: a p-value strictly below the threshold, or
 * a failed test (-1) unless failed tests are kept.
 */
bool
is_flagged(double pvalue, double threshold, bool keep_unknown);

/** @brief Makes GSL return error codes instead of aborting the process; safe to call repeatedly. */
void
disable_gsl_abort();
} // namespace bpp

#endif
