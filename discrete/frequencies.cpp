#include "discrete/frequencies.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include "support/diagnostics.hpp"
#include "support/format.hpp"
#include "support/text.hpp"
#include "support/user_file.hpp"

namespace pairlab {

namespace {

const char* const kSexName[2] = {"female", "male"};

// k frequencies kept within [mpf, 1 - mpf] can sum to 1 only when mpf x k is at most 1 (within
// the tolerance of the sum).
void checkFrequencyRoom(const std::string& filename, int k, double mpf, int sex) {
  if (k < 2 || !(mpf * k - 1.0 > 1e-6)) return;
  stopRun("\n-MPF " + NtoS(mpf) + " cannot be met by the " + NtoS(k) + " " + kSexName[sex] +
              " frequencies of " + filename + ": every user frequency is kept within [MPF, " +
              "1 - MPF], and " + NtoS(k) + " frequencies of at least " + NtoS(mpf) +
              " sum to more than 1 (lower -MPF to at most 1/" + NtoS(k) + ")\n",
          1);
}

// One data line of k frequencies: every word a number, moved into [mpf, 1 - mpf] when outside.
// With a single type the frequency is 1 whatever number the word gives.
void readFrequencyLine(const std::vector<std::string>& words, const std::string& filename, int line,
                       int sex, double mpf, std::vector<double>& f,
                       std::vector<MovedFrequency>& moved) {
  const int k = static_cast<int>(words.size());
  f.assign(words.size(), 0.0);
  for (int t = 0; t < k; ++t) {
    const std::string where = "Wrong value in user file " + filename + " line " + NtoS(line);
    const std::optional<double> v = readReal(words[t]);
    if (!v)
      stopRun(where + ": \"" + words[t] + "\" is not a number; a frequency is a number from 0 " +
                  "to 1 written with digits, such as 0.3, .25 or 1e-1 (no % sign, no words)\n",
              1);
    if (!std::isfinite(*v))  // would be moved into [MPF, 1 - MPF] as if it were a number
      stopRun(where + ": " + words[t] + " is not a finite frequency\n", 1);
    if (k == 1) {
      f[0] = 1.0;
      return;
    }
    f[t] = std::min(1.0 - mpf, std::max(mpf, *v));
    if (f[t] != *v) moved.push_back({sex == 1, t, line, *v, f[t]});
  }
}

// A line that does not sum to 1 (within 1e-6) has its last frequency corrected, with a warning;
// a last frequency that would not be positive stops the run.
void correctSum(std::vector<double>& f, const std::string& filename, int line, int sex,
                std::vector<MovedFrequency>& moved) {
  double sum = 0.0;
  for (double v : f) sum += v;
  if (std::fabs(sum - 1.0) <= 1e-6) return;
  double others = 0.0;
  for (std::size_t t = 0; t + 1 < f.size(); ++t) others += f[t];
  const double read = f.back();
  f.back() = 1.0 - others;
  moved.push_back({sex == 1, static_cast<int>(f.size()) - 1, line, read, f.back(), true});
  if (!(f.back() > 0.0)) {
    const std::string where = line > 0 ? " line " + NtoS(line) : std::string(" (no such line)");
    stopRun(std::string("Wrong ") + kSexName[sex] + " frequencies in user file " + filename +
                where + ": the last frequency becomes " + NtoS(f.back()) +
                "; the frequencies of the other types must sum to less than 1\n",
            1);
  }
}

}  // namespace

std::vector<MovedFrequency> ReadUserFreqs(const std::string& path, const std::string& filename,
                                          int k1, int k2, std::vector<double>& p1,
                                          std::vector<double>& p2, double mpf) {
  std::vector<double>* freqs[2] = {&p1, &p2};
  const int types[2] = {k1, k2};
  for (int sex = 0; sex < 2; ++sex) checkFrequencyRoom(filename, types[sex], mpf, sex);
  int lineOf[2] = {0, 0};  // line numbers of the two data lines, for messages
  std::vector<MovedFrequency> moved;

  int dataLines = 0;
  readUserFile(path + filename, Strip::Leading, [&](const DataLine& line) {
    const int sex = dataLines++;
    if (sex > 1) return true;  // further data lines are read and ignored
    lineOf[sex] = line.number;
    const std::vector<std::string> words = get_words(line.text);
    if (words.size() != static_cast<std::size_t>(types[sex]))
      stopRun(std::string("Wrong number of ") + kSexName[sex] + " types in user file " + filename +
                  "\n",
              static_cast<int>(words.size()));
    readFrequencyLine(words, filename, line.number, sex, mpf, *freqs[sex], moved);
    return true;
  });
  if (dataLines < 2)
    stopRun("\nThe user file " + filename + " holds no line of " + kSexName[dataLines] +
                " frequencies: it needs a line of female frequencies, then a line of male "
                "frequencies\n",
            1);
  for (int sex = 0; sex < 2; ++sex) correctSum(*freqs[sex], filename, lineOf[sex], sex, moved);
  return moved;
}

void reportUserFreqs(const std::string& filename, const std::vector<MovedFrequency>& moved,
                     double mpf, RunOutput& output) {
  for (const MovedFrequency& m : moved) {
    if (!m.sumCorrected) {
      output.note(movedFrequencyNote(filename, m, mpf));
      continue;
    }
    output.warn(std::string("Warning: ") + (m.male ? "Male" : "Female") +
                    " frequencies do not sum up to 1 in " + filename +
                    ". The last frequency has been updated to " + NtoS(m.used) + "\n",
                kErrorFile);
  }
}

std::string movedFrequencyNote(const std::string& filename, const MovedFrequency& moved,
                               double mpf) {
  return "Note: user file " + filename + " line " + NtoS(moved.line) + ", " +
         kSexName[moved.male ? 1 : 0] + " type " + NtoS(moved.type + 1) + ": the frequency " +
         shortestText(moved.read) + " is used as " + shortestText(moved.used) +
         " (frequencies are kept within [MPF, 1 - MPF] = [" + shortestText(mpf) + ", " +
         shortestText(1.0 - mpf) + "])";
}

std::vector<double> uniformNumbers(int k, int n) {
  std::vector<double> numbers(k, 0.0);
  double sum = 0.0;
  for (int t = 0; t + 1 < k; ++t) {
    numbers[t] = static_cast<double>(n) / k;
    sum += numbers[t];
  }
  numbers[k - 1] = n - sum;
  return numbers;
}

std::vector<double> userNumbers(const std::vector<double>& freqs, int n) {
  const int k = static_cast<int>(freqs.size());
  std::vector<double> numbers(k, 0.0);
  double sum = 0.0;
  for (int t = 0; t + 1 < k; ++t) {
    numbers[t] = std::round(freqs[t] * n);
    sum += numbers[t];
  }
  numbers[k - 1] = n - sum;
  return numbers;
}

void checkPartitionRoom(double mpf) {
  if (!(mpf < 0.5))
    stopRun(
        "\nRandom type frequencies need -MPF below 0.5: every share is drawn within [MPF, "
        "1 - MPF], which leaves no room with MPF " +
            NtoS(mpf) + "\n",
        1);
}

double drawShare(double mpf, Random& rng) {
  double u;
  do u = rng.u();
  while (u < mpf || u > 1.0 - mpf);
  return u;
}

std::vector<double> randomPartition(int k, int n, double mpf, Random& rng) {
  std::vector<double> numbers(k, 0.0);
  if (k == 1) {
    numbers[0] = n;
    return numbers;
  }
  checkPartitionRoom(mpf);
  long long assigned = 0;
  for (int t = 0; t < k - 1 && assigned != n - 1; ++t) {
    const double u = drawShare(mpf, rng);
    const long long c = std::llround(u * static_cast<double>(n - assigned));
    assigned += c;
    if (assigned >= n) {
      numbers[t] = static_cast<double>(c - (assigned - n + 1));
      assigned = n - 1;
    } else {
      numbers[t] = static_cast<double>(c);
    }
  }
  numbers[k - 1] = static_cast<double>(n - assigned);
  rng.shuffle(numbers.begin(), numbers.end());
  return numbers;
}

std::vector<double> driftUniformNumbers(int k, int n, Random& rng) {
  std::vector<double> numbers(k, 0.0);
  const double w = 1.0 / k;
  int placed = 0;
  while (placed < n) {
    for (int t = 0; t < k && placed < n; ++t) {
      const double u = rng.u();
      if (t * w <= u && u < (t + 1) * w) {
        numbers[t] += 1.0;
        ++placed;
      }
    }
  }
  return numbers;
}

std::vector<double> driftUserNumbers(const std::vector<double>& freqs, int n, Random& rng) {
  std::vector<double> numbers(freqs.size(), 0.0);
  int placed = 0;
  while (placed < n) {
    const int t = findType(freqs, rng.u());
    if (t < 0) continue;
    numbers[t] += 1.0;
    ++placed;
  }
  return numbers;
}

std::vector<double> frequenciesOf(const std::vector<double>& numbers, int n) {
  std::vector<double> freqs(numbers.size());
  for (std::size_t t = 0; t < numbers.size(); ++t) freqs[t] = numbers[t] / n;
  return freqs;
}

int findType(const std::vector<double>& freqs, double u) {
  double cumulative = 0.0;
  for (std::size_t t = 0; t < freqs.size(); ++t) {
    const double lo = cumulative;
    cumulative += freqs[t];
    if (lo <= u && u < cumulative) return static_cast<int>(t);
  }
  return -1;
}

namespace {
// The type a draw beyond every interval selects.
int typeBeyondIntervals(const std::vector<double>& freqs) {
  for (int last = static_cast<int>(freqs.size()) - 1; last > 0; --last)
    if (freqs[last] > 0.0) return last;
  return 0;
}
}  // namespace

int drawType(const std::vector<double>& freqs, Random& rng) {
  const int t = findType(freqs, rng.u());
  return t >= 0 ? t : typeBeyondIntervals(freqs);
}

void refreshFrequencies(std::vector<double>& freqs, const std::vector<double>& leftOfType,
                        int left) {
  double sum = 0.0;
  for (std::size_t t = 0; t + 1 < freqs.size(); ++t) {
    freqs[t] = leftOfType[t] / left;
    sum += freqs[t];
  }
  freqs.back() = 1.0 - sum;
}

namespace {
struct Span {
  double lo, hi;
};

// Whether the spans cover all of [a, b).
bool covers(std::vector<Span> spans, double a, double b) {
  std::sort(spans.begin(), spans.end(), [](const Span& x, const Span& y) { return x.lo < y.lo; });
  double reached = a;
  for (const Span& s : spans) {
    if (s.lo > reached) return false;
    reached = std::max(reached, s.hi);
    if (reached >= b) return true;
  }
  return reached >= b;
}
}  // namespace

namespace {
// Visits the nonempty parts within [0, 1) of the types' intervals of the cumulative frequencies:
// visit(t, a, b, end of the whole interval) for [a, b), until it returns false. Returns whether
// every part was visited.
template <typename Visit>
bool forEachInterval(const std::vector<double>& freqs, Visit visit) {
  double cumulative = 0.0;
  for (std::size_t t = 0; t < freqs.size(); ++t) {
    const double lo = cumulative;
    cumulative += freqs[t];
    const double a = std::max(lo, 0.0);
    const double b = std::min(cumulative, 1.0);
    if (a < b && !visit(t, a, b, cumulative)) return false;
  }
  return true;
}

// Marks the types a draw in [0, 1) can reach: those for which candidate(t) holds and part of
// whose interval within [0, 1) no earlier type takes (an earlier type takes its interval when
// takes(t, end of its interval) holds). Returns the parts of [0, 1) that the types take.
template <typename Candidate, typename Takes>
std::vector<Span> markReachable(const std::vector<double>& freqs, Candidate candidate, Takes takes,
                                std::vector<bool>& reachable) {
  std::vector<Span> taken;
  forEachInterval(freqs, [&](std::size_t t, double a, double b, double cumulative) {
    if (candidate(t)) reachable[t] = !covers(taken, a, b);
    if (takes(t, cumulative)) taken.push_back({a, b});
    return true;
  });
  return taken;
}

// The same marks, found faster when every nonempty interval within [0, 1) starts where the one
// before it ends (the first at 0), as without negative frequencies: then no earlier type takes
// any part of an interval, so every candidate with one is reachable, and the intervals cover
// [0, end) without a gap. Returns false, leaving marks to be cleared, for any other layout.
template <typename Candidate>
bool markReachableInOrder(const std::vector<double>& freqs, Candidate candidate,
                          std::vector<bool>& reachable, double& end) {
  end = 0.0;
  return forEachInterval(freqs, [&](std::size_t t, double a, double b, double) {
    if (a != end) return false;
    end = b;
    if (candidate(t)) reachable[t] = true;
    return true;
  });
}
}  // namespace

std::vector<bool> rouletteReachable(const std::vector<double>& freqs,
                                    const std::vector<double>& pool) {
  // A type with individuals takes its draws; one without ends the walk when its interval
  // reaches 1.
  std::vector<bool> reachable(freqs.size(), false);
  const auto candidate = [&](std::size_t t) { return pool[t] > 0.0; };
  const auto takes = [&](std::size_t t, double end) { return pool[t] > 0.0 || end >= 1.0; };
  double end = 0.0;
  if (markReachableInOrder(freqs, candidate, reachable, end)) return reachable;
  reachable.assign(freqs.size(), false);
  markReachable(freqs, candidate, takes, reachable);
  return reachable;
}

void drawTypeReachable(const std::vector<double>& freqs, std::vector<bool>& reachable) {
  reachable.assign(freqs.size(), false);
  const auto always = [](auto&&...) { return true; };
  double end = 0.0;
  bool coversAll = false;
  if (markReachableInOrder(freqs, always, reachable, end)) {
    coversAll = end >= 1.0;
  } else {
    reachable.assign(freqs.size(), false);
    coversAll = covers(markReachable(freqs, always, always, reachable), 0.0, 1.0);
  }
  if (!freqs.empty() && !coversAll) reachable[typeBeyondIntervals(freqs)] = true;
}

std::vector<bool> drawTypeReachable(const std::vector<double>& freqs) {
  std::vector<bool> reachable;
  drawTypeReachable(freqs, reachable);
  return reachable;
}

void roulette(int n, const std::vector<double>& freqs, std::vector<double>& pool,
              std::vector<int>& indexes, Random& rng) {
  indexes.assign(n, -1);
  double holds = 0.0;
  for (double left : pool)
    if (left > 0.0) holds += std::ceil(left);
  if (n > holds)
    stopRun("\nroulette: asked for " + NtoS(n) + " individuals from a pool that holds " +
                NtoS(holds) + " (condition n<=pool)\n",
            1);

  auto anyReachable = [&] {
    const std::vector<bool> r = rouletteReachable(freqs, pool);
    return std::find(r.begin(), r.end(), true) != r.end();
  };
  bool canDraw = anyReachable();
  int chosen = 0;
  while (chosen < n) {
    if (!canDraw)
      stopRun(
          "\nroulette: no type with individuals left in the pool can be drawn by its "
          "frequency (condition pool>0 for a type with a positive frequency)\n",
          1);
    const double u = rng.u();
    double cumulative = 0.0;
    for (std::size_t t = 0; t < freqs.size(); ++t) {
      const double lo = cumulative;
      cumulative += freqs[t];
      if (!(lo <= u && u < cumulative)) continue;
      if (pool[t] > 0.0) {
        pool[t] -= 1.0;
        indexes[chosen++] = static_cast<int>(t);
        if (!(pool[t] > 0.0)) canDraw = anyReachable();
        break;
      }
      if (cumulative >= 1.0) break;
    }
  }
}

}  // namespace pairlab
