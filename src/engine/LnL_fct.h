#ifndef ENGINE_LNL_FCT_H
#define ENGINE_LNL_FCT_H

#include "engine/LnL.h"

#include <Bpp/Numeric/AbstractParametrizable.h>
#include <Bpp/Numeric/Function/Functions.h>

namespace bpp
{
/**
 * @brief Minus the contig log-likelihood of the five engine parameters, for the simplex.
 * Holds its own copy of the engine's numeric state; shares the contig's records.
 */
class LnL_fct : public virtual Function, public AbstractParametrizable
{
public:
  explicit LnL_fct(LnL& lnl);
  LnL_fct(const LnL_fct& other);
  LnL_fct& operator=(const LnL_fct& other);
  virtual ~LnL_fct();

  LnL_fct* clone() const override { return new LnL_fct(*this); }
  void fireParameterChanged(const ParameterList& parameters) override;
  void setParameters(const ParameterList& parameters) override;
  double getValue() const override { return value_; }

  LnL& engine() { return engine_; }

private:
  double value_ = 0.0; // minus log-likelihood, cached by fireParameterChanged
  LnL engine_;
};
} // namespace bpp

#endif
