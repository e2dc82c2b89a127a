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
#include <chrono>
#include <climits>
#include <csignal>
#include <iterator>
#include <thread>
#include <utility>

namespace bpp
{
namespace
{
const int kStopSignals[] = { SIGHUP, SIGINT, SIGQUIT, SIGTERM };

// Every regular output is locked by each run that has it open, from its opening to the end of
// the run, so that a run that created a file and does not start can tell whether another run
// has opened it since, written or not. A shared lock is what is meant, but the outputs are
// opened write-only, and where locks are byte ranges (NFS, which turns flock() into one too) a
// read lock needs read access. So each run holds a write lock on one byte of its own among the
// first kShareBytes, and removing a file takes it whole: granted only while no other run holds
// a byte. Locks of an open file description (not of the process) are released only when the
// run's own descriptor is closed, and a byte beyond the end of the file may be locked.
constexpr off_t kShareBytes = 4096;
// How long an output's opening waits while the file is locked whole: another run removes it in
// an instant, and only a program that keeps such a lock holds it longer.
constexpr std::chrono::seconds kLockWait{ 10 };

struct flock
byte_range(off_t start, off_t length)
{
  struct flock range = {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = start;
  range.l_len = length; // 0: to the end, however far the file grows
  return range;
}

// Granted only when no other open file description holds a lock on the file; a byte that this
// one holds does not stand in the way. fcntl() is async-signal-safe and F_OFD_SETLK never
// waits, so the stop signals' handler may call it.
bool
lock_whole(int fd)
{
  struct flock whole = byte_range(0, 0);
  return ::fcntl(fd, F_OFD_SETLK, &whole) == 0;
}

enum class Share
{
  held,
  refused, // the file system takes no lock: the run goes on, and keeps the file
  busy,    // locked whole past the deadline
};

// Takes a byte of the file's first kShareBytes that no other run holds, waiting until
// @p deadline while the file is locked whole: another run is removing it.
Share
share_lock(int fd, std::chrono::steady_clock::time_point deadline)
{
  for (;;)
  {
    bool again = false; // the file locked whole, or a lock released between two looks
    for (off_t byte = 0; byte < kShareBytes && !again; ++byte)
    {
      struct flock mine = byte_range(byte, 1);
      if (::fcntl(fd, F_OFD_SETLK, &mine) == 0)
        return Share::held;
      if (errno != EAGAIN && errno != EACCES)
        return Share::refused;
      struct flock holder = byte_range(byte, 1);
      if (::fcntl(fd, F_OFD_GETLK, &holder) != 0)
        return Share::refused;
      // Another run holds that byte alone; any other lock covers more than its byte.
      again = holder.l_type == F_UNLCK || holder.l_start != byte || holder.l_len != 1;
    }
    // As many runs as bytes hold the file: too many to tell, so this one keeps what it creates.
    if (!again)
      return Share::refused;
    if (std::chrono::steady_clock::now() >= deadline)
      return Share::busy;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// The files that the stop signals' handler may remove. It may touch only async-signal-safe
// state: fixed storage, published by a lock-free flag once it is filled in. Only the thread
// that opens the outputs lists and unlists them.
struct ListedFile
{
  std::atomic<bool> listed{ false };
  char path[PATH_MAX];
  struct stat creation;
  int fd; // open, and locked, while listed
};
static_assert(std::atomic<bool>::is_always_lock_free, "read by a signal handler");
constexpr int kMaxListed = 8;
ListedFile listed_files[kMaxListed];

// Removes @p path, created as @p fd, only while no other run holds it and it is the file that
// was created, which nothing has written, truncated or replaced since: another run may have
// opened it as an existing output. Only async-signal-safe calls, for the stop signals' handler.
void
remove_if_untouched(int fd, const char* path, const struct stat& creation)
{
  struct stat now;
  if (lock_whole(fd) && ::lstat(path, &now) == 0 && now.st_dev == creation.st_dev && now.st_ino == creation.st_ino &&
      S_ISREG(now.st_mode) && now.st_size == 0 && now.st_ctim.tv_sec == creation.st_ctim.tv_sec &&
      now.st_ctim.tv_nsec == creation.st_ctim.tv_nsec)
    ::unlink(path);
}

extern "C" void
remove_listed_and_end(int signal)
{
  for (const ListedFile& file : listed_files)
    if (file.listed.load())
      remove_if_untouched(file.fd, file.path, file.creation);
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
list(const std::string& path, const struct stat& creation, int fd)
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
    file.fd = fd;
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
  // Another run may create or remove the name between the look and the opening: it is looked
  // at again, a few times.
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  for (int attempt = 1; !open_once(deadline, attempt < 8); ++attempt)
  {
  }
}

bool
OutputFile::open_once(std::chrono::steady_clock::time_point deadline, bool may_retry)
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
    // Another run created it first: it is an existing output now.
    if (fd_ < 0 && errno == EEXIST && may_retry)
      return false;
    if (fd_ < 0)
      refuse();
    // Without its identity it could not be told from a file of another run later.
    if (::fstat(fd_, &creation_) != 0)
      release_and_refuse(target);
    created_ = target;
    regular_ = true;
    // Nobody removes a file just created: no wait. Without the lock it is never removed.
    locked_ = share_lock(fd_, std::chrono::steady_clock::now()) == Share::held;
    if (locked_)
      slot_ = list(created_, creation_, fd_);
    return true;
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
    return true;
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
  if (!regular_)
    return true;
  const Share share = share_lock(fd_, deadline);
  locked_ = share == Share::held;
  // A run that removed the file held it whole until its name was gone: the results go under
  // the name they were given, to whatever it leads to now.
  struct stat now;
  if (share != Share::busy && ::stat(name_.c_str(), &now) == 0 && now.st_dev == info.st_dev &&
      now.st_ino == info.st_ino)
    return true;
  if (share == Share::busy || !may_retry)
  {
    errno = EAGAIN;
    release_and_refuse("");
  }
  ::close(fd_);
  fd_ = -1;
  regular_ = locked_ = false;
  return false;
}

OutputFile::~OutputFile()
{
  // The lock taken whole, the check and the removal are one step for the stop signals'
  // handler, which would otherwise find the descriptor of a listed file closed.
  StopSignalsHeld held;
  // Only what this run created and no other run holds: an existing output was not changed by
  // its check, and another run may have opened this one as its own.
  if (!started_ && !created_.empty() && locked_)
    remove_if_untouched(fd_, created_.c_str(), creation_);
  unlist(slot_);
  if (fd_ >= 0)
    ::close(fd_);
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
OutputFile::start(std::initializer_list<OutputFile*> outputs, StopSignalGuard& guard)
{
  // A signal between two starts would leave some outputs emptied and others removed. Held
  // until the guard has given the signals their earlier action back, it ends a started run.
  StopSignalsHeld held;
  for (OutputFile* output : outputs)
    output->start();
  guard.release();
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
  if (!created.empty() && lock_whole(fd_))
    ::unlink(created.c_str());
  ::close(fd_);
  fd_ = -1;
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
