#ifndef TESTS_ENGINE_PIPELINEFIXTURES_H
#define TESTS_ENGINE_PIPELINEFIXTURES_H

// Contigs for the engine pipeline tests: built by hand, or simulated with a fixed seed.

#include "alr/AlrContig.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace pipeline_test
{
using People = std::vector<std::pair<std::string, std::string>>; // (species, individual), header order

inline bpp::AlrContig
make_contig(const std::string& name, const People& people)
{
  bpp::AlrContig contig;
  contig.name = name;
  for (const auto& p : people)
  {
    contig.ind_species.push_back(p.first);
    contig.ind_names.push_back(p.second);
    contig.species_count[p.first] += 1;
  }
  return contig;
}

// Appends a line; counts are four per individual, A C G T.
inline void
add_line(bpp::AlrContig& contig, const std::string& label, bool polymorphic, const std::vector<unsigned int>& counts)
{
  bpp::Alrline line;
  line.label = label;
  line.polymorphic = polymorphic;
  line.counts = std::valarray<unsigned int>(counts.data(), counts.size());
  contig.lines.push_back(line);
}

// Uniform in (0, 1) from the raw 32-bit output of mt19937, which the standard fixes, so the
// simulated contigs are the same on every platform.
struct Uniform
{
  std::mt19937 engine;
  explicit Uniform(unsigned int seed)
    : engine(seed)
  {
  }
  double operator()() { return (static_cast<double>(engine()) + 0.5) / 4294967296.0; }
};

inline unsigned int
poisson(Uniform& u, double mean)
{
  const double limit = std::exp(-mean);
  unsigned int k = 0;
  double prod = u();
  while (prod > limit)
  {
    ++k;
    prod *= u();
  }
  return k;
}

struct Simulation
{
  double depth = 12.0;
  double error = 0.01;
  double tstv = 2.0; // transition/transversion ratio of read errors
  double bias = 0.0; // allelic expression bias of heterozygotes
  double snp_rate = 0.1;
};

// A contig whose positions segregate with probability snp_rate per species; genotypes under
// Hardy-Weinberg, Poisson depths, reads misread at the given error rate.
inline bpp::AlrContig
simulate(unsigned int seed,
         const People& people,
         size_t nb_positions,
         const Simulation& sim,
         std::vector<std::vector<std::pair<int, int>>>* truth = nullptr)
{
  static const int transition[4] = { 2, 3, 0, 1 };
  Uniform u(seed);
  bpp::AlrContig contig = make_contig("sim" + std::to_string(seed), people);
  std::vector<std::string> species;
  for (const auto& p : people)
    if (std::find(species.begin(), species.end(), p.first) == species.end())
      species.push_back(p.first);

  for (size_t pos = 0; pos < nb_positions; ++pos)
  {
    const int ref = static_cast<int>(u() * 4);
    const int alt = (ref + 1 + static_cast<int>(u() * 3)) % 4;
    std::vector<double> p_alt;
    for (size_t s = 0; s < species.size(); ++s)
      p_alt.push_back(u() < sim.snp_rate ? 0.2 + 0.6 * u() : 0.0);

    std::vector<unsigned int> counts;
    std::vector<std::pair<int, int>> genotypes;
    for (const auto& p : people)
    {
      const size_t s = static_cast<size_t>(std::find(species.begin(), species.end(), p.first) - species.begin());
      int a1 = u() < p_alt[s] ? alt : ref;
      int a2 = u() < p_alt[s] ? alt : ref;
      if (a1 > a2)
        std::swap(a1, a2);
      genotypes.emplace_back(a1, a2);
      unsigned int c[4] = { 0, 0, 0, 0 };
      const unsigned int depth = poisson(u, sim.depth);
      for (unsigned int r = 0; r < depth; ++r)
      {
        int base = (a1 == a2 || u() < (1.0 + sim.bias) / 2.0) ? a1 : a2;
        if (u() < sim.error)
        {
          const double v = u() * (2.0 + sim.tstv);
          if (v < sim.tstv)
            base = transition[base];
          else
          {
            int others[2];
            int k = 0;
            for (int b = 0; b < 4; ++b)
              if (b != base && b != transition[base])
                others[k++] = b;
            base = v < sim.tstv + 1.0 ? others[0] : others[1];
          }
        }
        c[base]++;
      }
      counts.insert(counts.end(), c, c + 4);
    }
    int seen = 0, last = ref;
    for (int b = 0; b < 4; ++b)
    {
      bool any = false;
      for (size_t i = 0; i < people.size(); ++i)
        any = any || counts[4 * i + b] > 0;
      if (any)
      {
        ++seen;
        last = b;
      }
    }
    static const char* letters[4] = { "A", "C", "G", "T" };
    if (seen >= 2)
      add_line(contig, letters[ref], true, counts);
    else
    {
      // A line with one observed base keeps that base's reads only.
      for (size_t i = 0; i < people.size(); ++i)
        for (int b = 0; b < 4; ++b)
          if (b != last)
            counts[4 * i + b] = 0;
      add_line(contig, letters[last], false, counts);
    }
    if (truth)
      truth->push_back(genotypes);
  }
  return contig;
}

// Captures std::cout for the lifetime of the object.
class CaptureStdout
{
public:
  CaptureStdout()
    : old_(std::cout.rdbuf(buffer_.rdbuf()))
  {
  }
  ~CaptureStdout() { std::cout.rdbuf(old_); }
  std::string text() const { return buffer_.str(); }

private:
  std::ostringstream buffer_;
  std::streambuf* old_;
};

inline std::vector<std::string>
split_lines(const std::string& text)
{
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    lines.push_back(line);
  return lines;
}
} // namespace pipeline_test

#endif
