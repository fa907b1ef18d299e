#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands there: the program runs and
# its manual page renders without warnings.
# Usage: check_install.sh BUILD_DIR
set -euo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
"$prefix/bin/pairlab" --version | grep -q '^Pairlab '
page=$(find "$prefix" -name pairlab.1 | head -1)
[ -n "$page" ] || { echo "no manual page installed"; exit 1; }
warnings=$(MANWIDTH=80 man -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "the manual page renders with warnings: $warnings"; exit 1; }
MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q 'Pairlab_runs.tsv'
[ -f "$prefix/share/doc/pairlab/runs.md" ] || { echo "the manual (doc/*.md) is not installed"; exit 1; }
echo "installed and rendered: $prefix/bin/pairlab, $page"
