#include "stat/Stat.h"

namespace bpp
{
Stat::Stat()
  : values()
  , epsilon(0.001)
  , fis(0.0)
  , proba_hom1(4)
  , proba_hom2(4)
  , proba_het(4)
  , logfact_table()
{
  init_logfact(10);
  // The read probabilities of the three genotypes at an error rate of 0.001.
  proba_hom1[0] = 0.997;
  proba_hom1[1] = 0.001;
  proba_hom1[2] = 0.001;
  proba_hom1[3] = 0.001;
  proba_hom2[0] = 0.001;
  proba_hom2[1] = 0.997;
  proba_hom2[2] = 0.001;
  proba_hom2[3] = 0.001;
  proba_het[0] = 0.499;
  proba_het[1] = 0.499;
  proba_het[2] = 0.001;
  proba_het[3] = 0.001;
}
} // namespace bpp
