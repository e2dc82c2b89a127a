#!/usr/bin/env bash
# Installs the Debian packages that building and testing quorlin needs, only when missing.
set -euo pipefail
packages=(build-essential cmake make python3 time libgtest-dev libbenchmark-dev
          libbpp-core-dev libbpp-seq-dev libbpp-phyl-dev libgsl-dev
          clang libclang-rt-14-dev parallel)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "setup: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
