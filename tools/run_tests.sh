#!/usr/bin/env bash
# Runs the tests of pairlab-sweep and pairlab-plot with Debian's Python, against the program in
# build/ (or $PAIRLAB_BINARY). Extra arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
export PAIRLAB_BINARY="${PAIRLAB_BINARY:-$PWD/build/pairlab}"
exec /usr/bin/python3 -m pytest -q -p no:cacheprovider tools/tests "$@"
