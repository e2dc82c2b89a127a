#ifndef FILTER_LOGVRAIS0_DIR_H
#define FILTER_LOGVRAIS0_DIR_H

#include "filter/FilterFunction.h"

namespace bpp
{
/**
 * @brief Minus the log-likelihood of the position under test (the state held by a Stat) under
 * one locus whose reads follow a Dirichlet-multinomial distribution given the
 * genotype. Parameters: "xi", the frequency of allele 1, and "alpha", the Dirichlet concentration.
 *
 * The value is computed when a parameter changes and cached; getValue() only reads it.
 * With e the precision given to the constructor:
 *  - "xi" in [e, 1 - e], starting at e
 *  - "alpha" in [1.0, +inf), starting at 100.0
 */
class Logvrais0_dir : public FilterFunction
{
public:
  Logvrais0_dir(Stat* stat, double precision);

  Logvrais0_dir* clone() const override { return new Logvrais0_dir(*this); }

  void fireParameterChanged(const ParameterList& changed) override;
};
} // namespace bpp

#endif
