#include "export/Vorrin.h"

#include <Bpp/Seq/Alphabet/AlphabetTools.h>
#include <gtest/gtest.h>

#include <sstream>

using namespace bpp;

TEST(Vorrin, windows_dense_in_snps_and_heterozygous_pairs_are_masked)
{
  const Vorrin d; // the command line's defaults
  // Sequences are "name=bases"; a name with a '|' is contig|species and gets "|ind|Allele_1"
  // appended, as exported names have. Expected: the bases after masking and, when given, the
  // group keys.
  // clang-format off
  const struct { const char* seqs; int w; double snp, het; const char *expected, *keys = nullptr; } rows[] = {
    // Five SNPs in twelve positions; b's N second allele adds 12 heterozygous pairs: 17 / 20.
    { "c|s=AAAAAAAAAAAAA c|s=CCCCCAAAAAAAA c|s=AAAAAAAAAAAAA c|s=NNNNNNNNNNNNN", d.windowSize, d.snpThreshold,
      d.hetThreshold, "NNNNNNNNNNNNA NNNNNNNNNNNNA NNNNNNNNNNNNA NNNNNNNNNNNNN" },
    // Heterozygosity density 24 / (3 x 1 x 4 x 4) = 0.5: below the default, masked at 0.5.
    { "c|s=AAAAAAAAAAAAA c|s=CCCCCCCCCCCCC c|s=GGGGGGGGGGGGG c|s=TTTTTTTTTTTTT", d.windowSize, d.snpThreshold,
      d.hetThreshold, "AAAAAAAAAAAAA CCCCCCCCCCCCC GGGGGGGGGGGGG TTTTTTTTTTTTT" },
    { "c|s=AAAAAAA c|s=CCCCCCC c|s=GGGGGGG c|s=TTTTTTT", 2, 0.4, 0.5, "NNNNNNA NNNNNNC NNNNNNG NNNNNNT" },
    { "c|s=AAAAAAA c|s=CCCAAAA", 2, 0.5, 0, "NNNNNNA NNNNNNA" }, // SNP density equal to the threshold
    // The density divides by every sequence of the list: 6 / (3 x 1 x 2 x 4) = 0.25, not 0.5.
    { "c|s=AAAAAAA c|s=CCCCCCC c|t=AAAAAAA c|t=AAAAAAA", 2, 0, 0.26, "AAAAAAA CCCCCCC AAAAAAA AAAAAAA" },
    // SNPs at 0 and 1 against the first sequence (2 of 6); pairs (A,C) and (C,G) are
    // heterozygous, (N,G) is not: 2 / (3 x 1/3 x 2 x 4) = 0.25.
    { "c|s=AAAAAAA c|s=CAAAAAA c|s=NCAAAAA c|s=GGAAAAA", 2, 0.33, 0.24, "NNNNNNA NNNNNNA NNNNNNA NNNNNNA" },
    { "c|s=AAAAAAA c|s=CAAAAAA c|s=NCAAAAA c|s=GGAAAAA", 2, 0.33, 0.26, "AAAAAAA CAAAAAA NCAAAAA GGAAAAA" },
    { "c|s=AAAAAAA c|s=CAAAAAA c|s=NCAAAAA c|s=GGAAAAA", 2, 0.34, 0, "AAAAAAA CAAAAAA NCAAAAA GGAAAAA" },
    { "c|s=NAAAAAA c|s=AAAAAAA", 2, 0.1, 0, "NNNNNNA NNNNNNA" }, // a base against N is a SNP
    { "c|s=AAAAAAA c|s=-AAAAAA", 2, 0.1, 0, "AAAAAAA -AAAAAA" }, // a gap is not
    // Windows step by three and keep off the last position; none when not positive or too wide.
    { "c|s=AAAAAA c|s=CCCCCC", 1, 0, 0, "NNNAAA NNNCCC" },
    { "c|s=AAAAAA c|s=CCCCCC", -1, 0, 0, "AAAAAA CCCCCC" },
    { "c|s=AAAAAA c|s=CCCCCC", 1431655766, 0, 0, "AAAAAA CCCCCC" }, // 3 x w is 2 in 32 bits
    // [3,9) is masked before [6,12) is judged, which then no longer sees the SNP at 7.
    { "c|s=AAAAAAAAAAAAA c|s=AAAAAAACAAAAC", 2, 0, 0, "AAANNNNNNAAAA AAANNNNNNAAAC" },
    // Judged per species, masked in every species.
    { "c|s=AAAAAAA c|s=AAAAAAA c|t=AAAAGAA c|t=AAAAGAA", 1, 0, 0, "AAANNNA AAANNNA AAANNNA AAANNNA" },
    { "c|s=AAAAAAA c|s=AAAACAA c|t=AAAAAGA c|t=AAAAAGA", 1, 0.5, 0, "AAAAAAA AAAACAA AAAAAGA AAAAAGA" },
    // A contig name holding '|' groups by species all the same.
    { "gi|12|ref|NM_1|s=AAAAAAA gi|12|ref|NM_1|s=AAAACAA gi|12|ref|NM_1|t=AAAAAGA gi|12|ref|NM_1|t=AAAAAGA", 1, 0.5,
      0, "AAAAAAA AAAACAA AAAAAGA AAAAAGA", "s;t;" },
    // B sorts before a: its window [0,6) masks a's SNP at 5, so a's [3,9) keeps one SNP only.
    { "c|a=AAAAAAAAAAAAA c|a=AAAAACCAAAAAA c|B=CCAAAAAAAAAAA c|B=CCAAAAAAAAAAA", 2, 0.3, 0,
      "NNNNNNAAAAAAA NNNNNNCAAAAAA NNNNNNAAAAAAA NNNNNNAAAAAAA" },
    // Names without a second field share the empty key; the odd last sequence has no partner.
    { "plain=AAAAAAA other=CAAAAAA |y=AAAAAAA", 1, 0, 0, "NNNAAAA NNNAAAA NNNAAAA", ";y;" },
    // A shorter sequence reads as N past its end and is masked up to it.
    { "c|s=AAAAAAAAAA c|s=CCCC c|t=AAAAAAAAAA", 1, 0.1, 0, "NNNNNNAAAA NNNN NNNNNNAAAA" },
    { "", 1, 0, 0, "", "" },
  };
  // clang-format on
  Vorrin v; // one masker for every list, as for the contigs of a run
  for (const auto& row : rows)
  {
    std::vector<Sequence*> seqs;
    std::istringstream in(row.seqs);
    for (std::string item; in >> item;)
    {
      std::string name = item.substr(0, item.find('='));
      if (name.find('|') != std::string::npos)
        name += "|ind|Allele_1";
      seqs.push_back(new BasicSequence(name, item.substr(item.find('=') + 1), &AlphabetTools::DNA_ALPHABET));
    }
    v.windowSize = row.w;
    v.snpThreshold = row.snp;
    v.hetThreshold = row.het;
    v.clean(seqs);
    std::string masked, keys;
    for (Sequence* s : seqs)
    {
      masked += (masked.empty() ? "" : " ") + s->toString();
      delete s;
    }
    for (const std::string& k : v.groupKeys)
      keys += k + ";";
    EXPECT_EQ(masked, row.expected) << row.seqs;
    if (row.keys)
    {
      EXPECT_EQ(keys, row.keys) << row.seqs;
    }
  }
}
