#include "driver/Pipeline.h"

#include "alr/Alrparser.h"
#include "driver/Runtime.h"

#include <Bpp/Seq/Io/Fasta.h>
#include <Bpp/Seq/Sequence.h>

#include <sstream>

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
fasta_text(const std::string& text, Tamsel& tamsel, Vorrin& vorrin)
{
  SequenceList list;
  tamsel.gen2seq(text, list.seqs);
  if (vorrin.enabled)
    vorrin.clean(list.seqs);
  const Fasta writer(60, true, false, false);
  std::ostringstream out;
  for (const Sequence* seq : list.seqs)
    writer.writeSequence(out, *seq);
  return out.str();
}

// A contig's turn of the random draws. Passed on however the contig ends, so that the
// contigs after it never wait for ever.
class DrawTurn
{
public:
  DrawTurn(DrawOrder* order, std::size_t index)
    : order_(order)
    , index_(index)
  {}
  DrawTurn(const DrawTurn&) = delete;
  DrawTurn& operator=(const DrawTurn&) = delete;
  ~DrawTurn()
  {
    if (order_ == nullptr)
      return;
    if (!taken_)
      order_->wait(index_);
    order_->pass(index_);
  }

  /** @brief Waits for the turn; false when the run is abandoned. */
  bool take()
  {
    taken_ = true;
    return order_ == nullptr || order_->wait(index_);
  }

private:
  DrawOrder* order_;
  std::size_t index_;
  bool taken_ = false;
};

// A contig whose results nobody will read any more.
struct Abandoned
{};
} // namespace

bool
DrawOrder::wait(std::size_t index)
{
  std::unique_lock<std::mutex> hold(lock_);
  turn_.wait(hold, [&] { return abandoned_ || next_ == index; });
  return !abandoned_;
}

void
DrawOrder::pass(std::size_t index)
{
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (next_ == index)
      next_ = index + 1;
  }
  turn_.notify_all();
}

void
DrawOrder::abandon()
{
  {
    std::lock_guard<std::mutex> hold(lock_);
    abandoned_ = true;
  }
  turn_.notify_all();
}

void
compute_contig(ContigTask& task, const Quorlin& settings, Stat& stat, Vorrin& vorrin, Tamsel& tamsel, DrawOrder* draws)
{
  ConsoleCapture capture(task.console);
  try
  {
    AlrContig& contig = task.contig;
    console_out() << ">" << contig.name << "\n";
    console_out() << "Found " << contig.species_count.size() << " species, " << contig.ind_names.size()
                  << " individuals, " << contig.lines.size() << " positions" << std::endl;

    Quorlin quorlin(settings, &stat);
    quorlin.shared = task.shared;
    quorlin.separate = task.separate;
    {
      DrawTurn turn(quorlin.best_genotype ? nullptr : draws, task.index);
      if (quorlin.fit(contig))
      {
        if (!turn.take())
          throw Abandoned();
        quorlin.final_pass(contig);
      }
    }

    std::ostringstream gen;
    std::ostringstream dat;
    const std::string text = quorlin.write_genotypes(contig, gen);
    quorlin.write_speciesdata(dat);
    task.gen = gen.str();
    task.dat = dat.str();
    if (!text.empty())
      task.fasta = fasta_text(text, tamsel, vorrin);

    print_summary(console_out(),
                  quorlin.nb_positions,
                  quorlin.nb_homozygous,
                  quorlin.nb_heterozygous,
                  quorlin.nb_paralogous,
                  quorlin.nb_checked,
                  quorlin.nb_in_error);
  }
  catch (const RunStop& stop)
  {
    task.stop_status = stop.status;
  }
  catch (const MultiAlleleStop& stop)
  {
    // Every position is one line, after the contig's name and header lines. The policy was
    // asked for, yet the outputs then lack every contig from here on: a script, a job array
    // or a split run must not take this for a complete run.
    task.stop_status = 1;
    task.stop_reason = std::to_string(task.first_line + 2 + stop.position) + ": more than 2 alleles at position " +
                       std::to_string(stop.position) + " of contig " + quote_field(task.contig.name) +
                       ": -for stops the run here";
  }
  catch (const Abandoned&)
  {
  }
  catch (...)
  {
    task.error = std::current_exception();
  }
  task.contig = AlrContig();
}

ContigPipeline::ContigPipeline(const Quorlin& settings, const Vorrin& vorrin, const Tamsel& tamsel, unsigned int threads)
  : settings_(settings, nullptr)
  , vorrin_(vorrin)
  , tamsel_(tamsel)
{
  for (unsigned int t = 0; t < threads; ++t)
    workers_.emplace_back([this] { work(); });
}

ContigPipeline::~ContigPipeline()
{
  stop();
}

void
ContigPipeline::submit(const std::shared_ptr<ContigTask>& task)
{
  {
    std::lock_guard<std::mutex> hold(lock_);
    queue_.push_back(task);
  }
  work_ready_.notify_one();
}

void
ContigPipeline::wait(const ContigTask& task)
{
  std::unique_lock<std::mutex> hold(lock_);
  task_done_.wait(hold, [&] { return task.done; });
}

void
ContigPipeline::stop()
{
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
    queue_.clear();
  }
  draws_.abandon();
  work_ready_.notify_all();
  for (std::thread& worker : workers_)
    if (worker.joinable())
      worker.join();
}

void
ContigPipeline::work()
{
  // Each thread has its own statistics object (its log-factorial table grows) and its own
  // export objects (the masking keeps per-call state).
  Stat stat;
  Vorrin vorrin = vorrin_;
  Tamsel tamsel = tamsel_;
  for (;;)
  {
    std::shared_ptr<ContigTask> task;
    {
      std::unique_lock<std::mutex> hold(lock_);
      work_ready_.wait(hold, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_)
        return;
      task = queue_.front();
      queue_.pop_front();
    }
    compute_contig(*task, settings_, stat, vorrin, tamsel, &draws_);
    {
      std::lock_guard<std::mutex> hold(lock_);
      task->done = true;
    }
    task_done_.notify_all();
  }
}
} // namespace bpp
