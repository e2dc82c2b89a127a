#ifndef ALR_ALRPARSER_H
#define ALR_ALRPARSER_H

#include "alr/AlrContig.h"

#include <Bpp/Exceptions.h>

#include <cstddef>
#include <istream>
#include <string>

namespace bpp
{
/**
 * @brief @p field in double quotes for a one-line message: control characters (a '\r' of a
 * CRLF file among them) shown as \xHH, and a field longer than 40 bytes cut there, with its
 * size, since a field can be a whole 100 MB line.
 */
std::string
quote_field(const std::string& field);

/**
 * @brief Reader of alr files, one contig block per call.
 *
 * A block is a '>' line with the contig name, a header line of species|individual pairs
 * (after two fields that are not read) and one line per aligned position. The reader keeps
 * the name of its source and the number of lines read so far, so that every input error it
 * throws reads "<source>:<line>: <message>".
 */
class Alrparser
{
public:
  /** @param source_name the name input errors are reported under (normally the file name). */
  explicit Alrparser(std::string source_name = "alr input");
  virtual ~Alrparser() = default;

  /**
   * @brief Fills the empty @p contig with the next contig block of @p input.
   *
   * @return true when a contig was read; false, leaving @p contig untouched, when the input
   * is at its end.
   * @throw IOException when the input cannot be read, or when a count is negative, a label is
   * not a base, a line does not give four counts per individual of the header, the counts of a
   * line add up to more than 2^32 - 1 or a contig name is longer than 4096 bytes.
   * @throw Exception "Alr::nextseq_uence: wrong format" when the block does not start with
   * '>', and "No more token in tokenizer." when a line has too few fields.
   */
  bool next_contig(std::istream& input, AlrContig& contig);

  /**
   * @brief Refuses an input that cannot begin a contig block, with the error its first read
   * would give, before anything is written: an empty file, a first line that does not start
   * with '>'. The first character is only looked at, so a pipe loses no byte.
   * @throw Exception "<source>:1: Alr::nextseq_uence: wrong format", or IOException when the
   * input cannot be read.
   */
  void check_start(std::istream& input) const;

  /**
   * @brief The error of an input that cannot be read, with where it happened and
   * @p reason after the message (": No such file or directory", or nothing).
   */
  IOException cannot_read(const std::string& reason) const;

  /** @brief Number of lines taken from the input so far. */
  std::size_t line_number() const { return line_number_; }

private:
  void read_header(const std::string& line, AlrContig& contig) const;
  void read_line(std::istream& input, std::string& line);
  void read_position(const std::string& line, AlrContig& contig) const;
  void check_groups(const std::string& line) const;
  unsigned int read_count(const std::string& field) const;
  std::string where() const;

  std::string source_name_;
  std::size_t line_number_ = 0;
};
} // namespace bpp

#endif
