#include "export/Vorrin.h"

#include <Bpp/Seq/Alphabet/DNA.h>
#include <gtest/gtest.h>

#include <utility>

using namespace bpp;

namespace
{
const DNA&
alphabet()
{
  static const DNA dna(false);
  return dna;
}

// Owns sequences built from (name, bases) pairs.
struct SeqList
{
  std::vector<Sequence*> seqs;
  explicit SeqList(const std::vector<std::pair<std::string, std::string>>& named)
  {
    for (const auto& p : named)
      seqs.push_back(new BasicSequence(p.first, p.second, &alphabet()));
  }
  ~SeqList()
  {
    for (Sequence* s : seqs)
      delete s;
  }
  std::string str(size_t i) const { return seqs.at(i)->toString(); }
};

Vorrin
masker(int windowSize, double snp, double het)
{
  Vorrin v;
  v.windowSize = windowSize;
  v.snpThreshold = snp;
  v.hetThreshold = het;
  return v;
}
} // namespace

TEST(Vorrin, default_thresholds_never_mask_and_het_density_counts_every_sequence)
{
  // Two heterozygous individuals differing from the reference everywhere: the heterozygosity
  // density is 24 / (3 * 1 * 4 * 4) = 0.5 in every 12-position window.
  const std::vector<std::pair<std::string, std::string>> seqs = { { "c|s|a|Allele_1", std::string(20, 'A') },
                                                                  { "c|s|a|Allele_2", std::string(20, 'C') },
                                                                  { "c|s|b|Allele_1", std::string(20, 'G') },
                                                                  { "c|s|b|Allele_2", std::string(20, 'T') } };
  SeqList plain(seqs);
  Vorrin defaults;
  defaults.clean(plain.seqs);
  EXPECT_EQ(plain.str(1), std::string(20, 'C'));

  SeqList boundary(seqs);
  Vorrin v = masker(4, 0.4, 0.5);
  v.clean(boundary.seqs);
  // [0,12) and [6,18) qualify; [3,15) keeps only 3 SNPs once [0,12) is masked.
  EXPECT_EQ(boundary.str(1), std::string(18, 'N') + "CC");

  // Group s has 1 pair per SNP position; n = 4 counts species t too, so the density is 0.25, not 0.5.
  const std::vector<std::pair<std::string, std::string>> mixed = { { "c|s|a|Allele_1", "AAAAAAA" },
                                                                   { "c|s|a|Allele_2", "CCCCCCC" },
                                                                   { "c|t|b|Allele_1", "AAAAAAA" },
                                                                   { "c|t|b|Allele_2", "AAAAAAA" } };
  SeqList above(mixed);
  Vorrin strict = masker(2, 0, 0.26);
  strict.clean(above.seqs);
  EXPECT_EQ(above.str(1), "CCCCCCC");
  SeqList below(mixed);
  Vorrin loose = masker(2, 0, 0.24);
  loose.clean(below.seqs);
  EXPECT_EQ(below.str(1), "NNNNNNC");
  EXPECT_EQ(below.str(3), "NNNNNNA");
}

TEST(Vorrin, snps_follow_the_reference_and_het_pairs_the_first_allele)
{
  // SNPs at 0 and 1; pairs (0,a) and (1,b) are heterozygous, (0,b) is not since b's first allele is N:
  // density 2 / (3 * 2/6 * 2 * 4) = 0.25.
  const std::vector<std::pair<std::string, std::string>> seqs = { { "c|s|a|Allele_1", "AAAAAAA" },
                                                                  { "c|s|a|Allele_2", "CAAAAAA" },
                                                                  { "c|s|b|Allele_1", "NCAAAAA" },
                                                                  { "c|s|b|Allele_2", "GGAAAAA" } };
  SeqList below(seqs), above(seqs), rare(seqs);
  Vorrin v = masker(2, 0.33, 0.24);
  v.clean(below.seqs);
  EXPECT_EQ(below.str(0), "NNNNNNA");
  v.hetThreshold = 0.26;
  v.clean(above.seqs);
  EXPECT_EQ(above.str(0), "AAAAAAA");
  v = masker(2, 0.34, 0);
  v.clean(rare.seqs);
  EXPECT_EQ(rare.str(0), "AAAAAAA");

  SeqList nref({ { "c|s|a|Allele_1", "NAAAAAA" }, { "c|s|a|Allele_2", "AAAAAAA" } });
  Vorrin one = masker(2, 0.1, 0);
  one.clean(nref.seqs);
  EXPECT_EQ(nref.str(1), "NNNNNNA");

  SeqList gap({ { "c|s|a|Allele_1", "AAAAAAA" }, { "c|s|a|Allele_2", "-AAAAAA" } });
  one.clean(gap.seqs);
  EXPECT_EQ(gap.str(1), "-AAAAAA");
}

TEST(Vorrin, windows_step_by_three_and_never_reach_the_last_position)
{
  const std::string ref15(15, 'A'), alt15(15, 'C');
  SeqList fifteen({ { "c|s|a|Allele_1", ref15 }, { "c|s|a|Allele_2", alt15 } });
  Vorrin v = masker(4, 0, 0);
  v.clean(fifteen.seqs);
  EXPECT_EQ(fifteen.str(1), std::string(12, 'N') + "CCC");

  SeqList twelve({ { "c|s|a|Allele_1", std::string(12, 'A') }, { "c|s|a|Allele_2", std::string(12, 'C') } });
  v.clean(twelve.seqs);
  EXPECT_EQ(twelve.str(1), std::string(12, 'C'));

  for (int w : { 0, -1, -1431655765 })
  {
    SeqList none({ { "c|s|a|Allele_1", ref15 }, { "c|s|a|Allele_2", alt15 } });
    Vorrin off = masker(w, 0, 0);
    off.clean(none.seqs);
    EXPECT_EQ(none.str(1), alt15) << "windowSize " << w;
  }

  // One SNP at 7: window [3,9) is masked in place, so the overlapping [6,12) no longer sees it.
  SeqList overlap({ { "c|s|a|Allele_1", "AAAAAAAAAAAAA" }, { "c|s|a|Allele_2", "AAAAAAACAAAAC" } });
  Vorrin two = masker(2, 0, 0);
  two.clean(overlap.seqs);
  EXPECT_EQ(overlap.str(0), "AAANNNNNNAAAA");
  EXPECT_EQ(overlap.str(1), "AAANNNNNNAAAC");
}

TEST(Vorrin, windows_are_judged_per_species_and_masked_in_every_species)
{
  SeqList list({ { "c|s|a|Allele_1", "AAAAAAAAAA" },
                 { "c|s|a|Allele_2", "AAAAAAAAAA" },
                 { "c|t|b|Allele_1", "AAAAGAAAAA" },
                 { "c|t|b|Allele_2", "AAAAGAAAAA" } });
  Vorrin v = masker(1, 0, 0);
  v.clean(list.seqs);
  EXPECT_EQ(list.str(0), "AAANNNAAAA");
  EXPECT_EQ(list.str(1), "AAANNNAAAA");
  EXPECT_EQ(list.str(2), "AAANNNAAAA");

  // One SNP per species in [3,6): two of three positions would qualify, but no species has two.
  SeqList apart({ { "c|s|a|Allele_1", "AAAAAAAAAA" },
                  { "c|s|a|Allele_2", "AAAACAAAAA" },
                  { "c|t|b|Allele_1", "AAAAAGAAAA" },
                  { "c|t|b|Allele_2", "AAAAAGAAAA" } });
  Vorrin two = masker(1, 0.5, 0);
  two.clean(apart.seqs);
  EXPECT_EQ(apart.str(1), "AAAACAAAAA");
  EXPECT_EQ(apart.str(2), "AAAAAGAAAA");
}

TEST(Vorrin, groups_go_in_byte_order_and_see_earlier_masks)
{
  // B sorts before a. B's window [0,6) removes a's SNP at 5, so a's window [3,9) falls below two SNPs.
  // Visiting a first would mask 0..8 instead of 0..5.
  SeqList list({ { "c|a|x|Allele_1", "AAAAAAAAAAAAA" },
                 { "c|a|x|Allele_2", "AAAAACCAAAAAA" },
                 { "c|B|y|Allele_1", "CCAAAAAAAAAAA" },
                 { "c|B|y|Allele_2", "CCAAAAAAAAAAA" } });
  Vorrin v = masker(2, 0.3, 0);
  v.clean(list.seqs);
  EXPECT_EQ(list.str(0), "NNNNNNAAAAAAA");
  EXPECT_EQ(list.str(1), "NNNNNNCAAAAAA");
  EXPECT_EQ(list.str(2), "NNNNNNAAAAAAA");
  EXPECT_EQ(list.str(3), "NNNNNNAAAAAAA");
}

TEST(Vorrin, odd_names_short_sequences_and_odd_lists_are_handled)
{
  // Names without a second field share the empty key; "|y" keeps an empty first field.
  SeqList names({ { "plain", "AAAAAAA" }, { "other", "CAAAAAA" }, { "|y", "AAAAAAA" } });
  Vorrin v = masker(1, 0, 0);
  v.clean(names.seqs);
  EXPECT_EQ(v.sequenceGroupKeys, (std::vector<std::string>{ "", "", "y" }));
  EXPECT_EQ(names.str(1), "NNNAAAA");

  // Past its end the short sequence reads as N: no SNP in [6,9), and masking stops at its end.
  SeqList shorter(
    { { "c|s|a|Allele_1", "AAAAAAAAAA" }, { "c|s|a|Allele_2", "CCCC" }, { "c|t|b|Allele_1", "AAAAAAAAAA" } });
  v.snpThreshold = 0.1;
  v.clean(shorter.seqs);
  EXPECT_EQ(shorter.str(0), "NNNNNNAAAA");
  EXPECT_EQ(shorter.str(1), "NNNN");
  EXPECT_EQ(v.sequenceGroupKeys, (std::vector<std::string>{ "s", "s", "t" }));

  SeqList empty({});
  v.clean(empty.seqs);
  EXPECT_TRUE(v.groupKeys.empty());
}
