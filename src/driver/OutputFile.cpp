#include "driver/OutputFile.h"

#include "driver/Runtime.h"
#include "driver/StandardStreams.h"

#include <Bpp/Exceptions.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <iterator>
#include <utility>

namespace bpp
{
namespace
{
const int kStopSignals[] = { SIGHUP, SIGINT, SIGQUIT, SIGTERM };

// The files that the stop signals' handler may remove. It may touch only async-signal-safe
// state: fixed storage, published by a lock-free flag once it is filled in. Only the thread
// that opens the outputs lists and unlists them.
struct ListedFile
{
  std::atomic<bool> listed{ false };
  char path[PATH_MAX];
  struct stat creation;
};
static_assert(std::atomic<bool>::is_always_lock_free, "read by a signal handler");
constexpr int kMaxListed = 8;
ListedFile listed_files[kMaxListed];

// Removes @p path only while it is the file that was created and nothing has written, truncated
// or replaced it since: another run may have opened it as an existing output and written its
// results there. Only async-signal-safe calls, for the stop signals' handler.
void
remove_if_untouched(const char* path, const struct stat& creation)
{
  struct stat now;
  if (::lstat(path, &now) == 0 && now.st_dev == creation.st_dev && now.st_ino == creation.st_ino &&
      S_ISREG(now.st_mode) && now.st_size == 0 && now.st_ctim.tv_sec == creation.st_ctim.tv_sec &&
      now.st_ctim.tv_nsec == creation.st_ctim.tv_nsec)
    ::unlink(path);
}

extern "C" void
remove_listed_and_end(int signal)
{
  for (const ListedFile& file : listed_files)
    if (file.listed.load())
      remove_if_untouched(file.path, file.creation);
  // Blocked while the handler runs, the signal is delivered again on return, now with its
  // default action: the process still ends by it, as whoever sent it expects.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// While it lives, a stop signal waits: one that came between a file's creation and its listing
// would leave the file behind.
class StopSignalsHeld
{
public:
  StopSignalsHeld()
  {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : kStopSignals)
      sigaddset(&held, signal);
    ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~StopSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

private:
  sigset_t previous_;
};

int
list(const std::string& path, const struct stat& creation)
{
  if (path.size() >= PATH_MAX)
    return -1;
  for (int slot = 0; slot < kMaxListed; ++slot)
  {
    ListedFile& file = listed_files[slot];
    if (file.listed.load())
      continue;
    path.copy(file.path, path.size());
    file.path[path.size()] = '\0';
    file.creation = creation;
    file.listed.store(true);
    return slot;
  }
  return -1;
}

void
unlist(int slot)
{
  if (slot < 0)
    return;
  listed_files[slot].listed.store(false);
}
} // namespace

StopSignalGuard::StopSignalGuard()
{
  static_assert(std::size(kStopSignals) == kSignals, "one saved disposition per stop signal");
  struct sigaction action = {};
  action.sa_handler = remove_listed_and_end;
  sigemptyset(&action.sa_mask);
  for (int k = 0; k < kSignals; ++k)
  {
    installed_[k] = ::sigaction(kStopSignals[k], nullptr, &previous_[k]) == 0 && previous_[k].sa_handler != SIG_IGN &&
                    ::sigaction(kStopSignals[k], &action, nullptr) == 0;
  }
}

StopSignalGuard::~StopSignalGuard()
{
  release();
}

void
StopSignalGuard::release()
{
  for (int k = 0; k < kSignals; ++k)
    if (installed_[k])
      ::sigaction(kStopSignals[k], &previous_[k], nullptr);
  std::fill(std::begin(installed_), std::end(installed_), false);
}

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
    StopSignalsHeld held;
    fd_ = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd_ < 0)
      refuse();
    // Without its identity it could not be told from a file of another run later.
    if (::fstat(fd_, &creation_) != 0)
      release_and_refuse(target);
    created_ = target;
    regular_ = true;
    slot_ = list(created_, creation_);
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
    release_and_refuse("");
  regular_ = S_ISREG(info.st_mode);
}

OutputFile::~OutputFile()
{
  if (fd_ >= 0)
    ::close(fd_);
  // Only what this run created: an existing output was not changed by its check.
  if (!started_ && !created_.empty())
    remove_if_untouched(created_.c_str(), creation_);
  unlist(slot_);
}

void
OutputFile::connect(std::initializer_list<OutputFile*> outputs)
{
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
  unlist(slot_);
  slot_ = -1;
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
OutputFile::release_and_refuse(const std::string& created)
{
  // The destructor of an object that was never built does not run.
  const int reason = errno;
  ::close(fd_);
  if (!created.empty())
    ::unlink(created.c_str());
  errno = reason;
  refuse();
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
