// The filter inside the genotype writer: blanking flagged positions, or dropping the whole
// contig at the first one with "-spa", and the counters the summary prints.

#include "engine/Quorlin.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace bpp;

namespace
{
const size_t kIndividuals = 12;

std::vector<unsigned int> homozygous_a()
{
  std::vector<unsigned int> c;
  for (size_t i = 0; i < kIndividuals; ++i)
    c.insert(c.end(), {static_cast<unsigned int>(10 + i % 3), 0, 0, 0});
  return c;
}

// Half the individuals read A and G equally (clear heterozygotes), the others only A.
std::vector<unsigned int> heterozygous_ag(bool stray_t_read)
{
  std::vector<unsigned int> c;
  for (size_t i = 0; i < kIndividuals; ++i)
    if (i % 2 == 0)
      c.insert(c.end(), {10, 0, 10, 0});
    else
      c.insert(c.end(), {20, 0, 0, 0});
  if (stray_t_read)
    c[4 * 1 + 3] = 1;
  return c;
}

void add(AlrContig& contig, bool polymorphic, const std::vector<unsigned int>& counts)
{
  Alrline line;
  line.label = "A";
  line.polymorphic = polymorphic;
  line.counts = std::valarray<unsigned int>(counts.data(), counts.size());
  contig.lines.push_back(line);
}

// Positions: the flagged one (a stray read of a third base fails the test at error rate 0)
// at `flagged_at`, clean heterozygous positions and homozygous ones elsewhere.
AlrContig make_contig(size_t flagged_at)
{
  AlrContig contig;
  contig.name = "c1";
  for (size_t i = 0; i < kIndividuals; ++i)
  {
    contig.ind_names.push_back("i" + std::to_string(i));
    contig.ind_species.push_back("s");
  }
  contig.species_count["s"] = kIndividuals;
  for (size_t p = 0; p < 6; ++p)
  {
    if (p == flagged_at)
      add(contig, true, heterozygous_ag(true));
    else if (p % 2 == 1)
      add(contig, true, heterozygous_ag(false));
    else
      add(contig, false, homozygous_a());
  }
  return contig;
}

struct Written
{
  std::string text; // returned genotype text
  std::string gen;  // what reached the .gen file
  std::string out;  // standard output of write_genotypes
};

Written run(Quorlin& q, AlrContig& contig)
{
  Written r;
  std::ostringstream captured;
  std::streambuf* old = std::cout.rdbuf(captured.rdbuf());
  q.compute(contig);
  const std::string path = ::testing::TempDir() + "filter_spa_" + std::to_string(::getpid()) + ".gen";
  {
    std::ofstream gen(path);
    captured.str("");
    r.text = q.write_genotypes(contig, gen);
    r.out = captured.str();
  }
  std::cout.rdbuf(old);
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  r.gen = s.str();
  std::remove(path.c_str());
  return r;
}

void configure(Quorlin& q, bool skip)
{
  q.models[1].active = true;
  q.model_index = 1;
  q.shared = true;
  q.best_genotype = true;
  q.use_kestrin = true;
  q.skip_paralogous = skip;
}

std::vector<std::string> lines(const std::string& text)
{
  std::vector<std::string> v;
  std::istringstream in(text);
  std::string l;
  while (std::getline(in, l))
    v.push_back(l);
  return v;
}
} // namespace

TEST(SkipParalogous, first_flagged_position_drops_the_contig)
{
  Stat stat;
  Quorlin q(&stat);
  configure(q, true);
  AlrContig contig = make_contig(3);
  Written r = run(q, contig);
  EXPECT_EQ(r.text, "");
  EXPECT_EQ(r.gen, "");
  // Position 2 (index 1) is tested and passes; position 4 fails and stops the contig.
  EXPECT_EQ(q.nb_positions, 6u);
  EXPECT_EQ(q.nb_homozygous, 2u);
  EXPECT_EQ(q.nb_checked, 2u);
  EXPECT_EQ(q.nb_paralogous, 0u);
  EXPECT_EQ(q.nb_in_error, 1u);
  const std::vector<std::string> printed = lines(r.out);
  ASSERT_EQ(printed.size(), 2u);
  EXPECT_EQ(printed[0].rfind("kestrin on line 2, pvalue= ", 0), 0u);
  EXPECT_EQ(printed[1], "kestrin on line 4, pvalue= -1");
}

TEST(SkipParalogous, flagged_first_position_counts_one_check_only)
{
  Stat stat;
  Quorlin q(&stat);
  configure(q, true);
  AlrContig contig = make_contig(0);
  Written r = run(q, contig);
  EXPECT_EQ(r.text, "");
  EXPECT_EQ(q.nb_homozygous, 0u);
  EXPECT_EQ(q.nb_checked, 1u);
  EXPECT_EQ(q.nb_paralogous, 0u);
  EXPECT_EQ(r.out, "kestrin on line 1, pvalue= -1\n");
}

TEST(SkipParalogous, without_it_the_flagged_position_is_blanked)
{
  Stat stat;
  Quorlin q(&stat);
  configure(q, false);
  AlrContig contig = make_contig(3);
  Written r = run(q, contig);
  EXPECT_EQ(r.text, r.gen);
  const std::vector<std::string> block = lines(r.text);
  ASSERT_EQ(block.size(), 8u); // name, header, six positions
  std::string blank = "4";
  for (size_t i = 0; i < kIndividuals; ++i)
    blank += "\tNN|0";
  EXPECT_EQ(block[2 + 3], blank);
  // A clean heterozygous position keeps its calls.
  EXPECT_NE(block[2 + 1].find("AG|"), std::string::npos);
  EXPECT_EQ(q.nb_checked, 3u);
  EXPECT_EQ(q.nb_paralogous, 1u);
  EXPECT_EQ(q.nb_in_error, 1u);

  // "-kun" keeps the failed position.
  Stat stat2;
  Quorlin kept(&stat2);
  configure(kept, false);
  kept.keep_unknown = true;
  AlrContig again = make_contig(3);
  Written k = run(kept, again);
  EXPECT_EQ(kept.nb_paralogous, 0u);
  EXPECT_EQ(kept.nb_in_error, 1u);
  EXPECT_NE(lines(k.text)[2 + 3].find("AG|"), std::string::npos);
}
