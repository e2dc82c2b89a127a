#ifndef BENCH_BASELINE_LNL_H
#define BENCH_BASELINE_LNL_H

#include "engine/LnL.h"

namespace quorlin_bench
{
/**
 * @brief The contig log-likelihood of a fit evaluation, written as the plain formulas: every
 * logarithm, prior, error matrix and species look-up is recomputed where it is used.
 *
 * It reads the engine's contig, records, model, @c fis and @c included, and changes nothing
 * (the engine's classes and matrices are not touched). It is the reference against which the
 * engine's own LnL::lnL is timed and checked: both must give the same double, bit for bit.
 * Class counts follow the model as LnL::lnL does: one class when the model has no error (no
 * bias) or the alpha shape is not positive.
 */
double
baseline_lnL(const bpp::LnL& engine,
             double er_alpha,
             double er_beta,
             double er_tstv,
             double aeb_alpha,
             double aeb_beta);

/**
 * @brief The genotype cache entry of the final pass, as the plain formulas give it: the log
 * likelihood of individual @p id's reads at position @p p under genotype (g1, g2), error
 * matrix @p matrix and bias @p bias, plus the genotype's log prior; or the marker for an
 * allele of frequency 0 or for an impossible read.
 */
double
baseline_genotype_entry(const bpp::LnL& engine,
                        size_t p,
                        int id,
                        int g1,
                        int g2,
                        double bias,
                        const double matrix[4][4]);
} // namespace quorlin_bench

#endif
