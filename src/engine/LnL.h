#ifndef ENGINE_LNL_H
#define ENGINE_LNL_H

#include "alr/AlrContig.h"
#include "engine/Contigdata.h"
#include "engine/Model.h"
#include "stat/Stat.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
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
 * Copies share the contig's records (contig_data) and its layout of individuals and species,
 * and own their numeric state; the records live as long as any copy does. A copy starts with
 * empty caches, so that a fit over a few individuals holds tables for those alone.
 */
class LnL
{
public:
  Stat* stat;        // not owned
  AlrContig* contig; // not owned
  Model* model;      // not owned; the model of the current pass
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
  // Genotype log-likelihoods of one position in the final pass, flattened
  // [bias 3][error 3][g1 4][g2 4][entry of included].
  std::vector<double> genotype_cache;

  LnL(Stat* stat, AlrContig* contig, Model* model, unsigned int min_depth, double fis);
  virtual ~LnL() = default;
  /** @brief The settings, the shared records and the layout; the caches start empty. */
  LnL(const LnL& other);
  LnL& operator=(const LnL& other);
  LnL(LnL&&) = default;
  LnL& operator=(LnL&&) = default;

  double lnL(double er_alpha, double er_beta, double er_tstv, double aeb_alpha, double aeb_beta);
  double calculate_lnL_contig();
  double calculate_lnL_pos(Posdata* position, Alrline* line, double bias, int bias_class);
  double calculate_lnL_pos_ind(std::valarray<unsigned int>& counts,
                               int allele1,
                               int allele2,
                               double (*matrix)[4],
                               double bias,
                               double multinomial_term);
  void build_error_matrix(double rate, double tstv, double (*matrix)[4]);
  void calculate_posterior_genotypes();
  void calculate_posterior_genotypes_pos(Posdata* position, Alrline* line, double bias, int bias_class);

  /** @brief Entry of genotype_cache for the @p slot-th entry of included. */
  double& cache(int bias_class, int error_class, int g1, int g2, size_t slot)
  {
    return genotype_cache[((((static_cast<size_t>(bias_class) * 3 + error_class) * 4 + g1) * 4 + g2) *
                           slots_species_.size()) +
                          slot];
  }

  /**
   * @brief Bound that separates a log-likelihood from an impossibility marker.
   *
   * A true log-likelihood is at most 0, but one that is 0 in exact arithmetic can come out as
   * a few 1e-16 after rounding; every marker is 99 or more. Testing against 0.5 keeps such a
   * value a log-likelihood.
   */
  static constexpr double marker_bound = 0.5;

  /** @brief A log-likelihood (possibly a rounded 0 or -inf), as opposed to a marker or NaN. */
  static bool is_loglik(double value) { return value <= marker_bound; }

  // The ten genotypes in their fixed order AA, AC, AG, AT, CC, CG, CT, GG, GT, TT.
  static constexpr int genotype_allele1[10] = { 0, 0, 0, 0, 1, 1, 1, 2, 2, 3 };
  static constexpr int genotype_allele2[10] = { 0, 1, 2, 3, 1, 2, 3, 2, 3, 3 };

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
  // What one genotype contributes per read base under one error matrix and one bias value, the
  // same for every individual: log(0.5 * ((1 + b) m1_j + (1 - b) m2_j)) with allele 1
  // over-expressed (up) and with allele 2 over-expressed (down), m1 and m2 the two alleles'
  // matrix rows.
  struct GenotypeTerms
  {
    double up[4];
    double down[4];
    unsigned int unreadable; // bit j: neither allele can produce base j
  };

  // The genotype terms of one (bias class, error class) pair, with the bias and matrix they
  // were taken from: they stay valid until either changes. Each rebuild gets a new version,
  // which marks the per-counts values derived from the terms.
  struct ClassTerms
  {
    std::uint64_t version = 0; // 0: never built
    double bias = 0.0;
    double matrix[4][4] = {};
    GenotypeTerms genotypes[10] = {};
  };

  // The log priors of one species' ten genotypes at one position, with the frequencies and
  // inbreeding coefficient they were taken from.
  struct SpeciesPriors
  {
    bool built = false;
    double frequencies[4] = {};
    double fis = 0.0;
    double log_prior[10] = {};
    unsigned int possible = 0; // bit g: both alleles of genotype g have a non-zero frequency
  };

  // For one count vector under one class pair, the part of each genotype's log-likelihood
  // that does not depend on the individual: log(exp(S2 - S1) + 1) + S1. Individuals with the
  // same reads share it and only add their multinomial term.
  struct Mixtures
  {
    std::uint64_t version = 0; // version of the class terms the values belong to
    unsigned int done = 0;     // bit g: value[g] is computed
    double value[10];
  };

  using Counts = std::array<unsigned int, 4>;
  struct CountsHash
  {
    size_t operator()(const Counts& n) const
    {
      std::uint64_t h = n[0];
      for (int j = 1; j < 4; ++j)
        h = (h ^ n[j]) * 0x9e3779b97f4a7c15ull + (h >> 29);
      return static_cast<size_t>(h);
    }
  };
  static constexpr std::uint32_t no_counts_id = 0xffffffffu;

  // Who belongs to which species: fixed for the contig, so every copy reads the same one.
  struct Layout
  {
    std::vector<size_t> species_index;      // per individual: its species in first-appearance order
    std::vector<std::string> species_names; // distinct species, first-appearance order
  };

  size_t n_individuals_ = 0;
  std::shared_ptr<const Layout> layout_;
  double log_two_ = 0.0;            // log(exp(0) + 1) as the maths library computes it
  ClassTerms class_terms_[3][3];    // [bias class][error class]
  std::uint64_t terms_version_ = 0; // last version given to class terms

  // The per-position tables below hold a column per species of the included individuals and a
  // column per entry of included, laid out for the included list they were built for: a fit
  // over one species then holds that species' share of the contig, not the whole contig's.
  std::vector<int> tables_included_;    // the included list of the layout
  std::vector<size_t> slots_species_;   // per entry of included: its column of priors_
  std::vector<size_t> columns_species_; // per column of priors_: its species
  // Rows per position of the contig, plus one row for a Posdata that is not the contig's.
  size_t position_row_ = 0;               // row of the position being computed
  std::vector<SpeciesPriors> priors_;     // [row][species column]
  std::vector<std::uint32_t> counts_ids_; // [row][entry of included]: id of its counts, or no_counts_id
  std::vector<Counts> distinct_counts_;   // id -> counts
  std::unordered_map<Counts, std::uint32_t, CountsHash> counts_index_; // counts -> id
  // [bias class][error class][counts id]
  std::vector<Mixtures> mixtures_[3][3];

  std::vector<double> terms_;             // terms of one log-sum-exp over genotypes or classes
  std::vector<double> error_class_terms_; // per error class: its weighted log-likelihood of a position
  std::vector<double> bias_terms_;        // per bias class: its weighted log-likelihood of the contig

  /**
   * log(exp(S2 - S1) + 1) + S1 of calculate_lnL_pos_ind for counts @p n, with the logarithms of
   * the genotype's matrix rows read from @p g: the same operations in the same order, so the
   * same double. exp(0) + 1 is exactly 2, whose logarithm is @p log_two: a homozygote, or any
   * genotype under a bias of 0, has its two orientations equal and needs neither exp nor log.
   */
  static double mixture(const GenotypeTerms& g, const unsigned int* n, double log_two)
  {
    double s1 = 0.0;
    double s2 = 0.0;
    for (int j = 0; j < 4; ++j)
    {
      if (n[j] == 0)
        continue;
      const double c = n[j];
      s1 += c * g.up[j];
      s2 += c * g.down[j];
    }
    const double d = s2 - s1;
    return (d == 0.0 ? log_two : std::log(std::exp(d) + 1)) + s1;
  }

  /** Bit j of the result is set when base j has reads. */
  static unsigned int read_bases_of(const unsigned int* n)
  {
    return (n[0] > 0 ? 1u : 0u) | (n[1] > 0 ? 2u : 0u) | (n[2] > 0 ? 4u : 0u) | (n[3] > 0 ? 8u : 0u);
  }

  /**
   * calculate_lnL_pos_ind(counts, g1, g2, matrix, bias, t) for genotype @p g of the class pair
   * whose terms are @p terms, the individual's counts @p n having the mixtures @p mix.
   */
  double genotype_lnL(const ClassTerms& terms,
                      Mixtures& mix,
                      int g,
                      const unsigned int* n,
                      unsigned int read_bases,
                      double t) const
  {
    const GenotypeTerms& gt = terms.genotypes[g];
    if (gt.unreadable & read_bases)
      return 99.0; // the marker of a read base that neither allele can produce
    const unsigned int bit = 1u << g;
    if (!(mix.done & bit))
    {
      mix.value[g] = mixture(gt, n, log_two_);
      mix.done |= bit;
    }
    return mix.value[g] + t;
  }

  void check_classes() const;
  void reserve_scratch();
  void lay_out_tables();
  void prepare_position(const Posdata& position, const Alrline& line);
  const ClassTerms& class_terms(int bias_class, unsigned int error_class, double bias);
  /** The priors of the species of the @p slot-th entry of included, at the current position. */
  const SpeciesPriors& priors_of(size_t slot) const
  {
    return priors_[position_row_ * columns_species_.size() + slots_species_[slot]];
  }

  /**
   * The id of the counts @p n of the @p slot-th entry of included at the current position. The
   * id found at an earlier evaluation is kept while the counts stay the same.
   */
  std::uint32_t counts_id(size_t slot, const unsigned int* n)
  {
    std::uint32_t& id = counts_ids_[position_row_ * slots_species_.size() + slot];
    if (id != no_counts_id)
    {
      const Counts& known = distinct_counts_[id];
      if (known[0] == n[0] && known[1] == n[1] && known[2] == n[2] && known[3] == n[3])
        return id;
    }
    return new_counts_id(id, n);
  }
  /** Looks @p n up among the contig's distinct counts, adds it when new, and stores its id in @p id. */
  std::uint32_t new_counts_id(std::uint32_t& id, const unsigned int* n);

  /** The mixtures of counts @p id under a class pair, emptied when they belong to older terms. */
  Mixtures& mixtures_of(int bias_class, unsigned int error_class, std::uint32_t id, std::uint64_t version)
  {
    std::vector<Mixtures>& row = mixtures_[bias_class][error_class];
    if (row.size() <= id)
      row.resize(distinct_counts_.size());
    Mixtures& m = row[id];
    if (m.version != version)
    {
      m.version = version;
      m.done = 0;
    }
    return m;
  }
};
} // namespace bpp

#endif
