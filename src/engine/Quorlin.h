#ifndef ENGINE_QUORLIN_H
#define ENGINE_QUORLIN_H

#include "alr/AlrContig.h"
#include "engine/LnL.h"
#include "engine/LnL_fct.h"
#include "engine/Model.h"
#include "stat/Stat.h"

#include <Bpp/Numeric/Function/DownhillSimplexMethod.h>

#include <cstddef>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <valarray>
#include <vector>

namespace bpp
{
/**
 * @brief The "forbidden" policy met a position where an individual shows more than two
 * alleles: the run cannot deliver every contig, so it ends there, as a failure, once the
 * contigs before it are written. Not a bpp::Exception, so that the guard that fails a single
 * contig's fit lets it through.
 */
struct MultiAlleleStop
{
  std::size_t position; // the line's index in its contig, counted from 0
};

/**
 * @brief One fit in progress: the optimiser and the function it borrows. The function is
 * declared first so that it outlives the optimiser.
 */
struct FittedModel
{
  std::unique_ptr<LnL_fct> function;
  std::unique_ptr<DownhillSimplexMethod> optimizer;
};

/**
 * @brief What the final pass reads of one finished fit. A fit's optimiser and function are
 * released as soon as it ends: with one fit per species, keeping them all until the final
 * pass would hold as many engines as there are species.
 */
struct FitEstimates
{
  bool fitted = false;
  double er_beta = 0.0;
  double er_tstv = 0.0;
  double aeb_beta = 0.0;
};

using SharedOptimizers = std::vector<FitEstimates>;                // one slot per model
using SeparateOptimizers = std::vector<std::vector<FitEstimates>>; // [model][species]

/**
 * @brief The engine: engine and filter settings, the model table, the current contig's
 * likelihood engine and records, the per-contig pipeline and the .gen/.data writers.
 */
class Quorlin
{
public:
  std::vector<double> lnL_shared;   // per model, log-likelihood of the last shared fit
  std::vector<double> lnL_separate; // per model, sum over species of the last separate fit
  Stat* stat;                       // not owned
  std::unique_ptr<LnL> lnl;         // current contig's engine
  std::vector<Model> models;        // M0, M1, M2
  unsigned int model_index = 1;     // model whose estimates make the calls
  unsigned int min_coverage = 1;
  bool shared = false;
  bool separate = false;
  bool best_genotype = false;
  bool use_kestrin = false;
  std::string multi_alleles = "tolerated";
  double fis = 0.0;
  double threshold = 0.001;
  double precision = 0.001;
  bool dirichlet = false;
  bool skip_paralogous = false;
  bool keep_unknown = false;
  std::string optimizer = "newton";
  double max_error = 0.01;
  unsigned int nb_positions = 0;
  unsigned int nb_homozygous = 0;
  unsigned int nb_heterozygous = 0; // called heterozygous and kept; a failed fit calls nothing
  unsigned int nb_checked = 0;
  unsigned int nb_paralogous = 0;
  unsigned int nb_in_error = 0;

  explicit Quorlin(Stat* stat)
    : lnL_shared(3, 0.0)
    , lnL_separate(3, 0.0)
    , stat(stat)
  {
    models.push_back(make_model("M0", "[no error, no bias]            ", true, true, false, false, false));
    models.push_back(make_model("M1", "[constant error, no bias]      ", false, true, true, true, false));
    models.push_back(make_model("M2", "[constant error, constant bias]", false, false, true, true, true));
  }
  /**
   * @brief A fresh engine with the settings and models of @p settings, its own counters and
   * no contig: one per contig when contigs are computed side by side.
   */
  Quorlin(const Quorlin& settings, Stat* stat);
  Quorlin(const Quorlin&) = delete;
  Quorlin& operator=(const Quorlin&) = delete;
  virtual ~Quorlin() = default;

  // Per-contig pipeline: compute() is fit() then, when the fits succeeded, final_pass().
  void compute(AlrContig& contig);
  /**
   * @brief Records, multi-allele policy, frequencies and the fits of every chosen model.
   * @return false when a fit failed (the contig is then marked failed and gets no final pass).
   */
  bool fit(AlrContig& contig);
  /** @brief Posteriors and calls with the fitted values; the only step that draws at random. */
  void final_pass(AlrContig& contig);
  /** @throw MultiAlleleStop under "forbidden", once its message is on standard output. */
  void check_paralogy(AlrContig& contig);
  bool is_more_than_2_alleles(std::valarray<unsigned int> counts);
  void calculate_multinomial_terms(Posdata& position, std::valarray<unsigned int>& counts);

  // Model fitting and the final pass.
  SharedOptimizers shared_fits;     // of the current contig, released with the next one
  SeparateOptimizers separate_fits;
  FittedModel my_optimize();
  void dosh(AlrContig& contig, SharedOptimizers& shared_optimizers);
  void dosep(AlrContig& contig, SeparateOptimizers& separate_optimizers);
  void chosen_sh_dist(AlrContig& contig, SharedOptimizers& shared_optimizers);
  void chosen_sh_sep(AlrContig& contig, SeparateOptimizers& separate_optimizers);
  void calcul_aeb(Contigdata::aeb_data* record, double aeb_beta);
  void calcul_err(Contigdata::err_data* record, double er_beta, double er_tstv, unsigned int nb_positions);

  // Writers.
  std::string write_genotypes(AlrContig& contig, std::ostream& gen);
  void write_speciesdata(std::ostream& dat);

  // Paralogy filter glue (filter/).
  bool kestrin(Alrline& line, bool heterozygous, unsigned int index);

  /**
   * @brief The contig's species in order of first appearance in its header, each with the
   * indices of its individuals in header order. Species s of every per-species record is
   * entry s of this list.
   */
  static std::vector<std::pair<std::string, std::vector<int>>> species_in_header_order(const AlrContig& contig);

private:
  /**
   * @brief The final pass over the individuals in the engine's included list with @p fit, and
   * the estimate records it leaves.
   */
  void pass_with(const FitEstimates& fit, const AlrContig& contig);

  static Model make_model(const std::string& name, const std::string& description, bool no_error, bool no_bias,
                          bool fit_er_beta, bool fit_er_tstv, bool fit_aeb_beta)
  {
    Model m;
    m.name = name;
    m.print_name = name;
    m.description = description;
    m.no_error = no_error;
    m.no_bias = no_bias;
    m.fit_er_beta = fit_er_beta;
    m.fit_er_tstv = fit_er_tstv;
    m.fit_aeb_beta = fit_aeb_beta;
    return m;
  }
};
} // namespace bpp

#endif
