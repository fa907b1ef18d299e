#include "continuous/phenotypes.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "support/diagnostics.hpp"
#include "support/numeric.hpp"
#include "support/run_config.hpp"
#include "support/text.hpp"
#include "support/user_file.hpp"

namespace pairlab {

double Traits::range() const { return std::max(femaleMax, maleMax) - std::min(femaleMin, maleMin); }

double Traits::minimum() const { return std::min(femaleMin, maleMin); }

void resetLimits(Traits& traits) {
  traits.femaleMin = traits.maleMin = qbig;
  traits.femaleMax = traits.maleMax = std::numeric_limits<double>::lowest();
}

void updateLimits(double value, double& min, double& max) {
  if (value < min) min = value;
  if (value > max) max = value;
}

void ReadUserPhenotypes(const std::string& dir, const std::string& filename, int females, int males,
                        std::vector<double>& femaleTraits, double& femaleMin, double& femaleMax,
                        std::vector<double>& maleTraits, double& maleMin, double& maleMax) {
  const std::int64_t population = static_cast<std::int64_t>(females) + males;
  std::int64_t dataLines = 0;
  std::size_t lastWordCount = 0;
  readUserFile(dir + filename, Strip::Both, [&](const DataLine& line) {
    const std::vector<std::string> words = get_words(line.text);
    // A line of separators only (commas, semicolons) holds no value: as wrong as two values.
    if (words.size() != 1)
      stopRun("Wrong format in user phenotypes file " + filename + " line " + NtoS(dataLines + 1) +
                  "\n",
              static_cast<int>(std::min<std::size_t>(words.size(), 1u << 30)));
    lastWordCount = words.size();
    const std::optional<double> read = readReal(words[0]);
    if (!read)
      stopRun("Wrong value in user phenotypes file " + filename + " line " + NtoS(line.number) +
                  ": \"" + words[0] + "\" is not a number; a trait is a number written with " +
                  "digits, such as -1.25 or 3e-2\n",
              1);
    const double value = *read;
    if (!std::isfinite(value))  // an infinity, NaN or a number beyond the doubles
      stopRun("Wrong value in user phenotypes file " + filename + " line " + NtoS(line.number) +
                  ": " + words[0] + " is not a finite number\n",
              1);
    if (dataLines < females) {
      femaleTraits[static_cast<std::size_t>(dataLines)] = value;
      updateLimits(value, femaleMin, femaleMax);
    } else if (dataLines < population) {
      maleTraits[static_cast<std::size_t>(dataLines - females)] = value;
      updateLimits(value, maleMin, maleMax);
    }
    ++dataLines;
    return true;
  });
  if (dataLines != population)
    stopRun("Wrong number of phenotypes in user phenotypes file " + filename +
                ": The number of phenotypes in the file (" + NtoS(dataLines) +
                ") does not coincide with the population size (" + NtoS(population) +
                "). Check your argument -N (by default set to " + NtoS(DefaultPopSize) + ").\n",
            static_cast<int>(lastWordCount));
}

void drawNormalTraits(Traits& traits, Random& rng) {
  for (double& t : traits.female) {
    t = rng.z();
    updateLimits(t, traits.femaleMin, traits.femaleMax);
  }
  for (double& t : traits.male) {
    t = rng.z();
    updateLimits(t, traits.maleMin, traits.maleMax);
  }
}

namespace {
void drawMixture(std::vector<double>& values, double& min, double& max, double p, double mu,
                 double sigma, Random& rng) {
  const int n = static_cast<int>(values.size());
  const int second = static_cast<int>(n * (1.0 - p));  // p in (0, 1): 0 <= second <= n
  const int first = n - second;
  for (int i = 0; i < n; ++i) {
    values[i] = i < first ? rng.z() : mu + sigma * rng.z();
    updateLimits(values[i], min, max);
  }
}
}  // namespace

void drawMixtureTraits(Traits& traits, double p, double mu, double sigma, Random& rng) {
  drawMixture(traits.female, traits.femaleMin, traits.femaleMax, p, mu, sigma, rng);
  drawMixture(traits.male, traits.maleMin, traits.maleMax, p, mu, sigma, rng);
  traits.bimodal = true;
}

void checkFiniteTraits(const Traits& traits, const char* origin) {
  const std::pair<const std::vector<double>*, const char*> sexes[] = {{&traits.female, "female"},
                                                                      {&traits.male, "male"}};
  for (const auto& [values, sex] : sexes)
    for (std::size_t i = 0; i < values->size(); ++i)
      if (!std::isfinite((*values)[i]))
        stopRun(std::string("\nError: the trait of ") + sex + " " + NtoS(i + 1) + " is " +
                    NtoS((*values)[i]) + " " + origin + ": traits must be finite numbers\n",
                1);
}

void checkVariation(const Traits& traits) {
  const double range = traits.range();
  if (!(range > qlow)) stopRun("\nError: no phenotypic variation in the data\n", range);
}

double scaleTraits(Traits& traits, double dmax, double mintrait, double bias) {
  const double lo = traits.minimum();
  const double range = traits.range();
  // The interval must hold distinct values and the range must be a number to divide by.
  if (!std::isfinite(range) || !(mintrait + dmax > mintrait))
    stopRun("\nError: the traits, which range over " + NtoS(range) +
                ", cannot be rescaled into [mintrait, mintrait + Dmax] = [" + NtoS(mintrait) +
                ", " + NtoS(mintrait + dmax) +
                "] without losing their variation (check -mintrait and -dmax, or use -scaling 0)\n",
            1);
  // Divided by the range before the multiplication by dmax: the smallest trait lands exactly
  // on mintrait and the largest exactly on mintrait + dmax.
  for (double& t : traits.female) t = (t - lo) / range * dmax + mintrait;
  for (double& t : traits.male) t = (t - lo) / range * dmax + mintrait;
  checkFiniteTraits(traits, "after rescaling");
  return dmax * bias / range;
}

}  // namespace pairlab
