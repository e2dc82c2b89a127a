#include "filter/Logvrais1.h"

namespace bpp
{
Logvrais1::Logvrais1(Stat* stat, double precision)
  : FilterFunction(stat, precision)
{
  const double e = precision;
  addParameter_(utils::bounded_parameter("p1", e, e, 1 - e, e, constraints_).release());
  addParameter_(utils::bounded_parameter("p2", 1 - e, e, 1 - e, e, constraints_).release());
  addParameter_(utils::bounded_parameter("xi", 0.5, 0.5, 1 - e, e, constraints_).release());
}

void
Logvrais1::fireParameterChanged(const ParameterList& /* changed */)
{
  const double p1 = getParameterValue("p1");
  const double p2 = getParameterValue("p2");
  const double xi = getParameterValue("xi");
  value_ = stat_->logvrais1(p1, p2, xi);
}
} // namespace bpp
