#ifndef FILTER_FILTERFUNCTION_H
#define FILTER_FILTERFUNCTION_H

#include "filter/utils.h"
#include "stat/Stat.h"

#include <Bpp/Numeric/AbstractParametrizable.h>
#include <Bpp/Numeric/Function/Functions.h>

namespace bpp
{
/**
 * @brief What the paralogy test's four likelihood functions share: the value cached by
 * fireParameterChanged, the borrowed Stat holding the position under test, the precision
 * the parameter bounds are made from, and the constraints shared with clones.
 */
class FilterFunction
  : public virtual Function
  , public AbstractParametrizable
{
public:
  /**
   * @param stat holds the position under test; borrowed, shared with clones, must outlive them.
   * @param precision e, from which the parameter bounds are made.
   */
  FilterFunction(Stat* stat, double precision)
    : AbstractParametrizable("")
    , value_(0.0)
    , stat_(stat)
    , precision_(precision)
  {
  }
  virtual ~FilterFunction() {}

  /** @brief Copies the values of the parameters it shares with the list; evaluates only on a change. */
  void setParameters(const ParameterList& parameters) override { matchParametersValues(parameters); }

  double getValue() const override { return value_; }

  Stat* stat() const { return stat_; }
  double precision() const { return precision_; }

protected:
  double value_;                       // minus log-likelihood at the current parameters, 0.0 until the first change
  Stat* stat_;                         // borrowed
  double precision_;                   // e of the bounds
  utils::ConstraintStore constraints_; // shared with clones
};
} // namespace bpp

#endif
