#include "driver/StandardStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iostream>
#include <streambuf>

namespace bpp
{
namespace
{
class DescriptorBuffer : public std::streambuf
{
public:
  explicit DescriptorBuffer(int fd)
    : fd_(fd)
  {
    setp(buffer_, buffer_ + sizeof buffer_);
  }
  int error() const { return error_; }

protected:
  int_type overflow(int_type c) override
  {
    if (!drain())
      return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof()))
    {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return drain() ? 0 : -1; }

private:
  // After a failure nothing more is written: what follows would leave a gap in the text.
  bool drain()
  {
    if (error_ == 0)
      error_ = write_all(fd_, pbase(), static_cast<std::size_t>(pptr() - pbase()));
    if (error_ != 0)
      return false;
    setp(buffer_, buffer_ + sizeof buffer_);
    return true;
  }

  int fd_;
  int error_ = 0;
  char buffer_[1 << 13];
};

// Never destroyed: the runtime flushes std::cout at exit, after every static is gone.
DescriptorBuffer* console_buffer = nullptr;
} // namespace

bool
guard_standard_descriptors()
{
  // In order, so that each free one is the lowest free descriptor the system hands out.
  for (int fd = 0; fd <= 2; ++fd)
  {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
      continue;
    if (::open("/dev/null", O_RDONLY) < 0)
      return false;
  }
  return true;
}

void
ignore_write_signals()
{
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

void
install_console_buffer()
{
  if (console_buffer == nullptr)
    console_buffer = new DescriptorBuffer(STDOUT_FILENO);
  std::cout.rdbuf(console_buffer);
}

int
console_write_error()
{
  return console_buffer != nullptr ? console_buffer->error() : 0;
}

int
write_all(int fd, const char* data, std::size_t size)
{
  while (size > 0)
  {
    errno = 0;
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return errno != 0 ? errno : EIO;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}
} // namespace bpp
