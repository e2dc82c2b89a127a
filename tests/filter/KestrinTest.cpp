#include "filter/Kestrin.h"

#include "filter/Logvrais0.h"
#include "filter/Logvrais0_dir.h"
#include "filter/Logvrais1.h"
#include "filter/Logvrais1_dir.h"

#include <Bpp/Exceptions.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <sstream>

using namespace bpp;

TEST(Kestrin, two_locus_value_kept_on_the_boundaries_of_the_rule)
{
  const double kThrows = -999.0; // that retry throws
  // clang-format off
  const struct { double la, lref, lb, lc, kept; int retries; } rows[] = {
    { 5, 5, 1, 1, 5, 0 }, { NAN, 5, 1, 1, NAN, 0 },          // a first fit not above the reference is kept
    { 6, 5, 4, 1, 4, 1 }, { 6, 5, 5, 4.5, 4.5, 2 },          // retry 1 only when strictly below it
    { 6, 5, 5.5, 5, 5, 2 }, { 6, 5, 8, 7, 7, 2 },            // fallback Lc < Lb, even when La < Lc: not the minimum
    { 6, 5, 5.5, 7, 5.5, 2 }, { 6, 5, 7, 7, 6, 2 },          // fallback Lb < La, then La
    { 6, 5, kThrows, 5.5, 5.5, 2 }, { 6, 5, kThrows, 6.5, 6, 2 }, { 6, 5, 7, kThrows, 6, 2 }, // a throw stands for La
  };
  // clang-format on
  for (const auto& r : rows)
  {
    int retries = 0;
    auto retry = [&](double v) -> std::function<double()>
    { return [&retries, v, kThrows] { return ++retries, v == kThrows ? throw Exception("fit failed") : v; }; };
    const double kept = choose_h1(r.la, r.lref, retry(r.lb), retry(r.lc));
    EXPECT_EQ(std::to_string(kept) + " after " + std::to_string(retries),
              std::to_string(r.kept) + " after " + std::to_string(r.retries));
  }
}

TEST(Kestrin, pvalue_and_flag_on_their_boundaries)
{
  // clang-format off
  // A negative statistic T = 2 (L0 - L1) counts as 0; one that is not a finite number fails the test.
  const struct { double l0, l1, p; } tails[] = { { 10, 12, 1 }, { 10, INFINITY, -1 }, { NAN, 10, -1 } };
  const struct { double p, threshold; bool keep_unknown, flagged; } flags[] = {
    { 0.0009, 0.001, false, true }, { 0.001, 0.001, false, false }, { -1, 0.001, false, true }, // strictly below
    { 0.0009, 0.001, true, true }, { 0.0, 0.001, true, true }, { -1, 0.001, true, false },      // -kun keeps failures
    { 0.0, 0.0, false, false }, { -1, 0.0, false, true } };                                     // -thr 0: failures only
  // clang-format on
  for (const auto& t : tails)
    EXPECT_NEAR(lrt_pvalue(t.l0, t.l1), t.p, 1e-14) << t.l0 << " " << t.l1;
  for (const auto& f : flags)
    EXPECT_EQ(is_flagged(f.p, f.threshold, f.keep_unknown), f.flagged) << f.p << " " << f.threshold;
}

TEST(Logvrais, parameters_bounds_and_values_of_the_four_functions)
{
  Stat stat; // the position under test, as the paralogy test leaves it (at error rate 0)
  std::valarray<unsigned int> counts = { 6, 3, 0, 0, 2, 5, 0, 0, 7, 0, 0, 0 };
  Kestrin().assignation(counts, stat);
  // Start value and closed bounds of each parameter; values (all exact in single precision) at
  // which the function is the Stat's likelihood; whether a 1e-10 move of the first is invisible.
  // clang-format off
  const struct { std::function<FilterFunction*()> make; const char* described; std::vector<double> at; double expected;
                 bool single; } rows[] = {
    { [&] { return new Logvrais0(&stat, 0.02); }, "xi=0.02 [ 0.02; 0.98] ", { 0.25 }, stat.logvrais0(0.25), false },
    { [&] { return new Logvrais0_dir(&stat, 0.02); }, "xi=0.02 [ 0.02; 0.98] alpha=100 [ 1; +inf[", { 0.25, 50 },
      stat.logvrais0_dir(0.25, 50), false },
    { [&] { return new Logvrais1(&stat, 0.001); },
      "p1=0.001 [ 0.001; 0.999] p2=0.999 [ 0.001; 0.999] xi=0.5 [ 0.5; 0.999] ",
      { 0.25, 0.75, 0.625 }, stat.logvrais1(0.25, 0.75, 0.625), false },
    { [&] { return new Logvrais1_dir(&stat, 0.001); },
      "p1=0.999 [ 0.001; 0.999] p2=0.001 [ 0.001; 0.999] xi=0.5 [ 0.5; 0.999] alpha=100 [ 1; +inf[",
      { 0.25, 0.75, 0.625, 50 }, stat.logvrais1_dir(0.25, 0.75, 0.625, 50), true },
  };
  // clang-format on
  for (const auto& r : rows)
  {
    std::unique_ptr<FilterFunction> source(r.make());
    std::ostringstream described;
    for (const std::string& name : source->getParameters().getParameterNames())
      described << name << "=" << source->getParameterValue(name) << " "
                << source->getParameter(name).getConstraint()->getDescription();
    EXPECT_EQ(described.str(), r.described);
    ParameterList list = source->getParameters();
    for (size_t i = 0; i < r.at.size(); ++i)
      list[i].setValue(r.at[i]);
    source->setParameters(list);
    std::unique_ptr<FilterFunction> f(dynamic_cast<FilterFunction*>(source->clone()));
    source.reset(); // the clone keeps the value and the shared constraints
    EXPECT_EQ(f->getValue(), r.expected) << r.described;
    stat.fis = 0.5; // the cached value stays until a parameter of the function changes
    list.addParameter(new Parameter("zz", 0.3));
    f->setParameters(list);
    EXPECT_EQ(f->getValue(), r.expected) << r.described;
    stat.fis = 0.0;
    list[0].setValue(r.at[0] + 1e-10);
    f->setParameters(list);
    EXPECT_EQ(f->getValue() == r.expected, r.single) << r.described;
  }
}
