#ifndef FILTER_LOGVRAIS1_H
#define FILTER_LOGVRAIS1_H

#include "filter/FilterFunction.h"

namespace bpp
{
/**
 * @brief Minus the log-likelihood of the position under test (the state held by a Stat) under
 * two collapsed loci over the same two alleles, multinomial reads. Parameters:
 * "p1" and "p2", the allele-1 frequencies at locus 1 and locus 2, and "xi", the share of the reads
 * that comes from locus 1 (at least one half, so locus 1 is the larger contributor).
 *
 * The value is computed when a parameter changes and cached; getValue() only reads it.
 * With e the precision given to the constructor:
 *  - "p1" in [e, 1 - e], starting at e
 *  - "p2" in [e, 1 - e], starting at 1 - e
 *  - "xi" in [0.5, 1 - e], starting at 0.5
 */
class Logvrais1 : public FilterFunction
{
public:
  Logvrais1(Stat* stat, double precision);

  Logvrais1* clone() const override { return new Logvrais1(*this); }

  void fireParameterChanged(const ParameterList& changed) override;
};
} // namespace bpp

#endif
