#!/usr/bin/env bash
# Runs the simulator and the independent oracle on a set of fixed-seed discrete runs and checks
# that every data file agrees with the oracle after its banner.
# Usage: check_discrete.sh PAIRLAB_BINARY
set -u
binary=$1
here=$(cd "$(dirname "$0")" && pwd)
failures=0
run_case() {
  local input=$1; shift
  local work
  work=$(mktemp -d)
  [ -n "$input" ] && cp "$here"/inputs/"$input"/* "$work"/
  (cd "$work" && "$binary" "$@" >stdout.txt) || { echo "FAIL (status $?): $*"; failures=$((failures+1)); rm -rf "$work"; return; }
  python3 -S "$here/discrete_oracle.py" "$work" "$@" || { echo "FAIL (oracle): $*"; failures=$((failures+1)); rm -rf "$work"; return; }
  local count=0
  for expected in "$work"/oracle/*.txt; do
    local name actual
    name=$(basename "$expected")
    actual=$(ls "$work"/Out_Pairlab*/"$name" 2>/dev/null | head -1)
    if [ -z "$actual" ]; then echo "FAIL (no file $name): $*"; failures=$((failures+1)); continue; fi
    if ! diff <(tail -n +12 "$actual") "$expected" >/dev/null; then
      echo "FAIL (differs: $name): $*"; diff <(tail -n +12 "$actual") "$expected" | head -10
      failures=$((failures+1))
    fi
    count=$((count+1))
  done
  [ "$count" -gt 0 ] || { echo "FAIL (no files compared): $*"; failures=$((failures+1)); }
  rm -rf "$work"
}
for seed in 1 7 12345 -3; do
  run_case "" -fixseed $seed -model -1 -numfiles 3
  run_case "" -fixseed $seed -model -10 -MRmax 50 -numfiles 2
  run_case "" -fixseed $seed -model -20 -numfiles 2 -matings 240 -incrfactor 3
  run_case "" -fixseed $seed -model -31 -choicefactor 4 -MRmax 7 -femtypes 3 -maletypes 3 -matings 200
  run_case "" -fixseed $seed -model -8 -femtypes 3 -maletypes 2 -incrfactor 2 -choicefactor 3 -format 15
  run_case "" -fixseed $seed -model -9 -uniform 0 -femtypes 4 -maletypes 3 -numfiles 3 -MPF 0.05
  run_case "" -fixseed $seed -model -60 -uniform 0 -femtypes 5 -maletypes 5 -numfiles 2 -MRmax 20
  run_case "" -fixseed $seed -N 200 -model -2 -numfiles 3
  run_case "" -fixseed $seed -N 300 -osr 2 -model -4 -choicefactor 0.5 -numfiles 2 -femtypes 3
  run_case "" -fixseed $seed -N 120 -model 7 -numfiles 2 -uniform 0 -matings 50
  run_case "" -fixseed $seed -N 400 -model -70 -numfiles 2 -uniform 0 -femtypes 3 -matings 150
  run_case user -fixseed $seed -model -5 -uniform 0 -userfreqs 1 -numfiles 2
  run_case user -fixseed $seed -model -50 -uniform 0 -userfreqs 1 -MRmax 30
  run_case user -fixseed $seed -N 300 -model -5 -uniform 0 -userfreqs 1 -numfiles 3
  run_case user -fixseed $seed -model 5 -uniform 0 -userfreqs 1 -matings 1000
done
run_case "" -fixseed 4 -model 1 -femtypes 3 -incrfactor 2
run_case "" -fixseed 4 -model 3 -choicefactor 2 -femtypes 3 -maletypes 2 -numfiles 4
if [ "$failures" -ne 0 ]; then echo "$failures failures"; exit 1; fi
echo "all discrete runs agree with the oracle"
