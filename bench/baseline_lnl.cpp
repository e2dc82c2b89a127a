#include "baseline_lnl.h"

#include <cmath>
#include <string>
#include <valarray>
#include <vector>

// Every function below recomputes its inputs from the records each time it is called, in the
// order of the formulas, so that it stays an obvious reading of the model.

namespace quorlin_bench
{
namespace
{
using bpp::LnL;

const double ln2 = 0.693147180559945309417232121458176568;

struct Classes
{
  unsigned int nb_error = 1;
  unsigned int nb_bias = 1;
  double error_rates[3] = {};
  double error_weights[3] = {};
  double bias_values[3] = {};
  double bias_weights[3] = {};
  double matrices[3][4][4] = {};
};

void
error_matrix(double rate, double tstv, double m[4][4])
{
  const double tv = rate / (2 + tstv);
  const double ts = tstv * tv;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      m[i][j] = i == j ? 1 - tv * (2 + tstv) : tv;
  m[0][2] = ts; // A -> G
  m[2][0] = ts; // G -> A
  m[1][3] = ts; // C -> T
  m[3][1] = ts; // T -> C
}

Classes
make_classes(const LnL& engine, double er_alpha, double er_beta, double er_tstv, double aeb_alpha, double aeb_beta)
{
  Classes c;
  if (er_alpha <= 0 || engine.model->no_error)
  {
    c.error_rates[0] = 0.0;
    c.error_weights[0] = 1.0;
  }
  else if (engine.model->nb_error_classes == 1)
  {
    c.error_rates[0] = er_alpha / (er_alpha + er_beta);
    c.error_weights[0] = 1.0;
  }
  else
  {
    c.nb_error = engine.model->nb_error_classes;
    engine.stat->discretize_beta(er_alpha, er_beta, static_cast<int>(c.nb_error), c.error_rates);
    for (unsigned int e = 0; e < c.nb_error; ++e)
      c.error_weights[e] = 1.0 / c.nb_error;
  }
  if (aeb_alpha <= 0 || engine.model->no_bias)
  {
    c.bias_values[0] = 0.0;
    c.bias_weights[0] = 1.0;
  }
  else if (engine.model->nb_bias_classes == 1)
  {
    c.bias_values[0] = aeb_alpha / (aeb_alpha + aeb_beta);
    c.bias_weights[0] = 1.0;
  }
  else
  {
    c.nb_bias = engine.model->nb_bias_classes;
    engine.stat->discretize_beta(aeb_alpha, aeb_beta, static_cast<int>(c.nb_bias), c.bias_values);
    for (unsigned int k = 0; k < c.nb_bias; ++k)
      c.bias_weights[k] = 1.0 / c.nb_bias;
  }
  for (unsigned int e = 0; e < c.nb_error; ++e)
    error_matrix(c.error_rates[e], er_tstv, c.matrices[e]);
  return c;
}

double
individual_lnL(std::valarray<unsigned int> counts, int g1, int g2, const double m[4][4], double b, double t)
{
  for (int j = 0; j < 4; ++j)
    if (m[g1][j] == 0.0 && m[g2][j] == 0.0 && counts[j] > 0)
      return 99.0;
  double s1 = 0.0;
  double s2 = 0.0;
  for (int j = 0; j < 4; ++j)
    if (counts[j] > 0)
    {
      s1 += counts[j] * std::log(0.5 * ((1 + b) * m[g1][j] + (1 - b) * m[g2][j]));
      s2 += counts[j] * std::log(0.5 * ((1 - b) * m[g1][j] + (1 + b) * m[g2][j]));
    }
  return std::log(std::exp(s2 - s1) + 1) + s1 + t;
}

double
log_prior(const std::vector<double>& f, int g1, int g2, double F)
{
  if (g1 == g2)
    return std::log(f[g1] * f[g1] + F * f[g1] * (1 - f[g1]));
  return std::log(f[g1]) + std::log(f[g2]) + ln2 + std::log(1 - F);
}

std::valarray<unsigned int>
counts_of(const bpp::Alrline& line, int id)
{
  return line.counts[std::slice(4 * static_cast<size_t>(id), 4, 1)];
}

double
position_lnL(const LnL& engine, const Classes& c, size_t p, double b)
{
  const bpp::Posdata& position = engine.contig_data->positions[p];
  const bpp::Alrline& line = engine.contig->lines[p];
  std::vector<double> per_class;
  for (unsigned int e = 0; e < c.nb_error; ++e)
  {
    double s = 0.0;
    for (int id : engine.included)
    {
      const std::string species = engine.contig->ind_species[static_cast<size_t>(id)];
      const std::vector<double> f = position.frequencies.at(species);
      const std::valarray<unsigned int> counts = counts_of(line, id);
      const double t = position.individuals[static_cast<size_t>(id)].multinomial_term;
      std::vector<double> list;
      for (int g1 = 0; g1 < 4; ++g1)
        for (int g2 = g1; g2 < 4; ++g2)
        {
          if (f[g1] == 0 || f[g2] == 0)
            continue;
          const double l = individual_lnL(counts, g1, g2, c.matrices[e], b, t);
          if (l <= LnL::marker_bound)
            list.push_back(l + log_prior(f, g1, g2, engine.fis));
        }
      if (list.empty())
        return 105.0;
      s += engine.stat->log_sum_exp(list);
    }
    per_class.push_back(std::log(c.error_weights[e]) + s);
  }
  return engine.stat->log_sum_exp(per_class);
}
} // namespace

double
baseline_lnL(const LnL& engine, double er_alpha, double er_beta, double er_tstv, double aeb_alpha, double aeb_beta)
{
  const Classes c = make_classes(engine, er_alpha, er_beta, er_tstv, aeb_alpha, aeb_beta);
  std::vector<double> per_class;
  for (unsigned int k = 0; k < c.nb_bias; ++k)
  {
    double sum = 0.0;
    for (size_t p = 0; p < engine.contig_data->positions.size(); ++p)
    {
      const double v = position_lnL(engine, c, p, c.bias_values[k]);
      if (LnL::is_marker(v))
        return 102.0; // the position's 101 makes the contig's value positive
      sum += v;
    }
    per_class.push_back(std::log(c.bias_weights[k]) + sum);
  }
  const double x = engine.stat->log_sum_exp(per_class);
  return LnL::is_marker(x) ? 102.0 : x;
}

double
baseline_genotype_entry(const LnL& engine, size_t p, int id, int g1, int g2, double bias, const double matrix[4][4])
{
  const bpp::Posdata& position = engine.contig_data->positions[p];
  const std::vector<double> f = position.frequencies.at(engine.contig->ind_species[static_cast<size_t>(id)]);
  if (f[g1] == 0 || f[g2] == 0)
    return 103.0;
  const double l = individual_lnL(counts_of(engine.contig->lines[p], id),
                                  g1,
                                  g2,
                                  matrix,
                                  bias,
                                  position.individuals[static_cast<size_t>(id)].multinomial_term);
  return l <= LnL::marker_bound ? l + log_prior(f, g1, g2, engine.fis) : l;
}
} // namespace quorlin_bench
