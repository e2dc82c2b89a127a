#include "filter/Logvrais0.h"
#include "filter/Logvrais0_dir.h"
#include "filter/Logvrais1.h"
#include "filter/Logvrais1_dir.h"
#include "stat/Stat.h"

#include <Bpp/Numeric/Constraints.h>
#include <Bpp/Numeric/ParameterExceptions.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace bpp;

namespace
{
void load(Stat& stat, std::valarray<unsigned int> counts, double e, double fis)
{
  stat.values = counts;
  stat.nb_values = static_cast<unsigned int>(counts.size());
  stat.fis = fis;
  stat.proba_hom1 = {1 - 3 * e, e, e, e};
  stat.proba_hom2 = {e, 1 - 3 * e, e, e};
  stat.proba_het = {0.5 - e, 0.5 - e, e, e};
}

struct Expected
{
  std::string name;
  double start;
  double lower;
  double upper; // +inf for "alpha"
};

void expect_parameters(const Function& f, const std::vector<Expected>& expected)
{
  const ParameterList& list = f.getParameters();
  ASSERT_EQ(list.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
  {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(list[i].getName(), expected[i].name);
    EXPECT_DOUBLE_EQ(list[i].getValue(), expected[i].start);
    const auto* c = dynamic_cast<const IntervalConstraint*>(list[i].getConstraint());
    ASSERT_NE(c, nullptr);
    EXPECT_DOUBLE_EQ(c->getLowerBound(), expected[i].lower);
    EXPECT_FALSE(c->strictLowerBound());
    if (std::isinf(expected[i].upper))
      EXPECT_FALSE(c->finiteUpperBound());
    else
    {
      EXPECT_DOUBLE_EQ(c->getUpperBound(), expected[i].upper);
      EXPECT_FALSE(c->strictUpperBound());
    }
  }
}
} // namespace

TEST(Logvrais, parameters_bounds_and_start_values_follow_the_precision)
{
  Stat stat;
  const double inf = INFINITY;
  for (double e : {0.001, 0.02})
  {
    SCOPED_TRACE(e);
    expect_parameters(Logvrais0(&stat, e), {{"xi", e, e, 1 - e}});
    expect_parameters(Logvrais0_dir(&stat, e), {{"xi", e, e, 1 - e}, {"alpha", 100.0, 1.0, inf}});
    expect_parameters(Logvrais1(&stat, e), {{"p1", e, e, 1 - e}, {"p2", 1 - e, e, 1 - e}, {"xi", 0.5, 0.5, 1 - e}});
    expect_parameters(Logvrais1_dir(&stat, e), {{"p1", 1 - e, e, 1 - e},
                                                {"p2", e, e, 1 - e},
                                                {"xi", 0.5, 0.5, 1 - e},
                                                {"alpha", 100.0, 1.0, inf}});
  }

  // The bounds are enforced when a value is set.
  Logvrais1_dir f(&stat, 0.001);
  EXPECT_THROW(f.setParameterValue("xi", 0.4999), ConstraintException);
  EXPECT_THROW(f.setParameterValue("p2", 0.9995), ConstraintException);
  EXPECT_THROW(f.setParameterValue("alpha", 0.999), ConstraintException);
  EXPECT_NO_THROW(f.setParameterValue("alpha", 1.0));
}

TEST(Logvrais, value_is_zero_until_a_parameter_changes)
{
  Stat stat;
  load(stat, {3, 2, 0, 0}, 0.01, 0.0);
  EXPECT_EQ(Logvrais0(&stat, 0.001).getValue(), 0.0);
  EXPECT_EQ(Logvrais0_dir(&stat, 0.001).getValue(), 0.0);
  EXPECT_EQ(Logvrais1(&stat, 0.001).getValue(), 0.0);
  EXPECT_EQ(Logvrais1_dir(&stat, 0.001).getValue(), 0.0);
}

TEST(Logvrais0, value_is_minus_the_log_likelihood_of_the_position)
{
  // Error rate 0, F = 0: an individual reading (1, 1) can only be the heterozygote, so its
  // likelihood is 2p(1 - p) x P(1, 1 | 1/2, 1/2) = 2p(1 - p) x 0.5. A homozygote (2, 0)
  // reads as p^2 + 2p(1 - p) x 0.25.
  Stat stat;
  load(stat, {1, 1, 0, 0, 2, 0, 0, 0}, 0.0, 0.0);
  Logvrais0 f(&stat, 0.001);
  f.setParameterValue("xi", 0.3);
  const double expected = -(std::log(2 * 0.3 * 0.7 * 0.5) + std::log(0.09 + 2 * 0.3 * 0.7 * 0.25));
  EXPECT_NEAR(f.getValue(), expected, 1e-12);
}

TEST(Logvrais, each_function_evaluates_its_own_likelihood)
{
  Stat stat;
  load(stat, {5, 2, 1, 0, 0, 4, 0, 0, 6, 0, 0, 0}, 0.01, 0.1);
  Logvrais0_dir f0(&stat, 0.001);
  f0.setParameterValue("xi", 0.6);
  f0.setParameterValue("alpha", 7.0);
  EXPECT_DOUBLE_EQ(f0.getValue(), stat.logvrais0_dir(0.6, 7.0));

  Logvrais1 f1(&stat, 0.001);
  ParameterList changed = f1.getParameters();
  changed.setParameterValue("p1", 0.8);
  changed.setParameterValue("p2", 0.2);
  changed.setParameterValue("xi", 0.7);
  f1.setParameters(changed);
  EXPECT_DOUBLE_EQ(f1.getValue(), stat.logvrais1(0.8, 0.2, 0.7));
  // Not a mix-up of the three arguments: the likelihood is not symmetric in them.
  EXPECT_NE(stat.logvrais1(0.8, 0.2, 0.7), stat.logvrais1(0.2, 0.8, 0.7));
}

TEST(Logvrais, setParameters_without_a_change_keeps_the_cached_value)
{
  Stat stat;
  load(stat, {4, 1, 0, 0, 2, 3, 0, 0}, 0.01, 0.0);
  Logvrais0 f(&stat, 0.001);
  f.setParameterValue("xi", 0.4);
  const double cached = f.getValue();

  // A new position state would give another value, but nothing asks for it.
  stat.fis = 0.5;
  f.setParameters(f.getParameters());
  EXPECT_EQ(f.getValue(), cached);
  ParameterList foreign;
  foreign.addParameter(new Parameter("p1", 0.3));
  f.setParameters(foreign);
  EXPECT_EQ(f.getValue(), cached);

  ParameterList moved = f.getParameters();
  moved.setParameterValue("xi", 0.45);
  f.setParameters(moved);
  EXPECT_DOUBLE_EQ(f.getValue(), stat.logvrais0(0.45));
  EXPECT_NE(f.getValue(), cached);
}

TEST(Logvrais1_dir, evaluates_at_single_precision_while_the_others_do_not)
{
  Stat stat;
  load(stat, {6, 3, 0, 0, 2, 5, 1, 0, 7, 0, 0, 0}, 0.005, 0.0);
  const double p1 = 0.3;
  const double p1_near = 0.3 + 1e-10; // rounds to the same float as 0.3
  ASSERT_EQ(static_cast<float>(p1), static_cast<float>(p1_near));

  Logvrais1_dir dir(&stat, 0.001);
  dir.setParameterValue("p1", p1);
  const double at_p1 = dir.getValue();
  dir.setParameterValue("p1", p1_near);
  EXPECT_EQ(dir.getValue(), at_p1);
  const auto f = [](double x) { return static_cast<double>(static_cast<float>(x)); };
  EXPECT_EQ(at_p1, stat.logvrais1_dir(f(0.3), f(0.001), f(0.5), f(100.0)));
  EXPECT_NE(at_p1, stat.logvrais1_dir(0.3, 0.001, 0.5, 100.0));

  Logvrais1 plain(&stat, 0.001);
  plain.setParameterValue("p1", p1);
  const double plain_p1 = plain.getValue();
  plain.setParameterValue("p1", p1_near);
  EXPECT_NE(plain.getValue(), plain_p1);
  EXPECT_EQ(plain.getValue(), stat.logvrais1(p1_near, 0.999, 0.5));

  Logvrais0_dir dir0(&stat, 0.001);
  dir0.setParameterValue("xi", p1_near);
  EXPECT_EQ(dir0.getValue(), stat.logvrais0_dir(p1_near, 100.0));
}

TEST(Logvrais, clones_share_the_stat_and_start_with_the_value)
{
  Stat stat;
  load(stat, {3, 3, 0, 0, 5, 0, 0, 0}, 0.01, 0.0);
  auto source = std::make_unique<Logvrais1>(&stat, 0.001);
  source->setParameterValue("xi", 0.8);
  std::unique_ptr<Logvrais1> copy(source->clone());
  EXPECT_EQ(copy->stat(), &stat);
  EXPECT_EQ(copy->precision(), 0.001);
  EXPECT_EQ(copy->getValue(), source->getValue());

  // The clone outlives its source: its constraints must still hold.
  source.reset();
  EXPECT_THROW(copy->setParameterValue("xi", 0.3), ConstraintException);
  stat.fis = 0.3; // the clone reads the shared position state
  copy->setParameterValue("p2", 0.4);
  EXPECT_DOUBLE_EQ(copy->getValue(), stat.logvrais1(0.001, 0.4, 0.8));

  Logvrais0_dir dir(&stat, 0.01);
  std::unique_ptr<Function> dir_copy(dir.clone());
  EXPECT_EQ(dynamic_cast<Logvrais0_dir&>(*dir_copy).stat(), &stat);
  EXPECT_EQ(dir_copy->getValue(), 0.0);
}
