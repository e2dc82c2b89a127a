#!/usr/bin/env bash
# Runs every fuzz target for a bounded time.
#
#   run_fuzz.sh FUZZ_BUILD_DIR [SECONDS_PER_TARGET]
#
# Each target starts from the seed corpus tests/fuzz_corpus (real-looking alr files and every
# input that once crashed, kept as regressions) and grows a working corpus of its own in the
# build directory, so that later runs start where earlier ones stopped. A crash, a hang, a
# leak or a sanitizer report stops the target; the input is saved as
# FUZZ_BUILD_DIR/artifacts/<target>-<kind>-<hash>, and the script fails.
# Each target ends on "ok   TARGET" or "FAIL TARGET ...", and the run on
# "run_fuzz: F of T target(s) failed", which a caller can count.
set -u
if [ $# -lt 1 ] || [ ! -d "$1" ]; then
  echo "usage: $0 FUZZ_BUILD_DIR [SECONDS_PER_TARGET]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
seconds=${2:-60}
# A fixed seed (FUZZ_SEED, as CI sets it) makes a run explore the same inputs every time, so a
# green CI run stays green; without it every run explores anew.
seed_option=()
[ -n "${FUZZ_SEED:-}" ] && seed_option=(-seed="$FUZZ_SEED")
here=$(cd "$(dirname "$0")" && pwd)
seeds=$here/../tests/fuzz_corpus

# Bio++ is built without frame pointers, so the fast unwinder walks into garbage frames below
# it and every allocation stack looks new: a short malloc context keeps the stack depot, and
# with it the fuzzer's memory, from growing for ever, and doubles the speed of the whole-run
# target, which allocates in every likelihood evaluation. Reports keep the stack of the bad
# access in full; for the whole allocation stack, rerun the saved input with
# ASAN_OPTIONS=malloc_context_size=30.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1:malloc_context_size=4:quarantine_size_mb=64"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$here/../scripts/lsan.supp}:print_suppressions=0"

# Input sizes: the reader takes any text; the whole run caps its own work inside the target.
declare -A max_len=([fuzz_alr_reader]=4096 [fuzz_contig_run]=2048)

mkdir -p "$build/artifacts"
targets=(fuzz_alr_reader fuzz_contig_run)
failures=0
for target in "${targets[@]}"; do
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  log=$build/$target.log
  echo "fuzz: $target for $seconds s (log $log)"
  "$build/$target" "$corpus" "$seeds" \
    -dict="$here/alr.dict" -max_total_time="$seconds" -max_len="${max_len[$target]}" -timeout=30 -rss_limit_mb=3072 \
    -artifact_prefix="$build/artifacts/$target-" -print_final_stats=1 >"$log" 2>&1
  status=$?
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$log" |
    sed "s/^/  /"
  if [ $status -ne 0 ]; then
    echo "FAIL $target (status $status):"
    report='ERROR:|runtime error|==ERROR|deadly signal|Test unit written'
    # A target that did not start (not built, cannot load) leaves only the reason why.
    if grep -q -E "$report" "$log"; then grep -E -A 30 "$report" "$log" | head -60; else tail -n 5 "$log"; fi
    failures=$((failures + 1))
  else
    echo "ok   $target"
  fi
done
echo "run_fuzz: $failures of ${#targets[@]} target(s) failed"
[ $failures -eq 0 ]
