#include "export/Tamsel.h"

#include <Bpp/Exceptions.h>
#include <Bpp/Seq/Io/Fasta.h>
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

using namespace bpp;

namespace
{
// Owns what gen2seq appends, as the driver's list does.
struct SeqList
{
  std::vector<Sequence*> seqs;
  ~SeqList()
  {
    for (Sequence* s : seqs)
      delete s;
  }
  std::string str(size_t i) const { return seqs.at(i)->toString(); }
};
} // namespace

TEST(Tamsel, header_columns_give_two_named_sequences_each_even_without_data)
{
  Tamsel tamsel;
  SeqList list;
  tamsel.gen2seq(">c7\nposition\ts1|a\ts2|c\ts1|b\n", list.seqs);
  ASSERT_EQ(list.seqs.size(), 6u);
  EXPECT_EQ(list.seqs[0]->getName(), "c7|s1|a|Allele_1");
  EXPECT_EQ(list.seqs[1]->getName(), "c7|s1|a|Allele_2");
  EXPECT_EQ(list.seqs[2]->getName(), "c7|s2|c|Allele_1");
  EXPECT_EQ(list.seqs[5]->getName(), "c7|s1|b|Allele_2");
  for (const Sequence* s : list.seqs)
    EXPECT_EQ(s->size(), 0u);
}

TEST(Tamsel, posterior_must_be_strictly_above_the_threshold)
{
  const std::string text = ">c\nposition\ts|a\ts|b\n1\tAC|0.99\tGG|0.95\n2\tTG|1\tCA|1e-05\n";
  Tamsel tamsel; // 0.95
  SeqList list;
  tamsel.gen2seq(text, list.seqs);
  EXPECT_EQ(list.str(0), "AT");
  EXPECT_EQ(list.str(1), "CG");
  EXPECT_EQ(list.str(2), "NN");
  EXPECT_EQ(list.str(3), "NN");

  tamsel.pvalueThreshold = 0.999999; // only the printed 1 passes
  SeqList high;
  tamsel.gen2seq(text, high.seqs);
  EXPECT_EQ(high.str(0), "NT");
  EXPECT_EQ(high.str(1), "NG");

  tamsel.pvalueThreshold = 1;
  SeqList all;
  tamsel.gen2seq(text, all.seqs);
  for (size_t i = 0; i < 4; ++i)
    EXPECT_EQ(all.str(i), "NN");

  tamsel.pvalueThreshold = 0;
  SeqList zero;
  tamsel.gen2seq(text, zero.seqs);
  EXPECT_EQ(zero.str(2), "GC");
  EXPECT_EQ(zero.str(3), "GA");
}

TEST(Tamsel, other_letters_give_n_for_that_allele_and_lines_follow_text_order)
{
  // Empty lines add nothing; ordinals are not looked at.
  Tamsel tamsel;
  SeqList list;
  tamsel.gen2seq(">c\nposition\ts|a\n\n7\tAR|1\n\n7\tNN|0\n2\tkT|nan\n1\tCT|0.96\n\n", list.seqs);
  EXPECT_EQ(list.str(0), "ANNC");
  EXPECT_EQ(list.str(1), "NNNT");
}

TEST(Tamsel, lines_with_more_or_fewer_pairs_than_columns_keep_lengths_equal)
{
  Tamsel tamsel;
  SeqList list;
  tamsel.gen2seq(">c\nposition\ts|a\ts|b\n1\tAC|1\tGT|1\tCC|1\n2\tTT|1\n3\n", list.seqs);
  ASSERT_EQ(list.seqs.size(), 4u);
  EXPECT_EQ(list.str(0), "ATN");
  EXPECT_EQ(list.str(1), "CTN");
  EXPECT_EQ(list.str(2), "GNN");
  EXPECT_EQ(list.str(3), "TNN");
}

TEST(Tamsel, malformed_text_throws_a_library_exception)
{
  Tamsel tamsel;
  SeqList empty;
  EXPECT_THROW(tamsel.gen2seq("", empty.seqs), Exception);
  SeqList missing;
  EXPECT_THROW(tamsel.gen2seq(">c\nposition\ts|a\n1\tAA\n", missing.seqs), Exception);
}

TEST(Tamsel, sequences_of_one_call_outlive_those_of_another)
{
  Tamsel tamsel;
  SeqList second;
  {
    SeqList first;
    tamsel.gen2seq(">c\nposition\ts|a\n1\tAC|1\n", first.seqs);
  }
  tamsel.gen2seq(">d\nposition\ts|a\n1\tGT|1\n", second.seqs);
  EXPECT_EQ(second.seqs[1]->getAlphabet()->intToChar(second.seqs[1]->getValue(0)), "T");
}

TEST(Tamsel, fasta_records_are_written_in_lines_of_sixty)
{
  // 62 positions: individual a cycles AA, CC, GG, TT; individual b is AG then NN|0 at the end.
  std::string text = ">ctg1\nposition\tsp|a\tsp|b\n";
  const char* bases[] = { "AA", "CC", "GG", "TT" };
  for (int p = 1; p <= 62; ++p)
    text += std::to_string(p) + "\t" + bases[(p - 1) % 4] + "|1\t" + (p < 62 ? "AG|0.99" : "NN|0") + "\n";
  Tamsel tamsel;
  SeqList list;
  tamsel.gen2seq(text, list.seqs);
  std::ostringstream out;
  Fasta fasta(60, true, false, false);
  for (const Sequence* s : list.seqs)
    fasta.writeSequence(out, *s);
  EXPECT_EQ(out.str(),
            ">ctg1|sp|a|Allele_1\n"
            "ACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGT\n"
            "AC\n"
            ">ctg1|sp|a|Allele_2\n"
            "ACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGTACGT\n"
            "AC\n"
            ">ctg1|sp|b|Allele_1\n"
            "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\n"
            "AN\n"
            ">ctg1|sp|b|Allele_2\n"
            "GGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGGG\n"
            "GN\n");
}
