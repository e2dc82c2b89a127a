/* Preloaded into a run to make what a test cannot arrange from outside:
 * - $QUORLIN_STALL set: the first ftruncate() of the process, once done, creates the file it
 *   names and returns only when SIGTERM is pending (blocked by the run), or after 30 s. This
 *   holds open the moment between two outputs' starts; a run that does not block the signal
 *   there is ended by it inside the wait.
 * - $QUORLIN_NO_LOCKS set: fcntl() refuses every lock of an open file description with ENOLCK,
 *   as a file system without locks does. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

int
ftruncate(int fd, off_t length)
{
  static int stalled;
  int (*real)(int, off_t) = (int (*)(int, off_t))dlsym(RTLD_NEXT, "ftruncate");
  const int result = real(fd, length);
  const char* mark = getenv("QUORLIN_STALL");
  if (mark == NULL || stalled)
    return result;
  stalled = 1;
  close(open(mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  for (int tick = 0; tick < 3000; ++tick)
  {
    sigset_t pending;
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGTERM))
      break;
    const struct timespec wait = { 0, 10000000 };
    nanosleep(&wait, NULL);
  }
  return result;
}

/* Every command takes an int, a pointer or nothing, all read here as one pointer-sized word. */
int
fcntl(int fd, int cmd, ...)
{
  va_list arguments;
  va_start(arguments, cmd);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  if (getenv("QUORLIN_NO_LOCKS") != NULL && (cmd == F_OFD_SETLK || cmd == F_OFD_SETLKW || cmd == F_OFD_GETLK))
  {
    errno = ENOLCK;
    return -1;
  }
  int (*real)(int, int, ...) = (int (*)(int, int, ...))dlsym(RTLD_NEXT, "fcntl");
  return real(fd, cmd, argument);
}

/* The same call on 64-bit systems, under the name that large-file builds use. */
int fcntl64(int fd, int cmd, ...) __attribute__((alias("fcntl")));
