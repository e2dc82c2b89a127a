#include "alr/Alrparser.h"

#include <Bpp/Exceptions.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace bpp;

// Every contig of text as "name(individual/species ... species=count ...) label[P]:counts ...|",
// then " @" and the number of lines read; or the message that stopped the reader, "io: " first
// for an IOException.
static std::string
read_all(const std::string& text)
{
  std::istringstream input(text);
  Alrparser parser("t.alr");
  std::ostringstream out;
  try
  {
    for (AlrContig c; parser.next_contig(input, c); c = AlrContig())
    {
      out << c.name << "(";
      for (size_t i = 0; i < c.ind_names.size(); ++i)
        out << c.ind_names[i] << "/" << c.ind_species[i] << " ";
      for (const auto& [species, n] : c.species_count)
        out << species << "=" << n << " ";
      out << ")";
      for (const Alrline& line : c.lines)
      {
        out << " " << line.label << (line.polymorphic ? "P:" : ":");
        for (unsigned int n : line.counts)
          out << n << ",";
      }
      out << "|";
    }
    // At the end the reader says so again, and leaves the contig it is given as it was.
    AlrContig after;
    after.name = "untouched";
    out << (parser.next_contig(input, after) || after.name != "untouched" ? "read again" : "") << " @"
        << parser.line_number();
  }
  catch (const IOException& e)
  {
    out << "io: " << e.what();
  }
  catch (const Exception& e)
  {
    out << e.what();
  }
  return out.str();
}

TEST(Alrparser, stores_the_counts_of_each_base_and_individual)
{
  const std::string in = ">c\nx\ty\ts|a\tt|b\n", out = "c(a/s b/t s=1 t=1 ) ";
  const std::pair<std::string, std::string> cases[] = {
    // "P" lines: a depth that is not read, whatever it holds, then the reads of A, C, G and T.
    { "C\tP\t12[10/2/0/0]\t5[0/0/5/0]", "CP:10,2,0,0,0,0,5,0," },
    { "N\tP\t-3[1/2/3/4]\t99999999999[5/6/7/8]", "NP:1,2,3,4,5,6,7,8," },
    { "G\tP\t3[1/2/0/0]\t4[0/0/4/0]\r", "GP:1,2,0,0,0,0,4,0," },
    { "G\tP[3/1/2/0/0]\t\t[4/0/0/4/0]", "GP:1,2,0,0,0,0,4,0," },
    { "G\tP\t3\t1\t2\t0\t0\t4\t0\t0\t4\t0", "GP:1,2,0,0,0,0,4,0," }, // every field between tabs
    // Other lines: one count per individual, under the base of the label; only "P" marks a "P" line.
    { "G\tM\t3\t7", "G:0,0,3,0,0,0,7,0," },
    { "A\t.\t1\t2\r", "A:1,0,0,0,2,0,0,0," },
    { "C\tp\t4\t0", "C:0,4,0,0,0,0,0,0," },
    { "T\tP \t0\t9", "T:0,0,0,0,0,0,0,9," },
    { "A\tPP\t3\t7", "A:3,0,0,0,7,0,0,0," },
    // Counts read like strtol: leading blanks skipped, trailing text ignored, no number counts 0.
    { "A\tM\t012abc\t0x1f", "A:12,0,0,0,0,0,0,0," },
    { "T\tM\t 7\t-abc", "T:0,0,0,7,0,0,0,0," },
    { "G\tM\t4294967295\t0", "G:0,0,4294967295,0,0,0,0,0," },
  };
  for (const auto& [line, counts] : cases)
    EXPECT_EQ(read_all(in + line + "\n"), out + counts + "| @3") << line;
}

TEST(Alrparser, splits_blocks_and_headers_and_reports_what_it_cannot_read)
{
  const std::string one = ">c\nx\ty\ts|a\n", two = ">c\nx\ty\ts|a\ts|b\n",
                    label = " of a line not marked \"P\" is not one of the bases A, C, G and T";
  std::string escapes;
  for (int i = 0; i < 40; ++i)
    escapes += "\\x1b";
  const std::pair<std::string, std::string> cases[] = {
    // Header fields split on tabs and bars in any mixture; runs of them give no field.
    { ">c\n|x||y\t\tsp1||a|\tsp2\tb|sp1|c\n", "c(a/sp1 b/sp2 c/sp1 sp1=2 sp2=1 )| @2" },
    // A block ends where the next '>' line starts, even before its first position; names are kept whole.
    { ">c1\nx\ty\n>c 2|x\ty \nx\ty\ts|a\nA\tM\t5\n>\nx\ty\ts|a\nT\tM\t6",
      "c1()|c 2|x\ty (a/s s=1 ) A:5,0,0,0,|(a/s s=1 ) T:0,0,0,6,| @8" },
    // The last line may lack its '\n'.
    { ">c\nx\ty\ts|a", "c(a/s s=1 )| @2" },
    { one + "C\tP\t1[0/1/0/0]", "c(a/s s=1 ) CP:0,1,0,0,| @3" },
    { ">c", "t.alr:2: No more token in tokenizer." },
    // A contig line at the very end is not its own header, nor is a file of lone '\r' ends.
    { one + "A\tM\t5\n>gi|123|ref|NM_1", "c(a/s s=1 ) A:5,0,0,0,|t.alr:5: No more token in tokenizer." },
    { ">c\rx\ty\ts|a\rA\tM\t5\r", "t.alr:2: No more token in tokenizer." },
    { "", "t.alr:1: Alr::nextseq_uence: wrong format" },
    { one + "A\tM\t1\nN\tM\t4\n", "io: t.alr:4: label \"N\"" + label },
    { one + "A\tM\t-1\n", "io: t.alr:3: negative read count \"-1\"" },
    // One carriage return ends any line, as a CRLF file writes it; a second one is data.
    { ">c\r\nx\ty\ts|a\r\nA\tM\t5\r\n>d\r\r\nx\ty\ts|a\r\r\n", "c(a/s s=1 ) A:5,0,0,0,|d\r(a\r/s s=1 )| @5" },
    // Each individual's group between tabs holds its five fields, whatever the line's total.
    { two + "A\tP\t3[0/0/3]\t4[0/0/4/0/0]\n", "io: t.alr:3: individual 1: expected 5 fields (a depth and 4 counts), found 4 in \"3[0/0/3]\"" },
    { two + "A\tP\t3[0/0/3/0]\t4[0/4/0]\t0\n", "io: t.alr:3: individual 2: expected 5 fields (a depth and 4 counts), found 4 in \"4[0/4/0]\"" },
    { two + "A\tP\t3[0/0/3/0]\t4\t[0/4/0/0]\n", "io: t.alr:3: individual 2: expected 5 fields (a depth and 4 counts), found 1 in \"4\"" },
    // A long field is echoed up to 40 bytes, control characters escaped after the cut.
    { one + std::string(40, 'y') + "\tM\t3\n", "io: t.alr:3: label \"" + std::string(40, 'y') + "\"" + label },
    { one + std::string(41, '\x1b') + "\tM\t3\n", "io: t.alr:3: label \"" + escapes + "...\" (41 bytes)" + label },
  };
  for (const auto& [text, want] : cases)
    EXPECT_EQ(read_all(text), want) << text;
}
