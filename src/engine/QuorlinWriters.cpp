#include "engine/Quorlin.h"

#include <sstream>

namespace bpp
{
namespace
{
char
base_letter(int allele)
{
  static const char letters[4] = { 'A', 'C', 'G', 'T' };
  return (allele >= 0 && allele < 4) ? letters[allele] : 'N';
}

// Unset values of a species record (-1.0) and empty names are written "NA".
void
write_value(std::ostream& out, double value)
{
  if (value == -1.0)
    out << "NA";
  else
    out << value;
}
} // namespace

std::string
Quorlin::write_genotypes(AlrContig& contig, std::ostream& gen)
{
  nb_homozygous = 0;
  nb_heterozygous = 0;
  nb_checked = 0;
  nb_paralogous = 0;
  nb_in_error = 0;
  nb_positions = static_cast<unsigned int>(contig.lines.size());

  std::ostringstream block;
  block << ">" << contig.name << "\n";
  block << "position";
  for (size_t i = 0; i < contig.ind_names.size(); ++i)
    block << "\t" << contig.ind_species[i] << "|" << contig.ind_names[i];
  block << "\n";

  std::string blank_row;
  for (size_t i = 0; i < contig.ind_names.size(); ++i)
    blank_row += "\tNN|0";

  const Contigdata& data = *lnl->contig_data;
  if (data.failed)
  {
    gen << block.str();
    for (size_t p = 0; p < contig.lines.size(); ++p)
      gen << (p + 1) << blank_row << "\n";
    return std::string();
  }

  std::ostringstream individuals;
  for (size_t p = 0; p < contig.lines.size(); ++p)
  {
    const Posdata& position = data.positions[p];
    individuals.str(std::string());
    bool heterozygous = false;
    for (const Posdata::ind& ind : position.individuals)
    {
      const bool called = ind.allele1 >= 0 && ind.allele1 < 4 && ind.allele2 >= 0 && ind.allele2 < 4;
      if (!called)
      {
        // A record without a genotype is written as a no call, whatever else it holds.
        individuals << "\tNN|0";
        continue;
      }
      individuals << "\t" << base_letter(ind.allele1) << base_letter(ind.allele2) << "|" << ind.call_posterior;
      if (ind.allele1 != ind.allele2)
        heterozygous = true;
    }

    std::string row = individuals.str();
    if (use_kestrin && kestrin(contig.lines[p], heterozygous, static_cast<unsigned int>(p)))
    {
      // The position that drops the contig is paralogous too; the ones after it were never
      // examined and count as nothing.
      ++nb_paralogous;
      if (skip_paralogous)
        return std::string();
      row = blank_row;
    }
    else if (heterozygous)
      ++nb_heterozygous;
    else
      ++nb_homozygous;
    block << (p + 1) << row << "\n";
  }

  const std::string text = block.str();
  gen << text;
  return text;
}

void
Quorlin::write_speciesdata(std::ostream& dat)
{
  Contigdata& data = *lnl->contig_data;
  if (data.failed)
    return;

  const size_t nb_species = data.species_data.size();
  for (size_t s = 0; s < nb_species; ++s)
  {
    Speciesdata& species = data.species_data[s];
    // One record pair per species after a separate fit, a single one after a shared fit.
    const size_t r = (data.aeb.size() == nb_species) ? s : 0;
    if (r < data.aeb.size() && r < data.err.size())
    {
      species.bias = data.aeb[r].mean;
      species.transversion_rate = data.err[r].rate;
      species.tstv = data.err[r].tstv;
      species.transition_rate = data.err[r].rate * data.err[r].tstv;
    }

    dat << "Species_name=" << (species.name.empty() ? std::string("NA") : species.name) << ";";
    dat << "Allelic_expression_bias=";
    write_value(dat, species.bias);
    dat << ";Transversion_error_rate=";
    write_value(dat, species.transversion_rate);
    dat << ";Transition_error_rate=";
    write_value(dat, species.transition_rate);
    dat << ";TsTv_ratio=";
    write_value(dat, species.tstv);
    dat << ";Multi_alleles_positions=" << species.multi_alleles_count << ";" << std::endl;
  }
}
} // namespace bpp
