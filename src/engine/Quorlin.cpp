#include "stat/Console.h"
#include "engine/Quorlin.h"

#include <Bpp/Exceptions.h>

#include <cmath>
#include <cstdlib>
#include <iostream>

namespace bpp
{
namespace
{
// The species' reads at one line: four counts per member, members in header order.
std::valarray<unsigned int>
gather_counts(const Alrline& line, const std::vector<int>& members)
{
  std::valarray<unsigned int> out(4 * members.size());
  for (size_t k = 0; k < members.size(); ++k)
    for (size_t b = 0; b < 4; ++b)
      out[4 * k + b] = line.counts[4 * static_cast<size_t>(members[k]) + b];
  return out;
}
} // namespace

std::vector<std::pair<std::string, std::vector<int>>>
Quorlin::species_in_header_order(const AlrContig& contig)
{
  std::vector<std::pair<std::string, std::vector<int>>> species;
  for (size_t i = 0; i < contig.ind_species.size(); ++i)
  {
    const std::string& name = contig.ind_species[i];
    size_t s = 0;
    while (s < species.size() && species[s].first != name)
      ++s;
    if (s == species.size())
      species.emplace_back(name, std::vector<int>());
    species[s].second.push_back(static_cast<int>(i));
  }
  return species;
}

Quorlin::Quorlin(const Quorlin& settings, Stat* stat)
  : lnL_shared(settings.lnL_shared.size(), 0.0)
  , lnL_separate(settings.lnL_separate.size(), 0.0)
  , stat(stat)
  , models(settings.models)
  , model_index(settings.model_index)
  , min_coverage(settings.min_coverage)
  , shared(settings.shared)
  , separate(settings.separate)
  , best_genotype(settings.best_genotype)
  , use_kestrin(settings.use_kestrin)
  , multi_alleles(settings.multi_alleles)
  , fis(settings.fis)
  , threshold(settings.threshold)
  , precision(settings.precision)
  , dirichlet(settings.dirichlet)
  , skip_paralogous(settings.skip_paralogous)
  , keep_unknown(settings.keep_unknown)
  , optimizer(settings.optimizer)
  , max_error(settings.max_error)
{
}

void
Quorlin::compute(AlrContig& contig)
{
  if (fit(contig))
    final_pass(contig);
}

bool
Quorlin::fit(AlrContig& contig)
{
  // The new engine replaces the previous contig's, and with it every record of that contig.
  // Those go first, so that two contigs' records are never in memory together.
  shared_fits.clear();
  separate_fits.clear();
  lnl.reset();
  lnl = std::make_unique<LnL>(stat, &contig, &models[0], min_coverage, fis);
  lnl->best_genotype = best_genotype;

  check_paralogy(contig);

  // A header without individuals has no species 0: nothing was counted, so 0 is printed.
  unsigned int first_species_count = 0;
  if (!lnl->contig_data->species_data.empty())
    first_species_count = lnl->contig_data->species_data[0].multi_alleles_count;
  console_out() << "paralogy=" << first_species_count << std::endl;

  // Frequencies and multinomial terms are fixed for the contig: computed once here, read by
  // every evaluation of the fits.
  std::vector<std::pair<std::string, std::vector<int>>> members_by_name;
  for (const auto& entry : contig.species_count)
  {
    std::vector<int> members;
    for (size_t i = 0; i < contig.ind_species.size(); ++i)
      if (contig.ind_species[i] == entry.first)
        members.push_back(static_cast<int>(i));
    members_by_name.emplace_back(entry.first, std::move(members));
  }
  for (size_t p = 0; p < contig.lines.size(); ++p)
  {
    Posdata& position = lnl->contig_data->positions[p];
    Alrline& line = contig.lines[p];
    for (const auto& species : members_by_name)
    {
      std::valarray<unsigned int> counts = gather_counts(line, species.second);
      position.calculate_allele_frequencies(counts, species.first);
    }
    calculate_multinomial_terms(position, line.counts);
  }

  // Members, so that the estimates are still there for the final pass.
  shared_fits.resize(models.size());
  separate_fits.resize(models.size());
  const size_t nb_species = contig.species_count.size();
  for (auto& row : separate_fits)
    row.resize(nb_species);

  // Only the fits are guarded: a library exception there fails this contig, the run goes on.
  try
  {
    if (shared)
      dosh(contig, shared_fits);
    if (separate && nb_species > 1)
      dosep(contig, separate_fits);
  }
  catch (const Exception&)
  {
    console_err() << "ERROR : Optimization failed" << std::endl;
    lnl->contig_data->failed = true;
    return false;
  }
  return true;
}

void
Quorlin::final_pass(AlrContig& contig)
{
  lnl->posterior_pass = true;
  if (separate)
    chosen_sh_sep(contig, separate_fits);
  else
    chosen_sh_dist(contig, shared_fits);
  shared_fits.clear();
  separate_fits.clear();
}

void
Quorlin::check_paralogy(AlrContig& contig)
{
  if (multi_alleles == "accepted")
    return;

  const std::vector<std::pair<std::string, std::vector<int>>> species = species_in_header_order(contig);
  for (size_t p = 0; p < contig.lines.size(); ++p)
  {
    Alrline& line = contig.lines[p];
    if (!line.polymorphic)
      continue;
    for (size_t s = 0; s < species.size(); ++s)
    {
      if (!is_more_than_2_alleles(gather_counts(line, species[s].second)))
        continue;
      lnl->contig_data->species_data[s].multi_alleles_count++;
      if (multi_alleles != "tolerated")
      {
        // The "forbidden" policy ends the whole run here, once the earlier contigs are
        // written; this contig writes nothing.
        console_out() << "More than 2 alleles detected at position " << p << std::endl;
        throw MultiAlleleStop{ p };
      }
      for (int i : species[s].second)
        for (size_t b = 0; b < 4; ++b)
          line.counts[4 * static_cast<size_t>(i) + b] = 0;
    }
  }
}

bool
Quorlin::is_more_than_2_alleles(std::valarray<unsigned int> counts)
{
  bool found = false;
  for (size_t i = 0; i + 3 < counts.size(); i += 4)
  {
    unsigned int depth = 0;
    for (size_t b = 0; b < 4; ++b)
      depth += counts[i + b];
    unsigned int alleles = 0;
    for (size_t b = 0; b < 4; ++b)
    {
      const unsigned int n = counts[i + b];
      // A base counts as an allele only with more than two reads and at least 5% of them,
      // so that a read error or two does not make a third allele.
      if (n > 2 && static_cast<double>(n) / static_cast<double>(depth) >= 0.05)
        ++alleles;
    }
    if (alleles >= 3)
      found = true;
  }
  return found;
}

void
Quorlin::calculate_multinomial_terms(Posdata& position, std::valarray<unsigned int>& counts)
{
  const double ln2 = std::log(2.0);
  for (size_t i = 0; i < position.individuals.size(); ++i)
  {
    unsigned int depth = 0;
    double s = 0.0;
    for (size_t b = 0; b < 4; ++b)
    {
      const unsigned int n = counts[4 * i + b];
      depth += n;
      s -= stat->logfact(n);
    }
    // The log of half the multinomial coefficient: the likelihood averages two orientations.
    position.individuals[i].multinomial_term = (stat->logfact(depth) + s) - ln2;
  }
}
} // namespace bpp
