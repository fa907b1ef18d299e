// Results of the continuous-trait road: the data file of every file (the traits of its mated
// pairs), the small-sample adjusted correlation between partners, the correlation file of the
// run and the phenotype distribution file.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace pairlab {

// Regression of y on x and the correlation between them. Entries whose y holds no trait
// (kNoTrait) are left out. regression receives the intercept and the slope. With inverse, x is
// replaced by its reciprocals. With adjusted, the correlation r becomes
// r (1 + (1 - r^2) / (2n - 8)), which needs more than 4 pairs. Errors stop the run with their
// message on standard output (rejectInput).
double regcorrelxy(const std::vector<double>& x, const std::vector<double>& y, bool adjusted,
                   bool inverse, std::array<double, 2>& regression);

// One data file: banner, premating numbers, sample size and the pairs (female, male) of the
// sample buffers, skipping entries that hold no trait (kNoTrait); the pairs written must number
// sampleSize.
void writecontinuousmodel(const std::string& path, const std::string& title,
                          const std::string& preferenceName, bool encounterModelActive,
                          bool massEncounters, int nfem, int nmale, const std::vector<double>& x,
                          const std::vector<double>& y, int sampleSize);

// The correlation file: banner, premating numbers, the mean ages when both are positive, the
// mean sample size and the correlation of every file that has one.
void writecorrelations(const std::string& path, const std::string& title,
                       const std::string& preferenceName, bool encounterModelActive,
                       bool massEncounters, int nfem, int nmale, int meanSampleSize,
                       const std::vector<std::string>& names,
                       const std::vector<double>& correlations, double meanFemaleAge,
                       double meanMaleAge);

// The trait of every female, then of every male.
void writephenotypedistrib(const std::string& path, const std::string& title, int nfem, int nmale,
                           const std::vector<double>& femaleTraits,
                           const std::vector<double>& maleTraits);

}  // namespace pairlab
