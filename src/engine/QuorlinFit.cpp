#include "stat/Console.h"
#include "engine/Quorlin.h"

#include <Bpp/Exceptions.h>
#include <Bpp/Numeric/AutoParameter.h>

#include <cmath>
#include <iostream>

namespace bpp
{
namespace
{
// A fit that ends on an impossible case or on NaN prints "-inf". The marker bound of the
// likelihood engine keeps a rounding residue such as +2e-16 (a contig whose positions are all
// uninformative) a possible case, printed as the number it is.
bool
is_impossible(double log_likelihood)
{
  return std::isnan(log_likelihood) || LnL::is_marker(log_likelihood);
}

void
print_lnL(double log_likelihood)
{
  if (is_impossible(log_likelihood))
    console_out() << "\tlnL=-inf";
  else
    console_out() << "\tlnL=" << log_likelihood;
}

// Relative spread of the simplex's function values at which a fit stops.
const double kSimplexTolerance = 1e-10;

// The fitted values themselves, not the evaluation caps: the estimates are what was fitted.
FitEstimates
estimates_of(const FittedModel& fit)
{
  FitEstimates estimates;
  estimates.fitted = true;
  estimates.er_beta = fit.function->getParameterValue("er_beta");
  estimates.er_tstv = fit.function->getParameterValue("er_tstv");
  estimates.aeb_beta = fit.function->getParameterValue("aeb_beta");
  return estimates;
}

const FitEstimates&
fitted(const FitEstimates& slot)
{
  if (!slot.fitted)
    throw Exception("Quorlin: the model used for the calls has not been fitted on this contig");
  return slot;
}
} // namespace

FittedModel
Quorlin::my_optimize()
{
  FittedModel fitted;
  fitted.function = std::make_unique<LnL_fct>(*lnl);
  ParameterList parameters = fitted.function->getParameters();

  fitted.optimizer = std::make_unique<DownhillSimplexMethod>(fitted.function.get());
  fitted.optimizer->setVerbose(0);
  fitted.optimizer->setProfiler(nullptr);
  fitted.optimizer->setMessageHandler(nullptr);
  fitted.optimizer->setConstraintPolicy(AutoParameter::CONSTRAINTS_AUTO);
  // The simplex starts with steps of 0.2 around er_beta = 100, so its vertices differ by
  // little more than the library's default relative tolerance (1e-6 of the function value):
  // the fit then stops next to the start values, where a 1% move still gains 0.1 log-units.
  // A tighter tolerance lets it reach the maximum.
  fitted.optimizer->getStopCondition()->setTolerance(kSimplexTolerance);

  std::vector<std::string> names;
  if (lnl->model->fit_er_beta)
    names.push_back("er_beta");
  if (lnl->model->fit_er_tstv)
    names.push_back("er_tstv");
  if (lnl->model->fit_aeb_beta)
    names.push_back("aeb_beta");

  try
  {
    fitted.optimizer->init(parameters.subList(names));
    fitted.optimizer->optimize();
  }
  catch (const Exception& e)
  {
    // Callers only need to know that the fit failed and why; the library's subclass is
    // of no use to them.
    throw Exception(e.message());
  }
  return fitted;
}

void
Quorlin::dosh(AlrContig& contig, SharedOptimizers& shared_optimizers)
{
  if (contig.species_count.size() > 1)
    console_out() << "Shared (across species) parameters:" << std::endl;

  lnl->included.clear();
  for (size_t i = 0; i < contig.ind_names.size(); ++i)
    lnl->included.push_back(static_cast<int>(i));
  lnl->posterior_pass = false;

  for (size_t m = 1; m < models.size(); ++m)
  {
    Model& model = models[m];
    if (!model.active)
      continue;
    lnl->model = &model;
    const FittedModel fit = my_optimize();
    lnL_shared[m] = -fit.optimizer->getFunctionValue();
    shared_optimizers[m] = estimates_of(fit);

    const FitEstimates& estimates = shared_optimizers[m];
    const double er_alpha = fit.function->getParameterValue("er_alpha");
    const double aeb_alpha = fit.function->getParameterValue("aeb_alpha");
    const double epsilon = model.no_error ? 0.0 : er_alpha / (er_alpha + estimates.er_beta);
    const double alpha = model.no_bias ? 0.0 : aeb_alpha / (aeb_alpha + estimates.aeb_beta);

    console_out() << model.print_name << " " << model.description;
    print_lnL(lnL_shared[m]);
    console_out() << "\t(epsilon=" << epsilon << ", alpha=" << alpha << ")" << std::endl;
  }
}

void
Quorlin::dosep(AlrContig& contig, SeparateOptimizers& separate_optimizers)
{
  console_out() << "Separate (between species) parameters:" << std::endl;

  const std::vector<std::pair<std::string, std::vector<int>>> species = species_in_header_order(contig);
  for (size_t m = 1; m < models.size(); ++m)
  {
    Model& model = models[m];
    if (!model.active)
      continue;
    lnl->model = &model;
    lnl->posterior_pass = false;
    lnL_separate[m] = 0.0;
    // A species without any possible case makes the joint likelihood 0, whatever the
    // others give: its marker must not be hidden by the other species' negative values.
    bool impossible = false;
    for (size_t s = 0; s < species.size(); ++s)
    {
      lnl->included = species[s].second;
      const FittedModel fit = my_optimize();
      const double species_lnL = -fit.optimizer->getFunctionValue();
      separate_optimizers[m][s] = estimates_of(fit);
      if (is_impossible(species_lnL))
        impossible = true;
      lnL_separate[m] += species_lnL;
    }

    console_out() << "  --> " << model.print_name << " " << model.description;
    print_lnL(impossible ? std::nan("") : lnL_separate[m]);
    console_out() << std::endl;
  }
  console_out() << std::endl;
}

void
Quorlin::chosen_sh_dist(AlrContig& contig, SharedOptimizers& shared_optimizers)
{
  const FitEstimates& fit = fitted(shared_optimizers.at(model_index));
  lnl->included.clear();
  for (size_t i = 0; i < contig.ind_names.size(); ++i)
    lnl->included.push_back(static_cast<int>(i));
  pass_with(fit, contig);
}

void
Quorlin::chosen_sh_sep(AlrContig& contig, SeparateOptimizers& separate_optimizers)
{
  const std::vector<std::pair<std::string, std::vector<int>>> species = species_in_header_order(contig);
  for (size_t s = 0; s < species.size(); ++s)
  {
    const FitEstimates& fit = fitted(separate_optimizers.at(model_index).at(s));
    lnl->included = species[s].second;
    pass_with(fit, contig);
  }
}

void
Quorlin::pass_with(const FitEstimates& fit, const AlrContig& contig)
{
  lnl->model = &models[model_index];
  lnl->lnL(1.0, fit.er_beta, fit.er_tstv, 1.0, fit.aeb_beta);

  Contigdata& data = *lnl->contig_data;
  data.aeb.emplace_back();
  calcul_aeb(&data.aeb.back(), fit.aeb_beta);
  data.err.emplace_back();
  calcul_err(&data.err.back(), fit.er_beta, fit.er_tstv, static_cast<unsigned int>(contig.lines.size()));
}

void
Quorlin::calcul_aeb(Contigdata::aeb_data* record, double aeb_beta)
{
  const Model& m = models[model_index];
  // Mean of Beta(1, aeb_beta).
  record->mean = m.no_bias ? 0.0 : 1.0 / (aeb_beta + 1.0);
  if (m.nb_bias_classes > 1)
  {
    record->class_values.assign(lnl->bias_values, lnl->bias_values + m.nb_bias_classes);
    record->posterior_mean = lnl->contig_data->mean_bias;
    record->class_probs.assign(lnl->contig_data->bias_class_posteriors,
                               lnl->contig_data->bias_class_posteriors + m.nb_bias_classes);
  }
}

void
Quorlin::calcul_err(Contigdata::err_data* record, double er_beta, double er_tstv, unsigned int nb_positions)
{
  const Model& m = models[model_index];
  if (m.no_error)
  {
    record->rate = 0.0;
    record->tstv = 0.0;
  }
  else
  {
    // Mean of Beta(1, er_beta).
    record->rate = 1.0 / (er_beta + 1.0);
    record->tstv = er_tstv;
  }
  if (m.nb_error_classes > 1)
  {
    record->class_values.assign(lnl->error_rates, lnl->error_rates + m.nb_error_classes);
    const std::vector<Posdata>& positions = lnl->contig_data->positions;
    for (unsigned int p = 0; p < nb_positions && p < positions.size(); ++p)
    {
      record->per_position_rate.push_back(positions[p].mean_error_rate);
      record->per_position_class_probs.emplace_back(positions[p].error_class_weights,
                                                    positions[p].error_class_weights + m.nb_error_classes);
    }
  }
}
} // namespace bpp
