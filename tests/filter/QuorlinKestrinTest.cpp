#include "engine/Quorlin.h"

#include <Bpp/Exceptions.h>

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>

using namespace bpp;

namespace
{
// Captures standard output for the lifetime of the object.
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

// An engine holding a contig of twelve individuals with one error estimate (rate x tstv).
struct Engine
{
  Stat stat;
  AlrContig contig;
  Quorlin quorlin{&stat};

  Engine(double rate, double tstv)
  {
    for (int i = 0; i < 12; ++i)
    {
      contig.ind_names.push_back("i" + std::to_string(i));
      contig.ind_species.push_back("s");
    }
    contig.species_count["s"] = 12;
    contig.name = "c1";
    quorlin.lnl = std::make_unique<LnL>(&stat, &contig, &quorlin.models[0], 1, 0.0);
    Contigdata::err_data first;
    first.rate = rate;
    first.tstv = tstv;
    quorlin.lnl->contig_data->err.push_back(first);
    Contigdata::err_data second; // a second species' record is never read
    second.rate = 0.3;
    second.tstv = 1.0;
    quorlin.lnl->contig_data->err.push_back(second);
  }
};

Alrline line_of(std::valarray<unsigned int> counts, bool polymorphic = true)
{
  Alrline line;
  line.label = "A";
  line.polymorphic = polymorphic;
  line.counts = counts;
  return line;
}

// Locus 1 fixed for A, locus 2 polymorphic, equal shares of the reads.
std::valarray<unsigned int> collapsed()
{
  return {20, 0, 0, 0, 19, 0, 0, 0, 21, 0, 0, 0, 15, 0, 5, 0, 14, 0, 6, 0, 16, 0, 5, 0,
          15, 0, 4, 0, 13, 0, 6, 0, 15, 0, 5, 0, 10, 0, 10, 0, 11, 0, 9, 0, 9, 0, 10, 0};
}

// The same with one stray C read, which no genotype explains at error rate 0.
std::valarray<unsigned int> with_stray_read()
{
  std::valarray<unsigned int> c = collapsed();
  c[4 * 5 + 1] = 1;
  return c;
}

double printed_pvalue(const std::string& out, unsigned int line_number)
{
  std::smatch m;
  const std::regex re("^kestrin on line " + std::to_string(line_number) + ", pvalue= (\\S+)\n$");
  if (!std::regex_match(out, m, re))
  {
    ADD_FAILURE() << "unexpected output: [" << out << "]";
    return NAN;
  }
  return std::stod(m[1]);
}
} // namespace

TEST(QuorlinKestrin, untested_positions_print_and_count_nothing)
{
  Engine engine(0.01, 1.0);
  Alrline monomorphic = line_of(collapsed(), false);
  Alrline polymorphic = line_of(collapsed(), true);
  CoutCapture out;
  EXPECT_FALSE(engine.quorlin.kestrin(monomorphic, true, 0));
  EXPECT_FALSE(engine.quorlin.kestrin(polymorphic, false, 1));
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(engine.quorlin.nb_checked, 0u);
  EXPECT_EQ(engine.quorlin.nb_in_error, 0u);
  EXPECT_EQ(engine.stat.values.size(), 0u); // no position loaded
}

TEST(QuorlinKestrin, prints_the_one_based_line_and_flags_below_the_threshold)
{
  Engine engine(0.004, 5.0);
  engine.quorlin.max_error = 0.01;
  Alrline line = line_of(collapsed());
  bool flagged = false;
  std::string text;
  {
    CoutCapture out;
    flagged = engine.quorlin.kestrin(line, true, 0);
    text = out.text();
  }
  const double p = printed_pvalue(text, 1);
  EXPECT_GE(p, 0.0);
  EXPECT_LT(p, 0.001);
  EXPECT_TRUE(flagged);
  EXPECT_EQ(engine.quorlin.nb_checked, 1u);
  EXPECT_EQ(engine.quorlin.nb_in_error, 0u);
  // The cap 0.01 is below 0.004 x 5, and the caller's counts keep their base order.
  EXPECT_EQ(engine.stat.epsilon, 0.01);
  EXPECT_EQ(line.counts[3 * 4 + 2], 5u);

  // "-thr 0" flags no p-value.
  engine.quorlin.threshold = 0.0;
  CoutCapture out;
  EXPECT_FALSE(engine.quorlin.kestrin(line, true, 41));
  printed_pvalue(out.text(), 42);
  EXPECT_EQ(engine.quorlin.nb_checked, 2u);
}

TEST(QuorlinKestrin, error_rate_comes_from_the_first_estimate_record)
{
  Engine engine(0.001, 2.0);
  engine.quorlin.max_error = 0.01;
  Alrline line = line_of(collapsed());
  CoutCapture out;
  engine.quorlin.kestrin(line, true, 0);
  EXPECT_DOUBLE_EQ(engine.stat.epsilon, 0.002);
  EXPECT_DOUBLE_EQ(engine.stat.proba_hom1[0], 1 - 3 * 0.002);

  // The default cap 0.0 wins over any estimated rate.
  engine.quorlin.max_error = 0.0;
  engine.quorlin.fis = 0.2;
  engine.quorlin.kestrin(line, true, 0);
  EXPECT_EQ(engine.stat.epsilon, 0.0);
  EXPECT_EQ(engine.stat.fis, 0.2);
}

TEST(QuorlinKestrin, a_failed_test_is_counted_and_flagged_unless_kept)
{
  // At the default error rate 0 the stray read makes the plain test fail.
  Engine engine(0.01, 1.0);
  Alrline line = line_of(with_stray_read());
  {
    CoutCapture out;
    EXPECT_TRUE(engine.quorlin.kestrin(line, true, 2));
    EXPECT_EQ(out.text(), "kestrin on line 3, pvalue= -1\n");
  }
  EXPECT_EQ(engine.quorlin.nb_in_error, 1u);

  engine.quorlin.keep_unknown = true;
  {
    CoutCapture out;
    EXPECT_FALSE(engine.quorlin.kestrin(line, true, 2));
    EXPECT_EQ(out.text(), "kestrin on line 3, pvalue= -1\n");
  }
  EXPECT_EQ(engine.quorlin.nb_in_error, 2u);
  EXPECT_EQ(engine.quorlin.nb_checked, 2u);

  // "-thr 0" still flags failures without "-kun".
  engine.quorlin.keep_unknown = false;
  engine.quorlin.threshold = 0.0;
  CoutCapture out;
  EXPECT_TRUE(engine.quorlin.kestrin(line, true, 2));
}

TEST(QuorlinKestrin, dirichlet_setting_reaches_the_test)
{
  // Dirichlet reads give the stray read a positive probability even at error rate 0.
  Engine engine(0.01, 1.0);
  engine.quorlin.dirichlet = true;
  Alrline line = line_of(with_stray_read());
  CoutCapture out;
  engine.quorlin.kestrin(line, true, 0);
  EXPECT_GE(printed_pvalue(out.text(), 1), 0.0);
  EXPECT_EQ(engine.quorlin.nb_in_error, 0u);
}

TEST(QuorlinKestrin, an_undefined_error_estimate_fails_the_test)
{
  Engine engine(NAN, 1.0);
  engine.quorlin.max_error = 0.01;
  Alrline line = line_of(collapsed());
  CoutCapture out;
  EXPECT_TRUE(engine.quorlin.kestrin(line, true, 0));
  EXPECT_EQ(out.text(), "kestrin on line 1, pvalue= -1\n");
  EXPECT_EQ(engine.quorlin.nb_in_error, 1u);
}
