#include "app/usage.hpp"

#include <ostream>

namespace pairlab {

void printUsage(std::ostream& out) {
  out << R"(Usage: pairlab [option value]...

Pairlab simulates mate choice: who mates with whom, given the types or traits of females and
males, an encounter process and a mating model. Results go to an output directory named after
the parameters; see README.md. Options take their values from the following words; a later
occurrence of an option overrides an earlier one.

Information
  -h, --help              print this text and exit
  --version               print the version and exit

Population and run (all roads)
  -N n                    population size, females plus males (default 500, at least 2)
  -osr r                  sex ratio, males per female (default 1)
  -matings n              matings per file: the sample size (default 100, at least 5)
  -numfiles n             number of files (replicates) to generate (default 1)
  -shift n                offset added to every file number (default 0)
  -model m                model number, signed: the sign and digits choose the encounter
                          process (default 0). Discrete data files: 0..9 with replacement,
                          -1..-9 individual encounters, -10..-99 mass encounters with the model
                          in the first digit, -123321 mass encounters with model 0
  -fixseed s              seed of the random generator; 0 takes the seed from the clock (default 0)
  -continuous 0|1         1 runs the continuous-trait road (default 0: discrete types)
  -verbose 0|1            extra progress lines (default 0)

Results and reporting (all roads)
  -tidy 0|1|2             tidy tables in the output directory: 1 the road's tables
                          (Pairlab_matings.tsv; Pairlab_indices.tsv, Pairlab_rounds.tsv and
                          Pairlab_round_indices.tsv; or Pairlab_files.tsv), 2 also Pairlab_pairs.tsv (default 0); with -tidy,
                          -writefiles 0 also leaves out the discrete per-replicate files
  -progress 0|1           progress line on standard error (default: when it is a terminal)
  -outdir DIR             put the output directory inside the folder DIR, created when missing
                          (default: the working directory)
  -checkonly 0|1          1 checks the run as it would start (options, user files, capacity,
                          memory, the files of earlier runs), prints its output directory and
                          exits with the status the run would stop with; it writes nothing
  -popseed s              seed of the population draw (random type frequencies, traits), so
                          that runs with other -fixseed seeds share one population (default 0:
                          drawn from the run's own seed)
  Every run that creates its output directory adds a row to Pairlab_runs.tsv there. A run
  replaces files of an earlier run only when the settings are the same (a rerun); otherwise it
  stops, naming the file, the earlier run and the options that differ.

Discrete types: data files (-onematround 1) and sampling rounds (-onematround 0)
  -onematround 0|1        1 writes mating data files, 0 runs sampling-round experiments (default 1)
  -femtypes n             number of female types (default 2)
  -maletypes n            number of male types (default 2)
  -uniform 0|1            uniform type frequencies (default 1)
  -userfreqs 0|1          read the frequencies from PairlabUserFreqs.txt (default 0);
                          alias -userphenotypes
  -MPF f                  bound of the type frequencies (default 0.1); alias -mpf. A user
                          frequency outside [MPF, 1 - MPF] is moved to the nearer bound (with
                          a note); random frequencies draw each type's share of the individuals
                          not yet placed within [MPF, 1 - MPF], so with more than two types a
                          type can get less than MPF
  -drift 0|1              redraw the type numbers for every file (default 0; forced on when
                          either sex has fewer than 250 individuals)
  -incrfactor a           sexual-selection factor of the models, at least 1 (default 1.25);
                          alias -selfactor
  -choicefactor b         choice (assortative) factor of the models (default 1.25): at least 1
                          for model 3, 0 to 1 for model 4, at least 0 for models 6 to 9 (0
                          forbids the pairs it weighs); alias -decrfactor
  -MRmax x                encounters per mass-encounter round; in sampling rounds also the
                          largest mating propensity (default: not given)
  -format n               format number of the data files, 0..16 (default 0)
  -SL p                   significance level of the mating indices (default 0.05); alias -sl
  -eJRpsi 0|1             individual-encounter sampling rounds: JRpsi from the observed pairs
                          (default 0)
  -onlyresume 0|1         sampling rounds: write only the significance report (default 0)

Continuous traits (-continuous 1)
  -gaussian 0|1           Gaussian preference family (default 1)
  -choice c               choice parameter, -1..1; 0 is random mating (default 0)
  -tolerance s            tolerance of the Gaussian preference (default 0.08)
  -dmax d                 Dmax of the preference functions (default 1)
  -bias b                 bias of the preference functions (default 0)
  -mintrait t             minimum trait value after rescaling (default 0)
  -scaling 0|1            rescale the traits into [mintrait, mintrait + Dmax] (default 1)
  -onechoosy 0|1          only one sex chooses (default 0)
  -logistic_params a b    intercept and slope of the logistic preference (default 0 1)
  -impatient i            impatience factor (default 0): after the k-th mating of a file the
                          logistic intercepts are a + i k; alias -impatience
  -bimodal p mu sigma     two-component mixture of traits: share p of N(0,1), the rest
                          N(mu, sigma) (default 0.5 0 1; mu 0 means no mixture)
  -userphenotypes 0|1     read the traits from PairlabUserPhenotypes.txt (same flag as -userfreqs)
  -age_params a b g       aging: survival exp(-((ln t - g)/a)^b) after the t-th encounter;
                          on when a > 0 and g >= 0 (default 0 2 0: off)
  -writefiles 0|1         write the data file of every file (default 0; on when -numfiles is 1)
                          (Pairlab_pairs.tsv as well, with -tidy)
  -writedistrib 0|1       write the phenotype distribution file (default 0)
)";
}

}  // namespace pairlab
