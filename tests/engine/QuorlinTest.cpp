#include "engine/Quorlin.h"
#include "engine/PipelineFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <typeinfo>

using namespace bpp;
using namespace pipeline_test;

namespace
{
// The model names and descriptions, escaped for std::regex.
const char* kM1 = "M1 \\[constant error, no bias\\]      ";
const char* kM2 = "M2 \\[constant error, constant bias\\]";
// A number as the stream prints it by default.
const std::string kNum = "(-?[0-9]+(\\.[0-9]+)?(e[-+][0-9]+)?)";

std::string
read_file(const std::string& path)
{
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string
temp_path(const std::string& stem)
{
  return ::testing::TempDir() + "quorlin_pipeline_" + stem + "_" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// Two species, interleaved in the header: species 0 is "s1" (a, b), species 1 "s2" (c, d).
People
two_species()
{
  return { { "s1", "a" }, { "s2", "c" }, { "s1", "b" }, { "s2", "d" } };
}

std::valarray<unsigned int>
va(std::vector<unsigned int> v)
{
  return std::valarray<unsigned int>(v.data(), v.size());
}

SeparateOptimizers
separate_table(size_t nb_species)
{
  SeparateOptimizers table(3);
  for (auto& row : table)
    row.resize(nb_species);
  return table;
}

void
activate(Quorlin& q, std::vector<unsigned int> models)
{
  for (unsigned int m : models)
  {
    q.models[m].active = true;
    q.model_index = m;
  }
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Multi-allele policy

TEST(Quorlin, third_allele_needs_more_than_two_reads_and_five_percent)
{
  Stat stat;
  Quorlin q(&stat);
  // Each 3 is exactly 5% of 60: four qualifying bases.
  EXPECT_TRUE(q.is_more_than_2_alleles(va({ 3, 3, 3, 51 })));
  // 2 reads are 12.5% of 16 but not above 2: only T qualifies.
  EXPECT_FALSE(q.is_more_than_2_alleles(va({ 2, 2, 2, 10 })));
  // 3 reads are below 5% of 109.
  EXPECT_FALSE(q.is_more_than_2_alleles(va({ 3, 3, 3, 100 })));
  // Exactly three qualifying bases is enough.
  EXPECT_TRUE(q.is_more_than_2_alleles(va({ 0, 5, 5, 5 })));
  // Four bases in the species, but two per individual.
  EXPECT_FALSE(q.is_more_than_2_alleles(va({ 10, 10, 0, 0, 0, 0, 10, 10 })));
  // Any individual of the array, not only the first.
  EXPECT_TRUE(q.is_more_than_2_alleles(va({ 10, 0, 0, 0, 0, 4, 4, 4 })));
  EXPECT_FALSE(q.is_more_than_2_alleles(va({})));
  EXPECT_FALSE(q.is_more_than_2_alleles(va({ 0, 0, 0, 0 })));
}

TEST(Quorlin, tolerated_policy_zeroes_the_counting_species_only)
{
  Stat stat;
  Quorlin q(&stat);
  AlrContig contig = make_contig("c", two_species());
  // Line 0: d (species s2) shows three alleles. Line 1: same counts but not marked "P".
  // Line 2: a (species s1) shows three alleles.
  const std::vector<unsigned int> multi_in_s2 = { 5, 5, 0, 0, 9, 0, 0, 0, 0, 7, 0, 0, 4, 4, 4, 0 };
  const std::vector<unsigned int> multi_in_s1 = { 3, 3, 3, 0, 0, 6, 0, 0, 0, 6, 0, 0, 0, 8, 0, 0 };
  add_line(contig, "A", true, multi_in_s2);
  add_line(contig, "A", false, multi_in_s2);
  add_line(contig, "C", true, multi_in_s1);
  auto counts = [&](size_t p)
  { return std::vector<unsigned int>(std::begin(contig.lines[p].counts), std::end(contig.lines[p].counts)); };

  // "accepted" looks at nothing.
  q.multi_alleles = "accepted";
  q.lnl = std::make_unique<LnL>(&stat, &contig, &q.models[0], 1, 0.0);
  q.check_paralogy(contig);
  EXPECT_EQ(counts(0), multi_in_s2);
  EXPECT_EQ(q.lnl->contig_data->species_data[1].multi_alleles_count, 0u);

  q.multi_alleles = "tolerated";
  q.check_paralogy(contig);
  // Species are numbered by first appearance: s1 then s2.
  ASSERT_EQ(q.lnl->contig_data->species_data.size(), 2u);
  EXPECT_EQ(q.lnl->contig_data->species_data[0].name, "s1");
  EXPECT_EQ(q.lnl->contig_data->species_data[0].multi_alleles_count, 1u);
  EXPECT_EQ(q.lnl->contig_data->species_data[1].multi_alleles_count, 1u);
  // Line 0: c and d (s2) are zeroed; line 1, not marked "P", is untouched; line 2: a and b.
  EXPECT_EQ(counts(0), (std::vector<unsigned int>{ 5, 5, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0 }));
  EXPECT_EQ(counts(1), multi_in_s2);
  EXPECT_EQ(counts(2), (std::vector<unsigned int>{ 0, 0, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0 }));
}

TEST(Quorlin, paralogy_line_counts_the_first_species_of_the_header)
{
  Stat stat;
  Quorlin q(&stat);
  q.shared = true;
  activate(q, { 1 });
  // "zz" comes first in the header although "aa" sorts first.
  AlrContig contig = make_contig("c", { { "zz", "a" }, { "aa", "b" } });
  add_line(contig, "A", true, { 4, 4, 4, 0, 10, 0, 0, 0 }); // counts for zz
  add_line(contig, "A", true, { 10, 0, 0, 0, 4, 4, 4, 0 }); // counts for aa
  add_line(contig, "A", true, { 0, 0, 5, 5, 0, 5, 5, 5 });  // counts for aa
  add_line(contig, "A", false, { 7, 0, 0, 0, 9, 0, 0, 0 });
  CaptureStdout out;
  q.compute(contig);
  EXPECT_EQ(split_lines(out.text()).at(0), "paralogy=1");
  EXPECT_EQ(q.lnl->contig_data->species_data[1].multi_alleles_count, 2u);
}

TEST(Quorlin, tolerated_zeroes_reach_frequencies_terms_and_calls)
{
  Stat stat;
  Quorlin q(&stat);
  q.shared = true;
  q.best_genotype = true;
  activate(q, { 1 });
  AlrContig contig = make_contig("c", { { "s1", "a" }, { "s2", "b" } });
  add_line(contig, "A", true, { 6, 6, 6, 0, 8, 0, 0, 0 });
  add_line(contig, "A", true, { 6, 6, 0, 0, 8, 0, 0, 0 });
  CaptureStdout out;
  q.compute(contig);

  const Posdata& p0 = q.lnl->contig_data->positions[0];
  const std::vector<double>& s1 = p0.frequencies.at("s1");
  for (int b = 0; b < 4; ++b)
    EXPECT_DOUBLE_EQ(s1[b], 0.25);
  EXPECT_DOUBLE_EQ(p0.frequencies.at("s2")[0], 1.0);
  EXPECT_NEAR(p0.individuals[0].multinomial_term, -std::log(2.0), 1e-15);
  // Zero depth with the default minimum depth 1: no call at line 0, a call at line 1.
  EXPECT_EQ(p0.individuals[0].allele1, 100);
  EXPECT_EQ(q.lnl->contig_data->positions[1].individuals[0].allele1, 0);
  EXPECT_EQ(q.lnl->contig_data->positions[1].individuals[0].allele2, 1);
}

TEST(Quorlin, forbidden_policy_stops_with_status_0_at_the_first_multi_allelic_line)
{
  Stat stat;
  Quorlin q(&stat);
  q.multi_alleles = "forbidden";
  q.shared = true;
  activate(q, { 1 });
  AlrContig contig = make_contig("c", { { "s1", "a" }, { "s2", "b" } });
  for (int p = 0; p < 7; ++p)
    add_line(contig, "A", p % 2 == 0, { 6, 6, 0, 0, 8, 0, 0, 0 }); // two alleles at most
  add_line(contig, "A", true, { 6, 6, 0, 0, 3, 3, 3, 0 });         // index 7, second species
  add_line(contig, "A", true, { 6, 6, 6, 0, 3, 3, 3, 0 });         // index 8
  // Nothing may come before the message: no "paralogy=" line for the contig.
  ConsoleRecord record;
  int status = -1;
  {
    ConsoleCapture capture(record);
    try
    {
      q.compute(contig);
    }
    catch (const RunStop& stop)
    {
      status = stop.status;
    }
  }
  std::ostringstream out, err;
  record.replay(out, err);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out.str(), "More than 2 alleles detected at position 7\n");
}

TEST(Quorlin, multinomial_term_is_half_the_multinomial_coefficient)
{
  Stat stat;
  Quorlin q(&stat);
  Posdata position(3);
  std::valarray<unsigned int> counts = va({ 3, 1, 0, 0, 0, 0, 0, 0, 20, 0, 15, 40 });
  q.calculate_multinomial_terms(position, counts);
  auto lf = [](double n) { return std::lgamma(n + 1.0); };
  EXPECT_NEAR(position.individuals[0].multinomial_term, std::log(4.0 / 2.0), 1e-12);
  EXPECT_NEAR(position.individuals[1].multinomial_term, -std::log(2.0), 1e-15);
  EXPECT_NEAR(position.individuals[2].multinomial_term, lf(75) - lf(20) - lf(15) - lf(40) - std::log(2.0), 1e-9);
}

// ---------------------------------------------------------------------------------------------
// Contig without individuals

TEST(Quorlin, contig_without_individuals_prints_paralogy_0_and_goes_on)
{
  Stat stat;
  Quorlin q(&stat);
  q.shared = true;
  activate(q, { 1 });
  AlrContig contig = make_contig("empty", {});
  add_line(contig, "A", false, {});
  add_line(contig, "C", false, {});
  CaptureStdout out;
  q.compute(contig);
  const std::vector<std::string> lines = split_lines(out.text());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "paralogy=0");
  // Nothing to explain: the log-likelihood is 0, a possible case, not "-inf".
  EXPECT_TRUE(
    std::regex_match(lines[1], std::regex(std::string(kM1) + "\\tlnL=-?0\\t\\(epsilon=" + kNum + ", alpha=0\\)")))
    << lines[1];

  const std::string gen_path = temp_path("gen");
  {
    std::ofstream gen(gen_path);
    EXPECT_EQ(q.write_genotypes(contig, gen), ">empty\nposition\n1\n2\n");
  }
  EXPECT_EQ(read_file(gen_path), ">empty\nposition\n1\n2\n");
  std::remove(gen_path.c_str());

  // A separate fit over no species makes no fit, no final pass and no record.
  Quorlin sep(&stat);
  sep.separate = true;
  activate(sep, { 1 });
  CaptureStdout out2;
  sep.compute(contig);
  EXPECT_EQ(out2.text(), "paralogy=0\n");
  EXPECT_TRUE(sep.lnl->contig_data->aeb.empty());
  EXPECT_FALSE(sep.lnl->contig_data->failed);
}

// ---------------------------------------------------------------------------------------------
// Fits and model lines

namespace
{
const Simulation kSim = []
{
  Simulation s;
  s.depth = 12.0;
  s.error = 0.01;
  s.tstv = 2.0;
  s.bias = 0.3;
  s.snp_rate = 0.15;
  return s;
}();

People
ten_per_species(int nb_species)
{
  People people;
  for (int k = 0; k < 5; ++k)
    for (int s = 0; s < nb_species; ++s)
    {
      const std::string sp = "sp" + std::to_string(s + 1);
      people.emplace_back(sp, sp + "_" + std::to_string(k));
      people.emplace_back(sp, sp + "_" + std::to_string(k) + "b");
    }
  return people;
}

std::vector<std::string>
run_compute(Quorlin& q, AlrContig& contig)
{
  CaptureStdout out;
  q.compute(contig);
  return split_lines(out.text());
}

std::regex
shared_line(const char* model, const std::string& alpha)
{
  return std::regex(std::string(model) + "\\tlnL=" + kNum + "\\t\\(epsilon=" + kNum + ", alpha=" + alpha + "\\)");
}

std::regex
separate_line(const char* model)
{
  return std::regex(std::string("  --> ") + model + "\\tlnL=" + kNum);
}

double
lnL_of(const std::string& line)
{
  return std::stod(line.substr(line.find("lnL=") + 4));
}

double
epsilon_of(const std::string& line)
{
  return std::stod(line.substr(line.find("epsilon=") + 8));
}
} // namespace

TEST(Quorlin, default_run_prints_one_M1_line_and_estimates_the_simulated_error)
{
  Stat stat;
  Quorlin q(&stat);
  q.shared = true;
  activate(q, { 1 });
  AlrContig contig = simulate(11, ten_per_species(1), 400, kSim);
  const std::vector<std::string> lines = run_compute(q, contig);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(lines[1], shared_line(kM1, "0"))) << lines[1];
  // 48000 reads at 1% error: the estimate is within a few standard errors of the truth.
  EXPECT_NEAR(epsilon_of(lines[1]), 0.01, 0.002);
  EXPECT_NEAR(lnL_of(lines[1]), q.lnL_shared[1], 1e-5 * std::fabs(q.lnL_shared[1]));
  ASSERT_EQ(q.lnl->contig_data->err.size(), 1u);
  EXPECT_NEAR(q.lnl->contig_data->err[0].rate, 0.01, 0.002);
  EXPECT_NEAR(q.lnl->contig_data->err[0].tstv, 2.0, 1.0);
  EXPECT_DOUBLE_EQ(q.lnl->contig_data->aeb[0].mean, 0.0);
}

TEST(Quorlin, M2_alone_fits_the_bias)
{
  Stat stat;
  Quorlin q(&stat);
  q.shared = true;
  activate(q, { 2 });
  AlrContig contig = simulate(12, ten_per_species(1), 400, kSim);
  const std::vector<std::string> lines = run_compute(q, contig);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(lines[1], shared_line(kM2, kNum))) << lines[1];
  const double alpha = std::stod(lines[1].substr(lines[1].find("alpha=") + 6));
  EXPECT_NEAR(alpha, kSim.bias, 0.1);
  EXPECT_NEAR(q.lnl->contig_data->aeb[0].mean, alpha, 1e-5);
}

TEST(Quorlin, M1_and_M2_are_printed_in_order_and_the_last_given_makes_the_calls)
{
  Stat stat;
  AlrContig contig = simulate(13, ten_per_species(2), 300, kSim);
  for (unsigned int last : { 1u, 2u })
  {
    Quorlin q(&stat);
    q.shared = true;
    activate(q, { 1, 2 });
    q.model_index = last;
    AlrContig copy = contig;
    const std::vector<std::string> lines = run_compute(q, copy);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "Shared (across species) parameters:");
    EXPECT_TRUE(std::regex_match(lines[2], shared_line(kM1, "0"))) << lines[2];
    EXPECT_TRUE(std::regex_match(lines[3], shared_line(kM2, kNum))) << lines[3];
    // M1 is M2 without bias: the richer model fits at least as well.
    EXPECT_GE(q.lnL_shared[2], q.lnL_shared[1] - 1e-3);
    ASSERT_EQ(q.lnl->contig_data->aeb.size(), 1u);
    if (last == 1)
      EXPECT_EQ(q.lnl->contig_data->aeb[0].mean, 0.0);
    else
      EXPECT_NEAR(q.lnl->contig_data->aeb[0].mean, kSim.bias, 0.1);
  }
}

TEST(Quorlin, separate_fit_prints_per_model_sums_and_stores_one_record_per_species)
{
  Stat stat;
  AlrContig contig = simulate(14, ten_per_species(2), 300, kSim);

  Quorlin sh(&stat);
  sh.shared = true;
  activate(sh, { 1 });
  AlrContig c1 = contig;
  run_compute(sh, c1);

  Quorlin q(&stat);
  q.separate = true;
  activate(q, { 1, 2 });
  q.model_index = 1;
  AlrContig c2 = contig;
  const std::vector<std::string> lines = run_compute(q, c2);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], "Separate (between species) parameters:");
  EXPECT_TRUE(std::regex_match(lines[2], separate_line(kM1))) << lines[2];
  EXPECT_TRUE(std::regex_match(lines[3], separate_line(kM2))) << lines[3];
  EXPECT_EQ(lines[4], "");
  // The separate fit frees the parameters per species: its maximum is at least the shared one.
  EXPECT_GE(q.lnL_separate[1], sh.lnL_shared[1] - 1e-3);
  EXPECT_NEAR(lnL_of(lines[2]), q.lnL_separate[1], 1e-4 * std::fabs(q.lnL_separate[1]));
  ASSERT_EQ(q.lnl->contig_data->aeb.size(), 2u);
  ASSERT_EQ(q.lnl->contig_data->err.size(), 2u);
  EXPECT_NE(q.lnl->contig_data->err[0].rate, q.lnl->contig_data->err[1].rate);
}

TEST(Quorlin, all_prints_shared_then_separate_and_calls_with_the_separate_estimates)
{
  Stat stat;
  Quorlin q(&stat);
  q.shared = true;
  q.separate = true;
  q.best_genotype = true;
  activate(q, { 1 });
  AlrContig contig = simulate(15, ten_per_species(2), 200, kSim);
  const std::vector<std::string> lines = run_compute(q, contig);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1], "Shared (across species) parameters:");
  EXPECT_TRUE(std::regex_match(lines[2], shared_line(kM1, "0"))) << lines[2];
  EXPECT_EQ(lines[3], "Separate (between species) parameters:");
  EXPECT_TRUE(std::regex_match(lines[4], separate_line(kM1))) << lines[4];
  EXPECT_EQ(lines[5], "");
  ASSERT_EQ(q.lnl->contig_data->err.size(), 2u);
  // Every individual was reached by exactly one of the per-species passes.
  size_t called = 0;
  for (const Posdata& p : q.lnl->contig_data->positions)
    for (const Posdata::ind& ind : p.individuals)
      called += ind.allele1 != 100;
  EXPECT_GT(called, contig.lines.size() * 20 * 9 / 10);
}

namespace
{
// Perturbs each fitted parameter by +-rel and checks the log-likelihood does not rise.
void
expect_maximum(const FittedModel& fitted, const std::vector<std::string>& names, double rel)
{
  const double best = -fitted.function->getValue();
  std::unique_ptr<LnL_fct> probe(fitted.function->clone());
  // The function sits at the optimiser's answer.
  probe->setParameters(fitted.function->getParameters());
  EXPECT_NEAR(-probe->getValue(), -fitted.optimizer->getFunctionValue(), 1e-9 * std::fabs(best));
  for (const std::string& name : names)
  {
    const double value = fitted.function->getParameterValue(name);
    for (double factor : { 1.0 - rel, 1.0 + rel })
    {
      std::unique_ptr<LnL_fct> moved(fitted.function->clone());
      ParameterList list = moved->getParameters().subList(name);
      // A maximum on a bound has no neighbour beyond it.
      if (!list[0].getConstraint()->isCorrect(value * factor))
        continue;
      list[0].setValue(value * factor);
      moved->setParameters(list);
      EXPECT_LE(-moved->getValue(), best + 1e-7 * std::fabs(best)) << name << " x" << factor << " from " << value;
    }
  }
}
} // namespace

TEST(Quorlin, fitted_values_are_maxima_of_the_contig_likelihood)
{
  Stat stat;
  Quorlin q(&stat);
  q.shared = true;
  activate(q, { 1, 2 });
  AlrContig contig = simulate(16, ten_per_species(2), 300, kSim);
  run_compute(q, contig); // frequencies and multinomial terms

  SharedOptimizers shared(3);
  SeparateOptimizers separate = separate_table(2);
  {
    CaptureStdout out;
    q.dosh(contig, shared);
    q.dosep(contig, separate);
  }
  for (double rel : { 0.01, 0.05 })
  {
    expect_maximum(shared[1], { "er_beta", "er_tstv" }, rel);
    expect_maximum(shared[2], { "er_beta", "er_tstv", "aeb_beta" }, rel);
    for (size_t s = 0; s < 2; ++s)
    {
      expect_maximum(separate[1][s], { "er_beta", "er_tstv" }, rel);
      expect_maximum(separate[2][s], { "er_beta", "er_tstv", "aeb_beta" }, rel);
    }
  }
  // Parameters a model does not fit keep their start values.
  EXPECT_EQ(shared[1].function->getParameterValue("aeb_beta"), 9.0);
  EXPECT_EQ(shared[2].function->getParameterValue("er_alpha"), 1.0);
  EXPECT_EQ(shared[2].function->getParameterValue("aeb_alpha"), 1.0);
  // The separate lines' sums are the species' maxima added up.
  EXPECT_NEAR(q.lnL_separate[2],
              -separate[2][0].optimizer->getFunctionValue() - separate[2][1].optimizer->getFunctionValue(),
              1e-9);
}

TEST(Quorlin, each_species_fit_includes_exactly_its_own_individuals)
{
  Stat stat;
  Quorlin q(&stat);
  q.separate = true;
  activate(q, { 1 });
  AlrContig contig =
    simulate(17, { { "s1", "a" }, { "s2", "b" }, { "s1", "c" }, { "s3", "d" }, { "s2", "e" } }, 50, kSim);
  run_compute(q, contig);
  SeparateOptimizers separate = separate_table(3);
  {
    CaptureStdout out;
    q.dosep(contig, separate);
  }
  EXPECT_EQ(separate[1][0].function->engine().included, (std::vector<int>{ 0, 2 }));
  EXPECT_EQ(separate[1][1].function->engine().included, (std::vector<int>{ 1, 4 }));
  EXPECT_EQ(separate[1][2].function->engine().included, (std::vector<int>{ 3 }));
}

TEST(Quorlin, impossible_fit_prints_minus_inf_and_keeps_the_marker)
{
  Stat stat;
  Quorlin q(&stat);
  q.shared = true;
  q.multi_alleles = "accepted";
  activate(q, { 1 });
  // Without read errors no genotype produces three bases: the contig is impossible.
  q.models[1].no_error = true;
  AlrContig contig = make_contig("c", { { "s1", "a" } });
  add_line(contig, "A", true, { 3, 3, 3, 0 });
  const std::vector<std::string> lines = run_compute(q, contig);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], std::string("M1 [constant error, no bias]      ") + "\tlnL=-inf\t(epsilon=0, alpha=0)");
  EXPECT_GT(q.lnL_shared[1], 0.5);
}

TEST(Quorlin, separate_line_is_minus_inf_when_one_species_is_impossible)
{
  Stat stat;
  Quorlin q(&stat);
  q.separate = true;
  q.multi_alleles = "accepted";
  activate(q, { 1 });
  q.models[1].no_error = true;
  AlrContig contig = make_contig("c", { { "s1", "a" }, { "s2", "b" } });
  // s1 cannot be explained without errors; s2 is possible, with a log-likelihood far below
  // -102, so the plain sum of the two would look like a finite log-likelihood.
  add_line(contig, "A", true, { 3, 3, 3, 0, 5, 5, 0, 0 });
  for (int p = 0; p < 100; ++p)
    add_line(contig, "A", true, { 0, 0, 0, 0, 5, 5, 0, 0 });
  const std::vector<std::string> lines = run_compute(q, contig);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], std::string("  --> M1 [constant error, no bias]      ") + "\tlnL=-inf");
  EXPECT_LT(q.lnL_separate[1], -0.5);
}

TEST(Quorlin, uninformative_contig_is_possible_despite_rounding)
{
  Stat stat;
  Quorlin q(&stat);
  q.shared = true;
  q.fis = 0.001;
  q.min_coverage = 0;
  q.best_genotype = true;
  activate(q, { 1 });
  // "tolerated" zeroes the only species at every line: frequencies 0.25, no reads. The
  // log-likelihood is log(1) = 0, which rounding may turn into a few 1e-16.
  AlrContig contig = make_contig("c", { { "s1", "a" }, { "s1", "b" } });
  for (int p = 0; p < 40; ++p)
    add_line(contig, "A", true, { 3, 3, 3, 0, 0, 0, 0, 0 });
  const std::vector<std::string> lines = run_compute(q, contig);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "paralogy=40");
  ASSERT_TRUE(std::regex_match(lines[1], shared_line(kM1, "0"))) << lines[1];
  EXPECT_NEAR(lnL_of(lines[1]), 0.0, 1e-12);
  // The final pass ran: with minimum depth 0 everyone is called from the prior alone. The
  // best is the first heterozygote, AC: 2 x 0.0625 x 0.999 = 0.124875 against
  // 0.0625 + 0.001 x 0.1875 for a homozygote.
  const Posdata::ind& ind = q.lnl->contig_data->positions[39].individuals[1];
  EXPECT_EQ(ind.allele1, 0);
  EXPECT_EQ(ind.allele2, 1);
  EXPECT_NEAR(ind.call_posterior, 2 * 0.0625 * 0.999, 1e-12);
}

// ---------------------------------------------------------------------------------------------
// Fit failures

TEST(Quorlin, failed_fit_reports_marks_the_contig_and_writes_a_blank_block)
{
  Stat stat;
  Quorlin q(&stat);
  q.shared = true;
  activate(q, { 1, 2 });
  // A model with more bias classes than the engine holds makes every evaluation throw.
  q.models[2].nb_bias_classes = 4;
  AlrContig contig = simulate(18, { { "s1", "a" }, { "s1", "b" } }, 3, kSim);

  testing::internal::CaptureStderr();
  std::vector<std::string> lines = run_compute(q, contig);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR : Optimization failed\n");
  // The M1 line stays; there is no M2 line.
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(lines[1], shared_line(kM1, "0"))) << lines[1];
  EXPECT_TRUE(q.lnl->contig_data->failed);
  EXPECT_TRUE(q.lnl->contig_data->aeb.empty());
  EXPECT_EQ(q.lnl->contig_data->positions[0].individuals[0].allele1, 100);

  const std::string gen_path = temp_path("gen");
  const std::string dat_path = temp_path("dat");
  {
    std::ofstream gen(gen_path), dat(dat_path);
    EXPECT_EQ(q.write_genotypes(contig, gen), "");
    q.write_speciesdata(dat);
  }
  EXPECT_EQ(read_file(gen_path), ">sim18\nposition\ts1|a\ts1|b\n1\tNN|0\tNN|0\n2\tNN|0\tNN|0\n3\tNN|0\tNN|0\n");
  EXPECT_EQ(read_file(dat_path), "");
  EXPECT_EQ(q.nb_positions, 3u);
  EXPECT_EQ(q.nb_homozygous, 0u);
  EXPECT_EQ(q.nb_heterozygous, 0u); // nothing was called
  std::remove(gen_path.c_str());
  std::remove(dat_path.c_str());
}

TEST(Quorlin, my_optimize_is_silent_and_rethrows_library_errors_as_plain_exceptions)
{
  Stat stat;
  Quorlin q(&stat);
  AlrContig contig = simulate(20, { { "s1", "a" }, { "s1", "b" } }, 20, kSim);
  activate(q, { 1 });
  q.shared = true;
  run_compute(q, contig);
  q.lnl->model = &q.models[1];
  q.lnl->posterior_pass = false;
  {
    CaptureStdout out;
    testing::internal::CaptureStderr();
    FittedModel fitted = q.my_optimize();
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(fitted.function->getParameterValue("er_beta"), 100.0);
  }
  q.models[1].nb_error_classes = 4;
  try
  {
    q.my_optimize();
    FAIL() << "no exception";
  }
  catch (const Exception& e)
  {
    EXPECT_EQ(typeid(e), typeid(Exception));
    EXPECT_NE(std::string(e.what()).find("classes"), std::string::npos) << e.what();
  }
  // The separate fit passes it on after its header line.
  SeparateOptimizers separate = separate_table(1);
  CaptureStdout out;
  EXPECT_THROW(q.dosep(contig, separate), Exception);
  EXPECT_EQ(out.text(), "Separate (between species) parameters:\n");
}

// ---------------------------------------------------------------------------------------------
// Writers

namespace
{
void
set_call(Posdata::ind& ind, int a1, int a2, double posterior)
{
  ind.allele1 = a1;
  ind.allele2 = a2;
  ind.call_posterior = posterior;
}

// Contig c7: individuals a (s1), c (s2), b (s1), three positions with hand-set calls.
struct WrittenContig
{
  Stat stat;
  Quorlin q{ &stat };
  AlrContig contig = make_contig("c7", { { "s1", "a" }, { "s2", "c" }, { "s1", "b" } });

  WrittenContig()
  {
    add_line(contig, "A", true, { 9, 0, 0, 0, 0, 0, 0, 0, 5, 0, 4, 0 });
    add_line(contig, "C", false, { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 });
    add_line(contig, "A", true, { 0, 8, 0, 0, 0, 0, 0, 6, 0, 0, 7, 0 });
    q.lnl = std::make_unique<LnL>(&stat, &contig, &q.models[0], 1, 0.0);
    std::vector<Posdata>& pos = q.lnl->contig_data->positions;
    set_call(pos[0].individuals[0], 0, 0, 1.0);
    set_call(pos[0].individuals[2], 0, 2, 0.87);
    set_call(pos[2].individuals[0], 1, 1, 0.9999996);
    set_call(pos[2].individuals[1], 3, 3, 1e-05);
    set_call(pos[2].individuals[2], 2, 2, 0.95);
  }
};
} // namespace

TEST(Quorlin, gen_block_layout_posteriors_and_counters)
{
  WrittenContig w;
  const std::string path = temp_path("gen");
  std::string text;
  {
    std::ofstream gen(path);
    gen << "previous\n";
    text = w.q.write_genotypes(w.contig, gen);
  }
  const std::string expected = ">c7\n"
                               "position\ts1|a\ts2|c\ts1|b\n"
                               "1\tAA|1\tNN|0\tAG|0.87\n"
                               "2\tNN|0\tNN|0\tNN|0\n"
                               "3\tCC|1\tTT|1e-05\tGG|0.95\n";
  EXPECT_EQ(text, expected);
  EXPECT_EQ(read_file(path), "previous\n" + expected);
  EXPECT_EQ(w.q.nb_positions, 3u);
  EXPECT_EQ(w.q.nb_homozygous, 2u); // a position without any call counts as homozygous
  EXPECT_EQ(w.q.nb_paralogous, 0u);
  EXPECT_EQ(w.q.nb_checked, 0u);
  EXPECT_EQ(w.q.nb_in_error, 0u);

  // Counters restart with each contig; a record with one allele only is not a call.
  w.q.nb_checked = 7;
  w.q.nb_paralogous = 2;
  w.q.lnl->contig_data->positions[1].individuals[1].allele1 = 2;
  w.q.lnl->contig_data->positions[1].individuals[1].call_posterior = 0.5;
  {
    std::ofstream gen(path);
    EXPECT_EQ(w.q.write_genotypes(w.contig, gen), expected);
  }
  EXPECT_EQ(w.q.nb_homozygous, 2u);
  EXPECT_EQ(w.q.nb_checked, 0u);
  EXPECT_EQ(w.q.nb_paralogous, 0u);
  std::remove(path.c_str());
}

TEST(Quorlin, data_lines_shared_estimates_in_species_order)
{
  WrittenContig w;
  Contigdata& data = *w.q.lnl->contig_data;
  data.aeb.emplace_back();
  data.aeb[0].mean = 0.1;
  data.err.emplace_back();
  data.err[0].rate = 0.01;
  data.err[0].tstv = 4.0;
  data.species_data[1].multi_alleles_count = 2;
  const std::string path = temp_path("dat");
  {
    std::ofstream dat(path);
    w.q.write_speciesdata(dat);
  }
  EXPECT_EQ(read_file(path),
            "Species_name=s1;Allelic_expression_bias=0.1;Transversion_error_rate=0.01;Transition_error_rate=0.04;"
            "TsTv_ratio=4;Multi_alleles_positions=0;\n"
            "Species_name=s2;Allelic_expression_bias=0.1;Transversion_error_rate=0.01;Transition_error_rate=0.04;"
            "TsTv_ratio=4;Multi_alleles_positions=2;\n");
  EXPECT_EQ(data.species_data[1].transition_rate, 0.01 * 4.0);
  EXPECT_EQ(data.species_data[0].bias, 0.1);
  std::remove(path.c_str());
}

TEST(Quorlin, data_lines_separate_records_six_significant_digits)
{
  WrittenContig w;
  Contigdata& data = *w.q.lnl->contig_data;
  data.aeb.resize(2);
  data.err.resize(2);
  data.aeb[0].mean = 0.0;
  data.err[0].rate = 0.000123456789;
  data.err[0].tstv = 2.5;
  data.aeb[1].mean = 1.0 / 3.0;
  data.err[1].rate = 1.5e-5;
  data.err[1].tstv = 1234567.0;
  const std::string path = temp_path("dat");
  {
    std::ofstream dat(path);
    w.q.write_speciesdata(dat);
  }
  // 0.000123456789 x 2.5 = 0.0003086419725; 1.5e-5 x 1234567 = 18.518505.
  EXPECT_EQ(read_file(path),
            "Species_name=s1;Allelic_expression_bias=0;Transversion_error_rate=0.000123457;"
            "Transition_error_rate=0.000308642;TsTv_ratio=2.5;Multi_alleles_positions=0;\n"
            "Species_name=s2;Allelic_expression_bias=0.333333;Transversion_error_rate=1.5e-05;"
            "Transition_error_rate=18.5185;TsTv_ratio=1.23457e+06;Multi_alleles_positions=0;\n");
  std::remove(path.c_str());
}

TEST(Quorlin, data_lines_write_NA_for_unset_values_and_names_and_nothing_for_failed_contigs)
{
  WrittenContig w;
  w.q.lnl->contig_data->species_data[0].name = "";
  const std::string path = temp_path("dat");
  {
    std::ofstream dat(path);
    w.q.write_speciesdata(dat);
    w.q.lnl->contig_data->failed = true;
    w.q.write_speciesdata(dat);
  }
  EXPECT_EQ(read_file(path),
            "Species_name=NA;Allelic_expression_bias=NA;Transversion_error_rate=NA;"
            "Transition_error_rate=NA;TsTv_ratio=NA;Multi_alleles_positions=0;\n"
            "Species_name=s2;Allelic_expression_bias=NA;Transversion_error_rate=NA;"
            "Transition_error_rate=NA;TsTv_ratio=NA;Multi_alleles_positions=0;\n");
  std::remove(path.c_str());
}

namespace
{
// Twenty individuals all read 30 A and 10 C at line 0, and are called AC there: two collapsed
// loci, not one. Line 1 is an ordinary monomorphic line.
struct ParalogousContig
{
  Stat stat;
  Quorlin q{ &stat };
  AlrContig contig;

  ParalogousContig()
  {
    People people;
    for (int i = 0; i < 20; ++i)
      people.emplace_back("s1", "i" + std::to_string(i));
    contig = make_contig("para", people);
    std::vector<unsigned int> het, hom;
    for (int i = 0; i < 20; ++i)
    {
      het.insert(het.end(), { 30, 10, 0, 0 });
      hom.insert(hom.end(), { 30, 0, 0, 0 });
    }
    add_line(contig, "A", true, het);
    add_line(contig, "A", false, hom);
    q.lnl = std::make_unique<LnL>(&stat, &contig, &q.models[0], 1, 0.0);
    q.lnl->contig_data->err.emplace_back();
    q.lnl->contig_data->err[0].rate = 0.01;
    q.lnl->contig_data->err[0].tstv = 2.0;
    for (int i = 0; i < 20; ++i)
    {
      set_call(q.lnl->contig_data->positions[0].individuals[i], 0, 1, 1.0);
      set_call(q.lnl->contig_data->positions[1].individuals[i], 0, 0, 1.0);
    }
    q.use_kestrin = true;
  }
};
} // namespace

TEST(Quorlin, flagged_position_is_blanked_or_drops_the_contig)
{
  std::string blank, homs;
  for (int i = 0; i < 20; ++i)
  {
    blank += "\tNN|0";
    homs += "\tAA|1";
  }
  for (bool skip : { false, true })
  {
    ParalogousContig w;
    w.q.skip_paralogous = skip;
    const std::string path = temp_path(skip ? "skip" : "blank");
    std::string text;
    {
      CaptureStdout out;
      std::ofstream gen(path);
      text = w.q.write_genotypes(w.contig, gen);
    }
    EXPECT_EQ(read_file(path), text);
    EXPECT_EQ(w.q.nb_checked, 1u);
    if (skip)
    {
      // Dropped at its first position: nothing written, that position paralogous, the one
      // after it never examined.
      EXPECT_EQ(text, "");
      EXPECT_EQ(w.q.nb_homozygous, 0u);
      EXPECT_EQ(w.q.nb_heterozygous, 0u);
      EXPECT_EQ(w.q.nb_paralogous, 1u);
    }
    else
    {
      const std::vector<std::string> lines = split_lines(text);
      ASSERT_EQ(lines.size(), 4u);
      EXPECT_EQ(lines[2], "1" + blank);
      EXPECT_EQ(lines[3], "2" + homs);
      EXPECT_EQ(w.q.nb_paralogous, 1u);
      EXPECT_EQ(w.q.nb_homozygous, 1u);
    }
    std::remove(path.c_str());
  }
}

TEST(Quorlin, filter_without_flags_leaves_the_block_unchanged)
{
  WrittenContig with, without;
  with.q.use_kestrin = true;
  with.q.lnl->contig_data->err.emplace_back();
  const std::string path = temp_path("gen");
  std::ofstream gen(path);
  std::string a, b;
  {
    CaptureStdout out;
    a = with.q.write_genotypes(with.contig, gen);
  }
  b = without.q.write_genotypes(without.contig, gen);
  EXPECT_EQ(a, b);
  std::remove(path.c_str());
}
