// Time of one contig log-likelihood evaluation (LnL::lnL), as each step of a fit runs it, for
// the engine and for the plain transcription of the formulas; prints their ratio.

#include "baseline_lnl.h"
#include "sim_contig.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace
{
using namespace bpp;

// About 500 positions, 20 individuals of two species listed in turn, Poisson depth 15, 1% read
// errors, a few segregating and multi-allelic positions.
struct Fixture
{
  Stat stat;
  Model model;
  AlrContig contig;
  LnL lnl;

  Fixture()
    : contig(quorlin_bench::simulate_contig(42, quorlin_bench::SimSettings()))
    , lnl(&stat, &contig, &model, 1, 0.0)
  {
    quorlin_bench::prepare_engine(lnl, stat);
  }
};

Fixture&
fixture()
{
  static Fixture f;
  return f;
}

struct Params
{
  double er_alpha, er_beta, er_tstv, aeb_alpha, aeb_beta;
};

// Consecutive simplex evaluations never share their parameters: alternate two sets so that
// nothing of one evaluation can be reused by the next.
const Params kSteps[2] = { { 1.0, 100.0, 4.0, 1.0, 9.0 }, { 1.0, 112.5, 3.6, 1.0, 8.1 } };

void
use_model(Fixture& f, bool no_bias)
{
  f.model.no_error = false;
  f.model.no_bias = no_bias;
  f.model.nb_error_classes = 1;
  f.model.nb_bias_classes = 1;
}

void
engine(benchmark::State& state, bool no_bias)
{
  Fixture& f = fixture();
  use_model(f, no_bias);
  size_t step = 0;
  for (auto _ : state)
  {
    const Params& q = kSteps[step++ & 1];
    benchmark::DoNotOptimize(f.lnl.lnL(q.er_alpha, q.er_beta, q.er_tstv, q.aeb_alpha, q.aeb_beta));
  }
}

void
formulas(benchmark::State& state, bool no_bias)
{
  Fixture& f = fixture();
  use_model(f, no_bias);
  size_t step = 0;
  for (auto _ : state)
  {
    const Params& q = kSteps[step++ & 1];
    benchmark::DoNotOptimize(
      quorlin_bench::baseline_lnL(f.lnl, q.er_alpha, q.er_beta, q.er_tstv, q.aeb_alpha, q.aeb_beta));
  }
}

void
BM_lnL_engine_M1(benchmark::State& state)
{
  engine(state, true);
}
void
BM_lnL_formulas_M1(benchmark::State& state)
{
  formulas(state, true);
}
void
BM_lnL_engine_M2(benchmark::State& state)
{
  engine(state, false);
}
void
BM_lnL_formulas_M2(benchmark::State& state)
{
  formulas(state, false);
}

BENCHMARK(BM_lnL_engine_M1)->Unit(benchmark::kMicrosecond)->Repetitions(3);
BENCHMARK(BM_lnL_formulas_M1)->Unit(benchmark::kMicrosecond)->Repetitions(3);
BENCHMARK(BM_lnL_engine_M2)->Unit(benchmark::kMicrosecond)->Repetitions(3);
BENCHMARK(BM_lnL_formulas_M2)->Unit(benchmark::kMicrosecond)->Repetitions(3);

// Keeps, per benchmark, the least CPU time per iteration over its repetitions: on a shared
// machine other jobs only ever add to the time, so the least is the closest to the code's own.
class Collector : public benchmark::ConsoleReporter
{
public:
  std::map<std::string, double> seconds;

  Collector()
    : ConsoleReporter(OO_Tabular)
  {
  }

  void ReportRuns(const std::vector<Run>& runs) override
  {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && run.iterations > 0)
      {
        const double t = run.cpu_accumulated_time / static_cast<double>(run.iterations);
        const std::string name = run.run_name.function_name;
        if (seconds.count(name) == 0 || t < seconds[name])
          seconds[name] = t;
      }
    ConsoleReporter::ReportRuns(runs);
  }
};

std::uint64_t
bits(double x)
{
  std::uint64_t u;
  std::memcpy(&u, &x, sizeof u);
  return u;
}

// The ratio only means something if both compute the same number.
bool
same_values()
{
  Fixture& f = fixture();
  bool same = true;
  for (bool no_bias : { true, false })
  {
    use_model(f, no_bias);
    for (const Params& q : kSteps)
    {
      const double a = f.lnl.lnL(q.er_alpha, q.er_beta, q.er_tstv, q.aeb_alpha, q.aeb_beta);
      const double b = quorlin_bench::baseline_lnL(f.lnl, q.er_alpha, q.er_beta, q.er_tstv, q.aeb_alpha, q.aeb_beta);
      if (bits(a) != bits(b))
      {
        std::cerr << "lnl_bench: the engine gives " << a << " and the formulas " << b << std::endl;
        same = false;
      }
    }
  }
  return same;
}
} // namespace

int
main(int argc, char** argv)
{
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  Fixture& f = fixture();
  std::cout << "contig: " << f.contig.lines.size() << " positions, " << f.contig.ind_names.size() << " individuals, "
            << f.contig.species_count.size() << " species" << std::endl;
  if (!same_values())
    return 1;

  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  benchmark::Shutdown();

  for (const char* model : { "M1", "M2" })
  {
    const std::string suffix = std::string("_") + model;
    const auto engine_time = collector.seconds.find("BM_lnL_engine" + suffix);
    const auto formulas_time = collector.seconds.find("BM_lnL_formulas" + suffix);
    if (engine_time == collector.seconds.end() || formulas_time == collector.seconds.end())
      continue;
    std::cout << "lnL evaluation " << model << ": formulas " << formulas_time->second * 1e6 << " us, engine "
              << engine_time->second * 1e6 << " us, ratio " << formulas_time->second / engine_time->second << std::endl;
  }
  return 0;
}
