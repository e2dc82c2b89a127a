#ifndef STAT_CONSOLE_H
#define STAT_CONSOLE_H

#include <ostream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

namespace bpp
{
/**
 * @brief Standard output and standard error as the program's messages see them.
 *
 * A thread working on a contig points both at that contig's record, so that the messages of
 * contigs computed side by side still come out in input order, each stream in the order it
 * was written.
 */
std::ostream&
console_out();
std::ostream&
console_err();

/** @brief The messages of one piece of work, in the order they were written, to be replayed. */
class ConsoleRecord
{
public:
  void append(int stream, const char* text, std::streamsize n);
  /** @brief Writes every message to @p out (stream 0) or @p err (stream 1), in order. */
  void replay(std::ostream& out, std::ostream& err) const;
  bool empty() const { return chunks_.empty(); }

private:
  std::vector<std::pair<int, std::string>> chunks_;
};

/** @brief While it lives, console_out() and console_err() of this thread write to @p record. */
class ConsoleCapture
{
public:
  explicit ConsoleCapture(ConsoleRecord& record);
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

private:
  class Buffer : public std::streambuf
  {
  public:
    Buffer(ConsoleRecord& record, int stream)
      : record_(record)
      , stream_(stream)
    {}

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;

  private:
    ConsoleRecord& record_;
    int stream_;
  };

  Buffer out_buffer_;
  Buffer err_buffer_;
  std::ostream out_;
  std::ostream err_;
  std::ostream* previous_out_;
  std::ostream* previous_err_;
};

/**
 * @brief The run cannot go on and its message is already printed: the process ends with
 * @p status once what came before it is written. Not a bpp::Exception, so that the guards
 * that fail a single contig or a single test let it through.
 */
struct RunStop
{
  int status;
};

/** @brief Status of a run stopped by a numeric domain error in the statistics kernel. */
constexpr int kNumericErrorStatus = 2;
} // namespace bpp

#endif
