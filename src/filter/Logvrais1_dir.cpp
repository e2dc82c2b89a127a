#include "filter/Logvrais1_dir.h"

namespace bpp
{
namespace
{
// The two-locus Dirichlet likelihood is evaluated at single-precision values, so nearby
// parameter values that round to the same float give the same likelihood.
double
single_precision(double x)
{
  return static_cast<double>(static_cast<float>(x));
}
} // namespace

Logvrais1_dir::Logvrais1_dir(Stat* stat, double precision)
  : FilterFunction(stat, precision)
{
  const double e = precision;
  addParameter_(utils::bounded_parameter("p1", 1 - e, e, 1 - e, e, constraints_).release());
  addParameter_(utils::bounded_parameter("p2", e, e, 1 - e, e, constraints_).release());
  addParameter_(utils::bounded_parameter("xi", 0.5, 0.5, 1 - e, e, constraints_).release());
  addParameter_(utils::lower_bounded_parameter("alpha", 100.0, 1.0, e, constraints_).release());
}

void
Logvrais1_dir::fireParameterChanged(const ParameterList& /* changed */)
{
  const double p1 = single_precision(getParameterValue("p1"));
  const double p2 = single_precision(getParameterValue("p2"));
  const double xi = single_precision(getParameterValue("xi"));
  const double alpha = single_precision(getParameterValue("alpha"));
  value_ = stat_->logvrais1_dir(p1, p2, xi, alpha);
}
} // namespace bpp
