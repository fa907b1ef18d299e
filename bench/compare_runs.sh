#!/usr/bin/env bash
# Runs two builds of pairlab on the same continuous-trait configurations (fixed seeds) and checks
# that they write the same standard output and the same files, byte for byte (the time line that
# opens each result file, the run ledger Pairlab_runs.tsv, which records times, and the lock of
# the output directory aside). Used to check that a change of the continuous road leaves every
# run as it was: give the binary built before the change as REFERENCE.
# Usage: bench/compare_runs.sh REFERENCE CANDIDATE [LARGEST_N]   (LARGEST_N defaults to 40000)
set -uo pipefail
if [ $# -lt 2 ] || [ ! -x "$1" ] || [ ! -x "$2" ]; then
  echo "usage: bench/compare_runs.sh REFERENCE CANDIDATE [LARGEST_N] (two pairlab binaries)" >&2
  exit 2
fi
reference=$(realpath "$1")
candidate=$(realpath "$2")
largest=${3:-40000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cases=0
failures=0

# Runs both binaries with the given options and compares what they leave.
compare() {
  cases=$((cases + 1))
  local side
  for side in reference candidate; do
    rm -rf "$work/$side" && mkdir -p "$work/$side"
    [ -n "${phenotypes:-}" ] && cp "$phenotypes" "$work/$side/PairlabUserPhenotypes.txt"
    (cd "$work/$side" && "${!side}" -continuous 1 "$@" >stdout.txt 2>&1; echo "status $?" >>stdout.txt)
    find "$work/$side" -path '*/Out_*' -type f -exec sed -i '1{/^[A-Z][a-z][a-z] [A-Z][a-z][a-z] /d}' {} +
    find "$work/$side" \( -name Pairlab_runs.tsv -o -name .pairlab.lock \) -delete
  done
  if ! diff -r "$work/reference" "$work/candidate" >/dev/null; then
    failures=$((failures + 1))
    echo "DIFFERENT: $*"
    diff -r "$work/reference" "$work/candidate" | head -5
  fi
}

# Population sizes, each with fewer files as the old table grows.
sizes=(500 2000 10000 40000)
for n in "${sizes[@]}"; do
  [ "$n" -gt "$largest" ] && continue
  files=$((n <= 2000 ? 20 : (n <= 10000 ? 6 : 3)))
  for model in 1 -1 -10 -2; do
    for branch in "-choice 0.5" "-choice -0.5" "-choice 0.5 -onechoosy 1 -bias -0.1" \
                  "-choice 0.8 -bias 0.05 -tolerance 0.2"; do
      for aging in "" "-age_params 1 2 0" "-age_params 0.3 1 0 -tolerance 0.3"; do
        # shellcheck disable=SC2086
        compare -N "$n" -model "$model" $branch $aging -numfiles "$files" -writefiles 1 -fixseed 7
      done
    done
  done
done
# Tied preferences (few distinct traits) and larger samples, at the smaller sizes.
phenotypes=$work/phenotypes.txt
for n in 500 2000; do
  awk -v n="$n" 'BEGIN {srand(3); for (i = 0; i < n; i++) print int(rand() * 7)}' >"$phenotypes"
  for model in -1 -10 1; do
    for branch in "-choice 0.5" "-choice -0.5" "-choice 0.5 -onechoosy 1"; do
      for aging in "" "-age_params 0.5 2 0"; do
        # shellcheck disable=SC2086
        compare -userphenotypes 1 -N "$n" -model "$model" $branch $aging -matings 150 \
          -numfiles 5 -writefiles 1 -fixseed 3
      done
    done
  done
done
unset phenotypes
echo "$cases configurations, $failures different"
[ "$failures" -eq 0 ]
