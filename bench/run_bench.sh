#!/usr/bin/env bash
# End-to-end timing of quorlin on a generated data set. First "-M2 -best" on the first 48
# contigs with 1, 2, 4 and all threads (OMP_NUM_THREADS): individual-positions per second,
# peak memory and the speed-up over one thread, whose outputs every other run must equal.
# Then, with all threads, the default run, -M2, -sep and -par, the default run with one
# thread, and the peak memory of the default run on ten times as many contigs, which must
# stay flat (a few contigs per thread in memory at a time).
#
#   run_bench.sh QUORLIN_BINARY [DATA_DIR]
#
# The data sets are written to DATA_DIR (default: a temporary directory) and reused when they
# are already there. Sizes can be changed through the environment:
#   CONTIGS (200), POSITIONS (1000), PER_SPECIES (10 individuals in each of 2 species),
#   PAR_CONTIGS (50: the -par run reads only the first PAR_CONTIGS contigs), SEED (2012),
#   THREAD_CONTIGS (48: contigs of the thread table).
#
# The -par run is given "-err 0.05", the error rate the data were simulated around.
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
thread_contigs=${THREAD_CONTIGS:-48}
all_threads=$(nproc)
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
# The first contigs only, for the slower -par run and for the thread table.
for cut in "par:$par_contigs" "threads:$thread_contigs"; do
  if [ ! -s "${base}_${cut%%:*}.alr" ]; then
    awk -v n="${cut#*:}" '/^>/ { c++ } c <= n' "$base.alr" >"${base}_${cut%%:*}.tmp"
    mv "${base}_${cut%%:*}.tmp" "${base}_${cut%%:*}.alr"
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quorlin-bench-run.XXXXXX")
trap 'rm -rf "$work"' EXIT

# run LABEL ALR NB_CONTIGS QUORLIN_OPTION...: with OMP_NUM_THREADS=$threads.
threads=$all_threads
run() {
  local label=$1 alr=$2 nb=$3
  shift 3
  cp "$alr" "$work/in.alr"
  if ! (cd "$work" && OMP_NUM_THREADS=$threads /usr/bin/time -v -o time.txt "$binary" -alr in.alr -best "$@" \
    >stdout.txt 2>stderr.txt); then
    echo "run_bench: quorlin $* failed:" >&2
    cat "$work/stderr.txt" >&2
    exit 1
  fi
  awk -v label="$label" -v nb="$nb" -v threads="$threads" -v cells=$((nb * positions * individuals)) \
    -v base_seconds="${base_seconds:-0}" '
    /Elapsed \(wall clock\)/ {
      n = split($NF, t, ":"); s = 0
      for (i = 1; i <= n; i++) s = s * 60 + t[i]
    }
    /Maximum resident set size/ { rss = $NF }
    END {
      printf "%-10s %7d %7d %14d %9.2f %16.0f %15.1f", label, threads, nb, cells, s, (s > 0 ? cells / s : 0), rss / 1024
      if (base_seconds > 0 && s > 0) printf " %9.2fx", base_seconds / s
      printf "\n"
    }
  ' "$work/time.txt"
  awk '/Maximum resident set size/ { print $NF } /Elapsed \(wall clock\)/ { n = split($NF, t, ":"); s = 0
    for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s > "/dev/stderr" }' "$work/time.txt" \
    >"$work/rss_$label" 2>"$work/seconds_$label"
  grep -v 'time:' "$work/stdout.txt" | grep -v '^Running' >"$work/console_$label"
  cat "$work/in.gen" "$work/in.data" "$work/in.fasta" >"$work/files_$label"
}

header() {
  printf '%-10s %7s %7s %14s %9s %16s %15s %10s\n' run threads contigs ind-positions seconds ind-positions/s \
    "peak RSS (MiB)" "$1"
}

echo "-M2 -best on $thread_contigs contigs ($all_threads cores):"
header speed-up
base_seconds=""
for threads in $(printf '%s\n' 1 2 4 "$all_threads" | awk '!seen[$0]++'); do
  run "M2_t$threads" "${base}_threads.alr" "$thread_contigs" -M2
  [ -z "$base_seconds" ] && base_seconds=$(cat "$work/seconds_M2_t1")
  if ! cmp -s "$work/files_M2_t1" "$work/files_M2_t$threads" || ! cmp -s "$work/console_M2_t1" "$work/console_M2_t$threads"; then
    echo "run_bench: the outputs with $threads threads differ from those of one thread" >&2
    exit 1
  fi
done
base_seconds=""
echo
echo "every option set with all threads, the default run with one:"
header ""
threads=$all_threads
run default "$base.alr" "$contigs"
run M2 "$base.alr" "$contigs" -M2
run sep "$base.alr" "$contigs" -sep
run par "${base}_par.alr" "$par_contigs" -par -err 0.05
run x10 "${base}_x10.alr" $((10 * contigs))
threads=1
run default_t1 "$base.alr" "$contigs"

rss1=$(cat "$work/rss_default")
rss10=$(cat "$work/rss_x10")
rss_t1=$(cat "$work/rss_default_t1")
awk -v a="$rss1" -v b="$rss10" -v one="$rss_t1" -v n="$contigs" -v t="$all_threads" 'BEGIN {
  change = 100 * (b - a) / a
  printf "peak memory with %d threads: %.1f MiB for %d contigs, %.1f MiB for %d contigs (%+.1f%%)\n", t, a / 1024, n, b / 1024, 10 * n, change
  printf "peak memory for %d contigs: %.1f MiB with 1 thread, %.1f MiB with %d (%.2fx)\n", n, one / 1024, a / 1024, t, a / one
  if (change > 10 || change < -10) { print "run_bench: peak memory is not flat"; exit 1 }
}'

# The separate fit (-sep) against the shared one on many-species data: one contig with one
# thread, and many contigs with all threads. Each species' fit must hold only that species'
# share of the contig, so -sep may not need more than 1.5 times the shared fit's peak memory,
# from a few species of many individuals to many species of one.
sep_positions=${SEP_POSITIONS:-2000}
sep_contigs=${SEP_CONTIGS:-32}
sep_contig_positions=${SEP_CONTIG_POSITIONS:-500}
# peak_kib ALR THREADS OPTION...: peak resident KiB of quorlin -best, its seconds on stderr.
peak_kib() {
  local alr=$1 threads=$2
  shift 2
  rm -f "$work"/in.*
  cp "$alr" "$work/in.alr"
  if ! (cd "$work" && OMP_NUM_THREADS=$threads /usr/bin/time -f '%M %e' -o time.txt "$binary" -alr in.alr -best "$@" \
    >stdout.txt 2>stderr.txt); then
    echo "run_bench: quorlin $* failed:" >&2
    cat "$work/stderr.txt" >&2
    exit 1
  fi
  tail -n 1 "$work/time.txt"
}
echo
echo "peak memory of -sep against the shared fit, many species:"
printf '%-22s %7s %7s %10s %10s %10s %10s %7s\n' "species x ind x pos" threads contigs "shared MiB" "-sep MiB" "shared s" "-sep s" ratio
sep_failed=0
for shape in 5:10 10:5 30:3 50:2 100:1 200:1; do
  nb_species=${shape%%:*} per=${shape#*:}
  for layout in "1:$sep_positions:1" "$sep_contigs:$sep_contig_positions:$all_threads"; do
    IFS=: read -r nb_contigs nb_positions threads <<<"$layout"
    alr=$data/sep_${nb_species}x${per}x${nb_positions}_c${nb_contigs}_s${seed}.alr
    if [ ! -s "$alr" ]; then
      python3 "$here/gen_alr.py" --contigs "$nb_contigs" --positions "$nb_positions" --species "$nb_species" \
        --individuals "$per" --interleave --depth 15 --error 0.01 --snp-rate 0.05 --multi-rate 0.01 \
        --bias 0.1 --seed "$seed" --out "$alr.tmp"
      mv "$alr.tmp" "$alr"
    fi
    read -r shared_kib shared_s < <(peak_kib "$alr" "$threads")
    read -r sep_kib sep_s < <(peak_kib "$alr" "$threads" -sep)
    ratio=$(awk -v a="$sep_kib" -v b="$shared_kib" 'BEGIN { printf "%.2f", a / b }')
    printf '%-22s %7d %7d %10.1f %10.1f %10.2f %10.2f %6sx\n' "$nb_species x $per x $nb_positions" "$threads" \
      "$nb_contigs" "$(awk -v k="$shared_kib" 'BEGIN { print k / 1024 }')" "$(awk -v k="$sep_kib" 'BEGIN { print k / 1024 }')" \
      "$shared_s" "$sep_s" "$ratio"
    awk -v r="$ratio" 'BEGIN { exit !(r > 1.5) }' && sep_failed=1
  done
done
if [ "$sep_failed" -ne 0 ]; then
  echo "run_bench: -sep needs more than 1.5 times the shared fit's peak memory" >&2
  exit 1
fi
