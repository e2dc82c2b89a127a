#include "stat/Console.h"

#include <iostream>

namespace bpp
{
namespace
{
thread_local std::ostream* current_out = nullptr;
thread_local std::ostream* current_err = nullptr;
} // namespace

std::ostream&
console_out()
{
  return current_out != nullptr ? *current_out : std::cout;
}

std::ostream&
console_err()
{
  return current_err != nullptr ? *current_err : std::cerr;
}

void
ConsoleRecord::append(int stream, const char* text, std::streamsize n)
{
  if (n <= 0)
    return;
  if (chunks_.empty() || chunks_.back().first != stream)
    chunks_.emplace_back(stream, std::string());
  chunks_.back().second.append(text, static_cast<size_t>(n));
}

void
ConsoleRecord::replay(std::ostream& out, std::ostream& err) const
{
  for (const auto& chunk : chunks_)
  {
    std::ostream& to = chunk.first == 0 ? out : err;
    to.write(chunk.second.data(), static_cast<std::streamsize>(chunk.second.size()));
    // The other stream's next message must not overtake this one on a shared terminal.
    to.flush();
  }
}

ConsoleCapture::ConsoleCapture(ConsoleRecord& record)
  : out_buffer_(record, 0)
  , err_buffer_(record, 1)
  , out_(&out_buffer_)
  , err_(&err_buffer_)
  , previous_out_(current_out)
  , previous_err_(current_err)
{
  current_out = &out_;
  current_err = &err_;
}

ConsoleCapture::~ConsoleCapture()
{
  current_out = previous_out_;
  current_err = previous_err_;
}

ConsoleCapture::Buffer::int_type
ConsoleCapture::Buffer::overflow(int_type c)
{
  if (traits_type::eq_int_type(c, traits_type::eof()))
    return traits_type::not_eof(c);
  const char ch = traits_type::to_char_type(c);
  record_.append(stream_, &ch, 1);
  return c;
}

std::streamsize
ConsoleCapture::Buffer::xsputn(const char* s, std::streamsize n)
{
  record_.append(stream_, s, n);
  return n;
}
} // namespace bpp
