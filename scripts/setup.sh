#!/usr/bin/env bash
# Installs the Debian packages that one kind of work on quorlin needs, only those missing:
#   setup.sh build   compile quorlin and run it (make build, make demo)
#   setup.sh test    that, and what the tests, the sanitizer builds and the fuzz targets call
#   setup.sh bench   that of build, and what the benchmarks call
# Only names that every current Debian release carries: the unversioned clang and
# libclang-rt-dev follow the release's default LLVM, so no path or name holds a version.
set -euo pipefail
usage() {
  echo "usage: $0 build|test|bench" >&2
  exit 2
}
[ $# -eq 1 ] || usage

build=(build-essential cmake make libbpp-core-dev libbpp-seq-dev libbpp-phyl-dev libgsl-dev)
# googletest; python3 for the posterior checks, the accuracy check and the generated inputs of
# the bad-input suite; time for its peak memory (/usr/bin/time); parallel for the split recipe
# of the README; util-linux for setpriv, which runs the umask cases as another user; clang with
# its runtime libraries (libFuzzer, ASan, UBSan) for the fuzz targets. g++'s own sanitizer
# runtimes come with build-essential.
test=(libgtest-dev python3 time parallel util-linux clang libclang-rt-dev)
# Google Benchmark; python3 generates the data sets, /usr/bin/time measures each run.
bench=(libbenchmark-dev python3 time)
case $1 in
  build) packages=("${build[@]}") ;;
  test) packages=("${build[@]}" "${test[@]}") ;;
  bench) packages=("${build[@]}" "${bench[@]}") ;;
  *) usage ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "setup: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
