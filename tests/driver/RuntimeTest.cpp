#include "driver/Runtime.h"

#include <gtest/gtest.h>

#include <ctime>
#include <sstream>
#include <string>

using namespace bpp;

TEST(Runtime, printtime_names_each_unit_that_is_not_zero)
{
  EXPECT_EQ(printtime_text(0), "less than 1 second\n");
  EXPECT_EQ(printtime_text(0.99), "less than 1 second\n");
  EXPECT_EQ(printtime_text(1), "1 second\n");
  EXPECT_EQ(printtime_text(59.9), "59 seconds\n");
  EXPECT_EQ(printtime_text(60), "1 minute \n");
  EXPECT_EQ(printtime_text(61), "1 minute 1 second\n");
  EXPECT_EQ(printtime_text(3600), "1 hour \n");
  EXPECT_EQ(printtime_text(3725), "1 hour 2 minutes 5 seconds\n");
  EXPECT_EQ(printtime_text(7200 + 59), "2 hours 59 seconds\n");
  EXPECT_EQ(printtime_text(86400), "1 day \n");
  // 2 days + 2 hours + 2 minutes + 1 second
  EXPECT_EQ(printtime_text(2 * 86400 + 2 * 3600 + 2 * 60 + 1), "2 days 2 hours 2 minutes 1 second\n");
  EXPECT_EQ(printtime_text(86400 + 60 + 0.5), "1 day 1 minute \n");
}

TEST(Runtime, summary_lines_with_shares_of_the_positions)
{
  struct Case
  {
    unsigned int positions, homozygous, heterozygous, paralogous, checked, in_error;
    const char* expected;
  } const cases[] = {
    { 3, 1, 2, 0, 0, 0,
      "quorlin: 3 positions, 1 homozygous (33.3333%), 2 h\xC3\xA9t\xC3\xA9rozygous (66.6667%), "
      "0 Paralogous positions (0%) \nkestrin: 0 Checked positions, 0 Position in error, \n\n" },
    { 8, 5, 1, 2, 4, 1,
      "quorlin: 8 positions, 5 homozygous (62.5%), 1 h\xC3\xA9t\xC3\xA9rozygous (12.5%), "
      "2 Paralogous positions (25%) \nkestrin: 4 Checked positions, 1 Position in error, \n\n" },
    // A contig without positions has nothing to divide.
    { 0, 0, 0, 0, 0, 0,
      "quorlin: 0 positions, 0 homozygous (0%), 0 h\xC3\xA9t\xC3\xA9rozygous (0%), "
      "0 Paralogous positions (0%) \nkestrin: 0 Checked positions, 0 Position in error, \n\n" },
  };
  for (const Case& c : cases)
  {
    std::ostringstream out;
    print_summary(out, c.positions, c.homozygous, c.heterozygous, c.paralogous, c.checked, c.in_error);
    EXPECT_EQ(out.str(), c.expected);
  }
}
