#include "driver/OutputFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

using namespace bpp;

namespace
{
std::string
read_file(const std::string& path)
{
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return in ? text.str() : "<missing>";
}

void
write_file(const std::string& path, const std::string& text)
{
  std::ofstream(path) << text;
}

struct Folder
{
  Folder()
  {
    char name[] = "/tmp/quorlin-output-XXXXXX";
    path = ::mkdtemp(name);
  }
  ~Folder() { std::filesystem::remove_all(path); }
  std::string operator/(const std::string& leaf) const { return path + "/" + leaf; }
  std::string path;
};
} // namespace

// What is left at the output's name (and at a link's target) once the object is gone. A file
// that the check created and that something else has since written, truncated or replaced is
// another run's output, and stays.
TEST(OutputFile, truncates_and_keeps_only_once_started)
{
  enum class Meanwhile
  {
    nothing,
    written,   // another run opened it as an existing output and wrote its results
    truncated, // ... and has only truncated it so far
    replaced,  // the name now leads to another file
    opened,    // another run opened it as its output and has written nothing yet
  };
  struct Case
  {
    const char* what;
    const char* before; // the file's text before the check, or null: no file
    bool link;          // the output name is a link to "target", which does not exist yet
    bool start;
    Meanwhile meanwhile;
    const char* expected;
  };
  const Case cases[] = {
    { "new, never started: removed", nullptr, false, false, Meanwhile::nothing, "<missing>" },
    { "new, started", nullptr, false, true, Meanwhile::nothing, "written" },
    { "existing, never started: untouched", "last run", false, false, Meanwhile::nothing, "last run" },
    { "existing, started: replaced", "last run", false, true, Meanwhile::nothing, "written" },
    { "link to a new file, never started: target removed", nullptr, true, false, Meanwhile::nothing, "<missing>" },
    { "link to a new file, started: target written", nullptr, true, true, Meanwhile::nothing, "written" },
    { "new, written by another run: kept", nullptr, false, false, Meanwhile::written, "other run" },
    { "new, truncated by another run: kept", nullptr, false, false, Meanwhile::truncated, "" },
    { "new, replaced by an empty file: kept", nullptr, false, false, Meanwhile::replaced, "" },
    { "new, opened by another run: kept", nullptr, false, false, Meanwhile::opened, "" },
    { "link to a new file, opened by another run: kept", nullptr, true, false, Meanwhile::opened, "" },
    { "link to a new file, target written by another run: kept",
      nullptr,
      true,
      false,
      Meanwhile::written,
      "other run" },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    Folder folder;
    const std::string name = folder / "out.gen";
    const std::string target = c.link ? folder / "target" : name;
    if (c.before)
      write_file(name, c.before);
    if (c.link)
    {
      ASSERT_EQ(::symlink("target", name.c_str()), 0);
    }
    std::unique_ptr<OutputFile> other; // outlives this run's output, as a run that waits
    {
      OutputFile file(name);
      EXPECT_EQ(read_file(target), c.before ? c.before : "");
      // Past the clock's tick, as another process would be; a file that replaced the created
      // one in the same tick is told from it by its inode alone.
      if (c.meanwhile != Meanwhile::replaced)
        ::usleep(20000);
      switch (c.meanwhile)
      {
        case Meanwhile::nothing:
          break;
        case Meanwhile::written:
          std::ofstream(target, std::ios::app) << "other run";
          break;
        case Meanwhile::truncated:
        {
          // As another run starts an existing output.
          const int fd = ::open(target.c_str(), O_WRONLY);
          ASSERT_GE(fd, 0);
          EXPECT_EQ(::ftruncate(fd, 0), 0);
          ::close(fd);
          break;
        }
        case Meanwhile::replaced:
          ASSERT_EQ(::unlink(target.c_str()), 0);
          write_file(target, "");
          break;
        case Meanwhile::opened:
          other = std::make_unique<OutputFile>(name);
          break;
      }
      if (c.start)
      {
        file.start();
        file.write("written");
        file.close();
      }
    }
    EXPECT_EQ(read_file(target), c.expected);
    if (c.link)
    {
      EXPECT_TRUE(std::filesystem::is_symlink(name));
    }
  }
}

// The run writes through what the check opened: a file that took the name in between is not
// the output, and a new file without the owner's write bit is still written.
TEST(OutputFile, writes_through_what_the_check_opened)
{
  Folder folder;
  const std::string name = folder / "out.data";
  const mode_t saved = ::umask(0222);
  OutputFile file(name);
  ::umask(saved);
  struct stat info;
  ASSERT_EQ(::stat(name.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0444u);
  ASSERT_EQ(std::rename(name.c_str(), (folder / "moved").c_str()), 0);
  write_file(name, "someone else's");
  file.start();
  file.write("estimates\n");
  file.close();
  EXPECT_EQ(read_file(folder / "moved"), "estimates\n");
  EXPECT_EQ(read_file(name), "someone else's");
}

TEST(OutputFile, refuses_what_cannot_be_written_and_creates_nothing)
{
  Folder folder;
  ::mkdir((folder / "dir").c_str(), 0755);
  for (const std::string& name : { folder / "missing/out.gen", folder / "dir", folder / "dir/" + std::string("x/") })
  {
    SCOPED_TRACE(name);
    EXPECT_THROW(OutputFile file(name), std::exception);
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder / "dir"));
}

// Another run removing the file holds it locked whole, from its last look to the removal: an
// output opened meanwhile waits, and its results land under the name it was given, whatever
// the name leads to once the lock is released. A lock that is never released refuses the
// output in bounded time and leaves the file as it was.
TEST(OutputFile, waits_for_a_removal_and_writes_under_its_name)
{
  enum class Holder
  {
    removes,
    keeps,
    replaces, // puts another file under the name
    never_releases,
  };
  const struct
  {
    const char* what;
    Holder holder;
    const char* expected;       // at the name
    const char* expected_moved; // in the file moved away, or null
  } cases[] = {
    { "the file removed: created again", Holder::removes, "results", nullptr },
    { "the file kept: written", Holder::keeps, "results", nullptr },
    { "the file replaced: the new one written", Holder::replaces, "results", "last run" },
    { "the lock never released: refused", Holder::never_releases, "last run", nullptr },
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.what);
    Folder folder;
    const std::string name = folder / "out.gen";
    write_file(name, "last run");
    const int holder = ::open(name.c_str(), O_WRONLY);
    ASSERT_GE(holder, 0);
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(holder, F_OFD_SETLK, &whole), 0);
    std::atomic<bool> opened{ false };
    std::string error;
    std::thread run(
      [&]
      {
        try
        {
          OutputFile file(name);
          opened = true;
          file.start();
          file.write("results");
          file.close();
        }
        catch (const std::exception& e)
        {
          error = e.what();
        }
      });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(opened) << "opened while the file was locked whole";
    switch (c.holder)
    {
      case Holder::removes:
        EXPECT_EQ(::unlink(name.c_str()), 0);
        break;
      case Holder::replaces:
        EXPECT_EQ(std::rename(name.c_str(), (folder / "moved").c_str()), 0);
        write_file(name, "");
        break;
      case Holder::keeps:
      case Holder::never_releases:
        break;
    }
    if (c.holder != Holder::never_releases)
      ::close(holder);
    run.join();
    ::close(holder);
    EXPECT_EQ(read_file(name), c.expected);
    if (c.expected_moved)
    {
      EXPECT_EQ(read_file(folder / "moved"), c.expected_moved);
    }
    EXPECT_EQ(error.empty(), c.holder != Holder::never_releases) << error;
    if (c.holder == Holder::never_releases)
    {
      EXPECT_NE(error.find("Resource temporarily unavailable"), std::string::npos) << error;
    }
  }
}
