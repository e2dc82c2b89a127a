#include "filter/Logvrais0.h"

namespace bpp
{
Logvrais0::Logvrais0(Stat* stat, double precision)
  : FilterFunction(stat, precision)
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
} // namespace bpp
