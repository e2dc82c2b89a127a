#ifndef FILTER_LOGVRAIS1_DIR_H
#define FILTER_LOGVRAIS1_DIR_H

#include "filter/FilterFunction.h"

namespace bpp
{
/**
 * @brief Minus the log-likelihood of the position under test (the state held by a Stat) under
 * two collapsed loci over the same two alleles, Dirichlet-multinomial reads.
 * Parameters: "p1", "p2", "xi" as in Logvrais1, and "alpha", the Dirichlet concentration.
 * The likelihood is evaluated at the single-precision roundings of the four values.
 *
 * The value is computed when a parameter changes and cached; getValue() only reads it.
 * With e the precision given to the constructor:
 *  - "p1" in [e, 1 - e], starting at 1 - e
 *  - "p2" in [e, 1 - e], starting at e
 *  - "xi" in [0.5, 1 - e], starting at 0.5
 *  - "alpha" in [1.0, +inf), starting at 100.0
 */
class Logvrais1_dir : public FilterFunction
{
public:
  Logvrais1_dir(Stat* stat, double precision);

  Logvrais1_dir* clone() const override { return new Logvrais1_dir(*this); }

  void fireParameterChanged(const ParameterList& changed) override;
};
} // namespace bpp

#endif
