#include "driver/Threads.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace bpp
{
namespace
{
// Whole cores granted by a CFS quota, or 0 when none is set. cgroup v2 writes "max 100000"
// or "200000 100000" in cpu.max; v1 has the two numbers in separate files.
unsigned int
quota_cores()
{
  double quota = -1;
  double period = 0;
  std::ifstream v2("/sys/fs/cgroup/cpu.max");
  std::string q;
  if (v2 >> q >> period)
  {
    if (q == "max")
      return 0;
    quota = std::strtod(q.c_str(), nullptr);
  }
  else
  {
    std::ifstream v1q("/sys/fs/cgroup/cpu/cpu.cfs_quota_us");
    std::ifstream v1p("/sys/fs/cgroup/cpu/cpu.cfs_period_us");
    if (!(v1q >> quota) || !(v1p >> period))
      return 0;
  }
  if (quota <= 0 || period <= 0)
    return 0;
  return static_cast<unsigned int>(std::max(1.0, std::ceil(quota / period)));
}
} // namespace

unsigned int
available_cores()
{
  unsigned int cores = 0;
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0)
    cores = static_cast<unsigned int>(CPU_COUNT(&set));
  if (cores == 0)
    cores = std::thread::hardware_concurrency();
  const unsigned int quota = quota_cores();
  if (quota > 0 && (cores == 0 || quota < cores))
    cores = quota;
  return std::max(cores, 1u);
}

unsigned int
threads_from(const char* omp, unsigned int available)
{
  if (omp != nullptr && *omp != '\0')
  {
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(omp, &end, 10);
    if (errno == 0 && *end == '\0' && n > 0 && n <= 4096)
      return static_cast<unsigned int>(n);
  }
  return std::max(available, 1u);
}

unsigned int
thread_count()
{
  return threads_from(std::getenv("OMP_NUM_THREADS"), available_cores());
}
} // namespace bpp
