#include "continuous/writers.hpp"

#include <cmath>

#include "support/banner.hpp"
#include "support/diagnostics.hpp"
#include "support/format.hpp"
#include "support/numeric.hpp"
#include "support/output.hpp"
#include "support/text.hpp"

namespace pairlab {

double regcorrelxy(const std::vector<double>& x, const std::vector<double>& y, bool adjusted,
                   bool inverse, std::array<double, 2>& regression) {
  if (x.size() != y.size()) rejectInput("Sample size different in regcorrelxy");
  if (x.empty()) rejectInput("Empty vector in regcorrelxy");
  std::vector<double> inverted;  // only the inverse regression copies x
  if (inverse) {
    inverted = x;
    for (double& v : inverted) {
      if (!(v > 0.0)) rejectInput("division by 0 in inverse regression\n");
      v = 1.0 / v;
    }
  }
  const std::vector<double>& xs = inverse ? inverted : x;

  long long n = static_cast<long long>(xs.size());
  double Sx = 0.0, Sy = 0.0, Sxx = 0.0, Syy = 0.0, Sxy = 0.0;
  for (std::size_t j = 0; j < xs.size(); ++j) {
    if (isNoTrait(y[j])) {
      --n;
      continue;
    }
    Sx += xs[j];
    Sy += y[j];
    Sxx += xs[j] * xs[j];
    Syy += y[j] * y[j];
    Sxy += xs[j] * y[j];
  }
  if (n <= 0) rejectInput("Too low sample size in regcorrelxy: " + NtoS(n));

  const double dn = static_cast<double>(n);
  const double SPxy = Sxy - dn * (Sx / dn) * (Sy / dn);
  const double SSx = Sxx - Sx * Sx / dn;
  const double SSy = Syy - Sy * Sy / dn;
  const double slope = SPxy / SSx;
  regression[0] = Sy / dn - (Sx / dn) * slope;
  regression[1] = slope;
  if (SSx * SSy <= 0.0) return 0.0;  // no correlation without variation
  const double r = SPxy / std::sqrt(SSx * SSy);
  if (!adjusted) return r;
  if (n <= 4) rejectInput("Too low sample size in regcorrelxy: " + NtoS(n));
  return r * (1.0 + (1.0 - r * r) / static_cast<double>(2 * n - 8));
}

namespace {

const char* encounterModelName(bool encounterModelActive, bool massEncounters) {
  if (!encounterModelActive) return "With replacement EM";
  return massEncounters ? "Mass EM" : "Indiv EM";
}

void writeContinuousBanner(std::string& out, const std::string& title,
                           const std::string& preferenceName, bool encounterModelActive,
                           bool massEncounters) {
  writeBanner(out, "", title, "Preference function: " + preferenceName);
  out += "\nEncounter model: ";
  out += encounterModelName(encounterModelActive, massEncounters);
  out += "\n\n";
}

void premating(std::string& out, int nfem, int nmale) {
  out += "Premating female numbers: ";
  appendInteger(out, nfem);
  out += ". Premating male numbers: ";
  appendInteger(out, nmale);
}

}  // namespace

void writecontinuousmodel(const std::string& path, const std::string& title,
                          const std::string& preferenceName, bool encounterModelActive,
                          bool massEncounters, int nfem, int nmale, const std::vector<double>& x,
                          const std::vector<double>& y, int sampleSize) {
  ResultFile file(path);
  std::string& out = file.text();
  writeContinuousBanner(out, title, preferenceName, encounterModelActive, massEncounters);
  premating(out, nfem, nmale);
  out += "\nSample size ";
  appendInteger(out, sampleSize);
  out += "\nMatings\nFemale\tMale\n";
  long long missed = 0;
  for (std::size_t j = 0; j < x.size(); ++j) {
    if (isNoTrait(x[j]) || isNoTrait(y[j])) {
      ++missed;
      continue;
    }
    appendGeneral(out, x[j]);
    out += '\t';
    appendGeneral(out, y[j]);
    out += '\n';
    file.flushIfLarge();
  }
  out += '\n';
  const long long written = static_cast<long long>(x.size()) - missed;
  PAIRLAB_CHECK(written == sampleSize, "the data file " + path + " lists " + NtoS(written) +
                                           " pairs for a sample of " + NtoS(sampleSize));
  file.commit();
}

void writecorrelations(const std::string& path, const std::string& title,
                       const std::string& preferenceName, bool encounterModelActive,
                       bool massEncounters, int nfem, int nmale, int meanSampleSize,
                       const std::vector<std::string>& names,
                       const std::vector<double>& correlations, double meanFemaleAge,
                       double meanMaleAge) {
  ResultFile file(path);
  std::string& out = file.text();
  writeContinuousBanner(out, title, preferenceName, encounterModelActive, massEncounters);
  premating(out, nfem, nmale);
  out += ".\n";
  if (meanFemaleAge > 0.0 && meanMaleAge > 0.0) {
    out += "Mean female age after the mating season: ";
    appendGeneral(out, meanFemaleAge);
    out += "\nMean male age after the mating season: ";
    appendGeneral(out, meanMaleAge);
    out += '\n';
  }
  out += "Mean sample size:\t";
  appendInteger(out, meanSampleSize);
  out += "\nFile\tRho\n";
  for (std::size_t i = 0; i < names.size() && i < correlations.size(); ++i) {
    if (correlations[i] == kMissing) continue;
    out += names[i];
    out += '\t';
    appendGeneral(out, correlations[i]);
    out += '\n';
    file.flushIfLarge();
  }
  out += '\n';
  file.commit();
}

void writephenotypedistrib(const std::string& path, const std::string& title, int nfem, int nmale,
                           const std::vector<double>& femaleTraits,
                           const std::vector<double>& maleTraits) {
  if (static_cast<std::size_t>(nfem) != femaleTraits.size())
    internalError(__func__, "(unsigned)n1==p1.size()",
                  NtoS(femaleTraits.size()) + " female traits for " + NtoS(nfem) + " females");
  if (static_cast<std::size_t>(nmale) != maleTraits.size())
    internalError(__func__, "(unsigned)n2==p2.size()",
                  NtoS(maleTraits.size()) + " male traits for " + NtoS(nmale) + " males");
  ResultFile file(path);
  std::string& out = file.text();
  writeBanner(out, "", title, "Phenotypic distribution: ");
  const auto values = [&](const std::vector<double>& traits) {
    for (double t : traits) {
      appendGeneral(out, t);
      out += '\n';
      file.flushIfLarge();
    }
  };
  out += "\n#females\n";
  values(femaleTraits);
  out += "\n#males\n";
  values(maleTraits);
  out += '\n';
  file.commit();
}

}  // namespace pairlab
