#include "filter/Kestrin.h"

#include "filter/Logvrais0.h"
#include "filter/Logvrais0_dir.h"
#include "filter/Logvrais1.h"
#include "filter/Logvrais1_dir.h"
#include "filter/utils.h"

#include <Bpp/Exceptions.h>
#include <Bpp/Numeric/AutoParameter.h>
#include <Bpp/Numeric/Function/BfgsMultiDimensions.h>
#include <Bpp/Numeric/Function/ReparametrizationFunctionWrapper.h>
#include <Bpp/Numeric/Function/ThreePointsNumericalDerivative.h>
#include <Bpp/Phyl/Likelihood/PseudoNewtonOptimizer.h>

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_errno.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>

namespace bpp
{
namespace
{
/**
 * One model's objects, declared so that each is destroyed before what it borrows:
 * the derivative borrows the wrapper, the wrapper borrows the function.
 * The optimiser, which borrows the derivative, is held apart and released first.
 */
struct FitChain
{
  std::unique_ptr<Function> function;
  std::unique_ptr<ReparametrizationFunctionWrapper> wrapper;
  ParameterList working; // start values go here, in the wrapper's unconstrained coordinates
  std::unique_ptr<ThreePointsNumericalDerivative> derivative;

  explicit FitChain(std::unique_ptr<Function> f)
    : function(std::move(f))
    , wrapper(std::make_unique<ReparametrizationFunctionWrapper>(function.get(), false))
    , working(wrapper->getParameters())
    , derivative(std::make_unique<ThreePointsNumericalDerivative>(wrapper.get()))
  {
    derivative->setParametersToDerivate(working.getParameterNames());
  }

  std::unique_ptr<Optimizer> make_optimizer(const std::string& name) const
  {
    std::unique_ptr<Optimizer> optimizer;
    // The command line only lets "bfgs" and "newton" through; newton is the default.
    if (name == "bfgs")
      optimizer = std::make_unique<BfgsMultiDimensions>(derivative.get());
    else
      optimizer = std::make_unique<PseudoNewtonOptimizer>(derivative.get());
    optimizer->setVerbose(0);
    optimizer->setProfiler(nullptr);
    optimizer->setMessageHandler(nullptr);
    optimizer->setConstraintPolicy(AutoParameter::CONSTRAINTS_AUTO);
    return optimizer;
  }
};

void
load_position(const std::valarray<unsigned int>& counts, double epsilon, double fis, Stat& stat)
{
  stat.values.resize(counts.size());
  stat.values = counts;
  stat.nb_values = static_cast<unsigned int>(counts.size());
  const double e = epsilon;
  stat.epsilon = e;
  stat.proba_hom1.resize(4);
  stat.proba_hom2.resize(4);
  stat.proba_het.resize(4);
  stat.proba_hom1[0] = 1 - 3 * e;
  stat.proba_hom1[1] = e;
  stat.proba_hom1[2] = e;
  stat.proba_hom1[3] = e;
  stat.proba_hom2[0] = e;
  stat.proba_hom2[1] = 1 - 3 * e;
  stat.proba_hom2[2] = e;
  stat.proba_hom2[3] = e;
  stat.proba_het[0] = 0.5 * (1 - 2 * e);
  stat.proba_het[1] = 0.5 * (1 - 2 * e);
  stat.proba_het[2] = e;
  stat.proba_het[3] = e;
  stat.fis = fis;
}

// Share of allele 1 among the reads of the two most-read bases, over all individuals.
double
starting_frequency(const std::valarray<unsigned int>& sorted)
{
  uint32_t s0 = 0;
  uint32_t s1 = 0;
  for (size_t i = 0; i + 3 < sorted.size(); i += 4)
  {
    s0 += sorted[i];
    s1 += sorted[i + 1];
  }
  const uint32_t total = s0 + s1;
  return static_cast<double>(s0) / static_cast<double>(total);
}
} // namespace

void
disable_gsl_abort()
{
  // The handler is process-wide: set it once, not once per test from every thread.
  static std::once_flag once;
  std::call_once(once, [] { gsl_set_error_handler_off(); });
}

double
h1_fallback(double la, double lb, double lc)
{
  if (lc < lb)
    return lc;
  if (lb < la)
    return lb;
  return la;
}

double
choose_h1(double first, double reference, const std::function<double()>& retry1, const std::function<double()>& retry2)
{
  if (!(first > reference))
    return first;

  double lb = first;
  try
  {
    lb = retry1();
  }
  catch (const Exception&)
  {
    lb = first;
  }
  if (reference > lb)
    return lb;

  double lc = first;
  try
  {
    lc = retry2();
  }
  catch (const Exception&)
  {
    lc = first;
  }
  if (reference > lc)
    return lc;

  return h1_fallback(first, lb, lc);
}

double
lrt_pvalue(double l0, double l1)
{
  double t = 2.0 * (l0 - l1);
  // An infinite or undefined likelihood on either side (for instance a read of a third
  // base at error rate 0 under the multinomial models) leaves nothing to test.
  if (!std::isfinite(t))
    return -1.0;
  if (t < 0.0)
    t = 0.0;
  disable_gsl_abort();
  return gsl_cdf_chisq_Q(t, 2.0);
}

double
filter_error_rate(double max_error, double rate, double tstv)
{
  const double transition = rate * tstv;
  return max_error < transition ? max_error : transition;
}

bool
is_flagged(double pvalue, double threshold, bool keep_unknown)
{
  return threshold > pvalue && (pvalue >= 0 || !keep_unknown);
}

double
Kestrin::optimization0(Optimizer& optimizer, ParameterList& parameters, double xi)
{
  parameters.setParameterValue("xi", xi);
  optimizer.init(parameters);
  return optimizer.optimize();
}

double
Kestrin::optimization0dir(Optimizer& optimizer, ParameterList& parameters, double xi, double alpha)
{
  parameters.setParameterValue("xi", xi);
  parameters.setParameterValue("alpha", alpha);
  optimizer.init(parameters);
  return optimizer.optimize();
}

double
Kestrin::optimization1(Optimizer& optimizer, ParameterList& parameters, double p1, double p2, double xi)
{
  parameters.setParameterValue("p1", p1);
  parameters.setParameterValue("p2", p2);
  parameters.setParameterValue("xi", xi);
  optimizer.init(parameters);
  return optimizer.optimize();
}

double
Kestrin::optimization1dir(Optimizer& optimizer,
                          ParameterList& parameters,
                          double p1,
                          double p2,
                          double xi,
                          double alpha)
{
  parameters.setParameterValue("p1", p1);
  parameters.setParameterValue("p2", p2);
  parameters.setParameterValue("xi", xi);
  parameters.setParameterValue("alpha", alpha);
  optimizer.init(parameters);
  return optimizer.optimize();
}

double
Kestrin::assignation(std::valarray<unsigned int>& counts, Stat& stat)
{
  disable_gsl_abort();
  load_position(counts, epsilon, fis, stat);
  utils::sortMatrixByColumnSum(stat.values);

  const double f = starting_frequency(stat.values);
  // No reads of either allele (0/0): every start value would be undefined.
  if (std::isnan(f))
    return -1.0;

  const double e = precision;
  const double alpha0 = 100.0;

  // At an inner point every genotype weight is positive, so a likelihood that is not
  // finite there is not finite anywhere (a read of a third base at error rate 0 under
  // multinomial reads, or an error rate that is not a number). The optimisers do not stop
  // reliably on such functions, and there would be no statistic to test.
  const double inner = dirichlet ? stat.logvrais0_dir(0.5, alpha0) : stat.logvrais0(0.5);
  if (!std::isfinite(inner))
    return -1.0;

  FitChain h0(dirichlet ? std::unique_ptr<Function>(std::make_unique<Logvrais0_dir>(&stat, e))
                        : std::unique_ptr<Function>(std::make_unique<Logvrais0>(&stat, e)));
  std::unique_ptr<Optimizer> optimizer0 = h0.make_optimizer(optimizer);

  double l0 = 0.0;
  try
  {
    l0 = dirichlet ? optimization0dir(*optimizer0, h0.working, f, alpha0) : optimization0(*optimizer0, h0.working, f);
  }
  catch (const Exception&)
  {
    return -1.0;
  }
  optimizer0.reset();

  // The one-locus estimate, in the function's own coordinates.
  const double x0 = h0.function->getParameterValue("xi");
  const double a0 = dirichlet ? h0.function->getParameterValue("alpha") : 0.0;

  FitChain h1(dirichlet ? std::unique_ptr<Function>(std::make_unique<Logvrais1_dir>(&stat, e))
                        : std::unique_ptr<Function>(std::make_unique<Logvrais1>(&stat, e)));
  std::unique_ptr<Optimizer> optimizer1 = h1.make_optimizer(optimizer);

  auto fit1 = [&](double p1, double p2, double xi)
  {
    return dirichlet ? optimization1dir(*optimizer1, h1.working, p1, p2, xi, alpha0)
                     : optimization1(*optimizer1, h1.working, p1, p2, xi);
  };

  double la = 0.0;
  try
  {
    la = fit1(1 - e, e, f);
  }
  catch (const Exception&)
  {
    return -1.0;
  }

  // Both loci at the one-locus estimate: the H0 optimum seen from inside H1.
  const double lref = dirichlet ? stat.logvrais1_dir(x0, x0, 1 - e, a0) : stat.logvrais1(x0, x0, 1 - e);

  const double l1 = choose_h1(
    la, lref, [&] { return fit1(e, 1 - e, f); }, [&] { return fit1(f, f, 0.5); });
  optimizer1.reset();

  return lrt_pvalue(l0, l1);
}
} // namespace bpp
