// The engine's likelihood against the plain transcription of its formulas (bench/): both must
// give the same double, bit for bit, whatever the contig, the parameters, the model and the
// changes made to the engine's inputs between two evaluations.

#include "baseline_lnl.h"
#include "sim_contig.h"

#include "engine/LnL.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace bpp;
using quorlin_bench::baseline_genotype_entry;
using quorlin_bench::baseline_lnL;
using quorlin_bench::SimSettings;

namespace
{
std::uint64_t
bits(double x)
{
  std::uint64_t u;
  std::memcpy(&u, &x, sizeof u);
  return u;
}

struct Params
{
  double er_alpha, er_beta, er_tstv, aeb_alpha, aeb_beta;
};

// Start values of the fits, bounds of the parameters and points in between.
const Params kParams[] = {
  { 1.0, 100.0, 4.0, 1.0, 9.0 },  { 1.0, 1.0 + 1e-9, 0.05, 1.0, 1.0 + 1e-9 },
  { 1.0, 1e6, 4.0, 1.0, 1e6 },    { 1.0, 37.3, 1.7, 1.0, 2.2 },
  { 0.3, 55.0, 120.0, 0.7, 4.5 }, { 10000.0, 1e6, 0.5, 1.0, 3.0 },
  { 0.0, 100.0, 4.0, 0.0, 9.0 },
};

// A simulated contig and its engine, prepared as the pipeline leaves it before the fits.
struct Simulated
{
  Stat stat;
  Model model;
  AlrContig contig;
  LnL lnl;

  Simulated(unsigned int seed, const SimSettings& sim)
    : contig(quorlin_bench::simulate_contig(seed, sim))
    , lnl(&stat, &contig, &model, 1, 0.0)
  {
    quorlin_bench::prepare_engine(lnl, stat);
  }
  Simulated(const Simulated&) = delete;
  Simulated& operator=(const Simulated&) = delete;

  void set_model(bool no_error, bool no_bias, unsigned int error_classes = 1, unsigned int bias_classes = 1)
  {
    model.no_error = no_error;
    model.no_bias = no_bias;
    model.nb_error_classes = error_classes;
    model.nb_bias_classes = bias_classes;
  }

  // One fit evaluation of the engine and of the plain formulas; true when both agree.
  ::testing::AssertionResult agree(const Params& q)
  {
    const double reference = baseline_lnL(lnl, q.er_alpha, q.er_beta, q.er_tstv, q.aeb_alpha, q.aeb_beta);
    const double value = lnl.lnL(q.er_alpha, q.er_beta, q.er_tstv, q.aeb_alpha, q.aeb_beta);
    last = value;
    if (bits(value) == bits(reference))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "engine " << value << " vs formulas " << reference << " (difference "
                                         << value - reference << ")";
  }
  double last = 0.0;
};

SimSettings
settings(size_t species, size_t individuals, double depth, double error, double bias, double snp_rate)
{
  SimSettings sim;
  sim.positions = 40;
  sim.species = species;
  sim.individuals = individuals;
  sim.depth = depth;
  sim.error = error;
  sim.bias = bias;
  sim.snp_rate = snp_rate;
  sim.zero_depth = 0.1;
  sim.multi_rate = 0.05;
  return sim;
}

const SimSettings kContigs[] = {
  settings(2, 3, 12.0, 0.01, 0.1, 0.2), settings(1, 5, 4.0, 0.02, 0.0, 0.3),  settings(3, 2, 30.0, 0.005, 0.3, 0.2),
  settings(2, 4, 0.7, 0.01, 0.2, 0.5),  settings(2, 2, 60.0, 0.03, 0.0, 0.1), settings(2, 3, 8.0, 0.0, 0.2, 0.4),
};
} // namespace

TEST(LnLBaseline, contig_likelihood_matches_the_formulas_bit_for_bit)
{
  int finite = 0, impossible = 0;
  unsigned int seed = 1;
  for (const SimSettings& sim : kContigs)
    for (int rep = 0; rep < 2; ++rep, ++seed)
    {
      Simulated s(seed, sim);
      // M0, M1, M2 of the model table.
      const bool flags[3][2] = { { true, true }, { false, true }, { false, false } };
      for (const auto& f : flags)
        for (const Params& q : kParams)
        {
          s.set_model(f[0], f[1]);
          EXPECT_TRUE(s.agree(q)) << "seed " << seed << " no_error " << f[0] << " no_bias " << f[1] << " er_beta "
                                  << q.er_beta << " aeb_beta " << q.aeb_beta;
          if (LnL::is_marker(s.last))
            ++impossible;
          else if (std::isfinite(s.last))
            ++finite;
        }
    }
  // Both kinds of result were compared: likelihoods and the markers of impossible contigs.
  EXPECT_GT(finite, 100);
  EXPECT_GT(impossible, 5);
}

TEST(LnLBaseline, models_with_several_classes_match_the_formulas)
{
  const unsigned int classes[][2] = { { 3, 1 }, { 1, 3 }, { 2, 3 }, { 3, 2 } };
  unsigned int seed = 100;
  for (const auto& c : classes)
  {
    Simulated s(seed++, kContigs[0]);
    s.set_model(false, false, c[0], c[1]);
    EXPECT_TRUE(s.agree({ 2.0, 60.0, 3.0, 0.7, 5.0 })) << c[0] << " error classes, " << c[1] << " bias classes";
    EXPECT_TRUE(s.agree({ 0.5, 300.0, 1.2, 2.0, 20.0 })) << c[0] << " error classes, " << c[1] << " bias classes";
    EXPECT_FALSE(LnL::is_marker(s.last));
  }
}

// The engine may keep what it worked out in earlier evaluations; every input the likelihood
// reads can change in between, and the next evaluation must see the change.
TEST(LnLBaseline, inputs_changed_between_evaluations_are_taken_into_account)
{
  Simulated s(7, kContigs[0]);
  s.set_model(false, false);
  const Params q = kParams[0];
  const Params r = kParams[3];
  ASSERT_TRUE(s.agree(q));
  ASSERT_TRUE(s.agree(q)); // the same parameters twice
  ASSERT_TRUE(s.agree(r));

  // Included individuals: one species (interleaved in the header), another order, repeats, none.
  s.lnl.included = { 1, 3, 5 };
  EXPECT_TRUE(s.agree(q));
  s.lnl.included = { 4, 0, 2, 2 };
  EXPECT_TRUE(s.agree(q));
  s.lnl.included.clear();
  EXPECT_TRUE(s.agree(q));
  EXPECT_EQ(s.last, 0.0);
  s.lnl.included = { 0, 1, 2, 3, 4, 5 };
  EXPECT_TRUE(s.agree(r));

  // Inbreeding changes every prior; at F = 1 heterozygotes are impossible.
  s.lnl.fis = 0.25;
  EXPECT_TRUE(s.agree(r));
  s.lnl.fis = 1.0;
  EXPECT_TRUE(s.agree(r));
  s.lnl.fis = 0.0;
  EXPECT_TRUE(s.agree(r));

  // Counts: an individual loses its reads (as the multi-allele policy does) or gains some.
  Posdata& first = s.lnl.contig_data->positions[0];
  Alrline& line = s.contig.lines[0];
  for (size_t b = 0; b < 4; ++b)
    line.counts[4 * 2 + b] = 0;
  first.individuals[2].multinomial_term = -std::log(2.0);
  EXPECT_TRUE(s.agree(r));
  line.counts[4 * 3 + 1] += 5;
  first.individuals[3].multinomial_term -= 1.5;
  EXPECT_TRUE(s.agree(r));

  // Frequencies: a species' entry replaced, a base's frequency set to 0, all bases equal.
  Posdata& last = s.lnl.contig_data->positions.back();
  const std::string species = s.contig.ind_species[0];
  last.frequencies[species] = { 0.7, 0.1, 0.1, 0.1 };
  EXPECT_TRUE(s.agree(r));
  last.frequencies[species][1] = 0.0;
  EXPECT_TRUE(s.agree(r));
  first.frequencies[species] = { 0.25, 0.25, 0.25, 0.25 };
  EXPECT_TRUE(s.agree(r));

  // The model switched between evaluations on the same engine.
  s.set_model(false, true);
  EXPECT_TRUE(s.agree(r));
  s.set_model(true, true);
  EXPECT_TRUE(s.agree(r));
  s.set_model(false, false);
  EXPECT_TRUE(s.agree(q));
}

TEST(LnLBaseline, final_pass_terms_match_the_formulas)
{
  for (unsigned int seed = 200; seed < 203; ++seed)
  {
    Simulated s(seed, kContigs[seed - 200]);
    s.set_model(false, false, 2, 2);
    s.lnl.fis = 0.1;
    const Params q{ 1.5, 80.0, 2.5, 1.0, 6.0 };
    s.lnl.lnL(q.er_alpha, q.er_beta, q.er_tstv, q.aeb_alpha, q.aeb_beta);
    size_t compared = 0;
    for (size_t p = 0; p < s.contig.lines.size(); ++p)
      for (int k = 0; k < 2; ++k)
      {
        s.lnl.calculate_posterior_genotypes_pos(
          &s.lnl.contig_data->positions[p], &s.contig.lines[p], s.lnl.bias_values[k], k);
        for (int e = 0; e < 2; ++e)
          for (int id : s.lnl.included)
            for (int g1 = 0; g1 < 4; ++g1)
              for (int g2 = g1; g2 < 4; ++g2, ++compared)
              {
                // The classes' bias values and matrices are the engine's (their formulas are
                // checked with the contig likelihood above).
                const double expected =
                  baseline_genotype_entry(s.lnl, p, id, g1, g2, s.lnl.bias_values[k], s.lnl.error_matrices[e]);
                const double value = s.lnl.cache(k, e, g1, g2, id);
                ASSERT_EQ(bits(value), bits(expected)) << "position " << p << " individual " << id << " genotype " << g1
                                                       << g2 << ": " << value << " vs " << expected;
              }
      }
    EXPECT_GT(compared, 1000u);
  }
}
