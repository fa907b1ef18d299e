// Observed pairs of continuous traits and the population they come from. The pairs are a table
// with the columns of the program's own Pairlab_pairs.tsv: female_trait and male_trait, pair (the
// number of the pair, not read), and any other column grouping the rows into tables (data sets).
// The population is a table with the columns sex (female or male, F or M) and trait; its other
// columns are not read. Bad input stops the run with a message naming the file, the line and
// the column.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "analysis/grouped_file.hpp"
#include "continuous/phenotypes.hpp"
#include "support/settled_run.hpp"

namespace pairlab {

// The fewest pairs a table may hold: the correlation of fewer is not computed.
inline constexpr int kLeastPairs = 5;

// One table of pairs: female[i] and male[i] are the traits of pair i.
struct TraitTable {
  long long number = 0;  // from 1, in the order of the file
  int firstLine = 0;     // line of its first row
  std::vector<std::string> groupValues;
  std::vector<double> female, male;
};

// Names the output tables of a continuous analysis use for their own columns: a grouping
// column may not take one.
const std::vector<std::string>& traitReservedColumns();

// Reads the tables of pairs in order, calling onTable with each complete table and the layout of
// the file's columns; stops on bad
// input (a trait that is not a finite number, a table of fewer than kLeastPairs pairs). With
// announce false the file is read without the "Reading file" line.
FileLayout readTraitTables(
    const std::string& path, bool announce,
    const std::function<void(const TraitTable&, const FileLayout&)>& onTable);

// The population's traits, females and males in the order of the file, with their limits.
// Stops on bad input (a sex that is neither female nor male, a trait that is not a finite
// number, a sex without individuals or without variation).
Traits readPopulation(const std::string& path);

// Stops when the females or the males of a table do not vary (when they stand for the
// population).
void checkPairsVary(const TraitTable& table, const FileLayout& layout);

// The mated individuals as the population, when none is given.
Traits populationOfPairs(const TraitTable& table);

// Stops when the encounter process cannot draw the table's pairs from the population: under
// encounters every individual mates once, with replacement any pair may mate again.
void checkPopulationSize(const TraitTable& table, const FileLayout& layout,
                         const Traits& population, const std::string& populationName,
                         EncounterProcess process);

}  // namespace pairlab
