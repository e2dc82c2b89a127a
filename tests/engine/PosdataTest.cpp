#include "engine/Posdata.h"

#include <gtest/gtest.h>

using namespace bpp;

namespace
{
std::vector<double>
frequencies_of(std::valarray<unsigned int> counts)
{
  Posdata position(1);
  position.calculate_allele_frequencies(counts, "sp");
  return position.frequencies["sp"];
}
} // namespace

TEST(Posdata, species_without_reads_gets_a_quarter_per_base)
{
  EXPECT_EQ(frequencies_of({ 0, 0, 0, 0, 0, 0, 0, 0 }), std::vector<double>({ 0.25, 0.25, 0.25, 0.25 }));
  EXPECT_EQ(frequencies_of({}), std::vector<double>({ 0.25, 0.25, 0.25, 0.25 }));
}

TEST(Posdata, frequencies_pool_the_bases_of_all_individuals)
{
  EXPECT_EQ(frequencies_of({ 0, 0, 7, 0 }), std::vector<double>({ 0.0, 0.0, 1.0, 0.0 }));
  EXPECT_EQ(frequencies_of({ 3, 0, 1, 0 }), std::vector<double>({ 0.75, 0.0, 0.25, 0.0 }));
  // Three individuals: A 1+0+1, C 2+0+0, G 0+0+3, T 0+0+1 of 8 reads.
  EXPECT_EQ(frequencies_of({ 1, 2, 0, 0, 0, 0, 0, 0, 1, 0, 3, 1 }), std::vector<double>({ 0.25, 0.25, 0.375, 0.125 }));
}

TEST(Posdata, each_species_gets_its_own_entry)
{
  Posdata position(3);
  std::valarray<unsigned int> a = { 2, 0, 0, 2 };
  std::valarray<unsigned int> b = { 0, 5, 0, 0, 0, 0, 0, 0 };
  position.calculate_allele_frequencies(a, "beta");
  position.calculate_allele_frequencies(b, "alpha");
  ASSERT_EQ(position.frequencies.size(), 2u);
  EXPECT_EQ(position.frequencies["beta"], std::vector<double>({ 0.5, 0.0, 0.0, 0.5 }));
  EXPECT_EQ(position.frequencies["alpha"], std::vector<double>({ 0.0, 1.0, 0.0, 0.0 }));
}

TEST(Posdata, new_individuals_read_as_no_call)
{
  Posdata position(4);
  ASSERT_EQ(position.individuals.size(), 4u);
  for (const Posdata::ind& ind : position.individuals)
  {
    EXPECT_EQ(ind.allele1, 100);
    EXPECT_EQ(ind.allele2, 100);
    EXPECT_EQ(ind.call_posterior, 0.0);
  }
  EXPECT_TRUE(position.frequencies.empty());
}
