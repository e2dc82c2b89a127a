#ifndef FILTER_LOGVRAIS0_DIR_H
#define FILTER_LOGVRAIS0_DIR_H

#include "filter/utils.h"
#include "stat/Stat.h"

#include <Bpp/Numeric/AbstractParametrizable.h>
#include <Bpp/Numeric/Function/Functions.h>

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
class Logvrais0_dir
  : public virtual Function
  , public AbstractParametrizable
{
public:
  /**
   * @param stat holds the position under test; borrowed, shared with clones, must outlive them.
   * @param precision e, from which the parameter bounds are made.
   */
  Logvrais0_dir(Stat* stat, double precision);
  virtual ~Logvrais0_dir() {}

  Logvrais0_dir* clone() const override { return new Logvrais0_dir(*this); }

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
