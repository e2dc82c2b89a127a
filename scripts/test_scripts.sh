#!/usr/bin/env bash
# Checks of the test scripts on stand-ins, in seconds: run_golden.sh's arguments and counts
# (with a shell script for quorlin and cases of its own), run_fuzz.sh's lines (with shell
# scripts for the targets) and run_tests.sh's counting (with canned stage logs). Ends on
# "test_scripts: F of C check(s) failed".
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quorlin-scripts.XXXXXX")
trap 'rm -rf "$work"' EXIT
checks=0 failures=0
# check NAME CONDITION...: the condition, run by the shell, must hold.
check() {
  local name=$1
  shift
  checks=$((checks + 1))
  if eval "$*"; then echo "ok   $name"; else echo "FAIL $name: $*" && failures=$((failures + 1)); fi
}
# run COMMAND...: its status in $status, its standard output in $work/out, its error in $work/err.
run() { "$@" >"$work/out" 2>"$work/err"; status=$?; }
last() { tail -n 1 "$work/out"; }

# run_golden.sh in a folder of its own: "same" prints its arguments, "threads" the thread count
# (so it differs at 4 threads from the one-thread expected), "broken" is wrong at every count.
golden=$work/golden
mkdir -p "$golden"/{same,threads,broken} && cp "$root/tests/golden/run_golden.sh" "$golden/"
printf '#!/bin/sh\necho "args $*"\n[ "$1" = threads ] && echo "threads $OMP_NUM_THREADS"\nexit 0\n' >"$work/fake"
chmod +x "$work/fake"
for c in same threads broken; do echo "$c" >"$golden/$c/args"; done
for place in first middle last; do
  rm -f "$golden"/same/expected.*
  case $place in
    first) run bash "$golden/run_golden.sh" --redo "$work/fake" same ;;
    middle) run bash "$golden/run_golden.sh" "$work/fake" --redo same ;;
    last) run bash "$golden/run_golden.sh" "$work/fake" same --redo ;;
  esac
  check "golden --redo $place" '[ $status = 0 ] && [ "$(cat "$golden/same/expected.stdout")" = "args same" ] && [ ! -s "$work/err" ]'
done
run bash "$golden/run_golden.sh" --redo "$work/fake" threads broken
echo "args wrong" >"$golden/broken/expected.stdout"
run bash "$golden/run_golden.sh" "$work/fake" same
check "golden summary when all pass" '[ $status = 0 ] && [ "$(last)" = "run_golden: 0 of 1 case(s) failed" ]'
for option in -x --verbose --; do
  run bash "$golden/run_golden.sh" "$work/fake" $option same
  check "golden refuses $option" '[ $status = 2 ] && [ ! -s "$work/out" ] && grep -q "^usage: .* \[--redo\] QUORLIN_BINARY \[CASE...\]$" "$work/err"'
done
run bash "$golden/run_golden.sh" "$work/fake" broken
check "golden case failing at both counts is one" '[ $status = 1 ] && [ $(grep -c "^FAIL broken (. threads)" "$work/out") = 2 ] && [ "$(last)" = "run_golden: 1 of 1 case(s) failed" ]'
run bash "$golden/run_golden.sh" "$work/fake" nosuch same
check "golden missing case fails once" '[ $status = 1 ] && grep -q "^FAIL nosuch" "$work/out" && [ ! -s "$work/err" ] && [ "$(last)" = "run_golden: 1 of 2 case(s) failed" ]'
run bash "$golden/run_golden.sh" "$work/fake"
check "golden counts all cases" '[ $status = 1 ] && grep -q "^ok   threads (1 threads)" "$work/out" && [ "$(last)" = "run_golden: 2 of 3 case(s) failed" ]'
rm -r "$golden"/{same,threads,broken}
run bash "$golden/run_golden.sh" "$work/fake"
check "golden no case fails" '[ $status = 1 ] && [ "$(last)" = "run_golden: 0 of 0 case(s) failed" ]'

# run_fuzz.sh with a target that passes and one that reports an error.
mkdir "$work/fuzz" && printf '#!/bin/sh\nexit 0\n' >"$work/fuzz/fuzz_alr_reader" &&
  printf '#!/bin/sh\necho "==ERROR: stand-in"\nexit 1\n' >"$work/fuzz/fuzz_contig_run" && chmod +x "$work/fuzz"/fuzz_*
run bash "$root/fuzz/run_fuzz.sh" "$work/fuzz" 1
check "fuzz lines" '[ $status = 1 ] && grep -qx "ok   fuzz_alr_reader" "$work/out" && grep -q "^FAIL fuzz_contig_run (status 1)" "$work/out" && [ "$(last)" = "run_fuzz: 1 of 2 target(s) failed" ]'

# run_tests.sh --count on canned logs: KIND STATUS EXPECTED LOG-LINES...
count() {
  local kind=$1 status=$2 expected=$3
  shift 3
  printf '%s\n' "$@" >"$work/log"
  check "count $kind status $status: $expected" \
    '[ "$(bash "$root/scripts/run_tests.sh" --count "$kind" "$work/log" "$status" | cut -d" " -f1,2)" = "$expected" ]'
}
count ctest 0 "41 0" "100% tests passed, 0 tests failed out of 41"
count ctest 8 "39 2" "run_golden: 1 of 52 case(s) failed" "95% tests passed, 2 tests failed out of 41"
count ctest 2 "0 1" "make[1]: *** [Makefile:40: build-tests] Error 2"
count gtest 0 "30 0" "[  PASSED  ] 30 tests."
count gtest 1 "28 2" "[  PASSED  ] 28 tests." "[  FAILED  ] 2 tests, listed below:" "[  FAILED  ] A.b" " 2 FAILED TESTS"
count gtest 66 "0 1" "[ RUN      ] A.b" "WARNING: ThreadSanitizer: data race"
count tally:run_golden 1 "49 3" "run_golden: 3 of 52 case(s) failed"
count tally:run_golden 1 "0 1" "run_golden: 0 of 0 case(s) failed"
count tally:run_fuzz 2 "2 1" "run_fuzz: 0 of 2 target(s) failed"
count tally:run_fuzz 1 "0 1" "run_golden: 0 of 52 case(s) failed"
count passed:run_bad_inputs 1 "130 4" "FAIL x: y" "run_bad_inputs: 130 passed, 4 failed"
count passed:run_bad_inputs 124 "0 1" "ok   umask 022"

# run_tests.sh as a whole with a make that replays canned logs: the sums, the stage that could
# not run, the verdict last and the status.
mkdir "$work/logs"
printf '#!/bin/sh\nfor a; do stage=$a; done\ncat "%s/logs/$stage" 2>/dev/null\n[ -f "%s/logs/$stage" ] && [ ! -f "%s/logs/$stage.fails" ]\n' \
  "$work" "$work" "$work" >"$work/make" && chmod +x "$work/make"
echo "test_scripts: 0 of 20 check(s) failed" >"$work/logs/test-scripts"
echo "100% tests passed, 0 tests failed out of 41" >"$work/logs/test-release"
echo "90% tests passed, 4 tests failed out of 40" >"$work/logs/test-asan" && touch "$work/logs/test-asan.fails"
echo "[  PASSED  ] 30 tests." >"$work/logs/test-tsan-driver"
echo "run_bad_inputs: 20 passed, 0 failed" >"$work/logs/test-tsan-bad-inputs"
echo "run_fuzz: 0 of 2 target(s) failed" >"$work/logs/fuzz-ci"
run bash "$root/scripts/run_tests.sh" "$work/make" BUILD=x
check "run_tests sums, golden stage missing" '[ $status = 1 ] && [ "$(last)" = "149 passed, 5 failed" ] &&
  [ "$(tail -n 2 "$work/out" | head -n 1)" = "could not run: test-tsan-golden (status 1, no summary of its tests)" ]'
echo "run_golden: 0 of 52 case(s) failed" >"$work/logs/test-tsan-golden" && rm "$work/logs/test-asan.fails"
echo "100% tests passed, 0 tests failed out of 40" >"$work/logs/test-asan"
run bash "$root/scripts/run_tests.sh" "$work/make" BUILD=x
check "run_tests all pass" '[ $status = 0 ] && [ "$(last)" = "205 passed, 0 failed" ] && ! grep -q "could not run" "$work/out"'

echo "test_scripts: $failures of $checks check(s) failed"
[ $failures -eq 0 ]
