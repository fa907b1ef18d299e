#!/usr/bin/env bash
# Runs the simulator and the independent model of the continuous road on a set of fixed-seed
# runs and checks that standard output and every result file agree (apart from the time line
# that opens each result file).
# Usage: check_continuous.sh PAIRLAB_BINARY
set -u
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cases=0
# Runs the binary in a fresh case directory; the model checks all of them at the end.
run_case() {
  local input=$1; shift
  cases=$((cases+1))
  local work
  work=$root/$(printf "case%04d" $cases)
  mkdir "$work"
  [ -n "$input" ] && cp "$here"/inputs/"$input"/* "$work"/
  echo "$@" >"$work/args"
  (cd "$work" && "$binary" "$@" >stdout.txt; echo $? >status)
  [ -n "${KEEP_REPORTS:-}" ] && cat "$work"/Out_*/*.txt >>"$KEEP_REPORTS" 2>/dev/null
  return 0
}
C="-continuous 1 -writefiles 1"
for seed in 1 29 -5; do
  # Gaussian branches under the three encounter modes, both -onechoosy values
  for model in 1 -1 -10 2 -2 -20; do
    run_case "" $C -fixseed $seed -N 60 -matings 12 -numfiles 3 -model $model -choice 0.6
    run_case "" $C -fixseed $seed -N 60 -matings 12 -numfiles 3 -model $model -choice -0.4 -onechoosy 1
    run_case "" $C -fixseed $seed -N 60 -matings 20 -numfiles 2 -model $model -choice 0.3 -onechoosy 1 -bias -0.2
    run_case "" $C -fixseed $seed -N 60 -matings 20 -numfiles 2 -model $model -choice 0.8 -bias 0.1 -tolerance 0.2
    run_case "" $C -fixseed $seed -N 50 -matings 15 -numfiles 2 -model $model -choice 0
  done
  # logistic branch
  for model in 3 -3 -30; do
    run_case "" $C -fixseed $seed -N 60 -matings 12 -numfiles 3 -model $model -logistic_params 0.5 2
    run_case "" $C -fixseed $seed -N 60 -matings 12 -numfiles 3 -model $model -logistic_params -1 1 -impatience 0.2 -writefiles 1
    run_case "" $C -fixseed $seed -N 40 -osr 1.5 -matings 10 -numfiles 3 -model $model -logistic_params -4 0.1
  done
  # incomplete samples, small files, mixtures, shift, scaling options, phenotype file
  run_case "" $C -fixseed $seed -N 30 -matings 15 -numfiles 3 -model -1 -choice 1 -tolerance 0.01
  run_case "" $C -fixseed $seed -N 30 -matings 15 -numfiles 3 -model -10 -choice -1 -tolerance 0.02
  run_case "" $C -fixseed $seed -N 80 -matings 30 -numfiles 2 -model 2 -choice 0.9 -tolerance 0.05 -bimodal 0.4 3 1 -shift 7 -writedistrib 1
  run_case "" $C -fixseed $seed -N 80 -matings 30 -numfiles 2 -model -4 -gaussian 0 -bimodal 0.3 1 1 -writedistrib 1 -verbose 1
  run_case "" $C -fixseed $seed -N 70 -osr 0.4 -matings 9 -numfiles 2 -model -20 -choice 0.5 -dmax 3 -mintrait 2 -bias 0.5 -onechoosy 1
  run_case "" $C -fixseed $seed -N 70 -matings 9 -numfiles 2 -model -1 -choice 0.5 -scaling 0 -dmax 2
  run_case phenotypes $C -userphenotypes 1 -fixseed $seed -N 20 -matings 6 -numfiles 2 -model -1 -choice 0.7 -bimodal 0.5 2 1
  run_case phenotypes $C -userphenotypes 1 -fixseed $seed -N 20 -matings 6 -numfiles 2 -model -3 -logistic_params 1 -1
  # aging under every branch and encounter mode
  for model in 1 -1 -10; do
    for choice in 0.6 -0.6 0; do
      run_case "" $C -fixseed $seed -N 40 -matings 12 -numfiles 3 -model $model -choice $choice -age_params 1 2 0
      run_case "" $C -fixseed $seed -N 40 -matings 12 -numfiles 3 -model $model -choice $choice -age_params 0.3 1.5 0 -onechoosy 1
      run_case "" $C -fixseed $seed -N 24 -matings 12 -numfiles 3 -model $model -choice $choice -age_params 0.2 3 0.1 -tolerance 0.02
    done
  done
  for model in 3 -3 -30; do
    run_case "" $C -fixseed $seed -N 40 -matings 12 -numfiles 3 -model $model -age_params 1 2 0 -impatience 0.3
    run_case "" $C -fixseed $seed -N 24 -matings 12 -numfiles 3 -model $model -age_params 0.2 2 0 -logistic_params -2 1
  done
  run_case "" $C -fixseed $seed -N 60 -matings 20 -numfiles 2 -model -1 -choice 0.5 -age_params 1 2 10
  # tied preferences: the current maximum steps down through ties, to the bottom of the table
  for model in -1 -10; do
    for choice in 0.5 -0.5; do
      run_case ties $C -userphenotypes 1 -fixseed $seed -N 24 -matings 10 -numfiles 4 -model $model -choice $choice
      run_case ties $C -userphenotypes 1 -fixseed $seed -N 24 -matings 10 -numfiles 4 -model $model -choice $choice -onechoosy 1
      run_case ties $C -userphenotypes 1 -fixseed $seed -N 24 -matings 10 -numfiles 4 -model $model -choice $choice -tolerance 0.3
      run_case ties $C -userphenotypes 1 -fixseed $seed -N 24 -matings 10 -numfiles 4 -model $model -choice $choice -age_params 0.3 1 0 -tolerance 0.3
      run_case ties $C -userphenotypes 1 -fixseed $seed -N 24 -matings 12 -numfiles 4 -model $model -choice $choice -age_params 0.5 2 0 -onechoosy 1 -tolerance 0.3
    done
  done
  # without data files: console lines of every file
  run_case "" -continuous 1 -fixseed $seed -N 40 -matings 8 -numfiles 3 -model -2 -choice -0.7 -tolerance 0.03
  run_case "" -continuous 1 -fixseed $seed -N 40 -matings 8 -numfiles 3 -model -3 -logistic_params 3 -2
  run_case "" -continuous 1 -fixseed $seed -N 40 -matings 8 -numfiles 3 -model -1 -choice 0.3 -age_params 0.4 2 0
done
python3 "$here/continuous_oracle.py" --check "$root"
