#!/usr/bin/env bash
# End-to-end runs of the quorlin executable against reviewed expected outputs:
#   run_golden.sh [--redo] QUORLIN_BINARY [CASE...]
# Each directory tests/golden/<case>/ holds `args` (one argument per line, file names relative
# to the case directory), its input files and the expected results: expected.stdout,
# expected.stderr, expected.status, and expected.gen, expected.data and expected.fasta for the
# outputs the run leaves in its folder. An output without an expected file must not exist, so
# a refused run is seen to write nothing. Each case runs in a temporary copy of its directory
# once per thread count of GOLDEN_THREADS (default "1 4"): every count must give the same
# bytes. Lines that carry times are dropped from standard output.
# --redo rewrites the expected files of the selected cases from a one-thread run of the
# current binary. Review them before keeping them.
# It always ends with "run_golden: F of C case(s) failed", a case counting once however many
# thread counts it failed at, so that a caller can add the cases up.
set -u
usage() {
  echo "usage: $0 [--redo] QUORLIN_BINARY [CASE...]" >&2
  exit 2
}
# --redo may stand anywhere, as it is often added at the end of a command recalled from the
# history; any other word starting with "-" is a mistyped option, not a case name.
redo=0
positional=()
for arg in "$@"; do
  case $arg in
    --redo) redo=1 ;;
    -*) usage ;;
    *) positional+=("$arg") ;;
  esac
done
set -- "${positional[@]}"
if [ $# -lt 1 ] || [ ! -x "$1" ]; then
  usage
fi
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
here=$(cd "$(dirname "$0")" && pwd)
cases=("$@")
if [ $# -eq 0 ]; then
  for d in "$here"/*/args; do [ -f "$d" ] && cases+=("$(basename "$(dirname "$d")")"); done
fi
# Under LeakSanitizer, keep its suppression statistics out of the compared error stream.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}print_suppressions=0"
thread_counts=${GOLDEN_THREADS:-1 4}
[ $redo -eq 1 ] && thread_counts=1

failures=0
for name in "${cases[@]}"; do
  src=$here/$name
  if [ ! -f "$src/args" ]; then
    echo "FAIL $name: no such case (no $src/args)"
    failures=$((failures + 1))
    continue
  fi
  case_ok=1
  for threads in $thread_counts; do
    work=$(mktemp -d "${TMPDIR:-/tmp}/quorlin-golden.XXXXXX")
    cp -R "$src"/. "$work"/
    rm -f "$work"/expected.*
    mapfile -t args <"$src/args"
    (cd "$work" && OMP_NUM_THREADS=$threads "$binary" "${args[@]}" >run.console 2>run.stderr)
    echo $? >"$work/run.status"
    # The start, running and stop times, and the empty line after the running time.
    awk 'skip { skip = 0; next } /^Running time:/ { skip = 1; next } /^(Start|Stop) time:/ { next } { print }' \
      "$work/run.console" >"$work/run.stdout"
    ok=1
    for key in stdout stderr status gen data fasta; do
      actual=$work/run.$key
      if [ ! -f "$actual" ]; then
        # The run's own output with this extension; an input of the case is not one.
        actual=""
        for f in "$work"/*."$key"; do [ -f "$f" ] && [ ! -e "$src/${f##*/}" ] && actual=$f; done
      fi
      expected=$src/expected.$key
      if [ $redo -eq 1 ]; then
        if [ -n "$actual" ]; then cp "$actual" "$expected"; else rm -f "$expected"; fi
      elif [ ! -f "$expected" ] && [ -n "$actual" ]; then
        echo "FAIL $name ($threads threads): unexpected output ${actual##*/}"
        ok=0
      elif [ -f "$expected" ] && [ -z "$actual" ]; then
        echo "FAIL $name ($threads threads): no $key output"
        ok=0
      elif [ -f "$expected" ] && ! diff -u --label "expected.$key" --label "actual.$key" "$expected" "$actual"; then
        echo "FAIL $name ($threads threads): $key differs"
        ok=0
      fi
    done
    [ $redo -eq 1 ] && echo "redone: $name"
    [ $redo -eq 0 ] && [ $ok -eq 1 ] && echo "ok   $name ($threads threads)"
    [ $ok -eq 1 ] || case_ok=0
    rm -rf "$work"
  done
  [ $case_ok -eq 1 ] || failures=$((failures + 1))
done
echo "run_golden: $failures of ${#cases[@]} case(s) failed"
[ ${#cases[@]} -ne 0 ] && [ $failures -eq 0 ]
