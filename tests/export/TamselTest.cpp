#include "export/Tamsel.h"

#include <Bpp/Exceptions.h>
#include <gtest/gtest.h>

using namespace bpp;

TEST(Tamsel, genotype_lines_give_two_alleles_per_header_column)
{
  const std::string two = ">c\nposition\ts|a\ts|b\n1\tAC|0.99\tGG|0.95\n2\tTG|1\tCA|1e-05\n";
  // Expected: every sequence made, as "name=bases", after "throws" when the text is refused.
  // clang-format off
  const struct { std::string text; double threshold; const char* expected; } rows[] = { // threshold < 0: the default
    // Calls need a posterior strictly above the threshold, 0.95 unless set.
    { two, -1, "c|s|a|Allele_1=AT c|s|a|Allele_2=CG c|s|b|Allele_1=NN c|s|b|Allele_2=NN" },
    { two, 0, "c|s|a|Allele_1=AT c|s|a|Allele_2=CG c|s|b|Allele_1=GC c|s|b|Allele_2=GA" },
    // Letters other than ACGT, a missing second letter and a NaN posterior give N; empty lines
    // add nothing and the ordinals are not read.
    { ">c\nposition\ts|a\n\n7\tAR|1\n\n7\tNG|1\n2\tkT|nan\n1\tCT|0.96\n5\tG|1\n\n", -1,
      "c|s|a|Allele_1=ANNCG c|s|a|Allele_2=NGNTN" },
    // Pairs beyond the header are dropped, missing ones are N.
    { ">c\nposition\ts|a\ts|b\n1\tAC|1\tGT|1\tCC|1\n2\tTT|1\n3\n", -1,
      "c|s|a|Allele_1=ATN c|s|a|Allele_2=CTN c|s|b|Allele_1=GNN c|s|b|Allele_2=TNN" },
    { "", -1, "throws" },
    { ">c\nposition\ts|a\n1\tAA\n", -1, "throws c|s|a|Allele_1= c|s|a|Allele_2=" },
  };
  // clang-format on
  for (const auto& row : rows)
  {
    Tamsel tamsel;
    if (row.threshold >= 0)
      tamsel.pvalueThreshold = row.threshold;
    std::vector<Sequence*> seqs;
    std::string shown;
    try
    {
      tamsel.gen2seq(row.text, seqs);
    }
    catch (const Exception&)
    {
      shown = "throws";
    }
    for (Sequence* s : seqs)
    {
      shown += (shown.empty() ? "" : " ") + s->getName() + "=" + s->toString();
      delete s;
    }
    EXPECT_EQ(shown, row.expected) << row.text;
  }
}
