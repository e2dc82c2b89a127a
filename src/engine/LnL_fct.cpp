#include "engine/LnL_fct.h"

#include <Bpp/Numeric/Constraints.h>
#include <Bpp/Numeric/NumConstants.h>
#include <Bpp/Numeric/Parameter.h>

#include <algorithm>

namespace bpp
{
namespace
{
// Beyond these shapes the likelihood no longer changes in a way the data can tell apart;
// capping them keeps the error rate from underflowing while the simplex wanders.
const double kMaxErAlpha = 10000.0;
const double kMaxErBeta = 1e6;
} // namespace

LnL_fct::LnL_fct(LnL& lnl)
  : AbstractParametrizable("")
  , engine_(lnl)
{
  // Each parameter takes ownership of its constraint (attachConstraint = true), so the
  // constraints go with the parameter list and nothing leaks.
  //
  // When the simplex steps past an excluded bound, the parameter is put back at the bound
  // minus the constraint's precision. With the library's default precision (1e-12) that is
  // the bound itself at 1e6 or 1e8, which the constraint refuses: the fit would throw and the
  // contig fail just because no bias (or no error) is the best fit. A precision that
  // survives at those magnitudes keeps the parameter inside.
  const double precision = NumConstants::SMALL();
  addParameter_(new Parameter("er_alpha", 1.0, new IntervalConstraint(true, 0.05, false), true));
  addParameter_(new Parameter("er_beta", 100.0, new IntervalConstraint(1.0, 1e8, false, false, precision), true));
  addParameter_(new Parameter("er_tstv", 4.0, new IntervalConstraint(true, 0.05, false), true));
  addParameter_(new Parameter("aeb_alpha", 1.0, new IntervalConstraint(true, 0.05, false), true));
  addParameter_(new Parameter("aeb_beta", 9.0, new IntervalConstraint(1.0, 1e6, false, false, precision), true));
}

LnL_fct::LnL_fct(const LnL_fct& other)
  : AbstractParametrizable(other)
  , value_(other.value_)
  , engine_(other.engine_)
{
}

LnL_fct&
LnL_fct::operator=(const LnL_fct& other)
{
  AbstractParametrizable::operator=(other);
  value_ = other.value_;
  engine_ = other.engine_;
  return *this;
}

LnL_fct::~LnL_fct() = default;

void
LnL_fct::fireParameterChanged(const ParameterList& /*parameters*/)
{
  // Whatever changed, the whole contig is recomputed from the five current values.
  const double er_alpha = getParameterValue("er_alpha");
  const double er_beta = getParameterValue("er_beta");
  const double er_tstv = getParameterValue("er_tstv");
  const double aeb_alpha = getParameterValue("aeb_alpha");
  const double aeb_beta = getParameterValue("aeb_beta");
  value_ = -engine_.lnL(std::min(kMaxErAlpha, er_alpha), std::min(kMaxErBeta, er_beta), er_tstv, aeb_alpha, aeb_beta);
}

void
LnL_fct::setParameters(const ParameterList& parameters)
{
  matchParametersValues(parameters);
}
} // namespace bpp
