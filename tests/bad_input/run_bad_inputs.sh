#!/usr/bin/env bash
# Malformed alr files and command lines against the quorlin executable.
#
#   run_bad_inputs.sh [--sanitized] [--group GROUP] QUORLIN_BINARY [CASE...]
#
# GROUP runs one part of the suite: "small" (the case files and the command lines),
# "long_lines" (the 100 MB lines and the wide header) or "long_contig" (100,000 positions and
# the memory of three contigs), so that a test runner can run the parts side by side.
#
# Every case must end in one of two ways, within its time limit:
#   - a normal run: status 0, nothing on standard error but the report of a failed fit,
#     one .gen block per contig;
#   - an input error: status 1 and exactly one short line on standard error that names the
#     problem and the place ("in.alr:<line>: ..."), with everything the contigs before the bad
#     one wrote complete on disk: the .gen, .data and .fasta files are byte for byte those of
#     a run on those contigs alone.
# A crash, a hang, a sanitizer report or a second line on standard error fails the case.
#
# Most bad contigs (cases/*.alr) are appended to cases/prefix.alr, a well-formed file of two
# contigs. The 100 MB lines and the 100,000-position contig are generated at run time.
# Runs on the lines that are long or wide also check the peak memory of the process against
# a bound proportional to the input (not under --sanitized, whose shadow memory and
# quarantine make resident sizes meaningless).
set -u

sanitized=0
only_group=""
while [ $# -gt 0 ]; do
  case $1 in
    --sanitized) sanitized=1; shift ;;
    --group) only_group=${2:-}; shift 2 ;;
    *) break ;;
  esac
done
if [ $# -lt 1 ]; then
  echo "usage: $0 [--sanitized] [--group GROUP] QUORLIN_BINARY [CASE...]" >&2
  exit 2
fi
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
if [ ! -x "$binary" ]; then
  echo "run_bad_inputs: no executable at $binary" >&2
  exit 2
fi
selected=("$@")
here=$(cd "$(dirname "$0")" && pwd)
cases=$here/cases
prefix=$cases/prefix.alr
prefix_lines=$(wc -l <"$prefix")

work=$(mktemp -d "${TMPDIR:-/tmp}/quorlin-bad.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A sanitizer report must not pass for the input-error status 1; leak suppressions as for
# every test of the sanitizer build.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}exitcode=86"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}halt_on_error=1:exitcode=86"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$here/../../scripts/lsan.supp}:print_suppressions=0:exitcode=86"

# Seconds a run may take; the sanitizer build is several times slower.
limit() { if [ $sanitized -eq 1 ]; then echo $(($1 * 8)); else echo "$1"; fi; }

# Runs a command with a time limit and writes "<status> <peak resident KiB>" to stdout;
# a run killed by the limit has status 124, one killed by a signal 128 + signal.
measure() {
  python3 - "$@" <<'PY'
import resource, subprocess, sys
limit, out, err = float(sys.argv[1]), sys.argv[2], sys.argv[3]
with open(out, "wb") as o, open(err, "wb") as e:
    p = subprocess.Popen(sys.argv[4:], stdout=o, stderr=e)
    try:
        status = p.wait(timeout=limit)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()
        status = 124
if status < 0:
    status = 128 - status
print(status, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)
PY
}

failures=0
passed=0
current=""
status=0
rss=0
dir=""

fail() {
  echo "FAIL $current: $*"
  if [ -s "$dir/err" ]; then
    echo "  stderr (first 400 bytes):"
    head -c 400 "$dir/err" | sed 's/^/    /'
    echo
  fi
  failures=$((failures + 1))
  current=""
}

group=small
wanted() {
  [ -n "$only_group" ] && [ "$only_group" != "$group" ] && return 1
  [ ${#selected[@]} -eq 0 ] && return 0
  local c
  for c in "${selected[@]}"; do [ "$c" = "$1" ] && return 0; done
  return 1
}

# start NAME: a fresh directory for the case; the caller then writes $dir/in.alr.
start() {
  current=$1
  dir=$work/$1
  mkdir -p "$dir"
}

# run SECONDS ARGS...: the binary in the case directory on in.alr with -best and ARGS.
run() {
  local seconds
  seconds=$(limit "$1")
  shift
  read -r status rss < <(cd "$dir" && measure "$seconds" out err "$binary" -alr in.alr -best "$@")
  case $status in
    124) fail "no result within ${seconds} s"; return 1 ;;
    86) fail "sanitizer report"; return 1 ;;
    0 | 1) return 0 ;;
    *) fail "status $status (crash?)"; return 1 ;;
  esac
}

# Reference outputs of the prefix run alone, made once.
reference() {
  if [ ! -d "$work/reference" ]; then
    mkdir -p "$work/reference"
    cp "$prefix" "$work/reference/in.alr"
    (cd "$work/reference" && "$binary" -alr in.alr -best >out 2>err) || {
      echo "run_bad_inputs: the prefix does not run cleanly" >&2
      exit 2
    }
  fi
  echo "$work/reference"
}

# The outputs of the contigs before the bad one: those of the prefix run, or empty files
# when the bad part comes first.
outputs_complete() {
  local with_prefix=$1 ext ref
  for ext in gen data fasta; do
    if [ ! -f "$dir/in.$ext" ]; then
      fail "no in.$ext"
      return 1
    fi
    if [ "$with_prefix" = yes ]; then
      ref=$(reference)/in.$ext
      if ! cmp -s "$ref" "$dir/in.$ext"; then
        fail "in.$ext differs from the run on the contigs before the bad one"
        return 1
      fi
    elif [ -s "$dir/in.$ext" ]; then
      fail "in.$ext is not empty although no contig came before the bad one"
      return 1
    fi
  done
}

# One line on standard error, short enough to read, holding every expected fragment.
one_error_line() {
  local lines bytes fragment
  if [ "$status" -ne 1 ]; then
    fail "status $status, expected 1"
    return 1
  fi
  lines=$(wc -l <"$dir/err")
  bytes=$(wc -c <"$dir/err")
  if [ "$lines" -ne 1 ] || [ "$(tail -c 1 "$dir/err" | od -An -c | tr -d ' ')" != '\n' ]; then
    fail "standard error holds $lines lines, expected one"
    return 1
  fi
  if [ "$bytes" -gt 400 ]; then
    fail "error line of $bytes bytes"
    return 1
  fi
  for fragment in "$@"; do
    if ! grep -qF -- "$fragment" "$dir/err"; then
      fail "error line lacks \"$fragment\""
      return 1
    fi
  done
}

# Peak memory within BASE MiB plus FACTOR times the input size.
memory_within() {
  local base_mib=$1 factor=$2 size bound
  [ $sanitized -eq 1 ] && return 0
  size=$(wc -c <"$dir/in.alr")
  bound=$((base_mib * 1024 + factor * size / 1024))
  if [ "$rss" -gt "$bound" ]; then
    fail "peak memory $rss KiB above $bound KiB for an input of $size bytes"
    return 1
  fi
  echo "     $current: peak memory $rss KiB (bound $bound KiB) for an input of $size bytes"
}

pass() {
  if [ -n "$current" ]; then
    passed=$((passed + 1))
    echo "ok   $current"
  fi
  current=""
  [ -n "$dir" ] && rm -rf "$dir"
}

# error_case NAME CASE_FILE LINE MESSAGE [ARGS...]: the bad contig of cases/CASE_FILE after
# the prefix; LINE counts from the first line of CASE_FILE.
error_case() {
  local name=$1 file=$2 line=$3 message=$4
  shift 4
  wanted "$name" || return 0
  start "$name"
  cat "$prefix" "$cases/$file" >"$dir/in.alr"
  run 60 "$@" && one_error_line "in.alr:$((prefix_lines + line)): " "$message" && outputs_complete yes
  pass
}

# error_file NAME FILE LINE MESSAGE: the whole input is FILE.
error_file() {
  local name=$1 file=$2 line=$3 message=$4
  wanted "$name" || return 0
  start "$name"
  cat "$file" >"$dir/in.alr"
  run 60 && one_error_line "in.alr:$line: " "$message" && outputs_complete no
  pass
}

# normal_run NAME CONTIGS [ARGS...]: in.alr already written; status 0, no message, one .gen
# block per contig (a contig whose fit failed keeps its block).
normal_run() {
  local contigs=$1 seconds=$2 blocks
  shift 2
  run "$seconds" "$@" || return 1
  if [ "$status" -ne 0 ]; then
    fail "status $status, expected a normal run"
    return 1
  fi
  # A contig whose fit fails is reported and the run goes on: that is the only message a
  # normal run may print.
  if grep -qvx "ERROR : Optimization failed" "$dir/err"; then
    fail "message on standard error in a normal run"
    return 1
  fi
  if [ ! -f "$dir/in.gen" ]; then
    fail "no in.gen"
    return 1
  fi
  blocks=$(grep -c '^>' "$dir/in.gen")
  if [ "$blocks" -ne "$contigs" ]; then
    fail "$blocks .gen blocks for $contigs contigs"
    return 1
  fi
}

# ok_case NAME CASE_FILE CONTIGS [ARGS...]: cases/CASE_FILE after the prefix runs normally.
ok_case() {
  local name=$1 file=$2 contigs=$3
  shift 3
  wanted "$name" || return 0
  start "$name"
  cat "$prefix" "$cases/$file" >"$dir/in.alr"
  normal_run $((contigs + 2)) 60 "$@"
  pass
}

# The names, sizes and contents of the case's files, but for the run's own out and err.
snapshot() {
  (cd "$dir" && find . -path ./out -o -path ./err -o -printf '%p %s %y\n' | sort &&
    find . -type f ! -name out ! -name err -exec cat {} + | md5sum)
}

# option_case NAME STATUS FRAGMENT ARGS...: the prefix with other command-line options.
# STATUS 0 is a normal run; "usage" is the usage text on standard output with status 1 and
# no file written; STATUS 1 is an error line holding FRAGMENT, and with "untouched" every
# file in the folder is as before the run (the input unchanged, no output created).
option_case() {
  local name=$1 expected=$2 fragment=$3 before
  shift 3
  wanted "$name" || return 0
  start "$name"
  cp "$prefix" "$dir/in.alr"
  [ -n "${setup:-}" ] && (cd "$dir" && eval "$setup")
  before=$(snapshot)
  if [ "$expected" = usage ]; then
    run 60 "$@" && if [ "$status" -ne 1 ] || [ -s "$dir/err" ] || ! grep -qF -- "usage: quorlin" "$dir/out" ||
      [ -e "$dir/in.gen" ]; then
      fail "expected the usage text, status 1 and no output file"
    fi
  elif [ "$expected" = 1 ]; then
    run 60 "$@" && one_error_line "$fragment" &&
      if [ "${untouched:-}" = yes ] && [ "$(snapshot)" != "$before" ]; then
        fail "files changed by a run that was refused"
      fi
  else
    normal_run 2 60 "$@"
  fi
  pass
}

# --- input errors -------------------------------------------------------------------------
error_file empty_file /dev/null 1 "Alr::nextseq_uence: wrong format"
error_file binary_garbage "$cases/binary_garbage.alr" 1 "Alr::nextseq_uence: wrong format"
if wanted empty_line_first; then
  start empty_line_first
  { echo; cat "$prefix"; } >"$dir/in.alr"
  run 60 && one_error_line "in.alr:1: " "Alr::nextseq_uence: wrong format" && outputs_complete no
  pass
fi
error_case empty_line_after_name empty_line_after_name.alr 2 "No more token in tokenizer."
error_case empty_line_after_header empty_line_after_header.alr 3 "No more token in tokenizer."
error_case empty_line_among_positions empty_line_among_positions.alr 4 "No more token in tokenizer."
error_case empty_line_at_end empty_line_at_end.alr 4 "No more token in tokenizer."
error_case empty_line_between_contigs empty_line_between_contigs.alr 4 "No more token in tokenizer."
error_case missing_header_at_end missing_header_at_end.alr 2 "No more token in tokenizer."
error_case missing_header_before_positions missing_header_before_positions.alr 2 "No more token in tokenizer."
error_case header_species_without_name header_species_without_name.alr 2 "No more token in tokenizer."
error_case header_one_field header_one_field.alr 2 "No more token in tokenizer."
error_case gt_line_alone_at_end gt_line_alone_at_end.alr 2 "No more token in tokenizer."
error_case label_not_a_base label_not_a_base.alr 4 'label "N"'
error_case label_lower_case label_lower_case.alr 3 'label "a"'
error_case label_two_letters label_two_letters.alr 3 'label "AC"'
error_case p_line_too_few_items p_line_too_few_items.alr 3 "found 4"
error_case p_line_too_many_items p_line_too_many_items.alr 3 "found 10"
# One stray field would shift every count after it onto another base or individual.
error_case p_line_with_a_stray_field p_line_with_a_stray_field.alr 3 "found 11"
error_case m_line_too_few_counts m_line_too_few_counts.alr 3 "found 1"
error_case m_line_too_many_counts m_line_too_many_counts.alr 3 "found 3"
error_case m_line_without_counts m_line_without_counts.alr 3 "found 0"
error_case position_line_one_field position_line_one_field.alr 3 "No more token in tokenizer."
error_case negative_count negative_count.alr 3 'negative read count "-5"'
error_case negative_count_in_p_line negative_count_in_p_line.alr 3 'negative read count "-12"'
error_case count_above_32_bits count_above_32_bits.alr 3 '"4294967296" is too large'
error_case count_of_30_digits count_of_30_digits.alr 3 "is too large"
# Depths and totals are 32-bit sums of a line's counts.
error_case counts_add_up_past_32_bits counts_add_up_past_32_bits.alr 3 "add up to 8000000000, more than 4294967295"
error_case individual_depth_past_32_bits individual_depth_past_32_bits.alr 3 "add up to 4294967296"
# Control characters of the input are shown escaped, so the message stays one line.
error_case count_control_characters count_control_characters.alr 3 'negative read count "-7\x1b\x01"'
# The first garbage line has no separator: a position line of one field.
error_case binary_garbage_after_contig binary_garbage_after_contig.alr 4 "No more token in tokenizer."

if wanted missing_alr; then
  start missing_alr
  read -r status rss < <(cd "$dir" && measure "$(limit 60)" out err "$binary" -alr none.alr -best)
  one_error_line "none.alr" "Alr::nextseq_uence: can't read from istream input" &&
    for ext in gen data fasta; do
      [ -f "$dir/none.$ext" ] && [ ! -s "$dir/none.$ext" ] || fail "none.$ext is not an empty file"
    done
  pass
fi
if wanted alr_is_a_directory; then
  start alr_is_a_directory
  mkdir "$dir/in.alr"
  run 60 -gen x.gen -dat x.data -all x.fasta && one_error_line "in.alr"
  pass
fi

# --- normal runs --------------------------------------------------------------------------
ok_case crlf crlf.alr 1
ok_case no_final_newline no_final_newline.alr 1
ok_case one_position one_position.alr 1
ok_case contig_without_positions contig_without_positions.alr 2
ok_case header_only_at_end header_only_at_end.alr 1
ok_case no_individuals no_individuals.alr 1
ok_case gt_line_alone_as_name gt_line_alone_as_name.alr 1
ok_case text_and_nul_in_counts text_and_nul_in_counts.alr 1
ok_case marks_that_are_not_p marks_that_are_not_p.alr 1
ok_case names_with_blanks_and_bars names_with_blanks_and_bars.alr 1
ok_case single_species_then_two single_species.alr 1 -sep
ok_case largest_counts largest_counts.alr 1
ok_case contig_name_at_the_limit name_of_4096_bytes.alr 1
error_case contig_name_past_the_limit name_of_4097_bytes.alr 1 "contig name of 4097 bytes"
ok_case largest_counts_all_options largest_counts.alr 1 -M2 -all both.fasta -par -pfc -thr 0.5
if wanted largest_counts_memory; then
  # Depths of billions must not size anything after themselves.
  start largest_counts_memory
  cat "$prefix" "$cases/largest_counts.alr" >"$dir/in.alr"
  normal_run 3 60 -par && memory_within 96 0
  pass
fi

# --- command lines ------------------------------------------------------------------------
option_case gen_in_missing_directory 1 "missing/out.gen" -gen missing/out.gen
option_case data_below_a_regular_file 1 "in.alr/out.data" -dat in.alr/out.data
option_case fasta_in_proc 1 "/proc/quorlin-no-such-dir/out.fasta" -all /proc/quorlin-no-such-dir/out.fasta
option_case gen_is_a_directory 1 '"."' -gen .
# An empty name is no name: the default one is used.
option_case fasta_name_empty 0 "" -all ""
option_case gen_on_full_disk 1 "/dev/full" -gen /dev/full
option_case value_missing_at_the_end usage "" -gen
option_case fis_out_of_range usage "" -fis 2
option_case fis_not_a_number usage "" -fis nan -par
option_case err_not_a_number usage "" -err nan -par
option_case precision_negative usage "" -pre -0.5 -par
option_case precision_zero usage "" -pre 0 -par
option_case precision_without_interval usage "" -pre 0.7 -par
option_case not_a_number_settings 0 "" -gpv nan -snp nan -het nan -par -pfc
option_case infinite_settings 0 "" -gpv inf -snp inf -het inf -par -win 2147483647 -pfc
option_case negative_settings 0 "" -min -1 -win -5 -pfc -par -snp -1 -het -1
option_case small_precision 0 "" -pre 0.000001 -par -dir -opt bfgs
option_case unknown_optimizer 0 "" -opt simplex -par -M2 -sep -spa -kun
# Creating an output truncates it: an output that is the input, or two outputs on one file,
# is refused before anything is created.
untouched=yes
option_case gen_is_the_input 1 '"in.alr"' -gen in.alr
option_case data_is_the_input_by_another_path 1 '"./in.alr"' -dat ./in.alr
setup="ln -s in.alr link.alr" option_case fasta_is_a_link_to_the_input 1 '"link.alr"' -all link.alr
setup="cp in.alr run.gen" option_case default_gen_name_is_the_input 1 '"run.gen"' -alr run.gen
option_case gen_and_data_one_file 1 '"x"' -gen x -dat x
option_case data_and_fasta_one_file 1 '"./y"' -dat y -all ./y
untouched=""
if wanted base_name_in_a_dotted_folder; then
  # Only a dot of the file's own name cuts it: the outputs stay in the input's folder.
  start base_name_in_a_dotted_folder
  mkdir "$dir/run.v2"
  cp "$prefix" "$dir/run.v2/sample"
  echo keep >"$dir/run.gen"
  run 60 -alr run.v2/sample && [ "$status" -eq 0 ] && [ "$(cat "$dir/run.gen")" = keep ] &&
    [ -s "$dir/run.v2/sample.gen" ] && [ -s "$dir/run.v2/sample.fasta" ] || fail "outputs not beside the input"
  pass
fi
if wanted standard_output_on_full_disk; then
  # The model lines and p-values exist only on standard output.
  start standard_output_on_full_disk
  cp "$prefix" "$dir/in.alr"
  read -r status rss < <(cd "$dir" && measure "$(limit 60)" /dev/full err "$binary" -alr in.alr -best)
  one_error_line "standard output"
  pass
fi

# --- generated inputs: long lines and a long contig ---------------------------------------
group=long_lines
# A line of 100 MB in each place where a field is read. The reader holds the line and its
# fields; nothing may multiply them.
big=100000000
long_case() {
  local name=$1 line=$2 message=$3
  wanted "$name" || return 0
  start "$name"
  {
    cat "$prefix"
    python3 -c "import sys; t = sys.argv[1].encode().decode('unicode_escape')
sys.stdout.write(t.replace('@', 'x' * $big).replace('#', '1' * $big))" "$4"
  } >"$dir/in.alr"
  if [ -z "$message" ]; then
    normal_run 3 120 && memory_within 64 12
  else
    run 120 && one_error_line "in.alr:$((prefix_lines + line)): " "$message" && outputs_complete yes &&
      memory_within 64 8
  fi
  pass
}
long_case long_count_line 3 "is too large" '>long\nx\ty\tsp|a\nA\tM\t#\n'
long_case long_label_line 3 "is not one of the bases" '>long\nx\ty\tsp|a\n@\tM\t3\n'
long_case long_header_field 2 "No more token in tokenizer." '>long\nx\ty\t@\n'
long_case long_individual_name 0 "" '>long\nx\ty\tsp|@\nA\tM\t3\nC\tP\t4[0/4/0/0]\n'
# Every exported sequence name repeats the contig name: a long one is refused.
long_case long_contig_name 1 "longer than the 4096 allowed" '>@\nx\ty\tsp|a\tsp|b\nA\tM\t3\t4\n'

group=long_contig
if wanted contig_of_100000_positions; then
  start contig_of_100000_positions
  python3 - "$dir/in.alr" <<'PY'
import random, sys
rng = random.Random(7)
with open(sys.argv[1], "w") as f:
    f.write(">long_contig\nContig\tPosition\tspA|a1\tspB|b1\n")
    for i in range(100000):
        if i % 4 == 0:
            a, b = rng.randint(0, 12), rng.randint(0, 12)
            f.write("A\tP\t%d[%d/0/%d/0]\t%d[%d/0/0/0]\n" % (a + b, a, b, a, a))
        else:
            f.write("%s\tM\t%d\t%d\n" % ("ACGT"[i % 4], rng.randint(0, 30), rng.randint(0, 30)))
PY
  normal_run 1 120 && memory_within 64 200
  [ -n "$current" ] && [ "$(grep -c . "$dir/in.gen")" -ne 100002 ] && fail ".gen does not hold 100,000 positions"
  pass
fi

group=long_lines
# 200,000 individuals, seven bytes of input each. Every individual costs its records: the
# likelihood engine's scratch of 3 x 3 x 4 x 4 values (1152 bytes) in the contig's engine and
# in the copy each fitted model holds, two exported sequences of the library (about 190 bytes
# each), names and per-position records: about 2.6 KiB, and nothing may cost more than that.
if wanted wide_header; then
  start wide_header
  python3 -c "import sys
n = 200000
sys.stdout.write('>wide\\nx\\ty' + '\\tsp|i' * n + '\\nA\\tM' + '\\t1' * n + '\\n')" >"$dir/in.alr"
  normal_run 1 120 && memory_within 64 450
  pass
fi

group=long_contig
# One contig in memory at a time per thread: three contigs take little more than one of them.
if wanted one_contig_in_memory && [ $sanitized -eq 0 ]; then
  export OMP_NUM_THREADS=1
  start one_contig_in_memory
  python3 - "$dir" <<'PY'
import random, sys
rng = random.Random(11)
def contig(f, name):
    f.write(">%s\nContig\tPosition\tspA|a1\tspB|b1\n" % name)
    for i in range(30000):
        f.write("%s\tM\t%d\t%d\n" % ("ACGT"[i % 4], rng.randint(0, 30), rng.randint(0, 30)))
with open(sys.argv[1] + "/one.alr", "w") as f:
    contig(f, "c1")
with open(sys.argv[1] + "/in.alr", "w") as f:
    for name in ("c1", "c2", "c3"):
        contig(f, name)
PY
  read -r one_status one_rss < <(cd "$dir" && measure "$(limit 120)" one.out one.err "$binary" -alr one.alr -best)
  normal_run 3 120
  if [ -n "$current" ]; then
    if [ "$one_status" -ne 0 ]; then
      fail "the one-contig run ends with status $one_status"
    elif [ $((rss * 100)) -gt $((one_rss * 130)) ]; then
      fail "three contigs take $rss KiB, one takes $one_rss KiB"
    else
      echo "     $current: three contigs $rss KiB, one contig $one_rss KiB"
    fi
  fi
  unset OMP_NUM_THREADS
  pass
fi

echo "run_bad_inputs: $passed passed, $failures failed"
if [ $((passed + failures)) -eq 0 ]; then
  echo "run_bad_inputs: no case ran" >&2
  exit 1
fi
[ $failures -eq 0 ]
