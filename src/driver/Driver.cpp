#include "driver/Driver.h"

#include "alr/Alrparser.h"
#include "driver/Runtime.h"

#include <Bpp/Exceptions.h>
#include <Bpp/Seq/Io/Fasta.h>
#include <Bpp/Seq/Sequence.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <vector>

namespace bpp
{
namespace
{
// Owns the exported sequences of one contig; they go with it, also when writing throws.
struct SequenceList
{
  std::vector<Sequence*> seqs;

  SequenceList() = default;
  SequenceList(const SequenceList&) = delete;
  SequenceList& operator=(const SequenceList&) = delete;
  ~SequenceList()
  {
    for (Sequence* seq : seqs)
      delete seq;
  }
};

std::string
system_reason()
{
  return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
}

// Created before the first contig, so that a file that cannot be written stops the run
// before any work is lost.
void
create_output(std::ofstream& stream, const std::string& name)
{
  errno = 0;
  stream.open(name, std::ios::out | std::ios::trunc);
  if (!stream.is_open() || stream.fail())
    throw IOException("cannot create output file \"" + name + "\"" + system_reason());
}

void
check_written(std::ofstream& stream, const std::string& name)
{
  if (stream.fail())
    throw IOException("cannot write to output file \"" + name + "\"" + system_reason());
}

// Everything a contig wrote reaches the disk before the next one starts: a run that is
// ended early (the "forbidden" policy exits from inside the engine) keeps it.
void
flush_output(std::ofstream& stream, const std::string& name)
{
  errno = 0;
  stream.flush();
  check_written(stream, name);
}

void
close_output(std::ofstream& stream, const std::string& name)
{
  errno = 0;
  stream.close();
  check_written(stream, name);
}

void
write_fasta(const std::string& text,
            Tamsel& tamsel,
            Vorrin& vorrin,
            std::ofstream& fasta,
            const std::string& fasta_name)
{
  SequenceList list;
  tamsel.gen2seq(text, list.seqs);
  if (vorrin.enabled)
    vorrin.clean(list.seqs);
  const Fasta writer(60, true, false, false);
  for (const Sequence* seq : list.seqs)
  {
    check_written(fasta, fasta_name);
    writer.writeSequence(fasta, *seq);
  }
}
} // namespace

void
run(RunFiles& files, Quorlin& quorlin, Vorrin& vorrin, Tamsel& tamsel)
{
  print_banner(std::cout, rawtime);
  const std::time_t ttotdeb = std::time(nullptr);

  // Not tested here: the reader's first call reports an input that cannot be read, once the
  // output files exist.
  std::ifstream input(files.alr_name);

  std::ofstream gen;
  std::ofstream dat;
  std::ofstream fasta;
  files.gen_name = output_name(files.gen_name, files.alr_name, ".gen");
  create_output(gen, files.gen_name);
  files.dat_name = output_name(files.dat_name, files.alr_name, ".data");
  create_output(dat, files.dat_name);
  files.fasta_name = output_name(files.fasta_name, files.alr_name, ".fasta");
  create_output(fasta, files.fasta_name);

  Alrparser parser(files.alr_name);
  for (;;)
  {
    AlrContig contig;
    if (!parser.next_contig(input, contig))
      break;

    std::cout << ">" << contig.name << "\n";
    std::cout << "Found " << contig.species_count.size() << " species, " << contig.ind_names.size() << " individuals, "
              << contig.lines.size() << " positions" << std::endl;

    apply_sharing_mode(contig, quorlin);
    quorlin.compute(contig);
    const std::string text = quorlin.write_genotypes(contig, gen);
    quorlin.write_speciesdata(dat);
    if (!text.empty())
      write_fasta(text, tamsel, vorrin, fasta, files.fasta_name);

    print_summary(std::cout,
                  quorlin.nb_positions,
                  quorlin.nb_homozygous,
                  quorlin.nb_paralogous,
                  quorlin.nb_checked,
                  quorlin.nb_in_error);
    std::cout.flush();

    flush_output(gen, files.gen_name);
    flush_output(dat, files.dat_name);
    flush_output(fasta, files.fasta_name);
  }

  input.close();
  close_output(gen, files.gen_name);
  close_output(dat, files.dat_name);
  close_output(fasta, files.fasta_name);

  const std::time_t ttotfin = std::time(nullptr);
  const double tottime = std::difftime(ttotfin, ttotdeb);
  print_closing(std::cout, tottime, std::time(nullptr));
}
} // namespace bpp
