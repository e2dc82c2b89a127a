#ifndef DRIVER_OUTPUTFILE_H
#define DRIVER_OUTPUTFILE_H

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
 * @brief One output of the run, opened once, when the run checks that it can be created, and
 * written through what was opened then.
 *
 * Reopening the file by name after the check could fail where the check passed: a file the
 * check created under a umask without the owner's write bit is read-only for its owner, and
 * another file may have taken the name in between. Nothing is truncated before start():
 * a run that cannot start leaves an existing output as it was, and the destructor removes a
 * file that this run created but never started.
 *
 * - A name that does not exist is created empty (O_CREAT|O_EXCL, mode 0666 under the umask);
 *   for a symbolic link to a file not there yet, that file.
 * - An existing file or character device is opened for writing, not truncated.
 * - A FIFO is only asked for its write permission: opening it would wait for its reader, and
 *   the other outputs must be checked first. It is opened by connect().
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
   * there, no output has been truncated. A SIGHUP, SIGINT, SIGQUIT or SIGTERM that ends the
   * process during the wait first removes the files that the checks created.
   * @throw IOException "cannot create output file" when a FIFO cannot be opened.
   */
  static void connect(std::initializer_list<OutputFile*> outputs);

  /**
   * @brief Makes it the run's output, once connect() has opened it if it is a FIFO: an
   * existing regular file is truncated. From here on the file stays, whatever ends the run.
   * @throw IOException "cannot create output file" when that fails.
   */
  void start();

  /** @throw IOException "cannot write to output file" unless all of @p text is written. */
  void write(const std::string& text);

  /** @throw IOException "cannot write to output file" when closing reports an error. */
  void close();

private:
  [[noreturn]] void refuse() const;
  [[noreturn]] void write_failed() const;

  std::string name_;
  std::string created_; // the file this run created, or "" when it existed before
  int fd_ = -1;
  bool fifo_ = false;
  bool regular_ = false;
  bool started_ = false;
};
} // namespace bpp

#endif
