// Type frequencies of the discrete population: uniform, random or user-given compositions,
// the drift draws, the type-draw rule and roulette (weighted draws without replacement).
#pragma once

#include <string>
#include <vector>

#include "support/random.hpp"
#include "support/run_output.hpp"

namespace pairlab {

inline constexpr const char* kUserFreqsFile = "PairlabUserFreqs.txt";

// A user frequency that the reader moved into [MPF, 1 - MPF].
struct MovedFrequency {
  bool male = false;
  int type = 0;  // from 0
  int line = 0;  // line of the file
  double read = 0.0;
  double used = 0.0;
  bool sumCorrected = false;  // the last frequency of a line that did not sum to 1
};

// Reads the female (first data line) and male (second data line) frequencies of the user
// frequency file path + filename into p1 and p2, which already hold k1 and k2 entries. Every
// word must be a number; a frequency outside [mpf, 1 - mpf] is moved to the nearer bound, and
// the moves are returned (the caller reports them with reportUserFreqs). Sums off 1 by more than
// 1e-6 are corrected on the last type, a move of its own. Stops the run when no k frequencies of at
// least mpf can sum to 1 (mpf x k > 1).
std::vector<MovedFrequency> ReadUserFreqs(const std::string& path, const std::string& filename,
                                          int k1, int k2, std::vector<double>& p1,
                                          std::vector<double>& p2, double mpf);

// The note of a move, naming the file, the line, the type, the value read and the value used.
std::string movedFrequencyNote(const std::string& filename, const MovedFrequency& moved,
                               double mpf);

// Reports the moves of the user frequencies: a frequency moved into [mpf, 1 - mpf] as a note of
// the run, a corrected last frequency as a warning recorded in Pairlab.err.
void reportUserFreqs(const std::string& filename, const std::vector<MovedFrequency>& moved,
                     double mpf, RunOutput& output);

// Premating numbers of k types among n individuals. Numbers are reals: uniform types get n / k
// each, unrounded; the last type of every composition takes what the others leave.
std::vector<double> uniformNumbers(int k, int n);
// Frequency times n, rounded half away from zero, for every type but the last.
std::vector<double> userNumbers(const std::vector<double>& freqs, int n);
// The random partition: successive shares of what is left, drawn within [mpf, 1 - mpf],
// then shuffled.
std::vector<double> randomPartition(int k, int n, double mpf, Random& rng);
// Drift: n individuals placed by passes over the types, one draw per type visited.
std::vector<double> driftUniformNumbers(int k, int n, Random& rng);
// Drift: n individuals placed one by one by the user frequencies; a draw beyond them is redone.
std::vector<double> driftUserNumbers(const std::vector<double>& freqs, int n, Random& rng);
// numbers / n.
std::vector<double> frequenciesOf(const std::vector<double>& numbers, int n);

// The random partitions need room for a draw in [mpf, 1 - mpf]; stops the run otherwise.
void checkPartitionRoom(double mpf);
// The share of a random partition: uniform draws repeated until one lies in [mpf, 1 - mpf].
double drawShare(double mpf, Random& rng);

// The type whose interval [sum of earlier frequencies, that sum + its frequency) holds u,
// or -1 when no interval holds it.
int findType(const std::vector<double>& freqs, double u);
// One uniform draw turned into a type. A draw beyond the last interval (possible only through
// rounding) selects the last type with a positive frequency.
int drawType(const std::vector<double>& freqs, Random& rng);
// Which types drawType can return: a type whose interval within [0, 1) is not entirely taken by
// earlier types, and the type a draw beyond every interval selects, when some draw can be.
std::vector<bool> drawTypeReachable(const std::vector<double>& freqs);
// The same, into reachable (its storage reused).
void drawTypeReachable(const std::vector<double>& freqs, std::vector<bool>& reachable);

// Frequencies of the individuals left: leftOfType[t] / left for every type but the last, which
// gets 1 minus the others.
void refreshFrequencies(std::vector<double>& freqs, const std::vector<double>& leftOfType,
                        int left);

// Chooses n individuals by type without replacement: each uniform draw picks the type whose
// interval of freqs holds it; a type with nothing left in pool is drawn again. Every choice
// removes one individual from pool (a fractional pool entry can be chosen once more, leaving it
// negative). indexes receives the n chosen types.
void roulette(int n, const std::vector<double>& freqs, std::vector<double>& pool,
              std::vector<int>& indexes, Random& rng);

// Which types a roulette draw can still choose: a type with individuals left whose interval
// within [0, 1) is not entirely taken by earlier types (those that have individuals, or that end
// the walk because their interval reaches 1).
std::vector<bool> rouletteReachable(const std::vector<double>& freqs,
                                    const std::vector<double>& pool);

}  // namespace pairlab
