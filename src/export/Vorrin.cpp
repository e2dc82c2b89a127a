#include "export/Vorrin.h"

namespace bpp
{
namespace
{
const int STATE_N = 14;   // N in the DNA alphabet
const int STATE_GAP = -1; // gap in the DNA alphabet

// Positions past the end of a shorter sequence read as N: they hold no base.
inline int
state_at(const Sequence& seq, size_t pos)
{
  return pos < seq.size() ? seq.getValue(pos) : STATE_N;
}

// Names read contig|species|individual|Allele_k. A contig name may hold '|' itself (public
// transcript sets name contigs gi|123|ref|...), a species or individual name never does (the
// header splits on it): the species is the third field from the end. A name with fewer
// fields falls in the group with the empty key.
std::string
species_key(const std::string& name)
{
  const std::string::size_type allele = name.rfind('|');
  if (allele == std::string::npos || allele == 0)
    return std::string();
  const std::string::size_type individual = name.rfind('|', allele - 1);
  if (individual == std::string::npos || individual == 0)
    return std::string();
  const std::string::size_type species = name.rfind('|', individual - 1);
  if (species == std::string::npos)
    return std::string();
  return name.substr(species + 1, individual - species - 1);
}

inline bool
resolved(int state)
{
  return state != STATE_N && state != STATE_GAP;
}
} // namespace

void
Vorrin::clean(std::vector<Sequence*>& seqs)
{
  groupKeys.clear();
  sequenceGroupKeys.clear();
  groupMask.clear();
  for (const Sequence* seq : seqs)
  {
    const std::string key = species_key(seq->getName());
    groupKeys.insert(key);
    sequenceGroupKeys.push_back(key);
  }

  // A window of zero or negative length has no positions to judge: nothing is masked.
  if (seqs.empty() || windowSize <= 0)
    return;

  const size_t n = seqs.size();
  // 64-bit, so that a huge window cannot wrap into a short one.
  const size_t width = 3 * static_cast<size_t>(windowSize);
  const Sequence& reference = *seqs[0]; // the first sequence, whatever its group
  const size_t length = reference.size();
  groupMask.assign(n, 0);

  for (const std::string& key : groupKeys)
  {
    for (size_t i = 0; i < n; ++i)
      groupMask[i] = sequenceGroupKeys[i] == key ? 1 : 0;

    // The strict test keeps every window off the last position.
    for (size_t start = 0; start + width < length; start += 3)
    {
      const size_t end = start + width;
      unsigned int snpCount = 0;
      unsigned int hetCount = 0;
      for (size_t pos = start; pos < end; ++pos)
      {
        const int ref = reference.getValue(pos);
        for (size_t i = 0; i < n; ++i)
        {
          if (!groupMask[i])
            continue;
          const int state = state_at(*seqs[i], pos);
          if (resolved(state) && state != ref)
          {
            ++snpCount;
            break;
          }
        }
        // Entries 2j and 2j+1 are the two alleles of individual j; an odd last entry has no partner.
        for (size_t i = 0; i + 1 < n; i += 2)
        {
          if (!groupMask[i])
            continue;
          const int state = state_at(*seqs[i], pos);
          if (resolved(state) && state != state_at(*seqs[i + 1], pos))
            ++hetCount;
        }
      }
      const double snpDensity = static_cast<double>(snpCount) / static_cast<double>(width);
      // n counts every sequence of the list, not only the group's. 0/0 gives NaN, which never
      // passes the comparisons below.
      const double hetDensity =
        static_cast<double>(hetCount) / (3.0 * snpDensity * windowSize * static_cast<double>(n));
      if (snpDensity >= snpThreshold && hetDensity >= hetThreshold)
      {
        // Every species loses the window, and later windows and groups see the new N.
        for (Sequence* seq : seqs)
          for (size_t pos = start; pos < end && pos < seq->size(); ++pos)
            seq->setElement(pos, STATE_N);
      }
    }
  }
}
} // namespace bpp
