#include "engine/LnL_fct.h"
#include "engine/PipelineFixtures.h"
#include "engine/Quorlin.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace bpp;
using namespace pipeline_test;

namespace
{
// One individual, one position, reads 3 A and 1 C: the species frequencies are 0.75 and 0.25,
// so only AA, AC and CC enter, with Hardy-Weinberg priors 0.5625, 0.375 and 0.0625 (F = 0).
struct OneReadSet
{
  Stat stat;
  Quorlin q{ &stat };
  AlrContig contig = make_contig("c", { { "s1", "a" } });

  OneReadSet()
  {
    add_line(contig, "A", true, { 3, 1, 0, 0 });
    q.shared = true;
    q.models[1].active = true;
    q.model_index = 1;
    CaptureStdout quiet;
    q.compute(contig);
    q.lnl->posterior_pass = false;
    q.lnl->model = &q.models[1];
    q.lnl->included = { 0 };
  }
};

// The contig log-likelihood by hand: error rate e = 1/(1 + er_beta) split into two
// transversions tv = e/(2 + tstv) and a transition tstv*tv; no bias under M1.
double
by_hand(double er_beta, double tstv)
{
  const double e = 1.0 / (1.0 + er_beta);
  const double tv = e / (2.0 + tstv);
  const double d = 1.0 - e;
  const double aa = 4.0 * d * d * d * tv; // A read as C is a transversion
  const double cc = 4.0 * tv * tv * tv * d;
  const double q = 0.5 * (d + tv); // heterozygote AC: each read A or C
  const double ac = 4.0 * q * q * q * q;
  return std::log(0.5625 * aa + 0.375 * ac + 0.0625 * cc);
}

void
set_value(LnL_fct& f, const std::string& name, double value)
{
  ParameterList list = f.getParameters().subList(name);
  list[0].setValue(value);
  f.setParameters(list);
}
} // namespace

TEST(LnL_fct, declares_five_parameters_with_start_values_and_open_bounds)
{
  OneReadSet r;
  LnL_fct f(*r.q.lnl);
  const ParameterList& params = f.getParameters();
  ASSERT_EQ(params.size(), 5u);
  const char* names[5] = { "er_alpha", "er_beta", "er_tstv", "aeb_alpha", "aeb_beta" };
  const double starts[5] = { 1.0, 100.0, 4.0, 1.0, 9.0 };
  for (size_t k = 0; k < 5; ++k)
  {
    EXPECT_EQ(params[k].getName(), names[k]);
    EXPECT_EQ(params[k].getValue(), starts[k]);
    ASSERT_TRUE(params[k].hasConstraint()) << names[k];
  }
  // Bounds are excluded.
  const Constraint* er_beta = params[1].getConstraint();
  EXPECT_FALSE(er_beta->isCorrect(1.0));
  EXPECT_TRUE(er_beta->isCorrect(1.001));
  EXPECT_TRUE(er_beta->isCorrect(9.9e7));
  EXPECT_FALSE(er_beta->isCorrect(1e8));
  const Constraint* aeb_beta = params[4].getConstraint();
  EXPECT_FALSE(aeb_beta->isCorrect(1.0));
  EXPECT_TRUE(aeb_beta->isCorrect(9.9e5));
  EXPECT_FALSE(aeb_beta->isCorrect(1e6));
  for (size_t k : { 0u, 2u, 3u })
  {
    EXPECT_FALSE(params[k].getConstraint()->isCorrect(0.05)) << names[k];
    EXPECT_TRUE(params[k].getConstraint()->isCorrect(0.0501)) << names[k];
    EXPECT_TRUE(params[k].getConstraint()->isCorrect(1e12)) << names[k];
  }
  // Nothing is evaluated at construction.
  EXPECT_EQ(f.getValue(), 0.0);
}

TEST(LnL_fct, value_is_minus_the_contig_log_likelihood)
{
  OneReadSet r;
  LnL_fct f(*r.q.lnl);
  set_value(f, "er_beta", 99.0);
  EXPECT_NEAR(f.getValue(), -by_hand(99.0, 4.0), 1e-12);
  set_value(f, "er_tstv", 0.5);
  EXPECT_NEAR(f.getValue(), -by_hand(99.0, 0.5), 1e-12);
  // Under M1 the bias shapes do not matter.
  set_value(f, "aeb_beta", 2.0);
  EXPECT_NEAR(f.getValue(), -by_hand(99.0, 0.5), 1e-12);
}

TEST(LnL_fct, evaluation_caps_er_beta_at_1e6_and_er_alpha_at_1e4)
{
  OneReadSet r;
  LnL_fct f(*r.q.lnl);
  set_value(f, "er_beta", 5e7);
  EXPECT_NEAR(f.getValue(), -by_hand(1e6, 4.0), 1e-12);
  set_value(f, "er_beta", 5e5);
  EXPECT_NEAR(f.getValue(), -by_hand(5e5, 4.0), 1e-12);
  const double below_cap = f.getValue();

  // With er_alpha above the cap, the rate is 1e4 / (1e4 + er_beta).
  set_value(f, "er_beta", 1e4);
  set_value(f, "er_alpha", 3e4);
  // Rate 0.5 = 1/(1 + 1): the by-hand formula with er_beta 1.
  EXPECT_NEAR(f.getValue(), -by_hand(1.0, 4.0), 1e-12);
  EXPECT_NE(f.getValue(), below_cap);
}

TEST(LnL_fct, clone_copies_values_and_owns_its_numeric_state)
{
  OneReadSet r;
  LnL_fct f(*r.q.lnl);
  set_value(f, "er_beta", 50.0);
  std::unique_ptr<LnL_fct> c(f.clone());
  EXPECT_EQ(c->getValue(), f.getValue());
  EXPECT_EQ(c->getParameterValue("er_beta"), 50.0);

  set_value(*c, "er_beta", 500.0);
  EXPECT_NEAR(c->getValue(), -by_hand(500.0, 4.0), 1e-12);
  EXPECT_NEAR(f.getValue(), -by_hand(50.0, 4.0), 1e-12);
  // The clone's engine has its own matrices but the contig's records.
  EXPECT_NE(c->engine().error_matrices[0][0][0], f.engine().error_matrices[0][0][0]);
  EXPECT_EQ(c->engine().contig_data.get(), r.q.lnl->contig_data.get());
}

TEST(LnL_fct, evaluations_leave_the_contig_records_alone)
{
  OneReadSet r;
  Posdata::ind& ind = r.q.lnl->contig_data->positions[0].individuals[0];
  ind.allele1 = 100;
  ind.allele2 = 100;
  ind.call_posterior = 0.0;
  ind.posteriors[0][0] = -7.0;
  {
    LnL_fct f(*r.q.lnl);
    // A later change of the contig's engine does not reach the function's snapshot.
    r.q.lnl->included.clear();
    set_value(f, "er_beta", 20.0);
    EXPECT_NEAR(f.getValue(), -by_hand(20.0, 4.0), 1e-12);
  }
  // Releasing the function released none of the shared records.
  EXPECT_EQ(r.q.lnl->contig_data->positions.size(), 1u);
  EXPECT_EQ(ind.allele1, 100);
  EXPECT_EQ(ind.posteriors[0][0], -7.0);
}
