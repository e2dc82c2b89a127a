#ifndef ENGINE_CONTIGDATA_H
#define ENGINE_CONTIGDATA_H

#include "engine/Posdata.h"
#include "engine/Speciesdata.h"

#include <vector>

namespace bpp
{
/**
 * @brief The records of one contig: species, positions, estimate records, the bias
 * class posteriors and the failed-fit mark.
 */
class Contigdata
{
public:
  /** @brief Allelic-expression-bias estimates of a final pass. */
  struct aeb_data
  {
    double mean = 0.0; // 1/(1 + aeb_beta), or 0 for a model without bias
    std::vector<double> class_values;
    double posterior_mean = 0.0;
    std::vector<double> class_probs;
  };

  /** @brief Read-error estimates of a final pass. */
  struct err_data
  {
    double rate = 0.0; // 1/(1 + er_beta), or 0 for a model without error
    double tstv = 0.0;
    std::vector<double> class_values;
    std::vector<double> per_position_rate;
    std::vector<std::vector<double>> per_position_class_probs;
  };

  std::vector<Speciesdata> species_data; // entry s is species s (order of first appearance)
  std::vector<Posdata> positions;        // entry p belongs to line p
  double bias_class_posteriors[3] = {};
  double mean_bias = 0.0;
  std::vector<aeb_data> aeb; // one for the contig (shared), or one per species (separate)
  std::vector<err_data> err;
  bool failed = false;

  virtual ~Contigdata() = default;
};
} // namespace bpp

#endif
