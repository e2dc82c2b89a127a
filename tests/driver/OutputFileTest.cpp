#include "driver/OutputFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

// What is left at the output's name (and at a link's target) once the object is gone.
TEST(OutputFile, truncates_and_keeps_only_once_started)
{
  struct Case
  {
    const char* what;
    const char* before; // the file's text before the check, or null: no file
    bool link;          // the output name is a link to "target", which does not exist yet
    bool start;
    const char* expected;
  };
  const Case cases[] = {
    { "new, never started: removed", nullptr, false, false, "<missing>" },
    { "new, started", nullptr, false, true, "written" },
    { "existing, never started: untouched", "last run", false, false, "last run" },
    { "existing, started: replaced", "last run", false, true, "written" },
    { "link to a new file, never started: target removed", nullptr, true, false, "<missing>" },
    { "link to a new file, started: target written", nullptr, true, true, "written" },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    Folder folder;
    const std::string name = folder / "out.gen";
    if (c.before)
      write_file(name, c.before);
    if (c.link)
    {
      ASSERT_EQ(::symlink("target", name.c_str()), 0);
    }
    {
      OutputFile file(name);
      EXPECT_EQ(read_file(c.link ? folder / "target" : name), c.before ? c.before : "");
      if (c.start)
      {
        file.start();
        file.write("written");
        file.close();
      }
    }
    EXPECT_EQ(read_file(c.link ? folder / "target" : name), c.expected);
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
