#include "continuous/engine.hpp"

#include <cmath>
#include <limits>

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

namespace {

// Reports of a file that ends before its sample is complete.
constexpr const char* kIncomplete = "\nIncomplete sample\n";
constexpr const char* kUnavailableFemales = "\nUnavailable females\n";
constexpr const char* kUnavailableMales = "\nUnavailable males\n";
constexpr const char* kAgingEnd = "\nIncomplete sample caused by aging\n";
constexpr const char* kFemaleAgingEnd = "\nIncomplete sample caused by female aging\n";
constexpr const char* kMaleAgingEnd = "\nIncomplete sample caused by male aging\n";

// A draw by rejection needs someone to draw; without aging the encounter modes guarantee it
// (fewer than -matings <= R individuals of a sex are ever withdrawn), so failing this is a fault.
inline void requireAvailable(const CandidateList& sex, const char* which) {
  PAIRLAB_CHECK(sex.availableCount() > 0, std::string("no ") + which + " available");
}

// One file. The engine is compiled twice, with and without aging, so that the road without
// aging pays nothing for the survival draws and the bounded searches it never makes.
template <bool kAging>
class FileRun {
 public:
  FileRun(const EngineSettings& settings, const EngineInputs& inputs, FileWorkspace& workspace,
          std::vector<double>& args, std::vector<double>& x, std::vector<double>& y, Random& rng)
      : s_(settings),
        preferences_(inputs.preferences),
        args_(args),
        x_(x),
        y_(y),
        rng_(rng),
        females_(workspace.females),
        males_(workspace.males),
        roundFemales_(workspace.roundFemales),
        roundMales_(workspace.roundMales),
        totpairs_(static_cast<std::int64_t>(inputs.femaleTraits->size()) *
                  static_cast<std::int64_t>(inputs.maleTraits->size())),
        usesTable_(settings.branch == Branch::PositiveAssortative ||
                   settings.branch == Branch::NegativeAssortative),
        // Random mating without aging needs no limit: every encounter is a mating.
        limited_(settings.aging || settings.branch != Branch::RandomMating),
        fetchAhead_(
            static_cast<std::int64_t>(inputs.femaleTraits->size() + inputs.maleTraits->size()) >=
            settings.drawAheadFrom) {
    females_.startFile(*inputs.femaleTraits);
    males_.startFile(*inputs.maleTraits);
    roundFemales_.clear();
    roundMales_.clear();
    // Impatience grows within a file only: every file starts from the intercept of the run.
    if (settings.branch == Branch::Logistic && settings.impatience != 0.0)
      args_[0] = args_[3] = settings.logisticIntercept;
    if (usesTable_) currentMax_ = pendingMax_ = preferences_->largest();
    if (kAging) {
      if (!workspace.survival || !workspace.survival->serves(settings.agingParams))
        workspace.survival.emplace(settings.agingParams);
      survival_ = &*workspace.survival;
    }
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
    std::int32_t f = 0, m = 0;  // individuals (positions in the population)
    if (!choosePair(f, m)) return false;
    ++result_.encounters;
    const std::int64_t femaleAge = females_.meet(f);
    const std::int64_t maleAge = males_.meet(m);

    bool femaleDies = false, maleDies = false;
    if (kAging) {
      double survival = 0.0;
      if (survival_->mortal(femaleAge, survival)) femaleDies = survival <= rng_.u();
      if (survival_->mortal(maleAge, survival)) maleDies = survival <= rng_.u();
    }
    if (femaleDies || maleDies) {
      if (!bury(f, m, femaleDies, maleDies)) return false;
    } else {
      double p = 0.0;
      if (accept(f, m, p) && !mate(f, m, p)) return false;
    }

    ++counter_;
    if (limited_ && counter_ > totpairs_ && k_ < s_.matings) {
      result_.report = kIncomplete;  // replaces any earlier report of the file
      return false;
    }
    return true;
  }

  // ----- choice of the pair -----
  // Draws give positions in the candidate lists; the lists map them to individuals.

  bool choosePair(std::int32_t& f, std::int32_t& m) {
    if (!usesTable_) {
      // With aging every female or every male may be dead or withdrawn: the file cannot go on.
      if (kAging && (females_.availableCount() == 0 || males_.availableCount() == 0)) {
        result_.report += kAgingEnd;
        return false;
      }
      f = redraw(females_, "female", femalePosition_);
      m = redraw(males_, "male", malePosition_);
      return true;
    }
    return s_.onechoosy ? chooseByCursor(f, m) : chooseByPairDraw(f, m);
  }

  // The individual at a uniform position of the list (the position goes to `position`).
  std::int32_t draw(const CandidateList& sex, std::int64_t& position) {
    position = positionDraw(sex.size());
    return sex.at(position);
  }

  // A uniform position, drawn again until it holds an available individual.
  std::int32_t redraw(const CandidateList& sex, const char* which, std::int64_t& position) {
    requireAvailable(sex, which);
    std::int32_t i;
    do i = draw(sex, position);
    while (!sex.available(i));
    return i;
  }

  // Only females choose: the males come in turn from the cursor, the female by draws.
  bool chooseByCursor(std::int32_t& f, std::int32_t& m) {
    if (males_.availableCount() == 0) {
      if (!kAging) requireAvailable(males_, "male");
      result_.report += kUnavailableMales;
      return false;
    }
    const std::int64_t males = males_.size();
    auto next = [&] {  // the 32-bit remainder while the cursor fits, which is the same
      malePosition_ = cursor_ <= std::numeric_limits<std::uint32_t>::max()
                          ? static_cast<std::uint32_t>(cursor_) % static_cast<std::uint32_t>(males)
                          : cursor_ % males;
      m = males_.at(malePosition_);
    };
    next();
    while (!males_.available(m)) {
      ++cursor_;
      next();
    }

    if (!kAging) {
      f = redraw(females_, "female", femalePosition_);
      return true;
    }
    // With aging the females may all be dead: at most totpairs draws, then one more that
    // decides the report. When none is available the draws are still consumed (all would fail),
    // so that the rest of the run sees the same stream. A female found by the last draw is
    // taken like any other: the file only ends when that draw fails too.
    if (females_.availableCount() > 0) {
      for (std::int64_t i = 0; i < totpairs_; ++i)
        if (f = draw(females_, femalePosition_); females_.available(f)) return true;
    } else {
      rng_.discard(static_cast<unsigned long long>(totpairs_));
    }
    f = draw(females_, femalePosition_);
    if (females_.available(f)) return true;
    result_.report += kUnavailableFemales;
    return false;
  }

  std::int64_t pairPosition(std::int64_t cells) {
    const std::int64_t n = positionDraw(cells);
    return n < cells ? n : cells - 1;
  }

  // Both sexes choose: one draw over all female-male cells of the candidate lists.
  bool chooseByPairDraw(std::int32_t& f, std::int32_t& m) {
    const std::int64_t columns = males_.size();
    const std::int64_t cells = females_.size() * columns;
    const bool narrow = cells <= std::numeric_limits<std::uint32_t>::max();
    auto drawPair = [&]() __attribute__((always_inline)) {
      const std::int64_t n = pairPosition(cells);
      if (narrow) {  // the same quotient and remainder, by the faster 32-bit division
        const auto n32 = static_cast<std::uint32_t>(n), c32 = static_cast<std::uint32_t>(columns);
        femalePosition_ = n32 / c32;
        malePosition_ = n32 % c32;
      } else {
        femalePosition_ = n / columns;
        malePosition_ = n % columns;
      }
      f = females_.at(femalePosition_);
      m = males_.at(malePosition_);
      return females_.available(f) && males_.available(m);
    };
    if (!kAging) {
      requireAvailable(females_, "female");
      requireAvailable(males_, "male");
      while (!drawPair()) {
      }
      return true;
    }
    // With aging: at most totpairs pair draws, then one more that decides the reports, as for
    // the females above.
    if (females_.availableCount() > 0 && males_.availableCount() > 0) {
      for (std::int64_t i = 0; i < totpairs_; ++i)
        if (drawPair()) return true;
    } else {
      rng_.discard(static_cast<unsigned long long>(totpairs_));
    }
    if (drawPair()) return true;
    if (!females_.available(f)) result_.report += kUnavailableFemales;
    if (!males_.available(m)) result_.report += kUnavailableMales;
    return false;
  }

  // ----- draws ahead -----
  // The first draw of an encounter follows the acceptance draw of the one before it. When the
  // file is sure to go on after this encounter (no sample completed, no limit passed, no deaths
  // to end it), that draw is taken right after the acceptance draw: the stream of draws is the
  // same, and the partners it will most likely name are fetched from memory while this
  // encounter still waits for its own. Without aging, the next encounter's first draw is always
  // a position draw. Only a population too large for the caches gains by it
  // (EngineSettings::drawAheadFrom).

  double drawU() {
    if (!drawnAhead_) return rng_.u();
    drawnAhead_ = false;
    return aheadDraw_;
  }
  // A uniform choice among n positions, as Random::position makes it.
  std::int64_t positionDraw(std::int64_t n) {
    return static_cast<std::int64_t>(drawU() * static_cast<double>(n));
  }

  // (The test is kept inline: most runs never draw ahead, and a call per encounter would cost
  // them the registers it spills.)
  __attribute__((always_inline)) void drawAhead() {
    if (kAging || !fetchAhead_ || k_ + 1 >= s_.matings || (limited_ && counter_ + 1 > totpairs_))
      return;
    drawAheadNow();
  }
  __attribute__((noinline)) void drawAheadNow() {
    aheadDraw_ = rng_.u();
    drawnAhead_ = true;
    // The partners the draw names if this encounter leaves the lists as they are, and, under
    // individual encounters, if it mates and the pair leaves them. (Both, without waiting for
    // the acceptance: fetching only the right ones, once it is known, proved slower.)
    const bool shrinks =
        s_.mode == EncounterProcess::Individual && s_.branch != Branch::RandomMating;
    if (usesTable_ && !s_.onechoosy) {
      prefetchPair(females_.size(), males_.size(), 0);
      if (shrinks) prefetchPair(females_.size() - 1, males_.size() - 1, 1);
    } else {
      prefetchFemale(females_.size(), 0);
      if (shrinks) prefetchFemale(females_.size() - 1, 1);
    }
  }
  // The individuals at the positions the draw ahead gives for lists of these sizes; `left` is 1
  // when the encounter's pair has left them (later positions then hold the next individual).
  void prefetchPair(std::int64_t rows, std::int64_t columns, std::int64_t left) {
    const std::int64_t cells = rows * columns;
    if (cells <= 0) return;
    const std::int64_t n =
        std::min(static_cast<std::int64_t>(aheadDraw_ * static_cast<double>(cells)), cells - 1);
    const std::int64_t f = n / columns, m = n % columns;
    females_.prefetch(females_.at(f + (f >= femalePosition_ ? left : 0)));
    males_.prefetch(males_.at(m + (m >= malePosition_ ? left : 0)));
  }
  void prefetchFemale(std::int64_t size, std::int64_t left) {
    if (size <= 0) return;
    const auto f = static_cast<std::int64_t>(aheadDraw_ * static_cast<double>(size));
    females_.prefetch(females_.at(f + (f >= femalePosition_ ? left : 0)));
  }

  // ----- the current maximum -----

  // The maximum falls to the next entry of the descending order, never below the smallest.
  void stepDown(double& maximum) { preferences_->stepDown(steps_, maximum); }

  // ----- acceptance and mating -----

  bool accept(std::int32_t f, std::int32_t m, double& p) {
    switch (s_.branch) {
      case Branch::RandomMating:
        return true;
      case Branch::Logistic: {
        args_[2] = males_.trait(m);
        args_[5] = females_.trait(f);
        const bool mates = Logitpref(args_) > rng_.u();
        drawAhead();
        return mates;
      }
      default: {
        p = preferences_->preference(f, m, females_.trait(f), males_.trait(m));
        const double u = rng_.u();
        drawAhead();  // while the preference may still be on its way from memory
        return p / currentMax_ > u;
      }
    }
  }

  // Records the mating and withdraws the pair; false when that ends the file early.
  bool mate(std::int32_t f, std::int32_t m, double p) {
    x_[k_] = females_.trait(f);
    y_[k_] = males_.trait(m);
    if (usesTable_ && s_.onechoosy) ++cursor_;
    ++k_;
    if (s_.branch == Branch::Logistic && s_.impatience != 0.0)
      args_[0] = args_[3] = s_.logisticIntercept + s_.impatience * k_;

    switch (s_.mode) {
      case EncounterProcess::WithReplacement:
        return true;
      case EncounterProcess::Mass:
        roundFemales_.push_back(f);
        roundMales_.push_back(m);
        if (usesTable_ && p == currentMax_) stepDown(pendingMax_);
        if (counter_ > s_.roundSize) endRound();
        return true;
      case EncounterProcess::Individual:
        break;
    }
    if (s_.branch == Branch::RandomMating) {
      females_.withdraw(f);
      males_.withdraw(m);
      return true;
    }
    result_.femaleEncounters += static_cast<double>(females_.age(f));
    result_.maleEncounters += static_cast<double>(males_.age(m));
    females_.remove(f, femalePosition_);
    males_.remove(m, malePosition_);
    if (usesTable_ && p == currentMax_) stepDown(currentMax_);
    // With deaths the lists can run out; a complete sample is never reported as short.
    if (kAging && (females_.size() == 0 || males_.size() == 0) && k_ < s_.matings) {
      result_.report += s_.branch == Branch::NegativeAssortative ? kIncomplete : kAgingEnd;
      return false;
    }
    return true;
  }

  // The end of a mass-encounter round: everyone who mated in it leaves, and the maximum takes
  // the value it stepped down to during the round.
  void endRound() {
    for (std::int32_t f : roundFemales_) females_.withdraw(f);
    for (std::int32_t m : roundMales_) males_.withdraw(m);
    roundFemales_.clear();
    roundMales_.clear();
    counter_ = 0;
    if (usesTable_) currentMax_ = pendingMax_;
  }

  // ----- deaths (aging) -----

  // Withdraws the partners that died, the female first; false when a death ends the file.
  // Under individual encounters the dead leave the lists (their encounters are not counted),
  // except in random mating and except the males of the assortative branches, who only become
  // unavailable; the pairs that leave consideration step the current maximum down as mated
  // pairs do. In the other modes the dead only become unavailable.
  bool bury(std::int32_t f, std::int32_t m, bool femaleDies, bool maleDies) {
    const bool individual = s_.mode == EncounterProcess::Individual;
    if (femaleDies) {
      if (!individual || s_.branch == Branch::RandomMating) {
        females_.withdraw(f);
      } else {
        if (usesTable_)  // her row over the males of the list
          preferences_->scanLine(true, f, males_, steps_, currentMax_);
        females_.remove(f, femalePosition_);
        if (females_.size() == 0) {
          result_.report += usesTable_ ? kFemaleAgingEnd : kAgingEnd;
          return false;
        }
      }
    }
    if (maleDies) {
      if (!individual || s_.branch == Branch::RandomMating) {
        males_.withdraw(m);
      } else if (s_.branch == Branch::Logistic) {
        males_.remove(m, malePosition_);
        if (males_.size() == 0) {
          result_.report += kAgingEnd;
          return false;
        }
      } else {
        // A dead male keeps his place in the list, unavailable.
        males_.withdraw(m);
        if (males_.availableCount() == 0 || males_.size() == 0) {
          result_.report += kMaleAgingEnd;
          return false;
        }
        // His column over the females still in the list (one who died in this encounter has
        // left it).
        preferences_->scanLine(false, m, females_, steps_, currentMax_);
      }
    }
    return true;
  }

  const EngineSettings& s_;
  PairPreferences* preferences_;
  std::vector<double>& args_;
  std::vector<double>& x_;
  std::vector<double>& y_;
  Random& rng_;
  CandidateList& females_;
  CandidateList& males_;
  std::vector<std::int32_t>& roundFemales_;
  std::vector<std::int32_t>& roundMales_;
  SurvivalTable* survival_ = nullptr;
  const std::int64_t totpairs_;
  const bool usesTable_;
  const bool limited_;

  int k_ = 0;
  std::int64_t counter_ = 0;  // encounters of the file, or of the current mass-encounter round
  double currentMax_ = 0.0;
  double pendingMax_ = 0.0;
  std::int64_t steps_ = 0;
  std::int64_t cursor_ = 0;
  const bool fetchAhead_;
  double aheadDraw_ = 0.0;  // the next encounter's first draw, when drawnAhead_
  bool drawnAhead_ = false;
  std::int64_t femalePosition_ = 0;  // the pair of the encounter in the candidate lists
  std::int64_t malePosition_ = 0;
  FileResult result_;
};

}  // namespace

FileResult runContinuousFile(const EngineSettings& settings, const EngineInputs& inputs,
                             FileWorkspace& workspace, std::vector<double>& args,
                             std::vector<double>& x, std::vector<double>& y, Random& rng) {
  if (settings.aging) return FileRun<true>(settings, inputs, workspace, args, x, y, rng).run();
  return FileRun<false>(settings, inputs, workspace, args, x, y, rng).run();
}

}  // namespace pairlab
