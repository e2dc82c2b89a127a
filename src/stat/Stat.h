#ifndef STAT_STAT_H
#define STAT_STAT_H

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
  // Position under test: four counts per individual, columns sorted by total by the filter.
  std::valarray<unsigned int> values;
  unsigned int nb_values = 0; // number of entries of values
  double epsilon;             // error rate the three vectors below were built from
  double fis;                 // inbreeding coefficient of the genotype weights
  std::valarray<double> proba_hom1; // read probabilities of bases 0..3 for a homozygote of allele 1
  std::valarray<double> proba_hom2; // the same for a homozygote of allele 2
  std::valarray<double> proba_het;  // the same for the allele-1/allele-2 heterozygote
  std::vector<double> logfact_table; // entry k holds log(k!)

  Stat();
  virtual ~Stat() = default;
  Stat(const Stat&) = delete;
  Stat& operator=(const Stat&) = delete;

  // Factorial.cpp
  double logfact(unsigned int n);
  std::valarray<double> logfact(std::valarray<unsigned int> x);
  void init_logfact(unsigned int n);

  // Gamma.cpp
  double LnGamma(unsigned int n);
  double LnGamma(double x);
  std::valarray<double> LnGamma(std::valarray<double> x);

  // Dmultinomiale.cpp
  double dmultinom(std::valarray<unsigned int>& value, std::valarray<double>& proba);

  // Logvrais.cpp
  double pgeno(std::valarray<unsigned int>& counts, std::valarray<double> proba, double prior);
  double pgeno_dir(std::valarray<unsigned int>& x, std::valarray<double> proba, double prior, double alpha);
  double lnL0(std::valarray<unsigned int>& counts, double p);
  double lnL0_dir(std::valarray<unsigned int>& counts, double p, double alpha);
  double lnL1(std::valarray<unsigned int> counts, double p1, double p2, double xi);
  double lnL1_dir(std::valarray<unsigned int>& counts, double p1, double p2, double xi, double alpha);
  double logvrais0(double p);
  double logvrais0_dir(double p, double alpha);
  double logvrais1(double p1, double p2, double xi);
  double logvrais1_dir(double p1, double p2, double xi, double alpha);

  // QuantileBeta.cpp
  double CDFBeta(double x, double p, double q, double lbeta);
  double QuantileBeta(double prob, double p, double q, double lbeta);
  void discretize_beta(double p, double q, int K, double* out);

  /** @brief log(sum exp(v_i)), shifted by the largest element truncated to an integer. */
  double log_sum_exp(std::vector<double>& v);
};
} // namespace bpp

#endif
