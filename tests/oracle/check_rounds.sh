#!/usr/bin/env bash
# Runs the simulator and the independent oracle on a set of fixed-seed sampling-round runs and
# checks that every rounds table and report agrees with the oracle after its banner.
# Usage: check_rounds.sh PAIRLAB_BINARY
set -u
binary=$1
here=$(cd "$(dirname "$0")" && pwd)
failures=0
# NaN is written with its sign by the simulator; the sign of a NaN is not part of its meaning.
unsign() { sed 's/-nan/nan/g' "$1"; }
run_case() {
  local input=$1; shift
  local work
  work=$(mktemp -d)
  [ -n "$input" ] && cp "$here"/inputs/"$input"/* "$work"/
  (cd "$work" && "$binary" -onematround 0 "$@" >stdout.txt) || { echo "FAIL (status $?): $*"; failures=$((failures+1)); rm -rf "$work"; return; }
  python3 -S "$here/rounds_oracle.py" "$work" -onematround 0 "$@" || { echo "FAIL (oracle): $*"; failures=$((failures+1)); rm -rf "$work"; return; }
  local count=0 produced
  produced=$(ls "$work"/Out_Pairlab*/ | grep -vc '^Pairlab_runs.tsv$')  # the run ledger aside
  for expected in "$work"/oracle/*.txt; do
    local name actual
    name=$(basename "$expected")
    actual=$(ls "$work"/Out_Pairlab*/"$name" 2>/dev/null | head -1)
    if [ -z "$actual" ]; then echo "FAIL (no file $name): $*"; failures=$((failures+1)); continue; fi
    if ! diff <(tail -n +12 "$actual" | unsign /dev/stdin) <(unsign "$expected") >/dev/null; then
      echo "FAIL (differs: $name): $*"
      diff <(tail -n +12 "$actual" | unsign /dev/stdin) <(unsign "$expected") | head -10
      failures=$((failures+1))
    fi
    count=$((count+1))
  done
  [ "$count" -gt 0 ] && [ "$count" -eq "$produced" ] || { echo "FAIL ($count files compared, $produced written): $*"; failures=$((failures+1)); }
  rm -rf "$work"
}
for seed in 7 -3; do
  run_case "" -fixseed $seed -MRmax 2 -numfiles 2
  run_case "" -fixseed $seed -model 10 -MRmax 25 -numfiles 3
  run_case "" -fixseed $seed -model 123321 -numfiles 2 -matings 200
  run_case "" -fixseed $seed -model 31 -choicefactor 3 -MRmax 7 -femtypes 3 -maletypes 3 -numfiles 2
  run_case "" -fixseed $seed -model 4 -choicefactor 0.4 -MRmax 12 -femtypes 2 -maletypes 3 -matings 150
  run_case "" -fixseed $seed -model 2 -MRmax 1 -numfiles 3 -shift 5
  run_case "" -fixseed $seed -model -3 -numfiles 3 -femtypes 3 -matings 60
  run_case "" -fixseed $seed -model 1 -MRmax 1.5 -incrfactor 3 -eJRpsi 1 -numfiles 2 -SL 0.2
  run_case "" -fixseed $seed -model 4 -choicefactor 0.3 -N 301 -osr 1 -numfiles 2
  run_case "" -fixseed $seed -model 2 -MRmax 20 -uniform 0 -femtypes 4 -maletypes 3 -numfiles 2
  run_case "" -fixseed $seed -uniform 0 -femtypes 8 -MPF 0.3 -numfiles 2
  run_case "" -fixseed $seed -model 3 -choicefactor 2 -uniform 0 -femtypes 5 -maletypes 4 -MPF 0.05
  run_case "" -fixseed $seed -model 1 -N 1000 -osr 3 -matings 200 -numfiles 2 -onlyresume 1
  run_case user -fixseed $seed -model 5 -uniform 0 -userfreqs 1 -numfiles 2
  run_case rounds_individual -fixseed $seed -model 5 -uniform 0 -userfreqs 1 -eJRpsi 1 -numfiles 2
  run_case rounds_individual -fixseed $seed -model 5 -numfiles 2 -femtypes 3
  run_case rounds_mass -fixseed $seed -model 5 -numfiles 3 -matings 120
done
if [ "$failures" -ne 0 ]; then echo "$failures failures"; exit 1; fi
echo "all sampling-round runs agree with the oracle"
