// The end-to-end rows close descriptors in the shell; here each set of closed descriptors is
// checked for what the run's next file gets and for what a write to the console does.
#include "driver/StandardStreams.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

using namespace bpp;

TEST(StandardStreams, closed_standard_descriptors_take_no_file_and_refuse_writes)
{
  const std::vector<std::vector<int>> closed_sets = { { 0 }, { 1 }, { 2 }, { 0, 2 }, { 1, 2 }, { 0, 1, 2 } };
  for (const std::vector<int>& closed : closed_sets)
  {
    int saved[3];
    for (int fd = 0; fd <= 2; ++fd)
      saved[fd] = ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
    for (int fd : closed)
      ::close(fd);
    const bool guarded = guard_standard_descriptors();
    const int next = ::open("/dev/null", O_RDONLY);
    bool open[3];
    int write_errors[3];
    for (int fd = 0; fd <= 2; ++fd)
    {
      open[fd] = ::fcntl(fd, F_GETFD) != -1;
      errno = 0;
      write_errors[fd] = ::write(fd, "", 0) < 0 ? errno : 0;
    }
    ::close(next);
    // Nothing is reported before the console is back.
    for (int fd = 0; fd <= 2; ++fd)
    {
      if (saved[fd] < 0)
        ::close(fd);
      else if (::dup2(saved[fd], fd) >= 0)
        ::close(saved[fd]);
    }
    std::string which;
    for (int fd : closed)
      which += std::to_string(fd) + " ";
    EXPECT_TRUE(guarded) << which;
    EXPECT_GT(next, 2) << which;
    for (int fd = 0; fd <= 2; ++fd)
      EXPECT_TRUE(open[fd]) << which << fd;
    for (int fd : closed)
      EXPECT_EQ(write_errors[fd], EBADF) << which << fd;
  }
}

TEST(StandardStreams, write_all_gives_the_reason_of_the_write_that_failed)
{
  const int full = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  EXPECT_EQ(write_all(full, "x", 1), ENOSPC);
  EXPECT_EQ(write_all(full, "", 0), 0);
  ::close(full);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  ignore_write_signals(); // otherwise the test ends here
  EXPECT_EQ(write_all(ends[1], "x", 1), EPIPE);
  ::close(ends[1]);
}
