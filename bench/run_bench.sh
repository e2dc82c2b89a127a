#!/usr/bin/env bash
# End-to-end timing of quorlin on a generated data set: individual-positions per second and
# peak memory for the default run, -M2, -sep and -par, then the peak memory of the default
# run on ten times as many contigs, which must stay flat (one contig in memory at a time).
#
#   run_bench.sh QUORLIN_BINARY [DATA_DIR]
#
# The data sets are written to DATA_DIR (default: a temporary directory) and reused when they
# are already there. Sizes can be changed through the environment:
#   CONTIGS (200), POSITIONS (1000), PER_SPECIES (10 individuals in each of 2 species),
#   PAR_CONTIGS (50: the -par run reads only the first PAR_CONTIGS contigs), SEED (2012).
#
# The -par run is given "-err 0.05". With the default maximum error rate of 0 the paralogy
# test runs at error rate 0, where every position with a read of a third or fourth base makes
# the test fail; that is a property of the data, not what the benchmark is after.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 QUORLIN_BINARY [DATA_DIR]" >&2
  exit 2
fi
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
data=${2:-$(mktemp -d "${TMPDIR:-/tmp}/quorlin-bench.XXXXXX")}
mkdir -p "$data"
data=$(cd "$data" && pwd)

contigs=${CONTIGS:-200}
positions=${POSITIONS:-1000}
per_species=${PER_SPECIES:-10}
par_contigs=${PAR_CONTIGS:-50}
seed=${SEED:-2012}
individuals=$((2 * per_species))

if [ ! -x /usr/bin/time ]; then
  echo "run_bench: /usr/bin/time is missing (Debian package 'time')" >&2
  exit 2
fi

# Realistic reads: Poisson depth 15, 1% errors, 5% of positions segregating per species, a few
# multi-allelic and collapsed paralogous positions, a light expression bias.
base=$data/bench_${contigs}x${positions}x${individuals}_s${seed}
if [ ! -s "$base.alr" ]; then
  echo "generating $contigs contigs x $positions positions x $individuals individuals ..."
  python3 "$here/gen_alr.py" --contigs "$contigs" --positions "$positions" --species 2 \
    --individuals "$per_species" --interleave --depth 15 --error 0.01 --snp-rate 0.05 \
    --multi-rate 0.01 --paralog-rate 0.005 --bias 0.1 --seed "$seed" --out "$base.tmp"
  mv "$base.tmp" "$base.alr"
fi
# Ten times the contigs: the same blocks again under new names.
if [ ! -s "${base}_x10.alr" ]; then
  for copy in 0 1 2 3 4 5 6 7 8 9; do
    sed "s/^>\(.*\)/>\1_copy$copy/" "$base.alr"
  done >"${base}_x10.tmp"
  mv "${base}_x10.tmp" "${base}_x10.alr"
fi
# The first contigs only, for the slower -par run.
if [ ! -s "${base}_par.alr" ]; then
  awk -v n="$par_contigs" '/^>/ { c++ } c <= n' "$base.alr" >"${base}_par.tmp"
  mv "${base}_par.tmp" "${base}_par.alr"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quorlin-bench-run.XXXXXX")
trap 'rm -rf "$work"' EXIT

printf '%-8s %8s %14s %9s %16s %15s\n' run contigs ind-positions seconds ind-positions/s "peak RSS (MiB)"
# run LABEL ALR NB_CONTIGS QUORLIN_OPTION...
run() {
  local label=$1 alr=$2 nb=$3
  shift 3
  cp "$alr" "$work/in.alr"
  if ! (cd "$work" && /usr/bin/time -v -o time.txt "$binary" -alr in.alr -best "$@" >stdout.txt 2>stderr.txt); then
    echo "run_bench: quorlin $* failed:" >&2
    cat "$work/stderr.txt" >&2
    exit 1
  fi
  awk -v label="$label" -v nb="$nb" -v cells=$((nb * positions * individuals)) '
    /Elapsed \(wall clock\)/ {
      n = split($NF, t, ":"); s = 0
      for (i = 1; i <= n; i++) s = s * 60 + t[i]
    }
    /Maximum resident set size/ { rss = $NF }
    END { printf "%-8s %8d %14d %9.2f %16.0f %15.1f\n", label, nb, cells, s, (s > 0 ? cells / s : 0), rss / 1024 }
  ' "$work/time.txt"
  grep "Maximum resident set size" "$work/time.txt" | awk '{ print $NF }' >"$work/rss_$label"
}

run default "$base.alr" "$contigs"
run M2 "$base.alr" "$contigs" -M2
run sep "$base.alr" "$contigs" -sep
run par "${base}_par.alr" "$par_contigs" -par -err 0.05
run x10 "${base}_x10.alr" $((10 * contigs))

rss1=$(cat "$work/rss_default")
rss10=$(cat "$work/rss_x10")
awk -v a="$rss1" -v b="$rss10" -v n="$contigs" 'BEGIN {
  change = 100 * (b - a) / a
  printf "peak memory: %.1f MiB for %d contigs, %.1f MiB for %d contigs (%+.1f%%)\n", a / 1024, n, b / 1024, 10 * n, change
  if (change > 10 || change < -10) { print "run_bench: peak memory is not flat"; exit 1 }
}'
