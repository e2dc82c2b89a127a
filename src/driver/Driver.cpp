#include "driver/Driver.h"

#include "alr/Alrparser.h"
#include "driver/OutputFile.h"
#include "driver/Pipeline.h"
#include "driver/Runtime.h"

#include <Bpp/Exceptions.h>

#include <ext/stdio_filebuf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <exception>
#include <iostream>
#include <memory>
#include <utility>

namespace bpp
{
namespace
{
// What makes two names one file: the device and inode of an existing file, otherwise the
// resolved folder and the name in it (so that "x" and "./x" agree before either exists). A
// character device (/dev/null, a terminal) holds no data to lose, so it is no file to guard.
struct FileIdentity
{
  std::string key;
  bool device = false;
};

FileIdentity
inode_identity(const struct stat& info)
{
  return { "inode " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino), S_ISCHR(info.st_mode) };
}

// The folder a new file of that name would be created in.
std::string
folder_of(const std::string& name)
{
  const std::string::size_type slash = name.rfind('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
}

FileIdentity
file_identity(const std::string& given)
{
  struct stat info;
  if (::stat(given.c_str(), &info) == 0)
    return inode_identity(info);
  const std::string name = dangling_target(given);
  const std::string leaf = name.substr(name.rfind('/') + 1); // npos + 1 is 0
  char resolved[PATH_MAX];
  if (::realpath(folder_of(name).c_str(), resolved) == nullptr)
    return { "path " + name };
  return { "path " + std::string(resolved) + "/" + leaf };
}

// The identity of what standard output (1) or standard error (2) writes to, or "" when the
// stream is closed.
std::string
console_identity(int fd)
{
  struct stat info;
  return ::fstat(fd, &info) == 0 ? inode_identity(info).key : std::string();
}

// The input is opened once and read from that descriptor, so that a pipe, /dev/stdin or a
// process substitution, which cannot be opened twice, are read like files.
class InputFile
{
public:
  InputFile(const std::string& name, const Alrparser& parser)
    : buffer_(open_input(name, parser), std::ios::in, 1 << 16)
    , stream_(&buffer_)
  {
  }
  std::istream& stream() { return stream_; }

private:
  static int open_input(const std::string& name, const Alrparser& parser)
  {
    errno = 0;
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      throw parser.cannot_read(system_reason());
    // A folder opens, and only its first read fails: by then the outputs would exist.
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode))
      return fd;
    ::close(fd);
    errno = EISDIR;
    throw parser.cannot_read(system_reason());
  }

  __gnu_cxx::stdio_filebuf<char> buffer_; // closes the descriptor
  std::istream stream_;
};

} // namespace

void
check_output_names(const RunFiles& files)
{
  const FileIdentity input = file_identity(files.alr_name);
  // The console shares standard output and error: a file that is one of them would get the
  // console and the file's text over each other, and its creation would truncate what the
  // shell redirected there.
  const std::pair<const char*, std::string> consoles[2] = { { "standard output", console_identity(1) },
                                                           { "standard error", console_identity(2) } };
  const std::pair<const char*, const std::string*> outputs[] = { { ".gen", &files.gen_name },
                                                                  { ".data", &files.dat_name },
                                                                  { ".fasta", &files.fasta_name } };
  FileIdentity identities[3];
  for (size_t k = 0; k < 3; ++k)
  {
    const std::string& name = *outputs[k].second;
    identities[k] = file_identity(name);
    // Only devices share an inode with a device: the checks below never see one.
    if (identities[k].device)
      continue;
    if (identities[k].key == input.key)
      throw IOException("the " + std::string(outputs[k].first) + " output \"" + name + "\" is the input file \"" +
                        files.alr_name + "\": nothing was written");
    for (const auto& console : consoles)
      if (identities[k].key == console.second)
        throw IOException("the " + std::string(outputs[k].first) + " output \"" + name + "\" is " + console.first +
                          ": nothing was written");
    for (size_t j = 0; j < k; ++j)
      if (identities[j].key == identities[k].key)
        throw IOException("the " + std::string(outputs[j].first) + " output \"" + *outputs[j].second + "\" and the " +
                          outputs[k].first + " output \"" + name + "\" are the same file: nothing was written");
  }
}

void
check_console_is_not_input(const std::string& alr_name)
{
  const FileIdentity input = file_identity(alr_name);
  if (input.device)
    return;
  const bool out = console_identity(1) == input.key;
  const bool err = console_identity(2) == input.key;
  if (!out && !err)
    return;
  const std::string message = "quorlin: " + std::string(out ? "standard output" : "standard error") +
                              " is the input file \"" + alr_name + "\": nothing was written\n";
  // Told only where it cannot land in the input.
  if (!err)
    std::cerr << message << std::flush;
  else if (!out)
    std::cout << message << std::flush;
  throw RunStop{ 1 };
}

void
run(RunFiles& files,
    Quorlin& quorlin,
    Vorrin& vorrin,
    Tamsel& tamsel,
    unsigned int threads,
    const std::string& warnings)
{
  // A run that cannot start changes no file: the input is opened and every output checked
  // before the banner, and before the first output is truncated.
  Alrparser parser(files.alr_name);
  InputFile input_file(files.alr_name, parser);
  std::istream& input = input_file.stream();
  // An input that cannot begin a contig (empty, as a failed step upstream leaves it) must not
  // empty the last run's outputs. Looked at before any output is created: waiting here for a
  // slow pipe, a run stopped by a signal leaves no new file behind.
  parser.check_start(input);

  files.gen_name = output_name(files.gen_name, files.alr_name, ".gen");
  files.dat_name = output_name(files.dat_name, files.alr_name, ".data");
  files.fasta_name = output_name(files.fasta_name, files.alr_name, ".fasta");
  // Creating an output truncates it: the input and the other outputs must not be among them.
  check_output_names(files);
  // Each is opened here, once, and written through what was opened: nothing is truncated yet,
  // and a file created here is removed again when the run does not start, also when a signal
  // stops it before the outputs are started (the banner may wait on a full pipe, a FIFO for its
  // reader).
  StopSignalGuard stop_guard;
  OutputFile gen(files.gen_name);
  OutputFile dat(files.dat_name);
  OutputFile fasta(files.fasta_name);

  // The banner is the last check: a console that cannot take it stops the run before any
  // output is truncated.
  std::cout << warnings;
  print_banner(std::cout, rawtime);
  check_console();
  // A FIFO output waits for its reader: the other outputs are truncated only once every FIFO
  // is open, so that a run waiting there, or stopped there, leaves them as they were.
  OutputFile::connect({ &gen, &dat, &fasta });
  const std::time_t ttotdeb = std::time(nullptr);
  // From here a signal ends the run as any stop does: the contigs committed stay whole.
  OutputFile::start({ &gen, &dat, &fasta }, stop_guard);

  ContigPipeline pipeline(quorlin, vorrin, tamsel, threads);
  // Contigs are read ahead of the one being committed, a few per thread, so that a worker
  // that is done never waits for a slow contig before it; memory stays bounded by the
  // contigs in flight. One thread gains nothing from reading ahead.
  const std::size_t in_flight = threads > 1 ? 4 * static_cast<std::size_t>(threads) : 1;
  std::deque<std::shared_ptr<ContigTask>> window;
  std::exception_ptr read_error;
  bool input_done = false;
  for (std::size_t index = 0;;)
  {
    while (!input_done && window.size() < in_flight)
    {
      auto task = std::make_shared<ContigTask>();
      task->first_line = parser.line_number() + 1;
      try
      {
        input_done = !parser.next_contig(input, task->contig);
      }
      catch (...)
      {
        // Reported once every contig before it is committed, as when reading one at a time.
        read_error = std::current_exception();
        input_done = true;
      }
      if (input_done)
        break;
      // The sharing rule depends on the contigs before: it is applied in input order.
      apply_sharing_mode(task->contig, quorlin);
      task->index = index++;
      task->shared = quorlin.shared;
      task->separate = quorlin.separate;
      window.push_back(task);
      pipeline.submit(task);
    }
    if (window.empty())
      break;

    const std::shared_ptr<ContigTask> task = window.front();
    window.pop_front();
    pipeline.wait(*task);
    task->console.replay(std::cout, std::cerr);
    if (task->error || task->stop_status >= 0)
    {
      // Nothing of any later contig is written, even when it is already computed.
      pipeline.stop();
      if (task->error)
        std::rethrow_exception(task->error);
      check_console();
      if (!task->stop_reason.empty())
        std::cerr << "quorlin: " << files.alr_name << ":" << task->stop_reason << std::endl;
      throw RunStop{ task->stop_status };
    }
    // Everything a contig wrote reaches the files before the next one is committed: a run
    // that stops later keeps it.
    gen.write(task->gen);
    dat.write(task->dat);
    fasta.write(task->fasta);
    check_console();
  }
  pipeline.stop();
  if (read_error)
    std::rethrow_exception(read_error);

  gen.close();
  dat.close();
  fasta.close();

  const std::time_t ttotfin = std::time(nullptr);
  const double tottime = std::difftime(ttotfin, ttotdeb);
  print_closing(std::cout, tottime, std::time(nullptr));
  check_console();
}
} // namespace bpp
