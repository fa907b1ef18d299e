#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing; with
# arguments, those packages instead (as the fuzz targets ask for their compiler).
set -euo pipefail
packages=(g++ cmake make libgtest-dev libbenchmark-dev libboost-math-dev python3 clang-format
          python3-pandas python3-matplotlib python3-yaml snakemake python3-pytest python3-scipy
          man-db)
[ $# -gt 0 ] && packages=("$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
