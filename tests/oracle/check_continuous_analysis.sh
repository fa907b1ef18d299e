#!/usr/bin/env bash
# Runs pairlab-analyze --continuous on random tables of pairs and checks its tests, distances,
# weights, regression adjustment and posterior summaries against the independent oracle.
# Usage: check_continuous_analysis.sh PAIRLAB_ANALYZE_BINARY
set -u
here=$(cd "$(dirname "$0")" && pwd)
exec /usr/bin/python3 "$here/continuous_analysis_oracle.py" "$1"
