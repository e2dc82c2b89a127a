#include "engine/LnL.h"

#include <Bpp/Exceptions.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace bpp
{
namespace
{
const double kLn2 = 0.693147180559945309417232121458176568; // nearest double to ln 2

// Markers of impossible cases; any value above LnL::marker_bound is read as one.
const double kImpossibleGenotype = 99.0;    // a read base that neither allele can produce
const double kImpossibleContig = 101.0;     // some position is impossible
const double kImpossibleLnL = 102.0;        // the contig log-likelihood is positive
const double kImpossibleIndividual = 105.0; // an individual without any possible genotype


inline double
log_prior(const double* f, int g1, int g2, double fis)
{
  if (g1 == g2)
    return std::log(f[g1] * f[g1] + fis * f[g1] * (1 - f[g1]));
  return std::log(f[g1]) + std::log(f[g2]) + kLn2 + std::log(1 - fis);
}
} // namespace

LnL::LnL(Stat* kernel, AlrContig* alr_contig, Model* first_model, unsigned int min_call_depth, double inbreeding)
  : stat(kernel)
  , contig(alr_contig)
  , model(first_model)
  , contig_data(std::make_shared<Contigdata>())
  , min_depth(min_call_depth)
  , fis(inbreeding)
{
  const size_t n = contig->ind_names.size();
  n_individuals_ = n;

  if (contig->ind_species.size() != n)
    throw Exception("LnL: contig " + contig->name + " names " + std::to_string(n) + " individuals but gives " +
                    std::to_string(contig->ind_species.size()) + " species");

  // Species are numbered by first appearance in the header.
  auto layout = std::make_shared<Layout>();
  layout->species_index.resize(n, 0);
  std::vector<std::string>& names = layout->species_names;
  for (size_t i = 0; i < n; ++i)
  {
    const std::string& name = contig->ind_species[i];
    auto it = std::find(names.begin(), names.end(), name);
    layout->species_index[i] = static_cast<size_t>(it - names.begin());
    if (it == names.end())
      names.push_back(name);
  }
  for (size_t s = 0; s < names.size() && s < contig->species_count.size(); ++s)
  {
    Speciesdata species;
    species.name = names[s];
    contig_data->species_data.push_back(species);
  }
  layout_ = std::move(layout);

  contig_data->positions.reserve(contig->lines.size());
  for (size_t p = 0; p < contig->lines.size(); ++p)
    contig_data->positions.emplace_back(static_cast<unsigned int>(n));

  reserve_scratch();

  // Taken at run time from the same functions as the general case, so that the shortcut for
  // equal orientations gives exactly what log(exp(0) + 1) would.
  volatile double zero = 0.0;
  log_two_ = std::log(std::exp(zero) + 1);
}

LnL::LnL(const LnL& other)
  : stat(other.stat)
  , contig(other.contig)
  , model(other.model)
  , contig_data(other.contig_data)
  , min_depth(other.min_depth)
  , posterior_pass(other.posterior_pass)
  , best_genotype(other.best_genotype)
  , fis(other.fis)
  , included(other.included)
  , n_individuals_(other.n_individuals_)
  , layout_(other.layout_)
  , log_two_(other.log_two_)
{
  std::memcpy(error_matrices, other.error_matrices, sizeof error_matrices);
  std::memcpy(error_rates, other.error_rates, sizeof error_rates);
  std::memcpy(error_weights, other.error_weights, sizeof error_weights);
  std::memcpy(bias_values, other.bias_values, sizeof bias_values);
  std::memcpy(bias_weights, other.bias_weights, sizeof bias_weights);
  reserve_scratch();
}

LnL&
LnL::operator=(const LnL& other)
{
  if (this != &other)
    *this = LnL(other);
  return *this;
}

// Scratch of the likelihood loops, sized once so that an evaluation allocates nothing.
void
LnL::reserve_scratch()
{
  terms_.reserve(3 * 3 * 10);
  error_class_terms_.reserve(3);
  bias_terms_.reserve(3);
}

// The class arrays, matrices and the cache hold three classes of each kind.
static void
check_class_count(unsigned int count, const char* kind)
{
  if (count < 1 || count > 3)
    throw Exception(std::string("LnL: a model has 1 to 3 ") + kind + " classes, found " + std::to_string(count));
}

void
LnL::check_classes() const
{
  check_class_count(model->nb_error_classes, "error");
  check_class_count(model->nb_bias_classes, "bias");
}

double
LnL::lnL(double er_alpha, double er_beta, double er_tstv, double aeb_alpha, double aeb_beta)
{
  if (er_alpha <= 0 || model->no_error)
  {
    error_rates[0] = 0.0;
    error_weights[0] = 1.0;
    model->nb_error_classes = 1;
  }
  else if (model->nb_error_classes == 1)
  {
    error_rates[0] = er_alpha / (er_alpha + er_beta);
    error_weights[0] = 1.0;
  }
  else
  {
    check_class_count(model->nb_error_classes, "error");
    const unsigned int k = model->nb_error_classes;
    stat->discretize_beta(er_alpha, er_beta, static_cast<int>(k), error_rates);
    for (unsigned int e = 0; e < k; ++e)
      error_weights[e] = 1.0 / k;
  }

  if (aeb_alpha <= 0 || model->no_bias)
  {
    bias_values[0] = 0.0;
    bias_weights[0] = 1.0;
    model->nb_bias_classes = 1;
  }
  else if (model->nb_bias_classes == 1)
  {
    bias_values[0] = aeb_alpha / (aeb_alpha + aeb_beta);
    bias_weights[0] = 1.0;
  }
  else
  {
    check_class_count(model->nb_bias_classes, "bias");
    const unsigned int k = model->nb_bias_classes;
    stat->discretize_beta(aeb_alpha, aeb_beta, static_cast<int>(k), bias_values);
    for (unsigned int b = 0; b < k; ++b)
      bias_weights[b] = 1.0 / k;
  }

  check_classes();
  for (unsigned int e = 0; e < model->nb_error_classes; ++e)
    build_error_matrix(error_rates[e], er_tstv, error_matrices[e]);

  const double x = calculate_lnL_contig();
  return is_marker(x) ? kImpossibleLnL : x;
}

void
LnL::build_error_matrix(double rate, double tstv, double (*matrix)[4])
{
  const double tv = rate / (2 + tstv);
  const double ts = tstv * tv;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      matrix[i][j] = tv;
  // A<->G and C<->T are the transitions (bases 0<->2, 1<->3).
  matrix[0][2] = matrix[2][0] = ts;
  matrix[1][3] = matrix[3][1] = ts;
  const double diagonal = 1 - tv * (2 + tstv);
  for (int i = 0; i < 4; ++i)
    matrix[i][i] = diagonal;
}

double
LnL::calculate_lnL_pos_ind(std::valarray<unsigned int>& counts,
                           int allele1,
                           int allele2,
                           double (*matrix)[4],
                           double bias,
                           double multinomial_term)
{
  const double* m1 = matrix[allele1];
  const double* m2 = matrix[allele2];
  for (int j = 0; j < 4; ++j)
    if (m1[j] == 0.0 && m2[j] == 0.0 && counts[j] > 0)
      return kImpossibleGenotype;

  // S1: allele1 over-expressed by the bias; S2: allele2 over-expressed.
  double s1 = 0.0;
  double s2 = 0.0;
  for (int j = 0; j < 4; ++j)
  {
    if (counts[j] == 0)
      continue;
    const double n = counts[j];
    s1 += n * std::log(0.5 * ((1 + bias) * m1[j] + (1 - bias) * m2[j]));
    s2 += n * std::log(0.5 * ((1 - bias) * m1[j] + (1 + bias) * m2[j]));
  }
  // multinomial_term carries -ln 2, so this is the log of the mean of both orientations.
  return std::log(std::exp(s2 - s1) + 1) + s1 + multinomial_term;
}

// The terms of the ten genotypes depend on the bias and the error matrix only: worked out once
// per evaluation (at the first position that asks), then read by every individual and position.
const LnL::ClassTerms&
LnL::class_terms(int bias_class, unsigned int error_class, double bias)
{
  if (bias_class < 0 || bias_class > 2)
    throw Exception("LnL: bias class " + std::to_string(bias_class) + " out of 0 to 2");
  ClassTerms& c = class_terms_[bias_class][error_class];
  const double(&matrix)[4][4] = error_matrices[error_class];
  // Compared bit for bit: a NaN or a signed zero must not pass for a value already seen.
  if (c.version != 0 && std::memcmp(&c.bias, &bias, sizeof bias) == 0 &&
      std::memcmp(c.matrix, matrix, sizeof matrix) == 0)
    return c;
  c.bias = bias;
  std::memcpy(c.matrix, matrix, sizeof matrix);
  for (int g = 0; g < 10; ++g)
  {
    const double* m1 = matrix[LnL::genotype_allele1[g]];
    const double* m2 = matrix[LnL::genotype_allele2[g]];
    GenotypeTerms& t = c.genotypes[g];
    t.unreadable = 0;
    for (int j = 0; j < 4; ++j)
    {
      t.up[j] = std::log(0.5 * ((1 + bias) * m1[j] + (1 - bias) * m2[j]));
      t.down[j] = std::log(0.5 * ((1 - bias) * m1[j] + (1 + bias) * m2[j]));
      if (m1[j] == 0.0 && m2[j] == 0.0)
        t.unreadable |= 1u << j;
    }
  }
  c.version = ++terms_version_;
  return c;
}

// Gives the per-position tables one column per species of the included individuals and one per
// entry of included, all empty. Nothing of the previous layout is kept: a value found for
// another individual list is simply worked out again when asked for.
void
LnL::lay_out_tables()
{
  const std::vector<size_t>& species_index = layout_->species_index;
  std::vector<size_t> slots(included.size());
  std::vector<size_t> columns;
  for (size_t k = 0; k < included.size(); ++k)
  {
    const int id = included[k];
    if (id < 0 || static_cast<size_t>(id) >= n_individuals_)
      throw Exception("LnL: individual " + std::to_string(id) + " is not in the contig");
    const size_t s = species_index[static_cast<size_t>(id)];
    const auto it = std::find(columns.begin(), columns.end(), s);
    slots[k] = static_cast<size_t>(it - columns.begin());
    if (it == columns.end())
      columns.push_back(s);
  }
  tables_included_ = included;
  slots_species_ = std::move(slots);
  columns_species_ = std::move(columns);
  priors_.clear();
  counts_ids_.clear();
}

// Points position_row_ at the position's row and brings the row's log priors up to date for
// every species an included individual belongs to. A row is kept from one evaluation to the
// next and recomputed only when the species' frequencies or F have changed.
void
LnL::prepare_position(const Posdata& position, const Alrline& line)
{
  check_classes();
  if (line.counts.size() < 4 * n_individuals_ || position.individuals.size() < n_individuals_)
    throw Exception("LnL: position holds fewer individuals than the contig header (" + std::to_string(n_individuals_) +
                    ")");
  if (included != tables_included_)
    lay_out_tables();
  const std::vector<Posdata>& positions = contig_data->positions;
  const size_t nb_columns = columns_species_.size();
  const size_t rows = positions.size() + 1;
  position_row_ = positions.size();
  if (!positions.empty() && &position >= positions.data() && &position < positions.data() + positions.size())
    position_row_ = static_cast<size_t>(&position - positions.data());
  if (priors_.size() != rows * nb_columns)
    priors_.assign(rows * nb_columns, SpeciesPriors());
  if (counts_ids_.size() != rows * included.size())
    counts_ids_.assign(rows * included.size(), no_counts_id);

  const std::vector<std::string>& names = layout_->species_names;
  for (size_t c = 0; c < nb_columns; ++c)
  {
    const size_t s = columns_species_[c];
    auto it = position.frequencies.find(names[s]);
    if (it == position.frequencies.end() || it->second.size() < 4)
      throw Exception("LnL: no base frequencies for species " + names[s] + " at a position");
    const double* f = it->second.data();
    SpeciesPriors& priors = priors_[position_row_ * nb_columns + c];
    if (priors.built && std::memcmp(priors.frequencies, f, sizeof priors.frequencies) == 0 &&
        std::memcmp(&priors.fis, &fis, sizeof fis) == 0)
      continue;
    std::memcpy(priors.frequencies, f, sizeof priors.frequencies);
    priors.fis = fis;
    priors.possible = 0;
    for (int g = 0; g < 10; ++g)
    {
      const int g1 = LnL::genotype_allele1[g];
      const int g2 = LnL::genotype_allele2[g];
      priors.log_prior[g] = log_prior(f, g1, g2, fis);
      if (!(f[g1] == 0 || f[g2] == 0))
        priors.possible |= 1u << g;
    }
    priors.built = true;
  }
}

std::uint32_t
LnL::new_counts_id(std::uint32_t& id, const unsigned int* n)
{
  const Counts counts = { n[0], n[1], n[2], n[3] };
  auto found = counts_index_.find(counts);
  if (found != counts_index_.end())
    return id = found->second;
  if (distinct_counts_.size() >= no_counts_id)
    throw Exception("LnL: too many distinct read counts in one contig");
  id = static_cast<std::uint32_t>(distinct_counts_.size());
  distinct_counts_.push_back(counts);
  counts_index_.emplace(counts, id);
  return id;
}

double
LnL::calculate_lnL_pos(Posdata* position, Alrline* line, double bias, int bias_class)
{
  prepare_position(*position, *line);
  const unsigned int nb_error = model->nb_error_classes;
  error_class_terms_.clear();
  for (unsigned int e = 0; e < nb_error; ++e)
  {
    const ClassTerms& terms = class_terms(bias_class, e, bias);
    double s = 0.0;
    for (size_t slot = 0; slot < included.size(); ++slot)
    {
      const size_t i = static_cast<size_t>(included[slot]);
      const SpeciesPriors& priors = priors_of(slot);
      const unsigned int* n = &line->counts[4 * i];
      const unsigned int read_bases = read_bases_of(n);
      Mixtures& mix = mixtures_of(bias_class, e, counts_id(slot, n), terms.version);
      const double t = position->individuals[i].multinomial_term;
      terms_.clear();
      for (int g = 0; g < 10; ++g)
      {
        if (!(priors.possible & (1u << g)))
          continue;
        const double l = genotype_lnL(terms, mix, g, n, read_bases, t);
        if (LnL::is_loglik(l))
          terms_.push_back(l + priors.log_prior[g]);
      }
      if (terms_.empty())
        return kImpossibleIndividual;
      s += stat->log_sum_exp(terms_);
    }
    error_class_terms_.push_back(std::log(error_weights[e]) + s);
  }
  const double total = stat->log_sum_exp(error_class_terms_);
  if (posterior_pass)
    for (unsigned int e = 0; e < nb_error; ++e)
      position->error_class_given_bias[bias_class][e] = std::exp(error_class_terms_[e] - total);
  return total;
}

double
LnL::calculate_lnL_contig()
{
  check_classes();
  Contigdata& data = *contig_data;
  if (data.positions.size() != contig->lines.size())
    throw Exception("LnL: the contig has " + std::to_string(contig->lines.size()) + " lines but " +
                    std::to_string(data.positions.size()) + " position records");

  const unsigned int nb_bias = model->nb_bias_classes;
  bias_terms_.clear();
  for (unsigned int k = 0; k < nb_bias; ++k)
  {
    double sum = 0.0;
    for (size_t p = 0; p < data.positions.size(); ++p)
    {
      const double v = calculate_lnL_pos(&data.positions[p], &contig->lines[p], bias_values[k], static_cast<int>(k));
      if (is_marker(v))
        return kImpossibleContig;
      sum += v;
    }
    bias_terms_.push_back(std::log(bias_weights[k]) + sum);
  }
  const double total = stat->log_sum_exp(bias_terms_);
  if (!posterior_pass)
    return total;

  for (unsigned int k = 0; k < nb_bias; ++k)
    data.bias_class_posteriors[k] = std::exp(bias_terms_[k] - total);
  double mean_bias = 0.0;
  for (unsigned int k = 0; k < nb_bias; ++k)
    mean_bias += data.bias_class_posteriors[k] * bias_values[k];
  data.mean_bias = mean_bias;

  const unsigned int nb_error = model->nb_error_classes;
  for (Posdata& position : data.positions)
  {
    for (unsigned int e = 0; e < nb_error; ++e)
    {
      double w = 0.0;
      for (unsigned int k = 0; k < nb_bias; ++k)
        w += data.bias_class_posteriors[k] * position.error_class_given_bias[k][e];
      position.error_class_weights[e] = w;
    }
    double rate = 0.0;
    for (unsigned int e = 0; e < nb_error; ++e)
      rate += position.error_class_weights[e] * error_rates[e];
    position.mean_error_rate = rate;
  }

  calculate_posterior_genotypes();
  return total;
}
} // namespace bpp
