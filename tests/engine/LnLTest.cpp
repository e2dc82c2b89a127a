#include "engine/LnL.h"

#include <Bpp/Numeric/Random/RandomTools.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace bpp;

namespace
{
const double kLn2 = std::log(2.0);
const char* kGenotypes[10] = { "AA", "AC", "AG", "AT", "CC", "CG", "CT", "GG", "GT", "TT" };
const int kG1[10] = { 0, 0, 0, 0, 1, 1, 1, 2, 2, 3 };
const int kG2[10] = { 0, 1, 2, 3, 1, 2, 3, 2, 3, 3 };
using Lines = std::vector<std::vector<unsigned int>>;

double
log_multinomial_coefficient(const unsigned int* n)
{
  return std::lgamma(n[0] + n[1] + n[2] + n[3] + 1.0) - std::lgamma(n[0] + 1.0) - std::lgamma(n[1] + 1.0) -
         std::lgamma(n[2] + 1.0) - std::lgamma(n[3] + 1.0);
}

AlrContig
make_contig(const std::vector<std::string>& species, const Lines& lines)
{
  AlrContig contig;
  for (size_t i = 0; i < species.size(); ++i)
  {
    contig.ind_names.push_back("i" + std::to_string(i));
    contig.ind_species.push_back(species[i]);
    contig.species_count[species[i]]++;
  }
  for (const auto& counts : lines)
  {
    Alrline line;
    line.label = "A";
    line.polymorphic = true;
    line.counts = std::valarray<unsigned int>(counts.data(), counts.size());
    contig.lines.push_back(line);
  }
  return contig;
}

// One contig's engine as the pipeline hands it to the fits: species frequencies and
// multinomial terms stored, every individual included. species[i] is individual i's species.
struct Engine
{
  Stat stat;
  Model model;
  AlrContig contig;
  LnL lnl;

  Engine(bool no_error,
         bool no_bias,
         const std::vector<std::string>& species,
         const Lines& lines,
         unsigned int min_depth = 1,
         double fis = 0.0)
    : contig(make_contig(species, lines))
    , lnl(&stat, &contig, &model, min_depth, fis)
  {
    model.no_error = no_error;
    model.no_bias = no_bias;
    for (size_t p = 0; p < lines.size(); ++p)
    {
      for (const auto& sc : contig.species_count)
      {
        std::vector<unsigned int> gathered;
        for (size_t i = 0; i < species.size(); ++i)
          if (species[i] == sc.first)
            gathered.insert(gathered.end(), &lines[p][4 * i], &lines[p][4 * i] + 4);
        std::valarray<unsigned int> counts(gathered.data(), gathered.size());
        position(p).calculate_allele_frequencies(counts, sc.first);
      }
      for (size_t i = 0; i < species.size(); ++i)
        ind(p, i).multinomial_term = log_multinomial_coefficient(&lines[p][4 * i]) - kLn2;
    }
    for (size_t i = 0; i < species.size(); ++i)
      lnl.included.push_back(static_cast<int>(i));
    lnl.best_genotype = true;
    lnl.posterior_pass = true;
  }

  Posdata& position(size_t p) { return lnl.contig_data->positions[p]; }
  Posdata::ind& ind(size_t p, size_t i) { return position(p).individuals[i]; }
  // Error rate 1/(1 + er_beta) split by a ratio of 4; bias 1/(1 + aeb_beta) unless the model has none.
  double run(double er_beta = 99.0, double aeb_beta = 9.0) { return lnl.lnL(1.0, er_beta, 4.0, 1.0, aeb_beta); }
};

// Error rate e split by a ratio of 4: transversions e/6, transitions 4e/6.
void
error_rows(double e, double m[4][4])
{
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      m[i][j] = (i == j) ? 1 - e : ((i + j) % 2 == 0 ? 4 * e / 6 : e / 6);
}

double
multinomial(const unsigned int n[4], const double p[4])
{
  double prob = std::exp(log_multinomial_coefficient(n));
  for (int j = 0; j < 4; ++j)
    prob *= std::pow(p[j], n[j]);
  return prob;
}

// The reads' probability under a genotype: the mean of the bias's two orientations.
double
read_probability(const unsigned int n[4], int g1, int g2, double e, double b)
{
  double m[4][4], plus[4], minus[4];
  error_rows(e, m);
  for (int j = 0; j < 4; ++j)
  {
    plus[j] = 0.5 * ((1 + b) * m[g1][j] + (1 - b) * m[g2][j]);
    minus[j] = 0.5 * ((1 - b) * m[g1][j] + (1 + b) * m[g2][j]);
  }
  return 0.5 * (multinomial(n, plus) + multinomial(n, minus));
}

double
prior(const double f[4], int g1, int g2, double F)
{
  return g1 == g2 ? f[g1] * f[g1] + F * f[g1] * (1 - f[g1]) : 2 * f[g1] * f[g2] * (1 - F);
}

std::vector<double>
expected_posteriors(const unsigned int n[4], const double f[4], double e, double b, double F)
{
  std::vector<double> post(10);
  double sum = 0;
  for (int g = 0; g < 10; ++g)
    sum += post[g] = read_probability(n, kG1[g], kG2[g], e, b) * prior(f, kG1[g], kG2[g], F);
  for (double& x : post)
    x /= sum;
  return post;
}

std::string
call_of(const Posdata::ind& ind)
{
  if (ind.allele1 == 100 && ind.allele2 == 100)
    return "NN";
  return std::string(1, "ACGT"[ind.allele1]) + "ACGT"[ind.allele2];
}
} // namespace

TEST(LnL, construction_orders_species_by_first_appearance)
{
  Engine e(true, true, { "sp2", "sp1", "sp2", "sp3" }, Lines(2, std::vector<unsigned int>(16, 1)), 3);
  const auto& species = e.lnl.contig_data->species_data;
  ASSERT_EQ(species.size(), 3u);
  EXPECT_EQ(species[0].name, "sp2");
  EXPECT_EQ(species[1].name, "sp1");
  EXPECT_EQ(species[2].name, "sp3");
  EXPECT_EQ(species[1].bias, -1.0);
  ASSERT_EQ(e.lnl.contig_data->positions.size(), 2u);
  EXPECT_EQ(e.position(1).individuals.size(), 4u);
  EXPECT_EQ(e.ind(1, 3).allele1, 100);
  EXPECT_EQ(e.lnl.genotype_cache.size(), 3u * 3 * 4 * 4 * 4);
  LnL copy(e.lnl);
  EXPECT_EQ(copy.contig_data.get(), e.lnl.contig_data.get());
}

TEST(LnL, error_matrix_splits_the_rate_into_transitions_and_transversions)
{
  Engine e(false, true, { "sp" }, {});
  double m[4][4], expected[4][4];
  e.lnl.build_error_matrix(0.01, 4.0, m);
  error_rows(0.01, expected);
  for (int i = 0; i < 4; ++i)
  {
    EXPECT_NEAR(m[i][0] + m[i][1] + m[i][2] + m[i][3], 1.0, 1e-15);
    for (int j = 0; j < 4; ++j)
      EXPECT_NEAR(m[i][j], expected[i][j], 1e-15) << i << j;
  }
  EXPECT_NEAR(m[1][3], 0.04 / 6, 1e-17);
  e.lnl.build_error_matrix(0.0, 4.0, m);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      EXPECT_EQ(m[i][j], i == j ? 1.0 : 0.0);
}

TEST(LnL, classes_follow_the_model_and_the_beta_means)
{
  Engine e(false, false, { "sp" }, {});
  e.run(99.0, 9.0);
  EXPECT_DOUBLE_EQ(e.lnl.error_rates[0], 0.01);
  EXPECT_DOUBLE_EQ(e.lnl.bias_values[0], 0.1);
  EXPECT_NEAR(e.lnl.error_matrices[0][0][2], 0.04 / 6, 1e-17);
  e.model.no_bias = true;
  e.run();
  EXPECT_EQ(e.lnl.bias_values[0], 0.0);

  // Without error or bias a model asking for several classes falls back to one.
  e.model.nb_error_classes = 2;
  e.model.nb_bias_classes = 2;
  e.lnl.lnL(0.0, 99.0, 4.0, 1.0, 9.0);
  EXPECT_EQ(e.model.nb_error_classes, 1u);
  EXPECT_EQ(e.model.nb_bias_classes, 1u);
  EXPECT_EQ(e.lnl.error_matrices[0][1][1], 1.0);
  // A first bias shape not above 0 means no bias either.
  e.model.no_bias = false;
  e.lnl.lnL(1.0, 99.0, 4.0, -1.0, 9.0);
  EXPECT_EQ(e.lnl.bias_values[0], 0.0);
}

TEST(LnL, one_individual_likelihood_with_and_without_bias)
{
  Engine e(false, false, { "sp" }, {});
  double identity[4][4], m[4][4];
  e.lnl.build_error_matrix(0.0, 4.0, identity);
  e.lnl.build_error_matrix(0.01, 4.0, m);
  std::valarray<unsigned int> counts = { 3, 1, 0, 0 };
  const double t = std::log(4.0) - kLn2; // log(4!/(3! 1!)) - ln 2

  // AC at error rate 0: 4 x 0.5^4 without bias; with bias 0.2 the mean of both orientations.
  EXPECT_NEAR(e.lnl.calculate_lnL_pos_ind(counts, 0, 1, identity, 0.0, t), std::log(0.25), 1e-12);
  const double biased = (4 * std::pow(0.6, 3) * 0.4 + 4 * std::pow(0.4, 3) * 0.6) / 2;
  EXPECT_NEAR(e.lnl.calculate_lnL_pos_ind(counts, 0, 1, identity, 0.2, t), std::log(biased), 1e-12);

  // A homozygote ignores the bias.
  for (double b : { 0.0, 0.2, 0.45 })
  {
    EXPECT_NEAR(e.lnl.calculate_lnL_pos_ind(counts, 0, 0, m, b, t), std::log(4 * std::pow(0.99, 3) * 0.01 / 6), 1e-12);
    EXPECT_NEAR(e.lnl.calculate_lnL_pos_ind(counts, 1, 1, m, b, t), std::log(4 * 0.99 * std::pow(0.01 / 6, 3)), 1e-12);
  }
}

TEST(LnL, position_likelihood_mixes_genotypes_under_the_inbreeding_prior)
{
  const unsigned int n[4] = { 1, 1, 0, 0 };
  const double f[4] = { 0.6, 0.4, 0.0, 0.0 };
  for (double F : { 0.0, 0.5, 1.0 })
  {
    Engine e(false, false, { "sp" }, { { 1, 1, 0, 0 } }, 1, F);
    e.position(0).frequencies["sp"] = { 0.6, 0.4, 0.0, 0.0 };
    e.lnl.posterior_pass = false;
    // Only bases seen in the species enter: AA, AC and CC.
    double expected = 0;
    for (int g : { 0, 1, 4 })
      expected += read_probability(n, kG1[g], kG2[g], 0.01, 0.1) * prior(f, kG1[g], kG2[g], F);
    EXPECT_NEAR(e.run(), std::log(expected), 1e-12) << "F = " << F;
  }
}

TEST(LnL, impossible_cases_give_the_markers)
{
  Engine e(true, true, { "sp" }, {});
  double identity[4][4];
  e.lnl.build_error_matrix(0.0, 4.0, identity);
  std::valarray<unsigned int> c = { 2, 1, 0, 0 };
  EXPECT_EQ(e.lnl.calculate_lnL_pos_ind(c, 0, 0, identity, 0.0, 0.0), 99.0);
  EXPECT_EQ(e.lnl.calculate_lnL_pos_ind(c, 2, 3, identity, 0.1, 0.0), 99.0);

  // Reads of three bases leave no genotype at error rate 0, wherever the position lies.
  const std::vector<unsigned int> fine = { 2, 0, 0, 0, 0, 1, 0, 1 };
  const std::vector<unsigned int> three_bases = { 1, 1, 1, 0, 0, 3, 0, 0 };
  for (size_t where = 0; where < 3; ++where)
  {
    Lines lines(3, fine);
    lines[where] = three_bases;
    Engine x(true, true, { "sp", "sp" }, lines);
    x.lnl.posterior_pass = false;
    EXPECT_EQ(x.run(), 102.0) << where;
    EXPECT_EQ(x.lnl.calculate_lnL_contig(), 101.0);
    EXPECT_EQ(x.lnl.calculate_lnL_pos(&x.position(where), &x.contig.lines[where], 0.0, 0), 105.0);
    x.model.no_error = false; // read errors make it possible
    EXPECT_TRUE(std::isfinite(x.run()) && x.run() < 0.0);
  }

  // An individual left out of the likelihood does not make it impossible.
  Engine y(true, true, { "sp", "sp2" }, { three_bases });
  y.lnl.included = { 1 };
  EXPECT_NEAR(y.run(), 0.0, 1e-12);
}

TEST(LnL, depth_zero_position_is_possible_despite_rounding)
{
  // No included individual has reads at the first line; with F = 0.001 and frequencies 0.25
  // its log-likelihood, 0 in exact arithmetic, rounds to a few 1e-16.
  Engine e(
    false, true, { "sp", "sp", "sp" }, { Lines::value_type(12, 0), { 5, 0, 0, 0, 3, 2, 0, 0, 0, 4, 0, 0 } }, 0, 0.001);
  e.lnl.posterior_pass = false;
  const double total = e.run();
  EXPECT_NEAR(e.lnl.calculate_lnL_pos(&e.position(0), &e.contig.lines[0], 0.0, 0), 0.0, 1e-12);
  const double with_reads = e.lnl.calculate_lnL_pos(&e.position(1), &e.contig.lines[1], 0.0, 0);
  EXPECT_LT(with_reads, -1.0);
  EXPECT_NEAR(total, with_reads, 1e-12);

  // The final pass calls everyone (minimum depth 0) from the prior; the six heterozygotes tie
  // and the first of them in genotype order is called.
  e.lnl.posterior_pass = true;
  EXPECT_NEAR(e.run(), with_reads, 1e-12);
  const double het = 2 * 0.0625 * 0.999;
  for (size_t i = 0; i < 3; ++i)
  {
    EXPECT_NEAR(e.ind(0, i).posteriors[0][0], 0.0625 + 0.001 * 0.25 * 0.75, 1e-12);
    EXPECT_NEAR(e.ind(0, i).posteriors[2][3], het, 1e-12);
    EXPECT_EQ(call_of(e.ind(0, i)), "AC");
    EXPECT_NEAR(e.ind(0, i).call_posterior, het, 1e-12);
  }
}

TEST(LnL, individual_term_positive_by_rounding_is_a_loglikelihood)
{
  // A multinomial term a few ulps above -ln 2 makes every genotype term of a depth-0
  // individual +4.4e-16: still log-likelihoods, in the likelihood and in the posteriors.
  Engine e(false, true, { "sp" }, { { 0, 0, 0, 0 } }, 0);
  e.ind(0, 0).multinomial_term = -kLn2 + 4.4e-16;
  EXPECT_NEAR(e.run(), 0.0, 1e-12);
  EXPECT_EQ(call_of(e.ind(0, 0)), "AC");
  EXPECT_NEAR(e.ind(0, 0).posteriors[0][0], 0.0625, 1e-12);
  EXPECT_NEAR(e.ind(0, 0).call_posterior, 0.125, 1e-12);
}

TEST(LnL, posteriors_match_the_closed_form_and_sum_to_one)
{
  Engine e(false,
           false,
           { "sp", "sp", "other" },
           { { 1, 1, 0, 0, 6, 2, 0, 0, 0, 0, 3, 0 }, { 0, 0, 0, 5, 0, 0, 1, 4, 0, 0, 2, 2 } },
           1,
           0.2);
  e.run(49.0, 4.0);
  const double err = 0.02, bias = 0.2;

  // Line 1: "sp" reads A 7 and C 3, "other" only G. Line 2: "sp" G 1 and T 9, "other" G 2 and T 2.
  const double f[2][2][4] = { { { 0.7, 0.3, 0.0, 0.0 }, { 0.0, 0.0, 1.0, 0.0 } },
                              { { 0.0, 0.0, 0.1, 0.9 }, { 0.0, 0.0, 0.5, 0.5 } } };
  for (size_t p = 0; p < 2; ++p)
    for (size_t i = 0; i < 3; ++i)
    {
      const Posdata::ind& ind = e.ind(p, i);
      const std::vector<double> expected =
        expected_posteriors(&e.contig.lines[p].counts[4 * i], f[p][i < 2 ? 0 : 1], err, bias, 0.2);
      double sum = 0;
      int best = 0;
      for (int g = 0; g < 10; ++g)
      {
        EXPECT_NEAR(ind.posteriors[kG1[g]][kG2[g]], expected[g], 1e-12) << p << " " << i << " " << kGenotypes[g];
        sum += ind.posteriors[kG1[g]][kG2[g]];
        best = expected[g] > expected[best] ? g : best;
      }
      EXPECT_NEAR(sum, 1.0, 1e-12);
      EXPECT_EQ(call_of(ind), kGenotypes[best]);
      EXPECT_NEAR(ind.call_posterior, expected[best], 1e-12);
    }
  EXPECT_EQ(e.ind(0, 2).posteriors[2][2], 1.0); // only G seen in "other"
  EXPECT_EQ(e.ind(0, 2).posteriors[0][2], 0.0);

  // One class of each kind: its posterior is 1 and the means are the class values.
  EXPECT_NEAR(e.lnl.contig_data->bias_class_posteriors[0], 1.0, 1e-15);
  EXPECT_NEAR(e.lnl.contig_data->mean_bias, bias, 1e-15);
  EXPECT_NEAR(e.position(1).error_class_weights[0], 1.0, 1e-15);
  EXPECT_NEAR(e.position(1).mean_error_rate, err, 1e-15);
}

TEST(LnL, best_call_breaks_a_tie_towards_the_earlier_genotype)
{
  // F = 1 and frequencies A 0.5, C 0.5: a depth-0 individual is AA or CC with 0.5 each.
  Engine e(false, true, { "sp", "sp" }, { { 0, 0, 0, 0, 0, 4, 0, 0 } }, 0, 1.0);
  e.position(0).frequencies["sp"] = { 0.5, 0.5, 0.0, 0.0 };
  e.run();
  EXPECT_EQ(e.ind(0, 0).posteriors[0][0], e.ind(0, 0).posteriors[1][1]);
  EXPECT_NEAR(e.ind(0, 0).posteriors[0][0], 0.5, 1e-12);
  EXPECT_EQ(e.ind(0, 0).posteriors[0][1], 0.0);
  EXPECT_EQ(call_of(e.ind(0, 0)), "AA");
  EXPECT_EQ(call_of(e.ind(0, 1)), "CC");
}

TEST(LnL, depth_zero_individual_gets_its_prior_and_the_minimum_depth_decides_the_call)
{
  const double f[4] = { 0.6, 0.4, 0.0, 0.0 };
  for (unsigned int min_depth : { 0u, 1u, 5u, 6u })
  {
    Engine e(false, true, { "sp", "sp" }, { { 0, 0, 0, 0, 3, 2, 0, 0 } }, min_depth, 0.3);
    e.run();
    for (int g = 0; g < 10; ++g)
      EXPECT_NEAR(e.ind(0, 0).posteriors[kG1[g]][kG2[g]], prior(f, kG1[g], kG2[g], 0.3), 1e-12) << kGenotypes[g];
    // Priors with F = 0.3: AA 0.432, AC 0.336, CC 0.232.
    EXPECT_EQ(call_of(e.ind(0, 0)), min_depth == 0 ? "AA" : "NN");
    EXPECT_NEAR(e.ind(0, 0).call_posterior, min_depth == 0 ? 0.432 : 0.0, 1e-12);
    EXPECT_EQ(call_of(e.ind(0, 1)), min_depth <= 5 ? "AC" : "NN");
  }
}

TEST(LnL, random_calls_follow_the_posteriors)
{
  Engine e(false, true, { "sp" }, { { 1, 1, 0, 0 } });
  e.lnl.best_genotype = false;
  const unsigned int n[4] = { 1, 1, 0, 0 };
  const double f[4] = { 0.5, 0.5, 0.0, 0.0 };
  const std::vector<double> expected = expected_posteriors(n, f, 0.01, 0.0, 0.0);

  RandomTools::setSeed(20240611);
  const int draws = 20000;
  std::vector<int> tally(10, 0);
  for (int r = 0; r < draws; ++r)
  {
    e.run();
    for (int g = 0; g < 10; ++g)
      if (call_of(e.ind(0, 0)) == kGenotypes[g])
      {
        ++tally[g];
        EXPECT_EQ(e.ind(0, 0).call_posterior, e.ind(0, 0).posteriors[kG1[g]][kG2[g]]);
      }
  }
  // A frequency's standard error is at most 0.0036 here; 0.015 is over four of them.
  for (int g = 0; g < 10; ++g)
    EXPECT_NEAR(tally[g] / static_cast<double>(draws), expected[g], 0.015) << kGenotypes[g];
  EXPECT_GT(tally[0], 0); // AA, at about 0.3%, is drawn too
}

TEST(LnL, each_included_individual_uses_one_draw_even_below_the_minimum_depth)
{
  Engine e(false,
           true,
           { "sp", "sp", "sp" },
           { { 0, 0, 0, 0, 2, 2, 0, 0, 1, 0, 0, 0 }, { 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0 } });
  e.lnl.included = { 2, 0 };
  e.lnl.best_genotype = false;
  RandomTools::setSeed(99);
  e.run();
  const double next = RandomTools::giveRandomNumberBetweenZeroAndEntry(1.0);
  RandomTools::setSeed(99);
  for (int i = 0; i < 4; ++i) // two positions, two included individuals
    RandomTools::giveRandomNumberBetweenZeroAndEntry(1.0);
  EXPECT_EQ(next, RandomTools::giveRandomNumberBetweenZeroAndEntry(1.0));
  EXPECT_EQ(call_of(e.ind(0, 0)), "NN");
  // Individual 1 is not included: its record is untouched.
  EXPECT_EQ(call_of(e.ind(0, 1)), "NN");
  EXPECT_EQ(e.ind(0, 1).posteriors[0][1], 0.0);
}

TEST(LnL, drawn_call_takes_the_first_genotype_the_running_sum_reaches)
{
  Posdata::ind ind;
  ind.posteriors[0][0] = 0.2; // AA
  ind.posteriors[0][1] = 0.5; // AC
  ind.posteriors[1][1] = 0.3; // CC
  LnL::call_drawn(ind, 0.6);
  EXPECT_EQ(call_of(ind), "AC");
  EXPECT_EQ(ind.call_posterior, 0.5);
  LnL::call_drawn(ind, 0.2);
  EXPECT_EQ(call_of(ind), "AA");
  LnL::call_drawn(ind, 0.0);
  EXPECT_EQ(call_of(ind), "AA");
  LnL::call_drawn(ind, 0.95);
  EXPECT_EQ(call_of(ind), "CC");

  // A draw the rounded sum never reaches goes to the last genotype with mass, not to TT.
  Posdata::ind short_sum;
  short_sum.posteriors[0][1] = 0.5;
  short_sum.posteriors[1][2] = 0.4999999999999;
  LnL::call_drawn(short_sum, 0.9999999999999999);
  EXPECT_EQ(call_of(short_sum), "CG");
  EXPECT_EQ(short_sum.call_posterior, 0.4999999999999);
}

TEST(LnL, individual_without_possible_genotype_gets_no_call_and_no_draw)
{
  Engine e(true, true, { "sp" }, { { 1, 1, 1, 0 } }, 0);
  e.lnl.posterior_pass = false;
  EXPECT_EQ(e.run(), 102.0); // sets the identity matrix

  // T is never read (103); every other genotype misses a read base (99).
  e.lnl.calculate_posterior_genotypes_pos(&e.position(0), &e.contig.lines[0], 0.0, 0);
  EXPECT_EQ(e.lnl.cache(0, 0, 0, 3, 0), 103.0);
  EXPECT_EQ(e.lnl.cache(0, 0, 3, 3, 0), 103.0);
  EXPECT_EQ(e.lnl.cache(0, 0, 0, 1, 0), 99.0);
  EXPECT_EQ(e.lnl.cache(0, 0, 2, 2, 0), 99.0);

  Posdata::ind& ind = e.ind(0, 0);
  ind.allele1 = 0;
  ind.allele2 = 1;
  ind.call_posterior = 0.7;
  e.lnl.contig_data->bias_class_posteriors[0] = 1.0;
  e.position(0).error_class_weights[0] = 1.0;
  e.lnl.best_genotype = false;
  RandomTools::setSeed(5);
  e.lnl.calculate_posterior_genotypes();
  const double next = RandomTools::giveRandomNumberBetweenZeroAndEntry(1.0);
  RandomTools::setSeed(5);
  EXPECT_EQ(next, RandomTools::giveRandomNumberBetweenZeroAndEntry(1.0));
  for (int g = 0; g < 10; ++g)
    EXPECT_EQ(ind.posteriors[kG1[g]][kG2[g]], 104.0) << kGenotypes[g];
  EXPECT_EQ(call_of(ind), "NN");
  EXPECT_EQ(ind.call_posterior, 0.0);
}
