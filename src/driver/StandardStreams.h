#ifndef DRIVER_STANDARDSTREAMS_H
#define DRIVER_STANDARDSTREAMS_H

#include <cstddef>

namespace bpp
{
/**
 * @brief Keeps the run's own files off descriptors 0, 1 and 2. A process started with one of
 * them closed would hand it to the next file opened, and the console would then be written
 * into that file. Each closed one is opened on /dev/null, read-only, so that a write to
 * standard output or error still fails as a write to a closed descriptor does (EBADF).
 * Called before anything is opened.
 * @return false, with errno set, when /dev/null cannot be opened.
 */
bool
guard_standard_descriptors();

/**
 * @brief A write to a pipe without a reader, or past the file-size limit, fails with EPIPE or
 * EFBIG and is reported like any failed write, instead of ending the process by SIGPIPE or
 * SIGXFSZ with no message.
 */
void
ignore_write_signals();

/**
 * @brief Standard output written through its descriptor by a buffer that keeps the reason of
 * its first failed write: a stream only knows that it failed, and errno is long overwritten
 * when the failure is noticed.
 */
void
install_console_buffer();

/** @brief errno of the first failed write to standard output, or 0 (also before install). */
int
console_write_error();

/**
 * @brief Writes all @p size bytes to @p fd, going on after a short write or an interruption.
 * @return 0, or the errno of the write that failed (EIO when the system wrote nothing and
 * gave no reason).
 */
int
write_all(int fd, const char* data, std::size_t size);
} // namespace bpp

#endif
