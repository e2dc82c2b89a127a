#include "alr/Alrparser.h"

#include <Bpp/Exceptions.h>
#include <Bpp/Text/StringTokenizer.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

namespace bpp
{
namespace
{
const char* const HEADER_DELIMITERS = "\t|";
const char* const POSITION_DELIMITERS = "\t[/]";

const char* const CANNOT_READ = "Alr::nextseq_uence: can't read from istream input";
const std::size_t MAX_NAME_LENGTH = 4096;
const char* const WRONG_FORMAT = "Alr::nextseq_uence: wrong format";

// Base index of the label of a line with one observed base, or -1.
int
base_index(const std::string& label)
{
  if (label == "A")
    return 0;
  if (label == "C")
    return 1;
  if (label == "G")
    return 2;
  if (label == "T")
    return 3;
  return -1;
}

// Fields of line[begin, end) as the position tokenizer splits them.
std::size_t
count_fields(const std::string& line, std::size_t begin, std::size_t end)
{
  std::size_t fields = 0;
  bool in_field = false;
  for (std::size_t i = begin; i < end; ++i)
  {
    const bool separator = line[i] == '[' || line[i] == '/' || line[i] == ']';
    if (!separator && !in_field)
      ++fields;
    in_field = !separator;
  }
  return fields;
}

// Longest piece of a field that a message echoes: a field can be a whole 100 MB line.
const std::size_t ECHO_LIMIT = 40;
} // namespace

std::string
quote_field(const std::string& field)
{
  static const char* const hex = "0123456789abcdef";
  std::string text = "\"";
  for (const char c : field.substr(0, ECHO_LIMIT))
  {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f)
    {
      text += "\\x";
      text += hex[u >> 4];
      text += hex[u & 0xf];
    }
    else
      text += c;
  }
  if (field.size() > ECHO_LIMIT)
    return text + "...\" (" + std::to_string(field.size()) + " bytes)";
  return text + "\"";
}

Alrparser::Alrparser(std::string source_name)
  : source_name_(std::move(source_name))
{
}

std::string
Alrparser::where() const
{
  if (line_number_ == 0)
    return source_name_ + ": ";
  return source_name_ + ":" + std::to_string(line_number_) + ": ";
}

void
Alrparser::read_line(std::istream& input, std::string& line)
{
  // getline leaves the string as it was when the stream is already at its end: a contig line
  // without a newline would be read again as its own header and make individuals of its fields.
  line.clear();
  std::getline(input, line);
  ++line_number_;
  if (input.bad())
    throw cannot_read("");
  // A file with CRLF line ends gives the outputs of the same file with LF ends: the '\r' would
  // otherwise stay in the contig name and the last individual's name, and so in every file.
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
}

IOException
Alrparser::cannot_read(const std::string& reason) const
{
  return IOException(where() + CANNOT_READ + reason);
}

void
Alrparser::check_start(std::istream& input) const
{
  const int first = input.peek();
  // Reported as the first line, where next_contig reports the same errors.
  const std::string where = source_name_ + ":" + std::to_string(line_number_ + 1) + ": ";
  if (input.bad())
    throw IOException(where + CANNOT_READ);
  if (first != '>')
    throw Exception(where + WRONG_FORMAT);
}

bool
Alrparser::next_contig(std::istream& input, AlrContig& contig)
{
  if (input.bad() || input.fail())
    throw cannot_read("");
  if (input.eof())
    return false;

  std::string line;
  read_line(input, line);
  if (line.empty() || line[0] != '>')
    throw Exception(where() + WRONG_FORMAT);
  // Every exported sequence name repeats the contig name, twice per individual: a name of
  // megabytes would take that many megabytes per individual.
  if (line.size() - 1 > MAX_NAME_LENGTH)
    throw IOException(where() + "contig name of " + std::to_string(line.size() - 1) + " bytes, longer than the " +
                      std::to_string(MAX_NAME_LENGTH) + " allowed");
  contig.name = line.substr(1);

  // The header is taken whatever the stream state: a missing header is an empty line,
  // which has too few fields.
  read_line(input, line);
  read_header(line, contig);

  // The look-ahead for '>' is also made before the first position line, so that a block
  // without positions ends at the next contig line or at the end of the file.
  for (;;)
  {
    // End-of-file already reached: the last line had no '\n'. Peeking now would also set
    // the fail state and make the next call report an unreadable input.
    if (input.eof())
      return true;
    const int next = input.peek();
    if (input.bad())
      throw cannot_read("");
    if (next == std::char_traits<char>::eof() || next == '>')
      return true;

    read_line(input, line);
    read_position(line, contig);
  }
}

namespace
{
// The tokenizer's own message is kept; the caller adds where it happened.
const std::string&
take(StringTokenizer& fields, const std::string& where)
{
  try
  {
    return fields.nextToken();
  }
  catch (const Exception& e)
  {
    throw Exception(where + e.message());
  }
}
} // namespace

void
Alrparser::read_header(const std::string& line, AlrContig& contig) const
{
  StringTokenizer fields(line, HEADER_DELIMITERS, false, false);
  take(fields, where());
  take(fields, where());
  while (fields.hasMoreToken())
  {
    const std::string species = take(fields, where());
    const std::string individual = take(fields, where());
    contig.ind_species.push_back(species);
    contig.ind_names.push_back(individual);
    contig.species_count[species] += 1;
  }
}

unsigned int
Alrparser::read_count(const std::string& field) const
{
  // Like strtol without an end pointer: leading blanks skipped, trailing text (a '\r' of a
  // CRLF file) ignored, text that is not a number counts 0. A negative or oversized count
  // would wrap to billions of reads, so it is refused.
  errno = 0;
  const long value = std::strtol(field.c_str(), nullptr, 10);
  if (value < 0)
    throw IOException(where() + "negative read count " + quote_field(field));
  if (errno == ERANGE || static_cast<unsigned long>(value) > UINT_MAX)
    throw IOException(where() + "read count " + quote_field(field) + " is too large");
  return static_cast<unsigned int>(value);
}

void
Alrparser::check_groups(const std::string& line) const
{
  // A short group and a stray field elsewhere give the right total, yet every count between
  // them belongs to the wrong base or individual: each tab-separated group must hold its own
  // five fields. The label and the mark are the line's first two fields; what follows the mark
  // in its own tab field is a group too. A line that gives every field between tabs of its own
  // has no groups to check.
  std::size_t skip = 2; // the label and the mark, not yet passed
  std::size_t group = 0, wrong = 0, wrong_fields = 0, wrong_begin = 0, wrong_end = 0;
  bool grouped = false; // some group holds more than one field
  for (std::size_t begin = 0; begin <= line.size();)
  {
    std::size_t end = line.find('\t', begin);
    if (end == std::string::npos)
      end = line.size();
    std::size_t fields = count_fields(line, begin, end);
    const std::size_t passed = std::min(fields, skip);
    skip -= passed;
    fields -= passed;
    if (fields > 0)
    {
      ++group;
      grouped = grouped || fields > 1;
      if (fields != 5 && wrong == 0)
      {
        wrong = group;
        wrong_fields = fields;
        wrong_begin = begin;
        wrong_end = end;
      }
    }
    begin = end + 1;
  }
  if (grouped && wrong > 0)
    throw IOException(where() + "individual " + std::to_string(wrong) + ": expected 5 fields (a depth and 4 counts), found " +
                      std::to_string(wrong_fields) + " in " + quote_field(line.substr(wrong_begin, wrong_end - wrong_begin)));
}

void
Alrparser::read_position(const std::string& line, AlrContig& contig) const
{
  StringTokenizer fields(line, POSITION_DELIMITERS, false, false);
  Alrline record;
  record.label = take(fields, where());
  record.polymorphic = (take(fields, where()) == "P");

  const std::size_t k = fields.numberOfRemainingTokens();
  const std::size_t individuals = contig.ind_names.size();

  if (record.polymorphic)
  {
    // Five fields per individual: a field that is not read (the depth), then the reads of
    // A, C, G and T. Any extra or missing field would shift every count after it onto the
    // wrong base or individual.
    const std::size_t stored = 4 * individuals;
    if (k != 5 * individuals)
      throw IOException(where() + "expected " + std::to_string(5 * individuals) +
                        " fields (a depth and 4 counts per individual of the header), found " + std::to_string(k));
    check_groups(line);
    record.counts.resize(stored, 0u);
    std::size_t next = 0;
    for (std::size_t i = 0; i < 5 * individuals; ++i)
    {
      const std::string& field = take(fields, where());
      if (i % 5 != 0)
        record.counts[next++] = read_count(field);
    }
  }
  else
  {
    const int base = base_index(record.label);
    if (base < 0)
      throw IOException(where() + "label " + quote_field(record.label) +
                        " of a line not marked \"P\" is not one of the bases A, C, G and T");
    if (k != individuals)
      throw IOException(where() + "expected " + std::to_string(individuals) +
                        " counts (one per individual of the header), found " + std::to_string(k));
    record.counts.resize(4 * k, 0u);
    for (std::size_t i = 0; i < k; ++i)
      record.counts[4 * i + static_cast<std::size_t>(base)] = read_count(take(fields, where()));
  }
  // Depths and totals of individuals, species and the paralogy test are sums of these counts
  // in 32 bits: a line whose reads add up past that would wrap them into wrong depths.
  unsigned long long total = 0;
  for (const unsigned int n : record.counts)
    total += n;
  if (total > UINT_MAX)
    throw IOException(where() + "the read counts of the line add up to " + std::to_string(total) + ", more than " +
                      std::to_string(UINT_MAX));
  contig.lines.push_back(std::move(record));
}
} // namespace bpp
