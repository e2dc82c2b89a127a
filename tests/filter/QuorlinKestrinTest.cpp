#include "engine/Quorlin.h"

#include "stat/Console.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace bpp;

TEST(QuorlinKestrin, flags_below_the_threshold_or_on_a_failed_test_at_the_chosen_error_rate)
{
  // Twelve individuals, A C G T each. Two collapsed loci with equal shares of the reads: locus 1
  // fixed for A, locus 2 at 1/2 over A and G; its heterozygotes read about 3:1, which one locus
  // explains badly.
  // clang-format off
  const std::valarray<unsigned int> kTwoLoci = { 20, 0, 0, 0, 19, 0, 0, 0, 21, 0, 0, 0, 15, 0, 5, 0, 14, 0, 6, 0,
                                                 16, 0, 5, 0, 15, 0, 4, 0, 13, 0, 6, 0, 15, 0, 5, 0, 10, 0, 10, 0,
                                                 11, 0, 9, 0, 9, 0, 10, 0 };
  std::valarray<unsigned int> stray = kTwoLoci, empty(0u, 48);
  stray[4 * 5 + 1] = 1; // a C read, which no genotype explains at error rate 0
  const struct { std::valarray<unsigned int> counts; double cap, rate, tstv, threshold;
                 bool keep_unknown, dirichlet, flagged, failed; double epsilon; } rows[] = {
    { kTwoLoci, 0.01, 0.004, 5, 0.001, false, false, true, false, 0.01 },  // the -err cap is below rate x tstv
    { kTwoLoci, 0.01, 0.001, 2, 0.001, false, false, true, false, 0.002 }, // and here above it
    { kTwoLoci, 0.01, 0.004, 5, 0.0, false, false, false, false, 0.01 },   // -thr 0 flags failures only
    { kTwoLoci, 0.01, 0.01, 1, 0.05, false, true, true, false, 0.01 },     // Dirichlet reads
    { stray, 0.0, 0.01, 1, 0.001, false, false, true, true, 0 },           // the stray read fails the test
    { stray, 0.0, 0.01, 1, 0.001, true, false, false, true, 0 },           // -kun keeps the position
    { stray, 0.0, 0.01, 1, 0.001, false, true, false, false, 0 },          // which Dirichlet reads allow
    { kTwoLoci, 0.01, NAN, 1, 0.001, false, false, true, true, NAN },      // a rate that is not a number
    { empty, 0.01, 0.01, 1, 0.001, false, false, true, true, 0.01 },       // no reads of the two main bases
  };
  // clang-format on
  for (const auto& r : rows)
  {
    Stat stat;
    Quorlin q(&stat);
    AlrContig contig;
    q.lnl = std::make_unique<LnL>(&stat, &contig, &q.models[0], 1, 0.0);
    q.lnl->contig_data->err = { { r.rate, r.tstv, {}, {}, {} }, { 0.3, 1.0, {}, {}, {} } }; // only the first is read
    q.max_error = r.cap;
    q.threshold = r.threshold;
    q.keep_unknown = r.keep_unknown;
    q.dirichlet = r.dirichlet;
    q.fis = 0.1;
    Alrline line{ "A", true, r.counts };
    ConsoleRecord record;
    ConsoleCapture capture(record);
    EXPECT_EQ(q.kestrin(line, true, 0), r.flagged) << r.threshold << " " << r.dirichlet;
    // Not tested: a line without a heterozygous call, or not marked polymorphic.
    const bool untested = q.kestrin(line, false, 1);
    line.polymorphic = false;
    EXPECT_FALSE(untested || q.kestrin(line, true, 2));
    EXPECT_EQ(std::make_pair(q.nb_checked, q.nb_in_error), std::make_pair(1u, r.failed ? 1u : 0u));
    EXPECT_EQ(std::to_string(stat.epsilon), std::to_string(r.epsilon));
    EXPECT_EQ(stat.fis, 0.1);
    EXPECT_TRUE((line.counts == r.counts).min()); // the test sorts a copy
  }
}

TEST(QuorlinKestrin, spa_drops_the_contig_at_a_flagged_position_after_counting_the_earlier_ones)
{
  Stat stat;
  Quorlin q(&stat);
  AlrContig contig;
  contig.ind_names = { "i" };
  contig.ind_species = { "s" };
  contig.species_count["s"] = 1;
  // AA, AG, AA, AG, AG; the stray T read of line 4 fails the test at error rate 0.
  const std::vector<std::valarray<unsigned int>> lines = {
    { 20, 0, 0, 0 }, { 10, 0, 10, 0 }, { 20, 0, 0, 0 }, { 10, 0, 10, 1 }, { 10, 0, 10, 0 }
  };
  for (const auto& counts : lines)
    contig.lines.push_back(Alrline{ "A", counts[2] > 0, counts });
  q.models[1].active = q.shared = q.best_genotype = q.use_kestrin = q.skip_paralogous = true; // M1, as by default
  q.max_error = 0.0;
  std::ostringstream gen;
  ConsoleRecord record;
  ConsoleCapture capture(record);
  q.compute(contig);
  EXPECT_EQ(q.write_genotypes(contig, gen), "");
  // Homozygous, heterozygous, checked (line 5 is not reached), paralogous, in error.
  EXPECT_EQ(
    (std::vector<unsigned int>{ q.nb_homozygous, q.nb_heterozygous, q.nb_checked, q.nb_paralogous, q.nb_in_error }),
    (std::vector<unsigned int>{ 2, 1, 2, 1, 1 }));
}
