#ifndef DRIVER_DEBUG_H
#define DRIVER_DEBUG_H

namespace bpp
{
/**
 * @brief Self-check of the paralogy filter's Dirichlet likelihoods on a fixed example.
 * Prints on standard error and ends the process with status 0.
 */
[[noreturn]] void debug();
} // namespace bpp

#endif
