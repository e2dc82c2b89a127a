#include "baseline_lnl.h"
#include "sim_contig.h"

#include "engine/Quorlin.h"
#include "stat/Console.h"

#include <Bpp/Numeric/Random/RandomTools.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>

using namespace bpp;

namespace
{
using Lines = std::vector<std::vector<unsigned int>>;

// One letter per individual names its species; a line holds four counts per individual.
AlrContig
contig_of(const std::string& species, const Lines& lines)
{
  AlrContig c;
  c.name = "c";
  for (size_t i = 0; i < species.size(); ++i)
  {
    c.ind_species.emplace_back(1, species[i]);
    c.ind_names.push_back("i" + std::to_string(i));
    c.species_count[c.ind_species.back()]++;
  }
  for (const auto& n : lines)
    c.lines.push_back({ "A", true, std::valarray<unsigned int>(n.data(), n.size()) });
  return c;
}

// A contig's engine as the pipeline hands it to the fits.
struct Engine
{
  Stat stat;
  Model model;
  AlrContig contig;
  LnL lnl;
  Engine(AlrContig c, unsigned int min_depth = 1, double fis = 0.0)
    : contig(std::move(c))
    , lnl(&stat, &contig, &model, min_depth, fis)
  {
    quorlin_bench::prepare_engine(lnl, stat);
    lnl.best_genotype = lnl.posterior_pass = true;
  }
  double run() { return lnl.lnL(1.0, 99.0, 4.0, 1.0, 9.0); }
  Posdata& pos(size_t p) { return lnl.contig_data->positions[p]; }
};

std::string
calls(const Posdata& position)
{
  std::string out;
  for (const Posdata::ind& i : position.individuals)
    out += i.allele1 > 3 || i.allele2 > 3 ? " NN" : std::string{ ' ', "ACGT"[i.allele1], "ACGT"[i.allele2] };
  return out.substr(1);
}

// What @p f prints on the console, in order, and the status of the run stop it throws (-1: none).
std::pair<std::string, int>
console(const std::function<void()>& f)
{
  ConsoleRecord record;
  int status = -1;
  try
  {
    ConsoleCapture capture(record);
    f();
  }
  catch (const RunStop& stop)
  {
    status = stop.status;
  }
  std::ostringstream text;
  record.replay(text, text);
  return { text.str(), status };
}
} // namespace

// The engine keeps what earlier evaluations worked out; after any change of what the
// likelihood reads, it must give the double that the plain formulas give afresh.
TEST(LnLCache, every_change_between_evaluations_reaches_the_next_value)
{
  quorlin_bench::SimSettings sim;
  sim.positions = 40;
  sim.individuals = 3;
  sim.snp_rate = 0.3;
  Engine e(quorlin_bench::simulate_contig(7, sim));
  e.lnl.posterior_pass = false;
  const std::vector<Model> m = Quorlin(&e.stat).models; // M0, M1, M2
  std::valarray<unsigned int>& n = e.contig.lines[0].counts;
  std::vector<double>& f = e.pos(0).frequencies[e.contig.ind_species[0]];
  std::vector<int>& in = e.lnl.included;
  struct Step
  {
    const char* change;
    std::function<void()> apply;
    double er_alpha = 1, er_beta = 37.3, er_tstv = 1.7, aeb_alpha = 1, aeb_beta = 2.2;
  };
  // clang-format off
  const Step steps[] = {
    { "start values", [&] { e.model = m[2]; }, 1, 100, 4, 1, 9 },
    { "nothing", [] {}, 1, 100, 4, 1, 9 },
    { "error rate", [] {}, 1, 37.3, 4, 1, 9 },
    { "ts/tv", [] {}, 1, 37.3, 1.7, 1, 9 },
    { "bias", [] {} },
    { "one species of an interleaved header", [&] { in = { 1, 3, 5 }; } },
    { "others, reordered and repeated", [&] { in = { 4, 0, 2, 2 }; } },
    { "nobody", [&] { in.clear(); } },
    { "everyone", [&] { in = { 0, 1, 2, 3, 4, 5 }; } },
    { "F", [&] { e.lnl.fis = 0.25; } },
    { "F = 1", [&] { e.lnl.fis = 1.0; } },
    { "F = 0", [&] { e.lnl.fis = 0.0; } },
    { "reads zeroed", [&] { n[std::slice(8, 4, 1)] = 0u; } },
    { "one more A", [&] { n[12] += 1; } },
    { "one more T", [&] { n[15] += 1; } },
    { "multinomial term", [&] { e.pos(0).individuals[3].multinomial_term -= 1.5; } },
    { "frequencies", [&] { f = { 0.7, 0.1, 0.1, 0.1 }; } },
    { "a frequency to 0", [&] { f[1] = 0.0; } },
    { "no bias", [&] { e.model = m[1]; } },
    { "no error", [&] { e.model = m[0]; } },
    { "3 error classes", [&] { e.model = m[2]; e.model.nb_error_classes = 3; }, 2, 60, 3, 0.7, 5 },
    { "3 bias classes", [&] { e.model = m[2]; e.model.nb_bias_classes = 3; }, 2, 60, 3, 0.7, 5 },
    { "2 and 3 classes", [&] { e.model.nb_error_classes = 2; }, 0.5, 300, 1.2, 2, 20 },
    { "at the bounds", [&] { e.model = m[2]; }, 1, 1 + 1e-9, 0.05, 1, 1 + 1e-9 },
    { "shapes of 0", [] {}, 0, 100, 4, 0, 9 },
  };
  // clang-format on
  int likelihoods = 0;
  for (const Step& s : steps)
  {
    s.apply();
    const double fresh = quorlin_bench::baseline_lnL(e.lnl, s.er_alpha, s.er_beta, s.er_tstv, s.aeb_alpha, s.aeb_beta);
    const double value = e.lnl.lnL(s.er_alpha, s.er_beta, s.er_tstv, s.aeb_alpha, s.aeb_beta);
    EXPECT_EQ(std::memcmp(&value, &fresh, sizeof value), 0) << s.change << ": " << value << " vs " << fresh;
    likelihoods += value < -1.0;
  }
  EXPECT_GE(likelihoods, 20); // not just impossibility markers
}

TEST(LnL, impossible_cases_give_markers_above_the_bound)
{
  // Individual 0 reads three bases at line 1: impossible without read errors.
  Engine e(contig_of("ss", { { 2, 0, 0, 0, 0, 1, 0, 1 }, { 1, 1, 1, 0, 0, 3, 0, 0 } }));
  e.model.no_error = true;
  EXPECT_EQ(e.run(), 102.0);
  EXPECT_EQ(e.lnl.calculate_lnL_contig(), 101.0);
  EXPECT_EQ(e.lnl.calculate_lnL_pos(&e.pos(1), &e.contig.lines[1], 0.0, 0), 105.0);
  e.model.no_error = false;
  EXPECT_LT(e.run(), -1.0);
}

TEST(LnL, best_calls_ties_rounding_residues_and_the_minimum_depth)
{
  struct Row
  {
    const char* what;
    Lines lines; // of three individuals of one species
    unsigned int min_depth;
    double fis;
    std::string calls; // at line 0
    double posterior;  // of individual 0's call
  };
  const std::vector<unsigned int> none(12, 0), some = { 5, 0, 0, 0, 3, 2, 0, 0, 0, 4, 0, 0 };
  // clang-format off
  const Row rows[] = {
    // Without reads the log-likelihood, 0 in exact arithmetic, rounds to a few 1e-16.
    { "prior alone: six heterozygotes tie", { none, some }, 0, 0.001, "AC AC AC", 2 * 0.0625 * 0.999 },
    { "AA and CC tie at F = 1", { { 0, 0, 0, 0, 4, 0, 0, 0, 0, 4, 0, 0 } }, 0, 1.0, "AA AA CC", 0.5 },
    { "prior with F = 0.3", { { 0, 0, 0, 0, 3, 2, 0, 0, 0, 0, 0, 0 } }, 0, 0.3, "AA AC AA", 0.36 + 0.3 * 0.6 * 0.4 },
    { "depth equal to the minimum", { { 0, 0, 0, 0, 3, 2, 0, 0, 0, 0, 0, 0 } }, 5, 0.3, "NN AC NN", 0.0 },
    { "depth below the minimum", { { 0, 0, 0, 0, 3, 2, 0, 0, 0, 0, 0, 0 } }, 6, 0.3, "NN NN NN", 0.0 },
  };
  // clang-format on
  for (const Row& r : rows)
  {
    Engine e(contig_of("sss", r.lines), r.min_depth, r.fis);
    EXPECT_TRUE(LnL::is_loglik(e.run())) << r.what;
    EXPECT_EQ(calls(e.pos(0)), r.calls) << r.what;
    EXPECT_NEAR(e.pos(0).individuals[0].call_posterior, r.posterior, 1e-12) << r.what;
  }
}

TEST(LnL, drawn_call_is_the_first_genotype_whose_running_sum_reaches_the_draw)
{
  // Rounded posteriors may add up to a little less than 1: a draw beyond them goes to the last
  // genotype with any mass, not to TT.
  Posdata position(1);
  Posdata::ind& ind = position.individuals[0];
  ind.posteriors[0][0] = 0.25;
  ind.posteriors[0][1] = 0.5;
  ind.posteriors[1][1] = 0.2499999999999;
  const std::pair<double, const char*> rows[] = { { 0.0, "AA" },  { 0.25, "AA" }, { 0.2500001, "AC" },
                                                  { 0.75, "AC" }, { 0.9, "CC" },  { 1.0, "CC" } };
  for (const auto& r : rows)
  {
    LnL::call_drawn(ind, r.first);
    EXPECT_EQ(calls(position), r.second) << r.first;
    EXPECT_EQ(ind.call_posterior, ind.posteriors[ind.allele1][ind.allele2]);
  }
}

TEST(LnL, random_calls_use_one_draw_per_included_individual_and_follow_the_posteriors)
{
  // Individual 1 has no read: below the minimum depth, not called, but it takes its draw.
  // Individual 2 is not included and keeps its blank record.
  Engine e(contig_of("sss", { { 1, 1, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0 } }));
  e.lnl.included = { 1, 0 };
  e.lnl.best_genotype = false;
  RandomTools::setSeed(20240611);
  std::map<std::string, double> share;
  const int draws = 20000;
  for (int r = 0; r < draws; ++r)
  {
    e.run();
    share[calls(e.pos(0))] += 1.0 / draws;
  }
  const double next = RandomTools::giveRandomNumberBetweenZeroAndEntry(1.0);
  RandomTools::setSeed(20240611);
  for (int r = 0; r < 2 * draws; ++r)
    RandomTools::giveRandomNumberBetweenZeroAndEntry(1.0);
  EXPECT_EQ(next, RandomTools::giveRandomNumberBetweenZeroAndEntry(1.0));
  const double(&post)[4][4] = e.pos(0).individuals[0].posteriors;
  EXPECT_GT(post[0][0], 0.002); // AA too is drawn now and then
  EXPECT_NEAR(share["AA NN NN"], post[0][0], 0.015);
  EXPECT_NEAR(share["AC NN NN"], post[0][1], 0.015);
  EXPECT_NEAR(share["CC NN NN"], post[1][1], 0.015);
}

TEST(Quorlin, forbidden_policy_stops_the_run_at_the_first_P_line_with_a_third_allele)
{
  Stat stat;
  Quorlin q(&stat);
  q.multi_alleles = "forbidden";
  q.shared = q.models[1].active = true;
  // An allele needs more than 2 reads and at least 5% of the individual's reads.
  // clang-format off
  AlrContig c = contig_of("sst", { { 6, 6, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0 },
                                   { 6, 6, 6, 0, 8, 0, 0, 0, 0, 0, 0, 0 },     // not a P line
                                   { 2, 2, 2, 10, 0, 0, 0, 0, 0, 0, 0, 0 },    // 2 reads
                                   { 3, 3, 3, 100, 0, 0, 0, 0, 0, 0, 0, 0 },   // 3 of 109 reads
                                   { 9, 9, 0, 0, 0, 0, 9, 9, 0, 0, 0, 0 },     // two per individual
                                   { 0, 0, 0, 0, 0, 0, 0, 0, 3, 3, 3, 51 } }); // 3 of 60 reads
  // clang-format on
  c.lines[1].polymorphic = false;
  long stopped_at = -1;
  EXPECT_EQ(console([&] {
              try
              {
                q.compute(c);
              }
              catch (const MultiAlleleStop& stop)
              {
                stopped_at = static_cast<long>(stop.position);
              }
            }),
            std::make_pair(std::string("More than 2 alleles detected at position 5\n"), -1));
  EXPECT_EQ(stopped_at, 5);
}

TEST(Quorlin, separate_fit_of_an_impossible_species_makes_the_sum_minus_inf)
{
  Stat stat;
  Quorlin q(&stat);
  q.separate = q.models[1].active = q.models[1].no_error = true;
  q.multi_alleles = "accepted";
  // Species s reads three bases once, impossible without read errors; t and u are possible,
  // with log-likelihoods far below -102, so a plain sum would pass for a likelihood.
  Lines lines(100, { 0, 0, 0, 0, 5, 5, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 5, 5, 0, 0 });
  lines[0][0] = lines[0][1] = lines[0][2] = 3;
  AlrContig c = contig_of("stsut", lines);
  EXPECT_EQ(
    console([&] { EXPECT_TRUE(q.fit(c)); }).first,
    "paralogy=0\nSeparate (between species) parameters:\n  --> M1 [constant error, no bias]      \tlnL=-inf\n\n");
}

// Each species' fit must see its own individuals and its own priors, whatever the header's order
// and however many fits came before it on the same engine: its estimates are then, bit for bit,
// those of a fit of a contig that holds that species alone.
TEST(Quorlin, separate_estimates_are_those_of_each_species_fitted_alone)
{
  quorlin_bench::SimSettings sim;
  sim.positions = 60;
  sim.species = 3;
  sim.individuals = 3;
  sim.snp_rate = 0.3;
  const AlrContig whole = quorlin_bench::simulate_contig(11, sim);
  auto fitted = [](AlrContig c, bool separate)
  {
    Stat stat;
    Quorlin q(&stat);
    q.shared = !separate;
    q.separate = separate;
    q.model_index = 2;
    q.models[1].active = q.models[2].active = true;
    console([&] { EXPECT_TRUE(q.fit(c)); });
    return separate ? q.separate_fits : SeparateOptimizers(1, q.shared_fits);
  };
  const SeparateOptimizers per_species = fitted(whole, true);
  const auto species = Quorlin::species_in_header_order(whole);
  ASSERT_EQ(species.size(), 3u);
  for (size_t s = 0; s < species.size(); ++s)
  {
    AlrContig alone = whole;
    alone.ind_names.clear();
    alone.ind_species.clear();
    alone.species_count = { { species[s].first, static_cast<unsigned int>(species[s].second.size()) } };
    for (int i : species[s].second)
    {
      alone.ind_names.push_back(whole.ind_names[static_cast<size_t>(i)]);
      alone.ind_species.push_back(species[s].first);
    }
    for (size_t p = 0; p < alone.lines.size(); ++p)
    {
      std::valarray<unsigned int> counts(4 * species[s].second.size());
      for (size_t k = 0; k < species[s].second.size(); ++k)
        counts[std::slice(4 * k, 4, 1)] = whole.lines[p].counts[std::slice(4 * species[s].second[k], 4, 1)];
      alone.lines[p].counts = counts;
    }
    const SharedOptimizers shared_alone = fitted(alone, false)[0];
    for (size_t m = 1; m <= 2; ++m)
    {
      const FitEstimates& a = per_species[m][s];
      const FitEstimates& b = shared_alone[m];
      ASSERT_TRUE(a.fitted && b.fitted) << s << " M" << m;
      EXPECT_EQ(std::memcmp(&a.er_beta, &b.er_beta, sizeof(double)), 0) << s << " M" << m;
      EXPECT_EQ(std::memcmp(&a.er_tstv, &b.er_tstv, sizeof(double)), 0) << s << " M" << m;
      EXPECT_EQ(std::memcmp(&a.aeb_beta, &b.aeb_beta, sizeof(double)), 0) << s << " M" << m;
    }
  }
}

TEST(Quorlin, gen_block_and_counts_of_homozygous_heterozygous_and_paralogous_positions)
{
  // Twenty individuals read 30 A and 10 C at line 0 and are called AC: too even for one locus,
  // the filter flags it. Line 1 is all AA; at line 2 only allele 1 is set, which is no call.
  AlrContig c = contig_of(std::string(20, 's'), Lines(3, std::vector<unsigned int>(80, 0)));
  for (size_t i = 0; i < 80; i += 4)
    c.lines[0].counts[i] = c.lines[1].counts[i] = 30, c.lines[0].counts[i + 1] = 10;
  auto row = [](const std::string& first, const std::string& cell, bool numbered = false)
  {
    std::string s = first;
    for (int i = 0; i < 20; ++i)
      s += "\t" + cell + (numbered ? std::to_string(i) : "");
    return s + "\n";
  };
  const std::string head = ">c\n" + row("position", "s|i", true), tail = row("2", "AA|1") + row("3", "NN|0");
  struct Row
  {
    bool kestrin, skip, failed;
    std::string gen;
    unsigned int homozygous, heterozygous, paralogous;
  };
  const Row rows[] = {
    { false, false, false, head + row("1", "AC|1") + tail, 2, 1, 0 },
    { true, false, false, head + row("1", "NN|0") + tail, 2, 0, 1 },
    { true, true, false, "", 0, 0, 1 },
    { false, false, true, head + row("1", "NN|0") + row("2", "NN|0") + row("3", "NN|0"), 0, 0, 0 },
  };
  for (const Row& r : rows)
  {
    Stat stat;
    Quorlin q(&stat);
    q.use_kestrin = r.kestrin;
    q.skip_paralogous = r.skip;
    std::ostringstream gen;
    std::string text;
    const auto printed = console(
      [&]
      {
        if (r.failed)
        {
          // An engine holds three classes at most: the first evaluation throws.
          q.shared = q.models[1].active = true;
          q.models[1].nb_error_classes = 4;
          EXPECT_FALSE(q.fit(c));
          q.write_speciesdata(gen); // no .data line either
        }
        else
        {
          q.lnl = std::make_unique<LnL>(&stat, &c, &q.models[0], 1, 0.0);
          q.lnl->contig_data->err.push_back({ 0.01, 2.0, {}, {}, {} });
          for (size_t p = 0; p < 3; ++p)
            for (Posdata::ind& ind : q.lnl->contig_data->positions[p].individuals)
              ind = { 0.0, {}, 0, p == 0 ? 1 : p == 1 ? 0 : 100, 1.0 };
        }
        text = q.write_genotypes(c, gen);
      });
    EXPECT_EQ(gen.str(), r.gen);
    EXPECT_EQ(text, r.failed ? "" : r.gen);
    EXPECT_EQ(printed.first.find("ERROR : Optimization failed\n") != std::string::npos, r.failed);
    EXPECT_EQ(q.nb_positions, 3u);
    EXPECT_EQ(q.nb_homozygous, r.homozygous);
    EXPECT_EQ(q.nb_heterozygous, r.heterozygous);
    EXPECT_EQ(q.nb_paralogous, r.paralogous);
  }
}
