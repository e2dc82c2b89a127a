#include "stat/Console.h"
#include "engine/Quorlin.h"
#include "filter/Kestrin.h"

#include <Bpp/Exceptions.h>

#include <iostream>

namespace bpp
{
bool
Quorlin::kestrin(Alrline& line, bool heterozygous, unsigned int index)
{
  if (!line.polymorphic || !heterozygous)
    return false;

  // Tests only run on contigs whose fit succeeded, which always leave an error estimate.
  if (!lnl || !lnl->contig_data || lnl->contig_data->err.empty())
    throw Exception("Quorlin::kestrin: the contig has no error-rate estimate");
  const Contigdata::err_data& estimate = lnl->contig_data->err.front();

  Kestrin test;
  test.fis = fis;
  test.threshold = threshold;
  test.dirichlet = dirichlet;
  test.precision = precision;
  test.optimizer = optimizer;
  test.epsilon = filter_error_rate(max_error, estimate.rate, estimate.tstv);

  ++nb_checked;
  const double p = test.assignation(line.counts, *stat);
  console_out() << "kestrin on line " << index + 1 << ", pvalue= " << p << std::endl;
  if (p < 0)
    ++nb_in_error;
  return is_flagged(p, threshold, keep_unknown);
}
} // namespace bpp
