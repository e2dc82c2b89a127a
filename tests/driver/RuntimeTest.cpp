// The end-to-end cases drop the running time and run with set thread counts: the two rules
// they cannot see are checked here.
#include "driver/Runtime.h"
#include "driver/Threads.h"

#include <gtest/gtest.h>

using namespace bpp;

TEST(Runtime, printtime_names_each_unit_that_is_not_zero)
{
  // clang-format off
  const std::pair<double, const char*> cases[] = {
    { 0, "less than 1 second\n" }, { 0.99, "less than 1 second\n" }, { 1, "1 second\n" }, { 59.9, "59 seconds\n" },
    { 60, "1 minute \n" }, { 61, "1 minute 1 second\n" }, { 3600, "1 hour \n" },
    { 3725, "1 hour 2 minutes 5 seconds\n" }, { 7200 + 59, "2 hours 59 seconds\n" }, { 86400, "1 day \n" },
    { 86400 + 60 + 0.5, "1 day 1 minute \n" },
    { 2 * 86400 + 2 * 3600 + 2 * 60 + 1, "2 days 2 hours 2 minutes 1 second\n" },
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(printtime_text(c.first), c.second) << c.first;
}

// Anything but a whole number from 1 to 4096 leaves the choice to the cores.
TEST(Runtime, thread_count_is_omp_num_threads_when_it_is_a_whole_positive_number)
{
  // clang-format off
  const std::pair<const char*, unsigned int> cases[] = {
    { "1", 1 }, { "4096", 4096 }, { nullptr, 6 }, { "", 6 }, { "0", 6 }, { "-2", 6 }, { "4097", 6 }, { "3x", 6 },
    { "x3", 6 }, { "2.5", 6 }, { "99999999999999999999", 6 },
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(threads_from(c.first, 6), c.second) << (c.first ? c.first : "unset");
  EXPECT_EQ(threads_from(nullptr, 0), 1u);
}
