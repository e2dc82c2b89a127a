#include "filter/Logvrais0.h"
#include "filter/Logvrais0_dir.h"
#include "filter/Logvrais1.h"
#include "filter/Logvrais1_dir.h"

#include <Bpp/Numeric/Constraints.h>
#include <Bpp/Numeric/ParameterExceptions.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>

using namespace bpp;

namespace
{
void
load(Stat& stat, std::valarray<unsigned int> counts, double e, double fis)
{
  stat.values = counts;
  stat.nb_values = static_cast<unsigned int>(counts.size());
  stat.fis = fis;
  stat.proba_hom1 = { 1 - 3 * e, e, e, e };
  stat.proba_hom2 = { e, 1 - 3 * e, e, e };
  stat.proba_het = { 0.5 - e, 0.5 - e, e, e };
}

// "name start lower upper" of every parameter, in list order; constraints are closed intervals.
std::string
describe(const Function& f)
{
  std::ostringstream s;
  for (size_t i = 0; i < f.getParameters().size(); ++i)
  {
    const Parameter& p = f.getParameters()[i];
    const auto& c = dynamic_cast<const IntervalConstraint&>(*p.getConstraint());
    s << p.getName() << " " << p.getValue() << " " << (c.strictLowerBound() ? "]" : "[") << c.getLowerBound() << " "
      << c.getUpperBound() << (c.finiteUpperBound() && c.strictUpperBound() ? "[" : "]") << ";";
  }
  return s.str();
}
} // namespace

TEST(Logvrais, parameters_bounds_and_start_values_follow_the_precision)
{
  Stat stat;
  EXPECT_EQ(describe(Logvrais0(&stat, 0.02)), "xi 0.02 [0.02 0.98];");
  EXPECT_EQ(describe(Logvrais0_dir(&stat, 0.02)), "xi 0.02 [0.02 0.98];alpha 100 [1 inf];");
  EXPECT_EQ(describe(Logvrais1(&stat, 0.001)), "p1 0.001 [0.001 0.999];p2 0.999 [0.001 0.999];xi 0.5 [0.5 0.999];");
  EXPECT_EQ(describe(Logvrais1_dir(&stat, 0.001)),
            "p1 0.999 [0.001 0.999];p2 0.001 [0.001 0.999];xi 0.5 [0.5 0.999];alpha 100 [1 inf];");
  Logvrais1_dir f(&stat, 0.001);
  EXPECT_THROW(f.setParameterValue("xi", 0.4999), ConstraintException);
  EXPECT_THROW(f.setParameterValue("alpha", 0.999), ConstraintException);
  EXPECT_NO_THROW(f.setParameterValue("alpha", 1.0));
}

TEST(Logvrais, value_is_zero_until_a_parameter_changes_then_minus_the_log_likelihood)
{
  Stat stat;
  // Error rate 0, F = 0: (1, 1) can only come from the heterozygote, 2p(1 - p) x 0.5;
  // (2, 0) from AA or the heterozygote, p^2 + 2p(1 - p) x 0.25.
  load(stat, { 1, 1, 0, 0, 2, 0, 0, 0 }, 0.0, 0.0);
  Logvrais0 f(&stat, 0.001);
  EXPECT_EQ(f.getValue(), 0.0);
  EXPECT_EQ(Logvrais1_dir(&stat, 0.001).getValue(), 0.0);
  f.setParameterValue("xi", 0.3);
  EXPECT_NEAR(f.getValue(), -std::log(0.42 * 0.5) - std::log(0.09 + 0.42 * 0.25), 1e-12);

  Logvrais1 two(&stat, 0.001);
  ParameterList changed = two.getParameters();
  changed.setParameterValue("p1", 0.8);
  changed.setParameterValue("p2", 0.2);
  changed.setParameterValue("xi", 0.7);
  two.setParameters(changed);
  EXPECT_DOUBLE_EQ(two.getValue(), stat.logvrais1(0.8, 0.2, 0.7));
}

TEST(Logvrais, setParameters_without_a_change_keeps_the_cached_value)
{
  Stat stat;
  load(stat, { 4, 1, 0, 0, 2, 3, 0, 0 }, 0.01, 0.0);
  Logvrais0_dir f(&stat, 0.001);
  f.setParameterValue("xi", 0.4);
  const double cached = f.getValue();
  stat.fis = 0.5; // would change the value if it were recomputed
  f.setParameters(f.getParameters());
  ParameterList foreign;
  foreign.addParameter(new Parameter("p1", 0.3));
  f.setParameters(foreign);
  EXPECT_EQ(f.getValue(), cached);

  ParameterList moved = f.getParameters();
  moved.setParameterValue("alpha", 50.0);
  f.setParameters(moved);
  EXPECT_DOUBLE_EQ(f.getValue(), stat.logvrais0_dir(0.4, 50.0));
}

TEST(Logvrais1_dir, evaluates_at_single_precision_while_Logvrais1_does_not)
{
  Stat stat;
  load(stat, { 6, 3, 0, 0, 2, 5, 1, 0, 7, 0, 0, 0 }, 0.005, 0.0);
  const double near = 0.3 + 1e-10; // the same float as 0.3
  const auto single = [](double x) { return static_cast<double>(static_cast<float>(x)); };

  Logvrais1_dir dir(&stat, 0.001);
  dir.setParameterValue("p1", 0.3);
  const double at = dir.getValue();
  dir.setParameterValue("p1", near);
  EXPECT_EQ(dir.getValue(), at);
  EXPECT_EQ(at, stat.logvrais1_dir(single(0.3), single(0.001), single(0.5), single(100.0)));

  Logvrais1 plain(&stat, 0.001);
  plain.setParameterValue("p1", 0.3);
  const double plain_at = plain.getValue();
  plain.setParameterValue("p1", near);
  EXPECT_NE(plain.getValue(), plain_at);
}

TEST(Logvrais, clones_share_the_stat_start_with_the_value_and_outlive_the_source)
{
  Stat stat;
  load(stat, { 3, 3, 0, 0, 5, 0, 0, 0 }, 0.01, 0.0);
  auto source = std::make_unique<Logvrais1>(&stat, 0.001);
  source->setParameterValue("xi", 0.8);
  std::unique_ptr<Logvrais1> copy(source->clone());
  EXPECT_EQ(copy->stat(), &stat);
  EXPECT_EQ(copy->getValue(), source->getValue());

  source.reset(); // the shared constraints must survive the source
  EXPECT_THROW(copy->setParameterValue("xi", 0.3), ConstraintException);
  stat.fis = 0.3;
  copy->setParameterValue("p2", 0.4);
  EXPECT_DOUBLE_EQ(copy->getValue(), stat.logvrais1(0.001, 0.4, 0.8));
}
