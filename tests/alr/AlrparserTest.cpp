#include "alr/Alrparser.h"

#include <Bpp/Exceptions.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace bpp;

namespace
{
std::vector<unsigned int>
counts_of(const Alrline& line)
{
  return std::vector<unsigned int>(std::begin(line.counts), std::end(line.counts));
}

// Reads every contig of the text; fails the test on an exception.
std::vector<AlrContig>
read_all(const std::string& text)
{
  std::istringstream input(text);
  Alrparser parser("t.alr");
  std::vector<AlrContig> contigs;
  for (;;)
  {
    AlrContig contig;
    if (!parser.next_contig(input, contig))
      break;
    contigs.push_back(contig);
  }
  return contigs;
}

// Reads until the reader throws; returns the message, or "" when it never does.
std::string
error_of(const std::string& text, bool* is_io = nullptr)
{
  std::istringstream input(text);
  Alrparser parser("t.alr");
  try
  {
    for (int guard = 0; guard < 100; ++guard)
    {
      AlrContig contig;
      if (!parser.next_contig(input, contig))
        return "";
    }
  }
  catch (const IOException& e)
  {
    if (is_io)
      *is_io = true;
    return e.what();
  }
  catch (const Exception& e)
  {
    if (is_io)
      *is_io = false;
    return e.what();
  }
  return "";
}

bool
starts_with(const std::string& text, const std::string& prefix)
{
  return text.compare(0, prefix.size(), prefix) == 0;
}
} // namespace

TEST(Alrparser, header_fields_split_on_tab_and_bar_in_any_mixture)
{
  auto contigs = read_all(">c\nx|y\tsp1|a\tsp2\tb|sp1|c\n");
  ASSERT_EQ(contigs.size(), 1u);
  const AlrContig& c = contigs[0];
  EXPECT_EQ(c.ind_species, (std::vector<std::string>{ "sp1", "sp2", "sp1" }));
  EXPECT_EQ(c.ind_names, (std::vector<std::string>{ "a", "b", "c" }));
  ASSERT_EQ(c.species_count.size(), 2u);
  EXPECT_EQ(c.species_count.at("sp1"), 2u);
  EXPECT_EQ(c.species_count.at("sp2"), 1u);

  // Runs of separators and separators at the ends give no field.
  contigs = read_all(">c\n|x||y\t\tsp1||a|\n");
  EXPECT_EQ(contigs[0].ind_names, (std::vector<std::string>{ "a" }));

  contigs = read_all(">c\nx\ty\n");
  EXPECT_TRUE(contigs[0].ind_names.empty());
  EXPECT_TRUE(contigs[0].species_count.empty());
}

TEST(Alrparser, contig_name_is_kept_whole)
{
  auto contigs = read_all("> ctg 1|x\ty \nx\ty\n>\nx\ty\n");
  ASSERT_EQ(contigs.size(), 2u);
  EXPECT_EQ(contigs[0].name, " ctg 1|x\ty ");
  EXPECT_EQ(contigs[1].name, "");
}

TEST(Alrparser, p_line_groups_give_four_counts_per_individual)
{
  auto contigs = read_all(">c\nx\ty\ts|a\ts|b\nC\tP\t12[10/2/0/0]\t5[0/0/5/0]\n");
  ASSERT_EQ(contigs[0].lines.size(), 1u);
  const Alrline& line = contigs[0].lines[0];
  EXPECT_EQ(line.label, "C");
  EXPECT_TRUE(line.polymorphic);
  EXPECT_EQ(counts_of(line), (std::vector<unsigned int>{ 10, 2, 0, 0, 0, 0, 5, 0 }));

  // The depth field is not read, whatever it holds; tabs may replace the brackets.
  contigs = read_all(">c\nx\ty\ts|a\ts|b\nN\tP\tzz\t1\t2\t3\t4\t999[5/6/7/8]\n");
  EXPECT_EQ(counts_of(contigs[0].lines[0]), (std::vector<unsigned int>{ 1, 2, 3, 4, 5, 6, 7, 8 }));
}

TEST(Alrparser, one_base_line_puts_each_count_under_its_label)
{
  const std::string head = ">c\nx\ty\ts|a\tt|b\n";
  auto contigs = read_all(head + "G\tM\t3\t7\nA\tM\t1\t2\nC\t.\t4\t0\nT\tx\t0\t9\n");
  const auto& lines = contigs[0].lines;
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_FALSE(lines[0].polymorphic);
  EXPECT_EQ(counts_of(lines[0]), (std::vector<unsigned int>{ 0, 0, 3, 0, 0, 0, 7, 0 }));
  EXPECT_EQ(counts_of(lines[1]), (std::vector<unsigned int>{ 1, 0, 0, 0, 2, 0, 0, 0 }));
  EXPECT_EQ(counts_of(lines[2]), (std::vector<unsigned int>{ 0, 4, 0, 0, 0, 0, 0, 0 }));
  EXPECT_EQ(counts_of(lines[3]), (std::vector<unsigned int>{ 0, 0, 0, 0, 0, 0, 0, 9 }));

  // Only an exact "P" marks a polymorphic line.
  contigs = read_all(head + "A\tp\t3\t7\nA\tP \t3\t7\nA\tPP\t3\t7\n");
  for (const Alrline& line : contigs[0].lines)
  {
    EXPECT_FALSE(line.polymorphic);
    EXPECT_EQ(counts_of(line), (std::vector<unsigned int>{ 3, 0, 0, 0, 7, 0, 0, 0 }));
  }
}

TEST(Alrparser, counts_convert_like_strtol)
{
  auto contigs = read_all(">c\nx\ty\ts|a\nA\tM\t12abc\nA\tM\tabc\nA\tM\t 7\nA\tM\t-abc\nA\tM\t4294967295\n");
  const auto& lines = contigs[0].lines;
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].counts[0], 12u);
  EXPECT_EQ(lines[1].counts[0], 0u);
  EXPECT_EQ(lines[2].counts[0], 7u);
  EXPECT_EQ(lines[3].counts[0], 0u);
  EXPECT_EQ(lines[4].counts[0], 4294967295u);
}

TEST(Alrparser, negative_or_oversized_count_is_an_input_error)
{
  bool io = false;
  std::string msg = error_of(">c\nx\ty\ts|a\nA\tM\t5\nA\tM\t-1\n", &io);
  EXPECT_TRUE(io);
  EXPECT_TRUE(starts_with(msg, "t.alr:4: ")) << msg;
  EXPECT_NE(msg.find("negative"), std::string::npos) << msg;

  msg = error_of(">c\nx\ty\ts|a\nC\tP\t3[0/-3/0/0]\n");
  EXPECT_TRUE(starts_with(msg, "t.alr:3: ")) << msg;
  EXPECT_NE(msg.find("\"-3\""), std::string::npos) << msg;

  msg = error_of(">c\nx\ty\ts|a\nA\tM\t4294967296\n");
  EXPECT_TRUE(starts_with(msg, "t.alr:3: ")) << msg;
}

TEST(Alrparser, crlf_line_ends_keep_the_carriage_return_in_names_only)
{
  auto contigs = read_all(">c\r\nx\ty\ts|a\ts|b\r\nA\tM\t3\t4\r\nC\tP\t3[1/2/0/0]\t4[0/0/4/0]\r\n");
  ASSERT_EQ(contigs.size(), 1u);
  const AlrContig& c = contigs[0];
  EXPECT_EQ(c.name, "c\r");
  EXPECT_EQ(c.ind_names[1], "b\r");
  ASSERT_EQ(c.lines.size(), 2u);
  EXPECT_EQ(counts_of(c.lines[0]), (std::vector<unsigned int>{ 3, 0, 0, 0, 4, 0, 0, 0 }));
  EXPECT_EQ(counts_of(c.lines[1]), (std::vector<unsigned int>{ 1, 2, 0, 0, 0, 0, 4, 0 }));
}

TEST(Alrparser, blocks_end_at_the_next_contig_line)
{
  std::istringstream input(">c1\nx\ty\ts|a\nA\tM\t1\nC\tM\t2\n>c2\nx\ty\tt|b\ts|c\nG\tM\t3\t4\n");
  Alrparser parser("t.alr");
  AlrContig first;
  ASSERT_TRUE(parser.next_contig(input, first));
  EXPECT_EQ(first.name, "c1");
  EXPECT_EQ(first.lines.size(), 2u);
  AlrContig second;
  ASSERT_TRUE(parser.next_contig(input, second));
  EXPECT_EQ(second.name, "c2");
  EXPECT_EQ(second.species_count.size(), 2u);
  ASSERT_EQ(second.lines.size(), 1u);
  EXPECT_EQ(counts_of(second.lines[0]), (std::vector<unsigned int>{ 0, 0, 3, 0, 0, 0, 4, 0 }));
  EXPECT_EQ(parser.line_number(), 7u);

  AlrContig after;
  after.name = "untouched";
  EXPECT_FALSE(parser.next_contig(input, after));
  EXPECT_EQ(after.name, "untouched");
  EXPECT_TRUE(after.lines.empty());
  EXPECT_FALSE(parser.next_contig(input, after));
}

TEST(Alrparser, last_line_without_newline_is_read)
{
  for (const std::string text :
       { ">c\nx\ty\ts|a\nA\tM\t1\nT\tM\t6", ">c\nx\ty\ts|a", ">c\nx\ty\ts|a\nC\tP\t1[0/1/0/0]" })
  {
    std::istringstream input(text);
    Alrparser parser("t.alr");
    AlrContig contig;
    ASSERT_TRUE(parser.next_contig(input, contig)) << text;
    AlrContig none;
    EXPECT_FALSE(parser.next_contig(input, none)) << text;
  }
  auto contigs = read_all(">c\nx\ty\ts|a\nA\tM\t1\nT\tM\t6");
  ASSERT_EQ(contigs[0].lines.size(), 2u);
  EXPECT_EQ(contigs[0].lines[1].counts[3], 6u);
}

TEST(Alrparser, block_without_positions_is_an_empty_contig)
{
  auto contigs = read_all(">c1\nx\ty\ts|a\n>c2\nx\ty\ts|a\nA\tM\t5\n>c3\nx\ty\ts|a\n");
  ASSERT_EQ(contigs.size(), 3u);
  EXPECT_EQ(contigs[0].name, "c1");
  EXPECT_TRUE(contigs[0].lines.empty());
  EXPECT_EQ(contigs[0].ind_names.size(), 1u);
  EXPECT_EQ(contigs[1].name, "c2");
  ASSERT_EQ(contigs[1].lines.size(), 1u);
  EXPECT_EQ(contigs[1].lines[0].counts[0], 5u);
  EXPECT_EQ(contigs[2].name, "c3");
  EXPECT_TRUE(contigs[2].lines.empty());
}

TEST(Alrparser, known_errors_keep_their_message_after_the_place)
{
  bool io = true;
  EXPECT_EQ(error_of("", &io), "t.alr:1: Alr::nextseq_uence: wrong format");
  EXPECT_FALSE(io);
  EXPECT_EQ(error_of("c\nx\ty\n"), "t.alr:1: Alr::nextseq_uence: wrong format");
  EXPECT_EQ(error_of("\n>c\nx\ty\n"), "t.alr:1: Alr::nextseq_uence: wrong format");

  // Too few fields: tokenizer's message, not an I/O error.
  EXPECT_EQ(error_of(">c\nx\n", &io), "t.alr:2: No more token in tokenizer.");
  EXPECT_FALSE(io);
  EXPECT_EQ(error_of(">c\nx\ty\ts1|a\ts2\n"), "t.alr:2: No more token in tokenizer.");
  EXPECT_EQ(error_of(">c"), "t.alr:2: No more token in tokenizer.");
  EXPECT_EQ(error_of(">c\nx\ty\ts|a\nA\n"), "t.alr:3: No more token in tokenizer.");
  // Empty line among positions, after the last one, or between blocks.
  EXPECT_EQ(error_of(">c\nx\ty\ts|a\nA\tM\t1\n\nA\tM\t1\n"), "t.alr:4: No more token in tokenizer.");
  EXPECT_EQ(error_of(">c\nx\ty\ts|a\nA\tM\t1\n\n"), "t.alr:4: No more token in tokenizer.");
  EXPECT_EQ(error_of(">c\nx\ty\ts|a\nA\tM\t1\n\n>d\nx\ty\n"), "t.alr:4: No more token in tokenizer.");
  // The error is raised in the second contig, after the first was returned.
  EXPECT_EQ(error_of(">c\nx\ty\ts|a\nA\tM\t1\n>d\nx\ty\ts|a\nA\n"), "t.alr:6: No more token in tokenizer.");
}

TEST(Alrparser, unreadable_stream_is_an_io_error)
{
  std::istringstream input(">c\nx\ty\n");
  input.setstate(std::ios::failbit);
  Alrparser parser("missing.alr");
  AlrContig contig;
  try
  {
    parser.next_contig(input, contig);
    FAIL() << "no exception";
  }
  catch (const IOException& e)
  {
    EXPECT_STREQ(e.what(), "missing.alr: Alr::nextseq_uence: can't read from istream input");
  }
}

TEST(Alrparser, label_of_a_one_base_line_must_be_a_base)
{
  const std::string head = ">c\nx\ty\ts|a\n";
  for (const std::string label : { "N", "a", "AC", "-" })
  {
    bool io = false;
    const std::string msg = error_of(head + "A\tM\t1\n" + label + "\tM\t4\n", &io);
    EXPECT_TRUE(io) << label;
    EXPECT_TRUE(starts_with(msg, "t.alr:4: label \"" + label + "\"")) << msg;
  }
  // Any label is fine on a "P" line.
  auto contigs = read_all(head + "N\tP\t4[1/1/1/1]\n");
  EXPECT_EQ(contigs[0].lines[0].label, "N");
}

TEST(Alrparser, count_entries_must_match_the_individuals_of_the_header)
{
  const std::string head = ">c\nx\ty\ts|a\ts|b\n";
  // One-base lines: one item per individual.
  EXPECT_EQ(error_of(head + "A\tM\t1\n"), "t.alr:3: expected 2 counts (one per individual of the header), found 1");
  EXPECT_TRUE(starts_with(error_of(head + "A\tM\t1\t2\t3\n"), "t.alr:3: "));
  EXPECT_TRUE(starts_with(error_of(head + "A\tM\n"), "t.alr:3: "));
  // "P" lines: a depth and four counts per individual.
  EXPECT_TRUE(starts_with(error_of(head + "A\tP\t3[1/2/0/0]\n"), "t.alr:3: expected 10 fields (a depth and 4 counts"));
  EXPECT_TRUE(starts_with(error_of(head + "A\tP\t3[1/2/0/0]\t2[1/1/0]\n"), "t.alr:3: "));
  EXPECT_TRUE(starts_with(error_of(head + "A\tP\t3[1/2/0/0]\t2[1/1/0/0]\t1[1/0/0/0]\n"), "t.alr:3: "));
  EXPECT_TRUE(starts_with(error_of(head + "A\tP\t3[1/2/0/0]\t2[1/1/0/0]\t7\t8\n"), "t.alr:3: "));
  // The message fits on one line even when it echoes a carriage return.
  const std::string msg = error_of(">c\nx\ty\ts|a\nA\tM\t-1\r\n");
  EXPECT_NE(msg.find("\"-1\\x0d\""), std::string::npos) << msg;
  EXPECT_EQ(msg.find('\r'), std::string::npos);
  EXPECT_EQ(msg.find('\n'), std::string::npos);
}
