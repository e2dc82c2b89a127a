#include "filter/Logvrais0_dir.h"

namespace bpp
{
Logvrais0_dir::Logvrais0_dir(Stat* stat, double precision)
  : FilterFunction(stat, precision)
{
  const double e = precision;
  addParameter_(utils::bounded_parameter("xi", e, e, 1 - e, e, constraints_).release());
  addParameter_(utils::lower_bounded_parameter("alpha", 100.0, 1.0, e, constraints_).release());
}

void
Logvrais0_dir::fireParameterChanged(const ParameterList& /* changed */)
{
  const double xi = getParameterValue("xi");
  const double alpha = getParameterValue("alpha");
  value_ = stat_->logvrais0_dir(xi, alpha);
}
} // namespace bpp
