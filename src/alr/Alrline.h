#ifndef ALR_ALRLINE_H
#define ALR_ALRLINE_H

#include <string>
#include <valarray>

namespace bpp
{
/**
 * @brief One aligned position of a contig, as read from an alr position line.
 */
class Alrline
{
public:
  std::string label;        // first field; on a line not marked "P", the one observed base
  bool polymorphic = false; // second field is exactly "P"
  // Four entries per individual (A, C, G, T); individual i at 4i..4i+3.
  std::valarray<unsigned int> counts;
};
} // namespace bpp

#endif
