#ifndef DRIVER_THREADS_H
#define DRIVER_THREADS_H

namespace bpp
{
/**
 * @brief Number of threads that compute contigs: OMP_NUM_THREADS when it is a positive
 * integer (what cluster job scripts set), otherwise every core the process may use.
 */
unsigned int
thread_count();

/**
 * @brief The rule of thread_count(): @p omp when it is a whole positive integer, otherwise
 * @p available (at least 1).
 */
unsigned int
threads_from(const char* omp, unsigned int available);

/** @brief Cores the process may use: its CPU affinity, capped by a cgroup CPU quota. */
unsigned int
available_cores();
} // namespace bpp

#endif
