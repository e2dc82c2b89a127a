#ifndef FILTER_LOGVRAIS1_H
#define FILTER_LOGVRAIS1_H

#include "filter/utils.h"
#include "stat/Stat.h"

#include <Bpp/Numeric/AbstractParametrizable.h>
#include <Bpp/Numeric/Function/Functions.h>

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
class Logvrais1
  : public virtual Function
  , public AbstractParametrizable
{
public:
  /**
   * @param stat holds the position under test; borrowed, shared with clones, must outlive them.
   * @param precision e, from which the parameter bounds are made.
   */
  Logvrais1(Stat* stat, double precision);
  virtual ~Logvrais1() {}

  Logvrais1* clone() const override { return new Logvrais1(*this); }

  void fireParameterChanged(const ParameterList& changed) override;

  /** @brief Copies the values of the parameters it shares with the list; evaluates only on a change. */
  void setParameters(const ParameterList& parameters) override;

  double getValue() const override { return value_; }

  Stat* stat() const { return stat_; }
  double precision() const { return precision_; }

private:
  double value_;                       // minus log-likelihood at the current parameters, 0.0 until the first change
  Stat* stat_;                         // borrowed
  double precision_;                   // e of the bounds
  utils::ConstraintStore constraints_; // shared with clones
};
} // namespace bpp

#endif
