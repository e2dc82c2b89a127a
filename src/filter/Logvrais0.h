#ifndef FILTER_LOGVRAIS0_H
#define FILTER_LOGVRAIS0_H

#include "filter/FilterFunction.h"

namespace bpp
{
/**
 * @brief Minus the log-likelihood of the position under test (the state held by a Stat) under
 * one locus whose reads follow a multinomial distribution given the genotype.
 * Parameter: "xi", the frequency of allele 1 (the most-read base).
 *
 * The value is computed when a parameter changes and cached; getValue() only reads it.
 * With e the precision given to the constructor:
 *  - "xi" in [e, 1 - e], starting at e
 */
class Logvrais0 : public FilterFunction
{
public:
  Logvrais0(Stat* stat, double precision);

  Logvrais0* clone() const override { return new Logvrais0(*this); }

  void fireParameterChanged(const ParameterList& changed) override;
};
} // namespace bpp

#endif
