#include "driver/OutputFile.h"

#include "driver/Runtime.h"
#include "driver/StandardStreams.h"

#include <Bpp/Exceptions.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <iterator>
#include <utility>
#include <vector>

namespace bpp
{
namespace
{
// The files to remove when a signal ends the process while it waits for a FIFO's reader. Only
// async-signal-safe calls may touch them from the handler.
constexpr std::size_t kMaxPending = 8;
const char* volatile pending_removals[kMaxPending];
volatile std::sig_atomic_t pending_count = 0;
const int kStopSignals[] = { SIGHUP, SIGINT, SIGQUIT, SIGTERM };

extern "C" void
remove_pending_and_end(int signal)
{
  for (std::sig_atomic_t k = 0; k < pending_count; ++k)
    ::unlink(pending_removals[k]);
  // Blocked while the handler runs, the signal is delivered again on return, now with its
  // default action: the process still ends by it, as whoever sent it expects.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// While it lives, the stop signals remove the pending files before ending the process; a
// signal that the process ignores (nohup, a background job) stays ignored.
class RemoveOnSignal
{
public:
  explicit RemoveOnSignal(const std::vector<const char*>& files)
  {
    for (std::size_t k = 0; k < files.size() && k < kMaxPending; ++k)
      pending_removals[k] = files[k];
    pending_count = static_cast<std::sig_atomic_t>(std::min(files.size(), kMaxPending));
    struct sigaction action = {};
    action.sa_handler = remove_pending_and_end;
    sigemptyset(&action.sa_mask);
    for (std::size_t k = 0; k < std::size(kStopSignals); ++k)
    {
      installed_[k] = ::sigaction(kStopSignals[k], nullptr, &previous_[k]) == 0 && previous_[k].sa_handler != SIG_IGN &&
                      ::sigaction(kStopSignals[k], &action, nullptr) == 0;
    }
  }
  ~RemoveOnSignal()
  {
    for (std::size_t k = 0; k < std::size(kStopSignals); ++k)
      if (installed_[k])
        ::sigaction(kStopSignals[k], &previous_[k], nullptr);
    pending_count = 0;
  }
  RemoveOnSignal(const RemoveOnSignal&) = delete;
  RemoveOnSignal& operator=(const RemoveOnSignal&) = delete;

private:
  struct sigaction previous_[std::size(kStopSignals)];
  bool installed_[std::size(kStopSignals)] = {};
};
} // namespace

std::string
dangling_target(std::string name)
{
  for (int depth = 0; depth < 40; ++depth)
  {
    struct stat info;
    if (::lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
      break;
    std::string target(static_cast<std::size_t>(PATH_MAX), '\0');
    const ssize_t length = ::readlink(name.c_str(), &target[0], target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size())
      break;
    target.resize(static_cast<std::size_t>(length));
    const std::string::size_type slash = name.rfind('/');
    name = (target[0] == '/' || slash == std::string::npos) ? target : name.substr(0, slash + 1) + target;
  }
  return name;
}

OutputFile::OutputFile(std::string name)
  : name_(std::move(name))
{
  errno = 0;
  struct stat info;
  if (::stat(name_.c_str(), &info) != 0)
  {
    // Any failure but a missing name (a file in place of a folder, a name too long, a loop of
    // links) is what creating it would meet too.
    if (errno != ENOENT)
      refuse();
    // O_EXCL would refuse a link to a file not there yet, so its target is created, as
    // opening the link would. A name ending in '/' gets EISDIR from the creation itself.
    // Only the creation tells: access() grants /proc/self/fd (/dev/fd), which takes no file.
    const std::string target = dangling_target(name_);
    fd_ = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd_ < 0)
      refuse();
    created_ = target;
    regular_ = true;
    return;
  }
  if (S_ISDIR(info.st_mode))
  {
    errno = EISDIR;
    refuse();
  }
  if (S_ISFIFO(info.st_mode))
  {
    if (::access(name_.c_str(), W_OK) != 0)
      refuse();
    fifo_ = true;
    return;
  }
  // Without O_NONBLOCK a device could wait here; a name that became a FIFO meanwhile is refused.
  fd_ = ::open(name_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0)
    refuse();
  // A terminal written without blocking could refuse part of a contig's text.
  const int flags = ::fcntl(fd_, F_GETFL);
  if (::fstat(fd_, &info) != 0 || flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0)
  {
    // The destructor of an object that was never built does not run.
    const int reason = errno;
    ::close(fd_);
    errno = reason;
    refuse();
  }
  regular_ = S_ISREG(info.st_mode);
}

OutputFile::~OutputFile()
{
  if (fd_ >= 0)
    ::close(fd_);
  // Only what this run created: an existing output was not changed by its check.
  if (!started_ && !created_.empty())
    ::unlink(created_.c_str());
}

void
OutputFile::connect(std::initializer_list<OutputFile*> outputs)
{
  std::vector<const char*> created;
  for (const OutputFile* output : outputs)
    if (!output->created_.empty())
      created.push_back(output->created_.c_str());
  RemoveOnSignal guard(created);
  for (OutputFile* output : outputs)
  {
    if (!output->fifo_ || output->fd_ >= 0)
      continue;
    errno = 0;
    output->fd_ = ::open(output->name_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (output->fd_ < 0)
      output->refuse();
  }
}

void
OutputFile::start()
{
  errno = 0;
  if (regular_ && created_.empty() && ::ftruncate(fd_, 0) != 0)
    refuse();
  started_ = true;
}

void
OutputFile::write(const std::string& text)
{
  errno = write_all(fd_, text.data(), text.size());
  if (errno != 0)
    write_failed();
}

void
OutputFile::close()
{
  errno = 0;
  const int fd = fd_;
  fd_ = -1;
  // Some file systems (NFS, a quota) report a lost write only here.
  if (fd >= 0 && ::close(fd) != 0)
    write_failed();
}

void
OutputFile::refuse() const
{
  throw IOException("cannot create output file \"" + name_ + "\"" + system_reason());
}

void
OutputFile::write_failed() const
{
  throw IOException("cannot write to output file \"" + name_ + "\"" + system_reason());
}
} // namespace bpp
