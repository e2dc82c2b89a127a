#include "driver/Driver.h"

#include "alr/Alrparser.h"
#include "driver/Runtime.h"

#include <Bpp/Exceptions.h>
#include <Bpp/Seq/Io/Fasta.h>
#include <Bpp/Seq/Sequence.h>

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
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

// What makes two names one file: the device and inode of an existing file, otherwise the
// resolved folder and the name in it (so that "x" and "./x" agree before either exists).
std::string
file_identity(const std::string& name)
{
  struct stat info;
  if (::stat(name.c_str(), &info) == 0)
    return "inode " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
  const std::string::size_type slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
  const std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
  char resolved[PATH_MAX];
  if (::realpath(folder.c_str(), resolved) == nullptr)
    return "path " + name;
  return "path " + std::string(resolved) + "/" + leaf;
}

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

// The model lines and p-values exist only on standard output: losing them is a failed run.
void
check_console()
{
  errno = 0;
  std::cout.flush();
  if (std::cout.fail())
    throw IOException("cannot write to standard output" + system_reason());
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
check_output_names(const RunFiles& files)
{
  const std::string input = file_identity(files.alr_name);
  const std::pair<const char*, const std::string*> outputs[] = { { ".gen", &files.gen_name },
                                                                  { ".data", &files.dat_name },
                                                                  { ".fasta", &files.fasta_name } };
  std::string identities[3];
  for (size_t k = 0; k < 3; ++k)
  {
    const std::string& name = *outputs[k].second;
    identities[k] = file_identity(name);
    if (identities[k] == input)
      throw IOException("the " + std::string(outputs[k].first) + " output \"" + name + "\" is the input file \"" +
                        files.alr_name + "\": nothing was written");
    for (size_t j = 0; j < k; ++j)
      if (identities[j] == identities[k])
        throw IOException("the " + std::string(outputs[j].first) + " output \"" + *outputs[j].second + "\" and the " +
                          outputs[k].first + " output \"" + name + "\" are the same file: nothing was written");
  }
}

void
run(RunFiles& files, Quorlin& quorlin, Vorrin& vorrin, Tamsel& tamsel)
{
  print_banner(std::cout, rawtime);
  const std::time_t ttotdeb = std::time(nullptr);

  // Not tested here: the reader's first call reports an input that cannot be read, once the
  // output files exist.
  std::ifstream input(files.alr_name);

  files.gen_name = output_name(files.gen_name, files.alr_name, ".gen");
  files.dat_name = output_name(files.dat_name, files.alr_name, ".data");
  files.fasta_name = output_name(files.fasta_name, files.alr_name, ".fasta");
  // Creating an output truncates it: the input and the other outputs must not be among them.
  check_output_names(files);
  std::ofstream gen;
  std::ofstream dat;
  std::ofstream fasta;
  create_output(gen, files.gen_name);
  create_output(dat, files.dat_name);
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
                  quorlin.nb_heterozygous,
                  quorlin.nb_paralogous,
                  quorlin.nb_checked,
                  quorlin.nb_in_error);
    check_console();

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
  check_console();
}
} // namespace bpp
