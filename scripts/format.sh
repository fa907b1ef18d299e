#!/usr/bin/env bash
# Formats the C++ sources with Debian's clang-format and the repository's .clang-format.
# With --check it changes nothing and fails when a file is not formatted.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.hpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run --Werror "${files[@]}"
  echo "Formatting check passed (${#files[@]} files)."
else
  clang-format -i "${files[@]}"
fi
