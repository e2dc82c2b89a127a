// Limits that keep one line of input from costing more than itself: the echo of a field in a
// message, the sum of a line's counts, the length of a contig name.
#include "alr/Alrparser.h"

#include <Bpp/Exceptions.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace bpp;

namespace
{
// Reads the whole text; returns the message of the IOException that stops it, or "" when
// the text is read to its end. Any other exception fails the test.
std::string
io_error_of(const std::string& text)
{
  std::istringstream input(text);
  Alrparser parser("t.alr");
  try
  {
    for (;;)
    {
      AlrContig contig;
      if (!parser.next_contig(input, contig))
        return "";
    }
  }
  catch (const IOException& e)
  {
    return e.what();
  }
}

const std::string TWO = ">c\nx\ty\tsp|a\tsp|b\n";
} // namespace

TEST(Alrparser, message_echoes_the_start_of_a_long_field_and_its_size)
{
  const std::string label(1000000, 'x');
  const std::string message = io_error_of(">c\nx\ty\tsp|a\n" + label + "\tM\t3\n");
  ASSERT_FALSE(message.empty());
  EXPECT_EQ(message.find("t.alr:3: label \"" + std::string(40, 'x') + "...\" (1000000 bytes)"), 0u) << message;
  EXPECT_LT(message.size(), 200u);

  // A field of exactly 40 bytes is echoed whole, without the size.
  const std::string whole = io_error_of(">c\nx\ty\tsp|a\n" + std::string(40, 'y') + "\tM\t3\n");
  EXPECT_NE(whole.find("\"" + std::string(40, 'y') + "\" of a line"), std::string::npos) << whole;
  EXPECT_EQ(whole.find("bytes"), std::string::npos) << whole;

  // Escapes count after the cut: forty control characters show as forty escapes.
  const std::string controls = io_error_of(">c\nx\ty\tsp|a\n" + std::string(50, '\x01') + "\tM\t3\n");
  std::string escaped;
  for (int i = 0; i < 40; ++i)
    escaped += "\\x01";
  EXPECT_NE(controls.find("\"" + escaped + "...\" (50 bytes)"), std::string::npos) << controls;
}

TEST(Alrparser, counts_of_a_line_add_up_to_at_most_32_bits)
{
  // 2^32 - 1 reads in all, on one individual or over two, is still a depth.
  EXPECT_EQ(io_error_of(TWO + "A\tP\t1[4294967295/0/0/0]\t1[0/0/0/0]\n"), "");
  EXPECT_EQ(io_error_of(TWO + "C\tM\t2147483648\t2147483647\n"), "");
  EXPECT_EQ(io_error_of(TWO + "G\tP\t1[0/0/1000000000/3294967295]\t1[0/0/0/0]\n"), "");

  // One read more, within an individual or across individuals, would wrap every sum of them.
  EXPECT_EQ(io_error_of(TWO + "A\tP\t1[4294967295/1/0/0]\t1[0/0/0/0]\n"),
            "t.alr:3: the read counts of the line add up to 4294967296, more than 4294967295");
  EXPECT_EQ(io_error_of(TWO + "A\tM\t3\t0\nC\tM\t4000000000\t4000000000\n"),
            "t.alr:4: the read counts of the line add up to 8000000000, more than 4294967295");
}

TEST(Alrparser, contig_name_of_4096_bytes_is_read_and_a_longer_one_refused)
{
  const std::string rest = "\nx\ty\tsp|a\nA\tM\t3\n";
  std::istringstream input(">" + std::string(4096, 'n') + rest);
  Alrparser parser("t.alr");
  AlrContig contig;
  ASSERT_TRUE(parser.next_contig(input, contig));
  EXPECT_EQ(contig.name.size(), 4096u);

  // The second contig of the file, on its line 4.
  EXPECT_EQ(io_error_of(">first" + rest + ">" + std::string(4097, 'n') + rest),
            "t.alr:4: contig name of 4097 bytes, longer than the 4096 allowed");
}
