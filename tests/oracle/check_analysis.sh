#!/usr/bin/env bash
# Runs pairlab-analyze on random tables and checks every index, p-value and model fit against the
# independent oracle (scipy's optimiser on the models' definitions).
# Usage: check_analysis.sh PAIRLAB_ANALYZE_BINARY
set -u
here=$(cd "$(dirname "$0")" && pwd)
exec /usr/bin/python3 "$here/analysis_oracle.py" "$1"
