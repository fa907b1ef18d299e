#!/usr/bin/env bash
# Builds the programs pairlab and pairlab-analyze into build/ (installing missing Debian packages
# first).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target pairlab pairlab-analyze
