#!/usr/bin/env bash
# End-to-end runs of the quorlin executable against reviewed expected outputs.
#
#   run_golden.sh [--redo] QUORLIN_BINARY [CASE...]
#
# Each directory tests/golden/<case>/ holds `args` (one argument per line, file names relative
# to the case directory), any input files, and the expected results: expected.stdout,
# expected.stderr, expected.status, expected.gen, expected.data, expected.fasta. Only the
# expected files that exist are compared. The case runs in a temporary copy of its
# directory; lines that carry times are filtered out of standard output before comparing.
#
# --redo rewrites the expected files of the selected cases from the current binary:
# expected.stdout, expected.stderr and expected.status always, and the .gen, .data and
# .fasta results when the run produced them. Review the diff before keeping it.
set -u

redo=0
if [ "${1:-}" = "--redo" ]; then
  redo=1
  shift
fi
if [ $# -lt 1 ]; then
  echo "usage: $0 [--redo] QUORLIN_BINARY [CASE...]" >&2
  exit 2
fi
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -x "$binary" ]; then
  echo "run_golden: no executable at $binary" >&2
  exit 2
fi

if [ $# -gt 0 ]; then
  cases=("$@")
else
  cases=()
  for d in "$here"/*/; do
    [ -f "$d/args" ] && cases+=("$(basename "$d")")
  done
fi

# Times differ from run to run: drop the start, running and stop times, and the empty line
# that follows the running time.
filter_times() {
  awk 'skip { skip = 0; next }
       /^Running time:/ { skip = 1; next }
       /^Start time:/ || /^Stop time:/ { next }
       { print }'
}

# The one output file of the run with this extension (outside the expected files).
output_file() {
  local dir=$1 ext=$2 found=""
  for f in "$dir"/*"$ext"; do
    [ -f "$f" ] || continue
    case "$(basename "$f")" in expected.*) continue ;; esac
    found=$f
  done
  echo "$found"
}

# Under LeakSanitizer, keep its suppression statistics out of the compared error stream.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}print_suppressions=0"

# Thread counts each case runs with (GOLDEN_THREADS); expected files are redone with one.
thread_counts=${GOLDEN_THREADS:-1 4}
[ $redo -eq 1 ] && thread_counts=1

failures=0
for name in "${cases[@]}"; do
  src=$here/$name
  if [ ! -f "$src/args" ]; then
    echo "run_golden: $name: no args file" >&2
    failures=$((failures + 1))
    continue
  fi
  # Every case runs with one thread and with several: the outputs must be the same bytes.
  for threads in $thread_counts; do
    work=$(mktemp -d "${TMPDIR:-/tmp}/quorlin-golden.XXXXXX")
    cp -R "$src"/. "$work"/
    rm -f "$work"/expected.*
    mapfile -t args <"$src/args"
    (cd "$work" && OMP_NUM_THREADS=$threads "$binary" "${args[@]}" >run.stdout 2>run.stderr)
    echo $? >"$work/run.status"
    filter_times <"$work/run.stdout" >"$work/run.stdout.filtered"

    declare -A actual=(
      [stdout]="$work/run.stdout.filtered"
      [stderr]="$work/run.stderr"
      [status]="$work/run.status"
      [gen]="$(output_file "$work" .gen)"
      [data]="$(output_file "$work" .data)"
      [fasta]="$(output_file "$work" .fasta)"
    )

    if [ $redo -eq 1 ]; then
      for key in stdout stderr status gen data fasta; do
        if [ -n "${actual[$key]}" ]; then
          cp "${actual[$key]}" "$src/expected.$key"
        else
          rm -f "$src/expected.$key"
        fi
      done
      echo "redone: $name"
    else
      ok=1
      for key in stdout stderr status gen data fasta; do
        expected=$src/expected.$key
        [ -f "$expected" ] || continue
        if [ -z "${actual[$key]}" ]; then
          echo "FAIL $name ($threads threads): no $key output"
          ok=0
        elif ! diff -u --label "expected.$key" --label "actual.$key" "$expected" "${actual[$key]}"; then
          echo "FAIL $name ($threads threads): $key differs"
          ok=0
        fi
      done
      if [ $ok -eq 1 ]; then
        echo "ok   $name ($threads threads)"
      else
        failures=$((failures + 1))
      fi
    fi
    unset actual
    rm -rf "$work"
  done
done

if [ $failures -ne 0 ]; then
  echo "run_golden: $failures case(s) failed"
  exit 1
fi
exit 0
