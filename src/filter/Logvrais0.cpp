#include "filter/Logvrais0.h"

namespace bpp
{
Logvrais0::Logvrais0(Stat* stat, double precision)
  : AbstractParametrizable("")
  , value_(0.0)
  , stat_(stat)
  , precision_(precision)
{
  const double e = precision;
  addParameter_(utils::bounded_parameter("xi", e, e, 1 - e, e, constraints_).release());
}

void
Logvrais0::fireParameterChanged(const ParameterList& /* changed */)
{
  const double xi = getParameterValue("xi");
  value_ = stat_->logvrais0(xi);
}

void
Logvrais0::setParameters(const ParameterList& parameters)
{
  matchParametersValues(parameters);
}
} // namespace bpp
