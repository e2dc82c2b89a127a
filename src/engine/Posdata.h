#ifndef ENGINE_POSDATA_H
#define ENGINE_POSDATA_H

#include <map>
#include <string>
#include <valarray>
#include <vector>

namespace bpp
{
/**
 * @brief Per position of a contig: each species' base frequencies, the posterior weights
 * of the error classes and one record per individual.
 */
class Posdata
{
public:
  /** @brief Per individual and position: multinomial term, genotype posteriors and call. */
  struct ind
  {
    // log(N!) - sum_b log(n_b!) - ln 2 of the individual's reads
    double multinomial_term = 0.0;
    // [allele 1][allele 2], only allele 1 <= allele 2 is used
    double posteriors[4][4] = {};
    int allele1 = 100; // 0..3, or 100 for no call
    int allele2 = 100;
    double call_posterior = 0.0;
  };

  // Species name -> frequencies of A, C, G, T among the species' reads here.
  std::map<std::string, std::vector<double>> frequencies;
  double mean_error_rate = 0.0;
  double error_class_weights[3] = {};
  double error_class_given_bias[3][3] = {}; // [bias class][error class]
  std::vector<ind> individuals;             // header order

  explicit Posdata(unsigned int n);
  virtual ~Posdata() = default;

  /**
   * @brief Appends the species' four base frequencies at this position.
   * @param counts the species' reads: four counts per individual of the species.
   */
  void calculate_allele_frequencies(std::valarray<unsigned int>& counts, std::string species);
};
} // namespace bpp

#endif
