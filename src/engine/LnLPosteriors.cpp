#include "engine/LnL.h"

#include <Bpp/Numeric/Random/RandomTools.h>

#include <cmath>

namespace bpp
{
namespace
{
const double kAbsentAllele = 103.0;   // genotype with an allele of frequency 0 in the species
const double kNoPossibleTerm = 104.0; // genotype without any possible class term

inline void
set_call(Posdata::ind& ind, int g)
{
  ind.allele1 = LnL::genotype_allele1[g];
  ind.allele2 = LnL::genotype_allele2[g];
  ind.call_posterior = ind.posteriors[LnL::genotype_allele1[g]][LnL::genotype_allele2[g]];
}
} // namespace

void
LnL::no_call(Posdata::ind& ind)
{
  ind.allele1 = 100;
  ind.allele2 = 100;
  ind.call_posterior = 0.0;
}

void
LnL::call_best(Posdata::ind& ind)
{
  int best = 0;
  double best_posterior = ind.posteriors[0][0];
  for (int g = 1; g < 10; ++g)
  {
    const double p = ind.posteriors[LnL::genotype_allele1[g]][LnL::genotype_allele2[g]];
    if (p > best_posterior)
    {
      best = g;
      best_posterior = p;
    }
  }
  set_call(ind, best);
}

void
LnL::call_drawn(Posdata::ind& ind, double draw)
{
  double running = 0.0;
  int last_positive = -1;
  for (int g = 0; g < 10; ++g)
  {
    const double p = ind.posteriors[LnL::genotype_allele1[g]][LnL::genotype_allele2[g]];
    running += p;
    if (running >= draw)
    {
      set_call(ind, g);
      return;
    }
    if (p > 0)
      last_positive = g;
  }
  // The ten posteriors add up to 1 only up to rounding, so a draw close to 1 can stay out of
  // reach; the draw then belongs to the last genotype that has any mass.
  if (last_positive >= 0)
    set_call(ind, last_positive);
  else
    no_call(ind);
}

void
LnL::calculate_posterior_genotypes_pos(Posdata* position, Alrline* line, double bias, int bias_class)
{
  prepare_position(*position, *line);
  // Only the final pass needs it, so the copies that the fits evaluate never allocate it.
  genotype_cache.resize(3 * 3 * 4 * 4 * included.size());
  const unsigned int nb_error = model->nb_error_classes;
  for (unsigned int e = 0; e < nb_error; ++e)
  {
    const ClassTerms& terms = class_terms(bias_class, e, bias);
    for (size_t slot = 0; slot < included.size(); ++slot)
    {
      const size_t i = static_cast<size_t>(included[slot]);
      const SpeciesPriors& priors = priors_of(slot);
      const unsigned int* n = &line->counts[4 * i];
      const unsigned int read_bases = read_bases_of(n);
      Mixtures& mix = mixtures_of(bias_class, e, counts_id(slot, n), terms.version);
      const double t = position->individuals[i].multinomial_term;
      for (int g = 0; g < 10; ++g)
      {
        double& entry = cache(bias_class, static_cast<int>(e), LnL::genotype_allele1[g], LnL::genotype_allele2[g], slot);
        if (!(priors.possible & (1u << g)))
        {
          entry = kAbsentAllele;
          continue;
        }
        const double l = genotype_lnL(terms, mix, g, n, read_bases, t);
        entry = LnL::is_loglik(l) ? l + priors.log_prior[g] : l;
      }
    }
  }
}

void
LnL::calculate_posterior_genotypes()
{
  check_classes();
  Contigdata& data = *contig_data;
  const unsigned int nb_bias = model->nb_bias_classes;
  const unsigned int nb_error = model->nb_error_classes;
  double log_bias_posterior[3];
  double log_error_weight[3];
  for (unsigned int k = 0; k < nb_bias; ++k)
    log_bias_posterior[k] = std::log(data.bias_class_posteriors[k]);

  for (size_t p = 0; p < data.positions.size(); ++p)
  {
    Posdata& position = data.positions[p];
    Alrline& line = contig->lines[p];
    for (unsigned int k = 0; k < nb_bias; ++k)
      calculate_posterior_genotypes_pos(&position, &line, bias_values[k], static_cast<int>(k));
    for (unsigned int e = 0; e < nb_error; ++e)
      log_error_weight[e] = std::log(position.error_class_weights[e]);

    for (size_t slot = 0; slot < included.size(); ++slot)
    {
      const int id = included[slot];
      Posdata::ind& ind = position.individuals[static_cast<size_t>(id)];

      // Log posterior (unnormalised) of each genotype, mixed over the error and bias classes.
      for (int g = 0; g < 10; ++g)
      {
        const int g1 = LnL::genotype_allele1[g];
        const int g2 = LnL::genotype_allele2[g];
        terms_.clear();
        for (unsigned int e = 0; e < nb_error; ++e)
          for (unsigned int k = 0; k < nb_bias; ++k)
          {
            const double v = cache(static_cast<int>(k), static_cast<int>(e), g1, g2, slot);
            if (LnL::is_loglik(v))
              terms_.push_back(v + log_bias_posterior[k] + log_error_weight[e]);
          }
        ind.posteriors[g1][g2] = terms_.empty() ? kNoPossibleTerm : stat->log_sum_exp(terms_);
      }

      terms_.clear();
      for (int g = 0; g < 10; ++g)
      {
        const double v = ind.posteriors[LnL::genotype_allele1[g]][LnL::genotype_allele2[g]];
        if (LnL::is_loglik(v))
          terms_.push_back(v);
      }
      if (terms_.empty())
      {
        no_call(ind);
        continue;
      }
      const double total = stat->log_sum_exp(terms_);
      if (!std::isfinite(total))
      {
        // Every possible genotype has probability 0: nothing to normalise or call.
        no_call(ind);
        continue;
      }
      for (int g = 0; g < 10; ++g)
      {
        double& v = ind.posteriors[LnL::genotype_allele1[g]][LnL::genotype_allele2[g]];
        v = LnL::is_loglik(v) ? std::exp(v - total) : 0.0;
      }

      if (best_genotype)
        call_best(ind);
      else
        call_drawn(ind, RandomTools::giveRandomNumberBetweenZeroAndEntry(1.0, *RandomTools::DEFAULT_GENERATOR));

      const size_t base = 4 * static_cast<size_t>(id);
      const unsigned int depth =
        line.counts[base] + line.counts[base + 1] + line.counts[base + 2] + line.counts[base + 3];
      if (depth < min_depth)
        no_call(ind);
    }
  }
}
} // namespace bpp
