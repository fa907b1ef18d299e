#include "continuous/engine.hpp"

#include <cmath>
#include <limits>
#include <numeric>

#include "support/diagnostics.hpp"
#include "support/numeric.hpp"
#include "support/text.hpp"

namespace pairlab {

std::string preferenceName(Branch branch, double impatience) {
  switch (branch) {
    case Branch::PositiveAssortative:
      return "Positive assortative Gaussian preference";
    case Branch::NegativeAssortative:
      return "Negative assortative Gaussian preference";
    case Branch::RandomMating:
      return "Random mating Gaussian preference";
    case Branch::Logistic:
      break;
  }
  std::string name = "logit preference";
  if (impatience != 0.0) name += "_ImpatientFactor: " + NtoS(impatience);
  return name;
}

void Candidates::reset(const std::vector<double>& population) {
  traits = &population;
  const std::size_t n = population.size();
  member.resize(n);
  std::iota(member.begin(), member.end(), 0);
  age.assign(n, 0);
  available.assign(n, 1);
  availableCount = static_cast<std::int64_t>(n);
}

void Candidates::withdraw(std::int64_t p) {
  std::uint8_t& flag = available[member[p]];
  if (flag) {
    flag = 0;
    --availableCount;
  }
}

void Candidates::remove(std::int64_t p) {
  if (available[member[p]]) --availableCount;
  member.erase(member.begin() + p);
}

double Candidates::totalAge() const {
  std::int64_t total = 0;
  for (std::int32_t i : member) total += age[i];
  return static_cast<double>(total);
}

namespace {

// The report of a file that passes the encounter limit before its sample is complete.
constexpr const char* kIncomplete = "\nIncomplete sample\n";

[[noreturn]] void noneAvailable(const char* which) {
  stopRun(std::string("\nNo ") + which +
              " is available for the next encounter (condition availableCount>0)\n",
          1);
}

// A draw by rejection needs someone to draw; the encounter modes guarantee it (fewer than
// -matings <= R individuals of a sex are ever withdrawn), so failing this is a fault.
inline void requireAvailable(const Candidates& sex, const char* which) {
  if (sex.availableCount <= 0) noneAvailable(which);
}

class FileRun {
 public:
  FileRun(const EngineSettings& settings, const EngineInputs& inputs, FileWorkspace& workspace,
          std::vector<double>& args, std::vector<double>& x, std::vector<double>& y, Random& rng)
      : s_(settings),
        table_(inputs.table),
        args_(args),
        x_(x),
        y_(y),
        rng_(rng),
        females_(workspace.females),
        males_(workspace.males),
        roundFemales_(workspace.roundFemales),
        roundMales_(workspace.roundMales),
        nmale_(static_cast<std::int64_t>(inputs.maleTraits->size())),
        totpairs_(static_cast<std::int64_t>(inputs.femaleTraits->size()) * nmale_),
        usesTable_(settings.branch == Branch::PositiveAssortative ||
                   settings.branch == Branch::NegativeAssortative),
        // Random mating needs no limit: every encounter is a mating.
        limited_(settings.branch != Branch::RandomMating) {
    females_.reset(*inputs.femaleTraits);
    males_.reset(*inputs.maleTraits);
    roundFemales_.clear();
    roundMales_.clear();
    if (usesTable_) currentMax_ = pendingMax_ = table_->M;
  }

  FileResult run() {
    while (k_ < s_.matings && encounter()) {
    }
    result_.k = k_;
    result_.femaleEncounters += females_.totalAge();
    result_.maleEncounters += males_.totalAge();
    return result_;
  }

 private:
  // One encounter; false when it ends the file early.
  bool encounter() {
    std::int64_t f = 0, m = 0;
    choosePair(f, m);
    ++females_.ageAt(f);
    ++males_.ageAt(m);
    double p = 0.0;
    if (accept(f, m, p)) mate(f, m, p);

    ++counter_;
    if (limited_ && counter_ > totpairs_ && k_ < s_.matings) {
      result_.report = kIncomplete;
      return false;
    }
    return true;
  }

  // ----- choice of the pair -----

  void choosePair(std::int64_t& f, std::int64_t& m) {
    if (!usesTable_) {
      f = redraw(females_, "female");
      m = redraw(males_, "male");
    } else if (s_.onechoosy) {
      chooseByCursor(f, m);
    } else {
      chooseByPairDraw(f, m);
    }
  }

  // A uniform position, drawn again until it holds an available individual.
  std::int64_t redraw(const Candidates& sex, const char* which) {
    requireAvailable(sex, which);
    std::int64_t p;
    do p = rng_.position(sex.size());
    while (!sex.isAvailable(p));
    return p;
  }

  // Only females choose: the males come in turn from the cursor, the female by draws.
  void chooseByCursor(std::int64_t& f, std::int64_t& m) {
    requireAvailable(males_, "male");
    m = cursor_ % males_.size();
    while (!males_.isAvailable(m)) m = ++cursor_ % males_.size();
    f = redraw(females_, "female");
  }

  std::int64_t pairPosition(std::int64_t cells) {
    const std::int64_t n = rng_.position(cells);
    return n < cells ? n : cells - 1;
  }

  // Both sexes choose: one draw over all female-male cells of the candidate lists.
  void chooseByPairDraw(std::int64_t& f, std::int64_t& m) {
    const std::int64_t columns = males_.size();
    const std::int64_t cells = females_.size() * columns;
    const bool narrow = cells <= std::numeric_limits<std::uint32_t>::max();
    auto draw = [&] {
      const std::int64_t n = pairPosition(cells);
      if (narrow) {  // the same quotient and remainder, by the faster 32-bit division
        const auto n32 = static_cast<std::uint32_t>(n), c32 = static_cast<std::uint32_t>(columns);
        f = n32 / c32;
        m = n32 % c32;
      } else {
        f = n / columns;
        m = n % columns;
      }
      return females_.isAvailable(f) && males_.isAvailable(m);
    };
    requireAvailable(females_, "female");
    requireAvailable(males_, "male");
    while (!draw()) {
    }
  }

  // ----- the pair table and its current maximum -----

  // The preference of the pair, from the table built for the whole population.
  double entry(std::int64_t f, std::int64_t m) const {
    return table_->matdistrib[static_cast<std::size_t>(females_.member[f] * nmale_ +
                                                       males_.member[m])];
  }

  // The maximum falls to the next entry of the sorted table, never below its smallest.
  void stepDown(double& maximum) {
    if (steps_ < totpairs_ - 1) ++steps_;
    maximum = table_->sortedFromTop(steps_);
  }

  // ----- acceptance and mating -----

  bool accept(std::int64_t f, std::int64_t m, double& p) {
    switch (s_.branch) {
      case Branch::RandomMating:
        return true;
      case Branch::Logistic:
        args_[2] = males_.trait(m);
        args_[5] = females_.trait(f);
        return Logitpref(args_) > rng_.u();
      default:
        p = entry(f, m);
        return p / currentMax_ > rng_.u();
    }
  }

  // Records the mating and withdraws the pair.
  void mate(std::int64_t f, std::int64_t m, double p) {
    x_[k_] = females_.trait(f);
    y_[k_] = males_.trait(m);
    if (usesTable_ && s_.onechoosy) ++cursor_;
    ++k_;
    if (s_.branch == Branch::Logistic && s_.impatience != 0.0)
      args_[0] = args_[3] = s_.logisticIntercept + s_.impatience * k_;

    switch (s_.mode) {
      case EncounterMode::WithReplacement:
        return;
      case EncounterMode::Mass:
        roundFemales_.push_back(f);
        roundMales_.push_back(m);
        if (usesTable_ && p == currentMax_) stepDown(pendingMax_);
        if (counter_ > s_.roundSize) endRound();
        return;
      case EncounterMode::Individual:
        break;
    }
    if (s_.branch == Branch::RandomMating) {
      females_.withdraw(f);
      males_.withdraw(m);
      return;
    }
    result_.femaleEncounters += static_cast<double>(females_.ageAt(f));
    result_.maleEncounters += static_cast<double>(males_.ageAt(m));
    females_.remove(f);
    males_.remove(m);
    if (usesTable_ && p == currentMax_) stepDown(currentMax_);
  }

  // The end of a mass-encounter round: everyone who mated in it leaves, and the maximum takes
  // the value it stepped down to during the round.
  void endRound() {
    for (std::int64_t f : roundFemales_) females_.withdraw(f);
    for (std::int64_t m : roundMales_) males_.withdraw(m);
    roundFemales_.clear();
    roundMales_.clear();
    counter_ = 0;
    if (usesTable_) currentMax_ = pendingMax_;
  }

  const EngineSettings& s_;
  PairTable* table_;
  std::vector<double>& args_;
  std::vector<double>& x_;
  std::vector<double>& y_;
  Random& rng_;
  Candidates& females_;
  Candidates& males_;
  std::vector<std::int64_t>& roundFemales_;
  std::vector<std::int64_t>& roundMales_;
  const std::int64_t nmale_;
  const std::int64_t totpairs_;
  const bool usesTable_;
  const bool limited_;

  int k_ = 0;
  std::int64_t counter_ = 0;  // encounters of the file, or of the current mass-encounter round
  double currentMax_ = 0.0;
  double pendingMax_ = 0.0;
  std::int64_t steps_ = 0;
  std::int64_t cursor_ = 0;
  FileResult result_;
};

}  // namespace

FileResult runContinuousFile(const EngineSettings& settings, const EngineInputs& inputs,
                             FileWorkspace& workspace, std::vector<double>& args,
                             std::vector<double>& x, std::vector<double>& y, Random& rng) {
  return FileRun(settings, inputs, workspace, args, x, y, rng).run();
}

}  // namespace pairlab
