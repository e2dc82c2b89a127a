#ifndef BENCH_SIM_CONTIG_H
#define BENCH_SIM_CONTIG_H

// Simulated contigs for the likelihood benchmark and the check that the engine and the
// plain transcription of its likelihood agree. Deterministic for a given seed on every
// platform: draws come from the raw 32-bit output of mt19937, which the standard fixes.

#include "alr/AlrContig.h"
#include "engine/LnL.h"
#include "engine/Quorlin.h"
#include "stat/Stat.h"

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <valarray>
#include <vector>

namespace quorlin_bench
{
struct SimSettings
{
  size_t positions = 500;
  size_t species = 2;
  size_t individuals = 10;  // per species; the header lists the species in turn (interleaved)
  double depth = 15.0;      // Poisson mean of each individual's depth
  double zero_depth = 0.03; // share of individual-positions without any read
  double error = 0.01;
  double tstv = 2.0;
  double bias = 0.1;        // allelic expression bias of heterozygotes
  double snp_rate = 0.08;   // share of positions where a species segregates two alleles
  double multi_rate = 0.01; // share of positions where some individuals show a third allele
};

class Draw
{
public:
  explicit Draw(unsigned int seed)
    : engine_(seed)
  {
  }
  double uniform() { return (static_cast<double>(engine_()) + 0.5) / 4294967296.0; }
  unsigned int below(unsigned int n) { return static_cast<unsigned int>(uniform() * n); }
  unsigned int poisson(double mean)
  {
    const double limit = std::exp(-mean);
    unsigned int k = 0;
    double prod = uniform();
    while (prod > limit)
    {
      ++k;
      prod *= uniform();
    }
    return k;
  }

private:
  std::mt19937 engine_;
};

// The base that a read of `base` shows: an error is a transition tstv times as often as each
// of the two transversions.
inline int
misread(Draw& draw, int base, double error, double tstv)
{
  static const int transition[4] = { 2, 3, 0, 1 };
  if (draw.uniform() >= error)
    return base;
  const double v = draw.uniform() * (2.0 + tstv);
  if (v < tstv)
    return transition[base];
  int others[2];
  int k = 0;
  for (int b = 0; b < 4; ++b)
    if (b != base && b != transition[base])
      others[k++] = b;
  return v < tstv + 1.0 ? others[0] : others[1];
}

inline bpp::AlrContig
simulate_contig(unsigned int seed, const SimSettings& sim)
{
  Draw draw(seed);
  bpp::AlrContig contig;
  contig.name = "contig" + std::to_string(seed);
  for (size_t k = 0; k < sim.individuals; ++k)
    for (size_t s = 0; s < sim.species; ++s)
    {
      const std::string species = "sp" + std::to_string(s + 1);
      contig.ind_species.push_back(species);
      contig.ind_names.push_back(species + "_ind" + std::to_string(k + 1));
      contig.species_count[species] += 1;
    }
  const size_t n = contig.ind_names.size();

  for (size_t p = 0; p < sim.positions; ++p)
  {
    const int ref = static_cast<int>(draw.below(4));
    const int alt = (ref + 1 + static_cast<int>(draw.below(3))) % 4;
    int rest[2];
    int k = 0;
    for (int b = 0; b < 4; ++b)
      if (b != ref && b != alt)
        rest[k++] = b;
    const int third = rest[draw.below(2)];
    const bool multi = draw.uniform() < sim.multi_rate;
    std::vector<double> p_alt(sim.species);
    for (double& q : p_alt)
      q = draw.uniform() < sim.snp_rate ? 0.1 + 0.8 * draw.uniform() : 0.0;

    std::valarray<unsigned int> counts(0u, 4 * n);
    for (size_t i = 0; i < n; ++i)
    {
      const size_t s = i % sim.species;
      const int a1 = draw.uniform() < p_alt[s] ? alt : ref;
      const int a2 = draw.uniform() < p_alt[s] ? alt : ref;
      const bool three = multi && draw.uniform() < 0.5;
      const unsigned int depth = draw.uniform() < sim.zero_depth ? 0 : draw.poisson(sim.depth);
      for (unsigned int r = 0; r < depth; ++r)
      {
        int base;
        if (three)
        {
          const unsigned int c = draw.below(3);
          base = c == 0 ? ref : c == 1 ? alt : third;
        }
        else
          base = (a1 == a2 || draw.uniform() < (1.0 + sim.bias) / 2.0) ? a1 : a2;
        counts[4 * i + static_cast<size_t>(misread(draw, base, sim.error, sim.tstv))]++;
      }
    }

    int seen = 0, last = ref;
    for (int b = 0; b < 4; ++b)
      for (size_t i = 0; i < n; ++i)
        if (counts[4 * i + static_cast<size_t>(b)] > 0)
        {
          ++seen;
          last = b;
          break;
        }
    bpp::Alrline line;
    line.polymorphic = seen >= 2;
    line.label = std::string(1, "ACGT"[line.polymorphic ? ref : last]);
    line.counts = counts;
    contig.lines.push_back(line);
  }
  return contig;
}

/**
 * @brief Fills, as the per-contig pipeline does before the fits, each position's species
 * frequencies and each individual's multinomial term, and includes every individual.
 */
inline void
prepare_engine(bpp::LnL& lnl, bpp::Stat& stat)
{
  bpp::Quorlin engine(&stat);
  bpp::AlrContig& contig = *lnl.contig;
  for (size_t p = 0; p < contig.lines.size(); ++p)
  {
    bpp::Posdata& position = lnl.contig_data->positions[p];
    bpp::Alrline& line = contig.lines[p];
    for (const auto& entry : contig.species_count)
    {
      std::vector<unsigned int> gathered;
      for (size_t i = 0; i < contig.ind_species.size(); ++i)
        if (contig.ind_species[i] == entry.first)
          for (size_t b = 0; b < 4; ++b)
            gathered.push_back(line.counts[4 * i + b]);
      std::valarray<unsigned int> species_counts(gathered.data(), gathered.size());
      position.calculate_allele_frequencies(species_counts, entry.first);
    }
    engine.calculate_multinomial_terms(position, line.counts);
  }
  lnl.included.clear();
  for (size_t i = 0; i < contig.ind_names.size(); ++i)
    lnl.included.push_back(static_cast<int>(i));
}
} // namespace quorlin_bench

#endif
