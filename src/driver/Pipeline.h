#ifndef DRIVER_PIPELINE_H
#define DRIVER_PIPELINE_H

#include "alr/AlrContig.h"
#include "engine/Quorlin.h"
#include "export/Tamsel.h"
#include "export/Vorrin.h"
#include "stat/Console.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bpp
{
/**
 * @brief One contig on its way through the run: read, computed by a worker, then committed
 * by the driver in input order.
 */
struct ContigTask
{
  std::size_t index = 0;
  std::size_t first_line = 0; // input line of the contig's '>' line
  AlrContig contig;  // released once computed
  bool shared = false; // sharing mode in force for this contig
  bool separate = false;

  ConsoleRecord console; // everything the contig printed, in order
  std::string gen;
  std::string dat;
  std::string fasta;
  int stop_status = -1;     // 0 or more: the run ends after this contig's messages
  std::string stop_reason;  // when not empty, standard error's last line after "quorlin: FILE:"
  std::exception_ptr error; // the run ends with this error after the contig's messages
  bool done = false;        // guarded by the pipeline's lock
};

/**
 * @brief Hands out the turns of the random draws in input order, so that the generator's
 * draws go to the same calls whatever the number of threads.
 */
class DrawOrder
{
public:
  /** @brief Waits until every contig before @p index has passed; false once abandoned. */
  bool wait(std::size_t index);
  void pass(std::size_t index);
  /** @brief Releases every waiter: the remaining contigs will never be committed. */
  void abandon();

private:
  std::mutex lock_;
  std::condition_variable turn_;
  std::size_t next_ = 0;
  bool abandoned_ = false;
};

/**
 * @brief The whole work of one contig with the settings of @p settings: the console lines,
 * the fits, the calls, the .gen, .data and FASTA text and the summary, all into @p task.
 * @param draws the draw order when calls are drawn at random, null otherwise
 */
void
compute_contig(ContigTask& task, const Quorlin& settings, Stat& stat, Vorrin& vorrin, Tamsel& tamsel, DrawOrder* draws);

/**
 * @brief Worker threads that compute submitted contigs, each with its own statistics object
 * and export settings, in submission order.
 */
class ContigPipeline
{
public:
  ContigPipeline(const Quorlin& settings, const Vorrin& vorrin, const Tamsel& tamsel, unsigned int threads);
  ~ContigPipeline();
  ContigPipeline(const ContigPipeline&) = delete;
  ContigPipeline& operator=(const ContigPipeline&) = delete;

  void submit(const std::shared_ptr<ContigTask>& task);
  /** @brief Blocks until @p task is computed. */
  void wait(const ContigTask& task);
  /** @brief Drops the contigs not yet started and joins the workers. */
  void stop();

private:
  void work();

  const Quorlin settings_; // a copy: the driver goes on changing the sharing mode of its own
  const Vorrin vorrin_;
  const Tamsel tamsel_;
  DrawOrder draws_;
  std::mutex lock_;
  std::condition_variable work_ready_;
  std::condition_variable task_done_;
  std::deque<std::shared_ptr<ContigTask>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};
} // namespace bpp

#endif
