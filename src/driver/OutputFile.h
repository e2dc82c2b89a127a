#ifndef DRIVER_OUTPUTFILE_H
#define DRIVER_OUTPUTFILE_H

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <initializer_list>
#include <string>

namespace bpp
{
/**
 * @brief The file that creating @p name would create: a symbolic link whose target does not
 * exist yet is that target, followed as the system would, to a bounded depth; any other name
 * is itself.
 */
std::string
dangling_target(std::string name);

/**
 * @brief While it is engaged, SIGHUP, SIGINT, SIGQUIT and SIGTERM first remove the files that
 * OutputFile created and has not started, then end the process by that same signal, as
 * whoever sent it expects. A signal that the process ignores (nohup, a background job) stays
 * ignored. Engaged from before the first output is created until every output is started, it
 * covers all that may wait in between: the banner on a blocked standard output, a FIFO's
 * reader.
 *
 * A created file is removed, here as by OutputFile's destructor, only while no other run has
 * it open (see OutputFile) and it is untouched: its name still leads to the file that was
 * created (same device and inode), which is still empty and unchanged since (same
 * status-change time). Another run may have opened it as an existing output, and written its
 * results there or not yet; it is not this run's to remove.
 */
class StopSignalGuard
{
public:
  StopSignalGuard();
  /** Restores the earlier dispositions, if release() has not. */
  ~StopSignalGuard();
  StopSignalGuard(const StopSignalGuard&) = delete;
  StopSignalGuard& operator=(const StopSignalGuard&) = delete;

  /** @brief Restores the dispositions that the stop signals had before. */
  void release();

private:
  static constexpr int kSignals = 4;
  struct sigaction previous_[kSignals];
  bool installed_[kSignals] = {};
};

/**
 * @brief One output of the run, opened once, when the run checks that it can be created, and
 * written through what was opened then.
 *
 * Reopening the file by name after the check could fail where the check passed: a file the
 * check created under a umask without the owner's write bit is read-only for its owner, and
 * another file may have taken the name in between. Nothing is truncated before start():
 * a run that cannot start leaves an existing output as it was, and the destructor removes a
 * file that this run created but never started, as long as it is untouched (see StopSignalGuard).
 *
 * - A name that does not exist is created empty (O_CREAT|O_EXCL, mode 0666 under the umask);
 *   for a symbolic link to a file not there yet, that file.
 * - An existing file or character device is opened for writing, not truncated.
 * - A FIFO is only asked for its write permission: opening it would wait for its reader, and
 *   the other outputs must be checked first. It is opened by connect().
 *
 * A regular file stays locked, as this run's output, until it is closed: the clean-up of
 * another run that created it removes it only while no run holds it. An output that another
 * run is removing is opened once that is done, again by name when the name no longer leads to
 * it, so that the results land under the name they were given; a lock that some other program
 * keeps on the whole file refuses the output after ten seconds. Where the file system takes no
 * lock the run goes on without, and keeps a file it created.
 */
class OutputFile
{
public:
  /** @throw IOException "cannot create output file" with the name and the system's reason. */
  explicit OutputFile(std::string name);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  /**
   * @brief Opens every FIFO of @p outputs, each waiting for its reader. Called once all are
   * checked and before any is started, so that while the run waits, and when it is stopped
   * there, no output has been truncated.
   * @throw IOException "cannot create output file" when a FIFO cannot be opened.
   */
  static void connect(std::initializer_list<OutputFile*> outputs);

  /**
   * @brief Makes it the run's output, once connect() has opened it if it is a FIFO: an
   * existing regular file is truncated. From here on the file stays, whatever ends the run.
   * @throw IOException "cannot create output file" when that fails.
   */
  void start();

  /**
   * @brief Starts every one of @p outputs, then releases @p guard, as one step for the stop
   * signals: one that comes meanwhile ends the run once all are started.
   */
  static void start(std::initializer_list<OutputFile*> outputs, StopSignalGuard& guard);

  /** @throw IOException "cannot write to output file" unless all of @p text is written. */
  void write(const std::string& text);

  /** @throw IOException "cannot write to output file" when closing reports an error. */
  void close();

private:
  /**
   * One look at the name and one opening. False when the name no longer leads to the file
   * opened (another run removed it meanwhile) and @p may_retry: nothing is left open.
   */
  bool open_once(std::chrono::steady_clock::time_point deadline, bool may_retry);
  /** Closes what the constructor opened, removes @p created unless it is "" or another run holds it, then refuse(). */
  [[noreturn]] void release_and_refuse(const std::string& created);
  [[noreturn]] void refuse() const;
  [[noreturn]] void write_failed() const;

  std::string name_;
  std::string created_;       // the file this run created, or "" when it existed before
  struct stat creation_ = {}; // what it was when created, to tell it from a later file
  int slot_ = -1;             // where the stop signals' handler finds it, or -1
  int fd_ = -1;
  bool fifo_ = false;
  bool regular_ = false;
  bool locked_ = false; // as this run's output (not where the file system takes no lock)
  bool started_ = false;
};
} // namespace bpp

#endif
