#include "driver/Debug.h"

#include "filter/Logvrais0_dir.h"
#include "filter/Logvrais1_dir.h"
#include "stat/Stat.h"

#include <Bpp/Numeric/AutoParameter.h>
#include <Bpp/Numeric/Function/BfgsMultiDimensions.h>
#include <Bpp/Numeric/Function/ReparametrizationFunctionWrapper.h>
#include <Bpp/Numeric/Function/ThreePointsNumericalDerivative.h>
#include <Bpp/Phyl/Likelihood/PseudoNewtonOptimizer.h>

#include <cstdlib>
#include <iostream>

namespace bpp
{
namespace
{
// Ten individuals, columns already in descending order of their totals (46, 19, 0, 0).
const unsigned int example_counts[40] = { 2, 0, 0, 0, 6, 2, 0, 0, 5, 0, 0, 0, 5, 1, 0, 0, 6, 6, 0, 0,
                                          9, 3, 0, 0, 6, 0, 0, 0, 4, 2, 0, 0, 1, 3, 0, 0, 2, 2, 0, 0 };

void
load_example(Stat& stat)
{
  const double e = 0.00246587;
  stat.epsilon = e;
  stat.fis = 0.99;
  stat.proba_hom1 = { 0.99260239, e, e, e };
  stat.proba_hom2 = { e, 0.99260239, e, e };
  stat.proba_het = { 0.49753413, 0.49753413, e, e };
  stat.values = std::valarray<unsigned int>(example_counts, 40);
  stat.nb_values = 40;
}

void
configure(Optimizer& optimizer)
{
  optimizer.setVerbose(0);
  optimizer.setProfiler(nullptr);
  optimizer.setMessageHandler(nullptr);
  optimizer.setConstraintPolicy(AutoParameter::CONSTRAINTS_AUTO);
}

void
run_checks()
{
  Stat stat;
  load_example(stat);
  const double xi_start = 0.7076923;

  std::cerr << std::endl;

  // One locus, same chain as the filter.
  Logvrais0_dir f0(&stat, 0.001);
  ReparametrizationFunctionWrapper w0(&f0, false);
  ParameterList pl0 = w0.getParameters();
  ThreePointsNumericalDerivative d0(&w0);
  d0.setParametersToDerivate(pl0.getParameterNames());
  BfgsMultiDimensions o0(&d0);
  configure(o0);
  pl0.setParameterValue("xi", xi_start);
  o0.init(pl0);
  std::cerr << "ml0=" << o0.optimize() << " in R : 43.97648" << std::endl;
  // Values read back through the optimiser are in the wrapper's coordinates.
  std::cerr << "xi=" << o0.getFunction()->getParameterValue("xi") << std::endl;
  std::cerr << "logvrais0dir=" << stat.logvrais0_dir(xi_start, 0.99) << std::endl;

  std::cerr << std::endl;

  // Two loci.
  Logvrais1_dir f1(&stat, 0.001);
  ReparametrizationFunctionWrapper w1(&f1, false);
  ParameterList pl1 = w1.getParameters();
  ThreePointsNumericalDerivative d1(&w1);
  d1.setParametersToDerivate(pl1.getParameterNames());
  PseudoNewtonOptimizer o1(&d1);
  configure(o1);
  pl1.setParameterValue("xi", xi_start);
  pl1.setParameterValue("p1", 0.999);
  pl1.setParameterValue("p2", 0.001);
  o1.init(pl1);
  std::cerr << "ml1=" << o1.optimize() << "\tin R : 105.8411" << std::endl;
  std::cerr << "p1=" << o1.getFunction()->getParameterValue("p1") << "\tin R : 0.5999006" << std::endl;
  std::cerr << "p2=" << o1.getFunction()->getParameterValue("p2") << "\tin R : 0.6335156" << std::endl;
  std::cerr << "xi=" << o1.getFunction()->getParameterValue("xi") << "\tin R : 0.8031929" << std::endl;
  std::cerr << "logvrais1=" << stat.logvrais1_dir(0.999, 0.1442293, 0.6736401, 99.9999166) << " in R : 105.8411"
            << std::endl;
}
} // namespace

void
debug()
{
  run_checks();
  // The self-check is the whole run: it ends the process here.
  std::exit(0);
}
} // namespace bpp
