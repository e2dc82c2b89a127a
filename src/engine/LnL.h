#ifndef ENGINE_LNL_H
#define ENGINE_LNL_H

#include "alr/AlrContig.h"
#include "engine/Contigdata.h"
#include "engine/Model.h"
#include "stat/Stat.h"

#include <memory>
#include <string>
#include <valarray>
#include <vector>

namespace bpp
{
/**
 * @brief Likelihood engine of one contig: read-error matrices per error class, allelic
 * expression bias per bias class, the position and contig log-likelihoods, and (in the
 * final pass) the genotype posteriors and calls.
 *
 * A positive value where a log-likelihood is expected marks an impossible case
 * (99, 101, 102, 103, 104, 105).
 *
 * Copies share the contig's records (contig_data) and own their numeric state; the
 * records live as long as any copy does.
 */
class LnL
{
public:
  Stat* stat;          // not owned
  AlrContig* contig;   // not owned
  Model* model;        // not owned; the model of the current pass
  std::shared_ptr<Contigdata> contig_data;
  double error_matrices[3][4][4] = {}; // [class][true base][read base]
  double error_rates[3] = {};
  double error_weights[3] = {};
  double bias_values[3] = {};
  double bias_weights[3] = {};
  unsigned int min_depth;
  bool posterior_pass = false;
  bool best_genotype = false;
  double fis;
  std::vector<int> included; // individuals of the likelihood, in visiting order
  // Genotype log-likelihoods of one position, flattened [bias 3][error 3][g1 4][g2 4][individual n].
  std::vector<double> genotype_cache;

  LnL(Stat* stat, AlrContig* contig, Model* model, unsigned int min_depth, double fis);
  virtual ~LnL() = default;
  LnL(const LnL&) = default;
  LnL& operator=(const LnL&) = default;

  double lnL(double er_alpha, double er_beta, double er_tstv, double aeb_alpha, double aeb_beta);
  double calculate_lnL_contig();
  double calculate_lnL_pos(Posdata* position, Alrline* line, double bias, int bias_class);
  double calculate_lnL_pos_ind(std::valarray<unsigned int>& counts, int allele1, int allele2, double (*matrix)[4],
                               double bias, double multinomial_term);
  void build_error_matrix(double rate, double tstv, double (*matrix)[4]);
  void calculate_posterior_genotypes();
  void calculate_posterior_genotypes_pos(Posdata* position, Alrline* line, double bias, int bias_class);

  double& cache(int bias_class, int error_class, int g1, int g2, int individual)
  {
    return genotype_cache[((((static_cast<size_t>(bias_class) * 3 + error_class) * 4 + g1) * 4 + g2) * n_individuals_) +
                          individual];
  }

  /**
   * @brief Bound that separates a log-likelihood from an impossibility marker.
   *
   * A true log-likelihood is at most 0, but one that is 0 in exact arithmetic can come out as
   * a few 1e-16 after rounding; every marker is 99 or more. Testing against 0.5 keeps such a
   * value a log-likelihood.
   */
  static constexpr double marker_bound = 0.5;

  /** @brief True for an impossibility marker (and +inf); false for a log-likelihood and NaN. */
  static bool is_marker(double value) { return value > marker_bound; }

  /**
   * @brief Calls the genotype of highest posterior in @p ind; a tie goes to the earlier
   * genotype in the order AA, AC, ..., TT.
   */
  static void call_best(Posdata::ind& ind);

  /**
   * @brief Calls the first genotype, in the order AA, AC, ..., TT, at which the running sum of
   * the posteriors of @p ind reaches @p draw. A draw the sum never reaches (rounding, draw near
   * 1) calls the last genotype with a positive posterior.
   */
  static void call_drawn(Posdata::ind& ind, double draw);

  /** @brief Gives @p ind the no-call values (100, 100, 0.0). */
  static void no_call(Posdata::ind& ind);

private:
  size_t n_individuals_ = 0;
  std::vector<size_t> species_index_;        // per individual: its species in first-appearance order
  std::vector<std::string> species_names_;   // distinct species, first-appearance order
  std::vector<const double*> species_freqs_; // per species: its four frequencies at the current position
  std::vector<double> log_priors_;           // per species: log prior of the ten genotypes at the position
  std::valarray<unsigned int> counts_;       // one individual's four counts
  std::vector<double> terms_;                // terms of one log-sum-exp over genotypes or classes
  std::vector<double> class_terms_;          // per error class: its weighted log-likelihood of a position
  std::vector<double> bias_terms_;           // per bias class: its weighted log-likelihood of the contig

  void check_classes() const;
  void prepare_position(Posdata& position, const Alrline& line);
  void load_counts(const Alrline& line, size_t individual);
};
} // namespace bpp

#endif
