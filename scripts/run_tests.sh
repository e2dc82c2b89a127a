#!/usr/bin/env bash
# Every test stage of `make test`, one after the other, and one verdict for them all:
#   run_tests.sh MAKE [VARIABLE=VALUE...]
# runs `MAKE VARIABLE=VALUE... STAGE` for each stage below, its output shown as it comes and
# kept, then counts the tests each stage ran from its own summary line and ends on
# "N passed, M failed", the last line, with status 0 only when M is 0. A stage that stops
# before its summary (a build that fails, a sanitizer that aborts a test binary) could not
# run: it counts as one failed test, and the line before the verdict names it.
#   run_tests.sh --count KIND LOG STATUS
# prints "PASSED FAILED" and, for a stage that could not run, why, as counted from the log of
# a stage of that kind that ended with STATUS; test_scripts.sh checks it on canned logs.
set -u

# KIND is how a stage reports: "ctest", a gtest binary ("gtest"), a script that ends on
# "NAME: F of C ... failed" ("tally:NAME"), or one that ends on "NAME: P passed, F failed"
# ("passed:NAME").
count() {
  local kind=$1 log=$2 status=$3 line="" passed=0 failed=0 total
  case $kind in
    ctest)
      line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+$' "$log" | tail -n 1)
      if [ -n "$line" ]; then
        failed=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
        total=${line##* }
        passed=$((total - failed))
      fi
      ;;
    gtest)
      # gtest prints the failed count only when some failed.
      line=$(grep -E '^\[  PASSED  \] [0-9]+ tests?\.$' "$log" | tail -n 1)
      if [ -n "$line" ]; then
        passed=$(sed -E 's/^\[  PASSED  \] ([0-9]+).*/\1/' <<<"$line")
        failed=$(grep -E '^\[  FAILED  \] [0-9]+ tests?, listed below:$' "$log" | tail -n 1 |
          sed -E 's/^\[  FAILED  \] ([0-9]+).*/\1/')
        failed=${failed:-0}
      fi
      ;;
    tally:*)
      line=$(grep -E "^${kind#tally:}: [0-9]+ of [0-9]+ .* failed\$" "$log" | tail -n 1)
      if [ -n "$line" ]; then
        failed=$(sed -E 's/^[^:]*: ([0-9]+) of .*/\1/' <<<"$line")
        total=$(sed -E 's/^[^:]*: [0-9]+ of ([0-9]+) .*/\1/' <<<"$line")
        passed=$((total - failed))
      fi
      ;;
    passed:*)
      line=$(grep -E "^${kind#passed:}: [0-9]+ passed, [0-9]+ failed\$" "$log" | tail -n 1)
      if [ -n "$line" ]; then
        passed=$(sed -E 's/^[^:]*: ([0-9]+) passed.*/\1/' <<<"$line")
        failed=$(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$line")
      fi
      ;;
    *)
      echo "run_tests: unknown kind of stage $kind" >&2
      return 2
      ;;
  esac
  if [ -z "$line" ]; then
    echo "0 1 status $status, no summary of its tests"
  elif [ $((passed + failed)) -eq 0 ]; then
    echo "0 1 status $status, no test ran"
  elif [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
    echo "$passed 1 status $status after a summary without failures"
  else
    echo "$passed $failed"
  fi
}

if [ "${1:-}" = --count ]; then
  [ $# -eq 4 ] || { echo "usage: $0 --count KIND LOG STATUS" >&2; exit 2; }
  count "$2" "$3" "$4"
  exit
fi
if [ $# -lt 1 ]; then
  echo "usage: $0 MAKE [VARIABLE=VALUE...] | $0 --count KIND LOG STATUS" >&2
  exit 2
fi
make_command=("$@")

# STAGE KIND: the make targets, each of which also works on its own.
stages=(
  "test-scripts tally:test_scripts"
  "test-release ctest"
  "test-asan ctest"
  "test-tsan-driver gtest"
  "test-tsan-golden tally:run_golden"
  "test-tsan-bad-inputs passed:run_bad_inputs"
  "fuzz-ci tally:run_fuzz"
)
logs=$(mktemp -d "${TMPDIR:-/tmp}/quorlin-tests.XXXXXX")
trap 'rm -rf "$logs"' EXIT
start=$SECONDS
total_passed=0 total_failed=0 not_run=() table=()
for entry in "${stages[@]}"; do
  read -r stage kind <<<"$entry"
  log=$logs/$stage.log
  echo "==== $stage"
  "${make_command[@]}" --no-print-directory "$stage" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  read -r passed failed why <<<"$(count "$kind" "$log" "$status")"
  total_passed=$((total_passed + passed)) total_failed=$((total_failed + failed))
  if [ -z "$why" ]; then
    table+=("$(printf '  %-20s %5d run, %d failed' "$stage" $((passed + failed)) "$failed")")
  else
    not_run+=("$stage ($why)")
    table+=("$(printf '  %-20s %5d run, did not finish: counted as 1 failed' "$stage" "$passed")")
  fi
done
echo "==== all stages, $((SECONDS - start)) s"
printf '%s\n' "${table[@]}"
if [ ${#not_run[@]} -ne 0 ]; then
  joined=$(printf '; %s' "${not_run[@]}")
  echo "could not run: ${joined#; }"
fi
echo "$total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ]
