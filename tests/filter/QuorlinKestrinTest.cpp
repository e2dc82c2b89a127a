#include "engine/Quorlin.h"

#include "FilterFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

using namespace bpp;
using namespace filter_test;

namespace
{
class CoutCapture
{
public:
  CoutCapture()
    : old_(std::cout.rdbuf(buffer_.rdbuf()))
  {
  }
  ~CoutCapture() { std::cout.rdbuf(old_); }
  std::string text() const { return buffer_.str(); }

private:
  std::ostringstream buffer_;
  std::streambuf* old_;
};

// Twelve individuals of one species; `lines` are (polymorphic, counts).
struct Engine
{
  Stat stat;
  AlrContig contig;
  Quorlin q{ &stat };

  explicit Engine(std::vector<std::pair<bool, std::valarray<unsigned int>>> lines = {})
  {
    for (int i = 0; i < 12; ++i)
    {
      contig.ind_names.push_back("i" + std::to_string(i));
      contig.ind_species.push_back("s");
    }
    contig.species_count["s"] = 12;
    contig.name = "c1";
    for (auto& l : lines)
      contig.lines.push_back(Alrline{ "A", l.first, l.second });
    q.lnl = std::make_unique<LnL>(&stat, &contig, &q.models[0], 1, 0.0);
  }
  void estimate(double rate, double tstv)
  {
    q.lnl->contig_data->err.push_back(Contigdata::err_data{ rate, tstv, {}, {}, {} });
    q.lnl->contig_data->err.push_back(Contigdata::err_data{ 0.3, 1.0, {}, {}, {} }); // never read
  }
  bool test(const std::valarray<unsigned int>& counts, unsigned int index, std::string* out, bool het = true)
  {
    Alrline line{ "A", true, counts };
    CoutCapture capture;
    const bool flagged = q.kestrin(line, het, index);
    *out = capture.text();
    return flagged;
  }
};

std::valarray<unsigned int>
with_stray_read()
{
  std::valarray<unsigned int> c = two_loci();
  c[4 * 5 + 1] = 1; // a C read, which no genotype explains at error rate 0
  return c;
}
} // namespace

TEST(QuorlinKestrin, untested_positions_print_and_count_nothing)
{
  Engine e;
  e.estimate(0.01, 1.0);
  Alrline monomorphic{ "A", false, two_loci() };
  std::string out;
  CoutCapture capture;
  EXPECT_FALSE(e.q.kestrin(monomorphic, true, 0));
  EXPECT_FALSE(e.test(two_loci(), 1, &out, false));
  EXPECT_EQ(out + capture.text(), "");
  EXPECT_EQ(e.q.nb_checked + e.q.nb_in_error, 0u);
  EXPECT_EQ(e.stat.values.size(), 0u);
}

TEST(QuorlinKestrin, prints_the_line_chooses_the_error_rate_and_flags_below_the_threshold)
{
  Engine e;
  e.estimate(0.004, 5.0);
  e.q.max_error = 0.01; // below 0.004 x 5
  e.q.fis = 0.1;
  std::string out;
  EXPECT_TRUE(e.test(two_loci(), 0, &out));
  const std::string prefix = "kestrin on line 1, pvalue= ";
  ASSERT_EQ(out.compare(0, prefix.size(), prefix), 0) << out;
  EXPECT_LT(std::stod(out.substr(prefix.size())), 0.001);
  EXPECT_EQ(e.stat.epsilon, 0.01);
  EXPECT_EQ(e.stat.fis, 0.1);

  e.q.threshold = 0.0; // "-thr 0" flags no p-value
  EXPECT_FALSE(e.test(two_loci(), 41, &out));
  EXPECT_EQ(out.rfind("kestrin on line 42, pvalue= ", 0), 0u);
  EXPECT_EQ(e.q.nb_checked, 2u);
  EXPECT_EQ(e.q.nb_in_error, 0u);

  Engine low; // the first record's rate x tstv is below the cap
  low.estimate(0.001, 2.0);
  low.q.max_error = 0.01;
  low.test(two_loci(), 0, &out);
  EXPECT_DOUBLE_EQ(low.stat.epsilon, 0.002);
}

TEST(QuorlinKestrin, a_failed_test_is_counted_and_flagged_unless_kept)
{
  Engine e; // cap 0.0: the stray read fails the plain test
  e.q.max_error = 0.0;
  e.estimate(0.01, 1.0);
  std::string out;
  EXPECT_TRUE(e.test(with_stray_read(), 2, &out));
  EXPECT_EQ(out, "kestrin on line 3, pvalue= -1\n");
  e.q.keep_unknown = true;
  EXPECT_FALSE(e.test(with_stray_read(), 2, &out));
  EXPECT_EQ(e.q.nb_in_error, 2u);

  Engine nan;
  nan.estimate(NAN, 1.0);
  nan.q.max_error = 0.01;
  EXPECT_TRUE(nan.test(two_loci(), 0, &out));
  EXPECT_EQ(out, "kestrin on line 1, pvalue= -1\n");
}

namespace
{
// Six positions through the whole engine: homozygous ones at even indices, clean
// heterozygous ones at odd indices, and the stray read (a failed test) at `failing`.
std::string
write_contig(Engine& e, size_t failing, bool skip, std::string* out)
{
  std::valarray<unsigned int> hom(0u, 48), het(0u, 48);
  for (size_t i = 0; i < 12; ++i)
  {
    hom[4 * i] = 10 + i % 3;
    het[4 * i] = i % 2 ? 20 : 10;
    het[4 * i + 2] = i % 2 ? 0 : 10;
  }
  for (size_t p = 0; p < 6; ++p)
  {
    std::valarray<unsigned int> c = p % 2 || p == failing ? het : hom;
    if (p == failing)
      c[4 * 1 + 3] = 1;
    e.contig.lines.push_back(Alrline{ "A", p % 2 == 1 || p == failing, c });
  }
  e.q.models[1].active = true;
  e.q.shared = true;
  e.q.best_genotype = true;
  e.q.use_kestrin = true;
  e.q.max_error = 0.0; // the stray read fails the test at error rate 0
  e.q.skip_paralogous = skip;
  CoutCapture capture;
  e.q.compute(e.contig);
  std::ofstream gen("/dev/null");
  const std::string text = e.q.write_genotypes(e.contig, gen);
  *out = capture.text();
  *out = out->substr(out->find("kestrin on line"));
  return text;
}
} // namespace

TEST(QuorlinKestrin, spa_drops_the_contig_at_the_first_flagged_position)
{
  Engine e;
  std::string out;
  EXPECT_EQ(write_contig(e, 3, true, &out), "");
  // Position 2 passes, position 4 fails; positions 5 and 6 are not reached.
  EXPECT_EQ(out.substr(out.find('\n') + 1), "kestrin on line 4, pvalue= -1\n");
  EXPECT_EQ(e.q.nb_homozygous, 2u);
  EXPECT_EQ(e.q.nb_heterozygous, 1u);
  EXPECT_EQ(e.q.nb_checked, 2u);
  EXPECT_EQ(e.q.nb_paralogous, 1u);
  EXPECT_EQ(e.q.nb_in_error, 1u);

  Engine first;
  EXPECT_EQ(write_contig(first, 0, true, &out), "");
  EXPECT_EQ(out, "kestrin on line 1, pvalue= -1\n");
  EXPECT_EQ(first.q.nb_homozygous + first.q.nb_heterozygous, 0u);
  EXPECT_EQ(first.q.nb_paralogous, 1u);
  EXPECT_EQ(first.q.nb_checked, 1u);

  Engine blank; // without "-spa" the position is blanked and the rest tested
  const std::string text = write_contig(blank, 3, false, &out);
  EXPECT_NE(text.find("\n4\tNN|0\tNN|0\tNN|0\tNN|0\tNN|0\tNN|0\tNN|0\tNN|0\tNN|0\tNN|0\tNN|0\tNN|0\n"),
            std::string::npos);
  EXPECT_NE(text.find("\n2\tAG|"), std::string::npos);
  EXPECT_EQ(blank.q.nb_checked, 3u);
  EXPECT_EQ(blank.q.nb_paralogous, 1u);
}
