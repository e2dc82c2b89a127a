#ifndef FILTER_UTILS_H
#define FILTER_UTILS_H

#include <Bpp/Numeric/Constraints.h>
#include <Bpp/Numeric/Parameter.h>

#include <memory>
#include <string>
#include <valarray>
#include <vector>

namespace bpp
{
namespace utils
{
/**
 * @brief Reorders the four base columns of a position so that their totals descend.
 *
 * The counts are read as rows of four (one row per individual); entries past the last
 * whole row are left alone. The sort is stable: columns with equal totals keep their
 * order, so ties stay in base order A, C, G, T. Every row is permuted the same way.
 *
 * @param counts four counts per individual, permuted in place.
 */
void
sortMatrixByColumnSum(std::valarray<unsigned int>& counts);

/**
 * @brief Shared constraint objects of a likelihood function and of its clones.
 *
 * The function's parameters only point at their constraints (they are built with
 * attach = false, so every copy made by the optimisers and wrappers points at the same
 * object); the function and its clones hold the owning references.
 */
using ConstraintStore = std::vector<std::shared_ptr<Constraint>>;

/**
 * @brief A parameter constrained to the closed interval [lower, upper].
 * @param store receives the constraint; it must outlive every copy of the parameter.
 */
std::unique_ptr<Parameter>
bounded_parameter(const std::string& name,
                  double value,
                  double lower,
                  double upper,
                  double precision,
                  ConstraintStore& store);

/**
 * @brief A parameter constrained to [lower, +inf).
 * @param store receives the constraint; it must outlive every copy of the parameter.
 */
std::unique_ptr<Parameter>
lower_bounded_parameter(const std::string& name, double value, double lower, double precision, ConstraintStore& store);
} // namespace utils
} // namespace bpp

#endif
