#!/usr/bin/env bash
# Malformed alr files and command lines against the quorlin executable:
#   run_bad_inputs.sh [--sanitized] [--group small|long_lines|long_contig] QUORLIN_BINARY
# A group runs one part of the suite, so that a test runner can run the parts side by side:
# the case files and command lines, the 100 MB lines and the wide header, or the contig of
# 100,000 positions and the memory of three contigs.
# Every run must end within its time limit in one of two ways: status 0, one .gen block per
# contig and nothing on standard error but the report of a failed fit; or status 1 and one
# line of at most 400 bytes on standard error that names the problem and its place, with what
# the contigs before the bad one wrote complete on disk. A crash, a hang, a sanitizer report
# or a second line fails the case. Peak memory is bounded in proportion to the input, except
# under --sanitized, whose shadow memory makes resident sizes meaningless and whose runs get
# eight times the time.
set -u
sanitized=0 group=""
[ "${1:-}" = --sanitized ] && sanitized=1 && shift
[ "${1:-}" = --group ] && group=${2:-} && shift 2
[ $# -eq 1 ] && [ -x "$1" ] || { echo "usage: $0 [--sanitized] [--group GROUP] QUORLIN_BINARY" >&2 && exit 2; }
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
cases=$(cd "$(dirname "$0")" && pwd)/cases
work=$(mktemp -d "${TMPDIR:-/tmp}/quorlin-bad.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A sanitizer report must not pass for the input-error status 1; leak suppressions as for
# every test of the sanitizer build.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}exitcode=86"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}halt_on_error=1:exitcode=86"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$cases/../../../scripts/lsan.supp}:print_suppressions=0:exitcode=86"
failures=0 count=0

wanted() { [ -z "$group" ] || [ "$group" = "$1" ]; }
fail() { [ -n "$why" ] || why=$*; }
# begin NAME [ALR_FILES...]: a fresh case folder $dir whose in.alr joins ALR_FILES.
begin() {
  count=$((count + 1)) && name=$1 why="" dir=$work/$count && mkdir -p "$dir" && shift
  [ $# -eq 0 ] || cat "$@" >"$dir/in.alr"
}
# run SECONDS ARGS...: quorlin $lead -alr in.alr -best ARGS in the case folder, standard output
# appended to $stdout and standard error to $stderr when they are set, under a file-size limit
# of $filesize KiB when it is set; sets $status and $rss, the peak resident KiB.
run() {
  local seconds=$(($1 * (sanitized ? 8 : 1)))
  shift
  (cd "$dir" && ulimit -f "${filesize:-unlimited}" && timeout "$seconds" /usr/bin/time -f %M -o rss "$binary" ${lead:-} -alr in.alr -best "$@" >>"${stdout:-out}" 2>>"${stderr:-err}")
  status=$? rss=$(tail -n 1 "$dir/rss" 2>/dev/null)
  [ $status -le 1 ] || fail "status $status (124: no result within $seconds s; 86: a sanitizer report; 128 + a signal)"
}
normal() {
  [ "$status" = 0 ] || fail "status $status, expected 0"
  ! grep -qvx "ERROR : Optimization failed" "$dir/err" || fail "message on standard error in a normal run"
  [ "$(grep -c '^>' "$dir/in.gen" 2>/dev/null)" = "$1" ] || fail "not $1 .gen blocks"
}
# error WORDS: status 1 and one line of at most 400 bytes on standard error, "quorlin: WORDS...".
error() {
  [ "$status" = 1 ] && [ "$(wc -l <"$dir/err")" = 1 ] && [ -z "$(tail -c 1 "$dir/err")" ] &&
    [ "$(wc -c <"$dir/err")" -le 400 ] || fail "status $status, expected 1 and one line of at most 400 bytes"
  [[ $(head -c 400 "$dir/err") == "quorlin: $1"* ]] || fail "error line does not start \"quorlin: $1\""
}
# same_outputs DIR [EXT...]: the .gen, .data and .fasta files (or those of EXT) are those of
# DIR, byte for byte.
same_outputs() {
  local ref=$1 && shift
  [ $# -gt 0 ] || set -- gen data fasta
  for ext; do cmp -s "$ref/in.$ext" "$dir/in.$ext" || fail "in.$ext is not that of the contigs before"; done
}
# memory BASE FACTOR: peak memory within BASE MiB plus FACTOR times the input size.
memory() {
  local bound=$(($1 * 1024 + $2 * $(wc -c <"$dir/in.alr") / 1024))
  [ $sanitized -eq 1 ] || [ "$rss" -le $bound ] || fail "peak memory $rss KiB above $bound KiB"
}
end() {
  [ -z "$why" ] && echo "ok   $name" || { echo "FAIL $name: $why" && failures=$((failures + 1)) && head -c 400 "$dir/err"; }
  rm -rf "$dir"
}
# The names, sizes and types of a case's files, and what each file holds. A folder's own size
# is left out: on tmpfs it grows with the console files the run writes.
snapshot() {
  (cd "$dir" && find . -mindepth 1 ! -name rss ! -name out ! -name err \( -type d -printf '%p %y\n' -o -printf '%p %s %y\n' \) | sort &&
    find . -type f ! -name rss ! -name out ! -name err -exec md5sum {} + | sort)
}

# The outputs of the two contigs of the prefix alone, and of no contig at all.
prefix=$cases/prefix.alr
mkdir "$work/reference" "$work/none" && cp "$prefix" "$work/reference/in.alr" && touch "$work"/none/in.{gen,data,fasta}
(cd "$work/reference" && "$binary" -alr in.alr -best >/dev/null 2>&1) || { echo "the prefix does not run" >&2; exit 2; }

# check FILE STATUS EXPECTED [OPTIONS...]: the prefix's two contigs then cases/FILE, or that
# file alone after "=", or the prefix alone for "-". EXPECTED is the number of .gen blocks of a
# normal run, "usage" for the usage text on standard output and no file written, or the start
# of the error line after "quorlin: ". The outputs of an error are those of the contigs before
# the bad one; standard output holds the line $printed when it is set. A run that cannot start (refused=1, or "nothing was written") leaves the folder
# as it was: it holds the outputs of the last run of the prefix (in.gen, in.data, in.fasta), a
# link to the input, a link gen_link to results.gen, which does not exist, a copy of the input
# named run.gen, an empty folder folder.alr and a FIFO fifo that no process reads.
check() {
  local file=$1 before ref=""
  case $file in
    -) begin "- ${lead:+$lead -alr in.alr }${*:4}${stdout:+ >$stdout}${stderr:+ 2>$stderr}" "$prefix" ;;
    =*) begin "$file" "$cases/${file#=}" && ref=$work/none ;;
    *) begin "$file ${*:4}" "$prefix" "$cases/$file" && ref=$work/reference ;;
  esac
  local refused=${refused:-}
  [[ $3 != *"nothing was written" ]] || refused=1
  [ -z "$refused" ] || cp "$work"/reference/in.{gen,data,fasta} "$dir"
  ln -s in.alr "$dir/link.alr" && ln -s results.gen "$dir/gen_link" && cp "$dir/in.alr" "$dir/run.gen" &&
    mkdir "$dir/folder.alr" && mkfifo "$dir/fifo" && before=$(snapshot)
  run 60 "${@:4}" && memory 96 0
  case $2:$3 in
    0:*) normal "$3" ;;
    1:usage) [ "$status" = 1 ] && [ ! -s "$dir/err" ] && [ ! -e "$dir/in.gen" ] && grep -qx "usage: quorlin .*" "$dir/out" ||
      fail "expected the usage text, status 1 and no output file" ;;
    *) error "$3" && { [ -n "$refused" ] || [ -z "$ref" ] || same_outputs "$ref"; } ;;
  esac
  [ -z "$refused" ] || [ "$(snapshot)" = "$before" ] || fail "files changed by a run that could not start"
  [ -z "$refused" ] || [ -n "${stdout:-}" ] || [ ! -s "$dir/out" ] || fail "text on standard output from a run that could not start"
  [ -z "${printed:-}" ] || grep -qxF "$printed" "$dir/out" || fail "standard output lacks the line \"$printed\""
  end
}

# contigs POSITIONS COUNT SEED: COUNT contigs of POSITIONS positions of two individuals, every
# fourth one a P line.
contigs() {
  python3 -c 'import random, sys
r = random.Random(int(sys.argv[3]))
for c in range(int(sys.argv[2])):
    print(">c%d\nContig\tPosition\tspA|a1\tspB|b1" % c)
    for i in range(int(sys.argv[1])):
        a, b = r.randint(0, 12), r.randint(0, 30)
        print("A\tP\t%d[%d/0/%d/0]\t%d[%d/0/0/0]" % (a + b, a, b, a, a) if i % 4 == 0
              else "%s\tM\t%d\t%d" % ("ACGT"[i % 4], a, b))' "$@"
}
if wanted small; then
  # An input that cannot begin a contig (left empty by a failed step upstream) cannot start the
  # run: the last run's outputs, and those named by the options, stay as they were.
  for f in empty_file empty_line_first binary_garbage; do
    refused=1 check "=$f.alr" 1 "in.alr:1: Alr::nextseq_uence: wrong format"
    refused=1 check "=$f.alr" 1 "in.alr:1: Alr::nextseq_uence: wrong format" -gen run.gen -dat new.data -all gen_link -opt simplex
  done
  refused=1 check - 1 "/dev/fd/" -alr <(printf 'contig\n') -gen new.gen -dat in.data -all new.fasta
  # FILE:LINE; the first line of binary garbage has no separator: a position line of one field.
  # A contig line last without a newline is not read again as its own header, nor is a file
  # whose only line ends are lone carriage returns: its whole text is one contig line.
  check "=lone_carriage_returns.alr" 1 "in.alr:2: No more token in tokenizer."
  for c in contig_line_last_without_newline:13 empty_line_after_name:13 missing_header_at_end:13 missing_header_before_positions:13 header_one_field:13 \
    header_species_without_name:13 gt_line_alone_at_end:13 empty_line_after_header:14 position_line_one_field:14 \
    empty_line_among_positions:15 empty_line_at_end:15 empty_line_between_contigs:15 binary_garbage_after_contig:15; do
    check "${c%:*}.alr" 1 "in.alr:${c#*:}: No more token in tokenizer."
  done
  check label_not_a_base.alr 1 'in.alr:15: label "N" of a line not marked "P" is not one of the bases A, C, G and T'
  check label_lower_case.alr 1 'in.alr:14: label "a" of a line not marked'
  check label_two_letters.alr 1 'in.alr:14: label "AC" of a line not marked'
  check p_line_too_few_items.alr 1 'in.alr:14: expected 5 fields (a depth and 4 counts per individual of the header), found 4'
  check p_line_too_many_items.alr 1 'in.alr:14: expected 5 fields (a depth and 4 counts per individual of the header), found 10'
  # One stray field would shift every count after it onto another base or individual.
  check p_line_with_a_stray_field.alr 1 'in.alr:14: expected 10 fields (a depth and 4 counts per individual of the header), found 11'
  # The right total with a wrong group between tabs shifts the counts after that group.
  check p_line_short_group_and_stray_field.alr 1 'in.alr:14: individual 1: expected 5 fields (a depth and 4 counts), found 4 in "21[0/0//13]"'
  check p_line_long_group_and_short_group.alr 1 'in.alr:14: individual 1: expected 5 fields (a depth and 4 counts), found 6 in "21[0/0/8/13/1]"'
  check m_line_too_few_counts.alr 1 'in.alr:14: expected 2 counts (one per individual of the header), found 1'
  check m_line_too_many_counts.alr 1 'in.alr:14: expected 2 counts (one per individual of the header), found 3'
  check m_line_without_counts.alr 1 'in.alr:14: expected 1 counts (one per individual of the header), found 0'
  check negative_count.alr 1 'in.alr:14: negative read count "-5"'
  check negative_count_in_p_line.alr 1 'in.alr:14: negative read count "-12"'
  # Control characters of the input are shown escaped, so the message stays one line.
  check count_control_characters.alr 1 'in.alr:14: negative read count "-7\x1b\x01\x7f"'
  check count_above_32_bits.alr 1 'in.alr:14: read count "4294967296" is too large'
  check count_of_30_digits.alr 1 'in.alr:14: read count "123456789012345678901234567890" is too large'
  # Depths and totals are 32-bit sums of a line's counts.
  check counts_add_up_past_32_bits.alr 1 'in.alr:14: the read counts of the line add up to 8000000000, more than 4294967295'
  check individual_depth_past_32_bits.alr 1 'in.alr:14: the read counts of the line add up to 4294967296, more than'
  check name_of_4097_bytes.alr 1 'in.alr:12: contig name of 4097 bytes, longer than the 4096 allowed'
  for f in name_of_4096_bytes crlf no_final_newline one_position header_only_at_end no_individuals \
    gt_line_alone_as_name text_and_nul_in_counts marks_that_are_not_p names_with_blanks_and_bars; do
    check $f.alr 0 3
  done
  check contig_without_positions.alr 0 4
  # -for ends the run at a position where an individual shows a third allele: the outputs then
  # lack every contig from there on, so the run fails, also when the contig after it was
  # already computed by another thread. Without such a position it is a run like any other.
  for threads in 1 4; do
    OMP_NUM_THREADS=$threads printed="More than 2 alleles detected at position 1" check third_allele.alr 1 \
      'in.alr:15: more than 2 alleles at position 1 of contig "third": -for stops the run here' -for
  done
  check - 0 2 -for
  check third_allele.alr 0 4
  check single_species.alr 0 3 -sep
  # Depths of billions must not size anything after themselves.
  check largest_counts.alr 0 3 -par
  check largest_counts.alr 0 3 -M2 -all both.fasta -par -pfc -thr 0.5
  # A run that cannot start creates or truncates no file: not the outputs that could be created,
  # nor the last run's outputs of a mistyped input.
  for out in -gen:missing/out.gen -dat:in.alr/out.data -all:/proc/quorlin-no-such-dir/out.fasta -gen:. -dat:folder.alr -gen:newdir/; do
    refused=1 check - 1 "cannot create output file \"${out#*:}\"" "${out%%:*}" "${out#*:}"
  done
  # Checking an output FIFO does not wait for its reader.
  refused=1 check - 1 'cannot create output file "missing/x.data"' -gen fifo -dat missing/x.data
  # Only creating a new output tells whether it can be created: access() grants /dev/fd to its
  # own process, where the default FASTA name of a piped input cannot be created. Outputs already
  # there stay as they were, and a new one (or a link's new target) created by the check does not
  # remain.
  piped() { refused=1 check - 1 "cannot create output file \"$1.fasta\": No such file or directory" -alr "$@"; }
  for outputs in "-gen in.gen -dat in.data" "-gen new.gen -dat in.data" "-gen new.gen -dat new.data" \
    "-gen gen_link -dat in.data"; do
    piped <(cat "$prefix") $outputs
  done
  refused=1 check - 1 'cannot create output file "missing/x.data"' -gen new.gen -dat missing/x.data
  refused=1 check - 1 "in.alt: Alr::nextseq_uence: can't read from istream input: No such file or directory" -alr in.alt
  refused=1 check - 1 "folder.alr: Alr::nextseq_uence: can't read from istream input: Is a directory" -alr folder.alr
  # Settings that are not checked, or checked only by the parts that use them.
  for options in "-gpv nan -snp nan -het nan -par -pfc" "-gpv inf -snp inf -het inf -par -win 2147483647 -pfc" \
    "-min 0 -win -5 -pfc -par -snp -1 -het -1" "-pre 0.000001 -par -dir -opt bfgs" "-opt simplex -par -M2 -sep -spa -kun"; do
    check - 0 2 $options
  done
  # Creating an output truncates it: an output that is the input, or two outputs on one file,
  # is refused before anything is created.
  check - 1 'the .gen output "in.alr" is the input file "in.alr": nothing was written' -gen in.alr
  check - 1 'the .data output "./in.alr" is the input file "in.alr": nothing was written' -dat ./in.alr
  check - 1 'the .fasta output "link.alr" is the input file "in.alr": nothing was written' -all link.alr
  check - 1 'the .gen output "run.gen" is the input file "run.gen": nothing was written' -alr run.gen
  check - 1 'the .gen output "x" and the .data output "x" are the same file: nothing was written' -gen x -dat x
  check - 1 'the .data output "y" and the .fasta output "./y" are the same file: nothing was written' -dat y -all ./y
  # A link to a file not created yet is that file; the console's files are never outputs.
  check - 1 'the .gen output "gen_link" and the .data output "results.gen" are the same file: nothing was written' \
    -gen gen_link -dat results.gen
  check - 1 'the .gen output "/dev/stdout" is standard output: nothing was written' -gen /dev/stdout
  check - 1 'the .fasta output "err" is standard error: nothing was written' -all err
  # The console appended to the input would be read back as data; with standard error there,
  # the message goes to standard output, here the file err.
  stdout=in.alr check - 1 'standard output is the input file "in.alr": nothing was written' -opt simplex
  stdout=in.alr check - 1 'standard output is the input file "in.alr": nothing was written' -fis 2
  stdout=in.alr check - 1 'standard output is the input file "in.alr": nothing was written' -h
  stdout=err stderr=in.alr check - 1 'standard error is the input file "in.alr": nothing was written'
  # Whatever the option order: a word that ends the option loop before "-alr" does not skip the
  # check, and an "-alr" that a later one replaces still names an input.
  for word in -v -h -help; do
    lead=$word stdout=in.alr check - 1 'standard output is the input file "in.alr": nothing was written'
  done
  lead=-v stdout=in.alr check - 1 'standard output is the input file "in.alr": nothing was written' -alr run.gen
  lead=-debug stdout=err stderr=in.alr check - 1 'standard error is the input file "in.alr": nothing was written'
  # Away from the input those words print what they print alone, and every file stays as it was.
  for word in -v -h -help -debug; do
    begin "$word -alr in.alr" "$prefix" && (cd "$dir" && "$binary" $word >alone.out 2>alone.err) && before=$(snapshot)
    lead=$word run 60
    [ "$status" = 0 ] && cmp -s "$dir/alone.out" "$dir/out" && cmp -s "$dir/alone.err" "$dir/err" ||
      fail "status $status, or not the text of \"quorlin $word\""
    [ "$(snapshot)" = "$before" ] || fail "files changed"
    end
  done
  for options in "-gen" "-min -1" "-min 4294967296" "-win 4294967300" "-win -2147483649" "-fis 2" "-fis nan -par" "-err nan -par" "-pre -0.5 -par" "-pre 0 -par" "-pre 0.7 -par"; do
    check - 1 usage $options
  done
  # Only a dot of the file's own name cuts it: the outputs go beside the input, not over run.gen.
  begin base_name_in_a_dotted_folder && mkdir "$dir/run.v2" && cp "$prefix" "$dir/run.v2/sample" && echo keep >"$dir/run.gen"
  run 60 -alr run.v2/sample
  [ "$status" = 0 ] && [ "$(cat "$dir/run.gen")" = keep ] && [ -s "$dir/run.v2/sample.gen" ] &&
    [ -s "$dir/run.v2/sample.fasta" ] || fail "outputs not beside the input"
  end
  # Looking at the first character before the banner takes no byte from a pipe.
  begin piped_input_loses_no_byte "$prefix"
  (cd "$dir" && "$binary" -best -alr in.alr -gen f.gen -dat f.data -all f.fasta >/dev/null 2>&1 &&
    cat in.alr | "$binary" -best -alr /dev/stdin -gen s.gen -dat s.data -all s.fasta >/dev/null 2>&1 &&
    "$binary" -best -alr <(cat in.alr) -gen p.gen -dat p.data -all p.fasta >/dev/null 2>&1) || fail "a run failed"
  for ext in gen data fasta; do
    [ -s "$dir/f.$ext" ] && cmp -s "$dir/f.$ext" "$dir/s.$ext" && cmp -s "$dir/f.$ext" "$dir/p.$ext" ||
      fail ".$ext of a piped input is not that of the file"
  done
  end
  # Under any umask the outputs get the mode it gives (0666 without its bits), written through
  # what the check opened: a file created without the owner's write bit cannot be opened again
  # by an unprivileged user, and root could open any. A second run over outputs that their
  # owner cannot write is refused before it changes them.
  user=() who=$(id -un) && [ "$(id -u)" != 0 ] || user=(setpriv --reuid=65534 --regid=65534 --clear-groups --) who=uid65534
  # Reachable by that user wherever the build is.
  cp "$binary" "$work/quorlin-copy" && cp "$cases/../../../scripts/lsan.supp" "$work/lsan.supp" &&
    chmod 755 "$work" "$work/quorlin-copy" && chmod 644 "$work/lsan.supp"
  for mask in 022 002 077 0222 0277 0777; do
    begin "umask $mask as $who" "$prefix" && chmod 777 "$dir"
    mode=$(printf %o $((0666 & ~mask)))
    for pass in 1 2; do
      rm -f "$dir/out" "$dir/err" && before=$(snapshot)
      LSAN_OPTIONS="suppressions=$work/lsan.supp:print_suppressions=0:exitcode=86" "${user[@]}" \
        sh -c 'umask "$1" && cd "$2" && exec "$3" -alr in.alr -best >out 2>err' sh $mask "$dir" "$work/quorlin-copy"
      status=$?
      if [ $pass = 1 ] || [ $((0$mode & 0200)) != 0 ]; then
        [ $status = 0 ] && [ ! -s "$dir/err" ] || fail "run $pass: status $status"
        same_outputs "$work/reference"
        [ "$(stat -c %a "$dir"/in.{gen,data,fasta} | sort -u)" = "$mode" ] || fail "run $pass: modes not $mode"
      else
        error 'cannot create output file "in.gen": Permission denied'
        [ "$(snapshot)" = "$before" ] && [ ! -s "$dir/out" ] || fail "run $pass changed files or printed"
      fi
    done
    end
  done
  # The model lines and p-values exist only on standard output: losing them fails the run. The
  # banner is the last check before the outputs are truncated, and the message gives the reason.
  refused=1 stdout=/dev/full check - 1 "cannot write to standard output: No space left on device"
  for options in -v -h "-fis 2"; do
    stdout=/dev/full check - 1 "cannot write to standard output: No space left on device" $options
  done
  # A closed standard descriptor is no free descriptor for the input or an output: the console
  # never lands in a file of the run. Without standard output the run cannot start; without
  # standard error it runs as any other, its messages lost.
  for input in prefix negative_count; do
    for closed in '>&-' '<&- 2>&-' '<&- >&- 2>&-'; do
      begin "$input.alr, run with $closed" "$prefix" && [ $input = prefix ] || cat "$cases/$input.alr" >>"$dir/in.alr"
      cp "$work"/reference/in.{gen,data,fasta} "$dir" && before=$(snapshot)
      (cd "$dir" && eval 'timeout 60 "$binary" -alr in.alr -best >out 2>err' "$closed")
      status=$?
      if [[ " $closed" == *' >&-'* ]]; then
        [ "$(snapshot)" = "$before" ] || fail "files changed by a run that could not start"
        [ $status = 1 ] || fail "status $status, expected 1"
        [[ $closed == *'2>&-'* ]] || error "cannot write to standard output: Bad file descriptor"
      else
        [ $status = $([ $input = prefix ] && echo 0 || echo 1) ] || fail "status $status"
        same_outputs "$work/reference"
      fi
      end
    done
  done
  # A failed write ends the run with its reason, never by a signal, and the contigs committed
  # before it stay whole. Contigs of 1000 positions: about 16 KB of .gen text each.
  contigs 1000 6 5 >"$work/six.alr" && mkdir "$work/six" && cp "$work/six.alr" "$work/six/in.alr" &&
    (cd "$work/six" && "$binary" -alr in.alr -best >/dev/null 2>&1) || { echo "six contigs do not run" >&2; exit 2; }
  # committed: the contigs whose .data lines are written (two a contig) are whole in every file,
  # and the .data and .fasta files hold nothing more; a .gen file starts with them.
  committed() {
    local k=$(($(wc -l <"$dir/in.data") / 2)) want=$dir/want.gen
    head -n $((2 * k)) "$work/six/in.data" | cmp -s - "$dir/in.data" || fail ".data is not that of $k contigs"
    awk -v c=">c$k|" 'index($0, c) == 1 { exit } { print }' "$work/six/in.fasta" | cmp -s - "$dir/in.fasta" ||
      fail ".fasta is not that of $k contigs"
    awk -v c=">c$k" '$0 == c { exit } { print }' "$work/six/in.gen" >"$want"
    [ ! -f "$dir/in.gen" ] || cmp -s -n "$(wc -c <"$want")" "$want" "$dir/in.gen" || fail ".gen does not start with $k contigs"
  }
  # An output FIFO whose reader quits after 100 bytes: more than a pipe holds is written to it.
  begin "output FIFO whose reader quits" "$work/six.alr" && mkfifo "$dir/in.gen"
  (cd "$dir" && timeout 60 head -c 100 in.gen >/dev/null) &
  run 60
  error 'cannot write to output file "in.gen": Broken pipe' && committed
  end
  # An output FIFO is opened, waiting for its reader, before any output is truncated: while the
  # run waits, the last run's outputs are as they were, and a signal that stops it there leaves
  # no file it created. With a reader the FIFO gets the bytes a file would.
  begin "output FIFO without a reader" "$prefix" && cp "$work"/reference/in.gen "$dir" && mkfifo "$dir/in.data"
  before=$(snapshot)
  (cd "$dir" && exec "$binary" -alr in.alr -best >out 2>err) &
  waiting=$! && for _ in $(seq $((sanitized ? 800 : 100))); do grep -qs "^Start time" "$dir/out" && break; sleep 0.1; done
  sleep 0.5
  cmp -s "$dir/in.gen" "$work/reference/in.gen" && [ ! -s "$dir/in.fasta" ] || fail "outputs changed while waiting for a reader"
  kill -TERM $waiting && wait $waiting
  status=$? && [ $status = 143 ] || fail "status $status, expected 143 (SIGTERM)"
  [ "$(snapshot)" = "$before" ] || fail "files changed by a run stopped while waiting for a reader"
  end
  begin "output FIFO with a reader" "$prefix" && mkfifo "$dir/in.data"
  (cd "$dir" && timeout 60 cat in.data >read.data) &
  run 60 && wait $!
  normal 2 && cmp -s "$dir/read.data" "$work/reference/in.data" && cmp -s "$dir/in.gen" "$work/reference/in.gen" &&
    cmp -s "$dir/in.fasta" "$work/reference/in.fasta" || fail "not the outputs of a run into files"
  end
  # Until its outputs are started, a run stopped by a signal, or one that cannot start, removes
  # the files it created and nothing else: not once another run has written its results into
  # them under the same names. It ends by that signal (128 + its number), and a signal it was
  # started ignoring stays ignored.
  # stalled: $dir/pipe, a FIFO filled to the brim by $holder, which holds it open and never
  # reads it: a run whose standard output it is waits in the banner's write. Killing $holder
  # takes its only reader away.
  stalled() {
    mkfifo "$dir/pipe" && rm -f "$work/full"
    python3 -c 'import os, sys, time
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NONBLOCK)
for size in (4096, 1):
    try:
        while True:
            os.write(fd, b"x" * size)
    except BlockingIOError:
        pass
open(sys.argv[2], "w").close()
time.sleep(600)' "$dir/pipe" "$work/full" &
    holder=$!
    for _ in $(seq 100); do [ -e "$work/full" ] && break; sleep 0.1; done
  }
  # stop_signals ARGS...: quorlin -alr in.alr -best ARGS in the background, as $waiting, with
  # the stop signals at their default (a background job starts with SIGINT ignored), standard
  # output appended to $stdout (default out), standard error to err.
  stop_signals() {
    (cd "$dir" && exec env --default-signal=HUP,INT,QUIT,TERM ${ignore:+--ignore-signal=$ignore} "$binary" -alr in.alr \
      -best "$@" >>"${stdout:-out}" 2>>err) &
    waiting=$!
  }
  # waiting_for WHAT: returns once the run waits in a write to a full pipe (WHAT = banner) or
  # for a FIFO's reader (WHAT = reader): as its wait channel shows, or a second after its last
  # output is created or its banner printed, where the kernel does not show it.
  waiting_for() {
    local _
    for _ in $(seq $((sanitized ? 800 : 100))); do
      case $1:$(cat "/proc/$waiting/wchan" 2>/dev/null) in
        banner:*pipe_w* | reader:*fifo* | reader:wait_for_partner) return ;;
      esac
      if { [ "$1" = banner ] && [ -e "$dir/in.fasta" ]; } || { [ "$1" = reader ] && grep -qs '^Start time' "$dir/out"; }; then
        sleep 1 && return
      fi
      sleep 0.1
    done
  }
  # release: stops $holder, and the run when the row failed to see it end.
  release() {
    kill "$holder" 2>/dev/null && wait "$holder" 2>/dev/null
    kill -KILL "$waiting" 2>/dev/null && wait "$waiting" 2>/dev/null
    true
  }
  second_run() { (cd "$dir" && "$binary" -alr in.alr -best "$@" >second.out 2>&1) || fail "the second run failed"; }
  begin "a run stopped in its FIFO wait keeps what a second run wrote" "$prefix" && mkfifo "$dir/in.gen"
  stop_signals && waiting_for reader && second_run -gen second.gen
  kill -TERM $waiting && wait $waiting
  status=$? && [ $status = 143 ] || fail "status $status, expected 143 (SIGTERM)"
  cmp -s "$dir/second.gen" "$work/reference/in.gen" || fail "second.gen is not that of a run into files"
  same_outputs "$work/reference" data fasta
  holder="" release && end
  begin "a run that cannot start keeps what a second run wrote" "$prefix" && stalled
  stdout=pipe stop_signals && waiting_for banner && second_run && kill "$holder" && wait $waiting
  status=$? && error "cannot write to standard output: Broken pipe" && same_outputs "$work/reference"
  release && end
  for stop in TERM:143 HUP:129; do
    begin "a run stopped by SIG${stop%:*} while its banner waits" "$prefix" && stalled && before=$(snapshot)
    stdout=pipe stop_signals && waiting_for banner && kill -"${stop%:*}" $waiting && wait $waiting 2>/dev/null
    status=$? && [ $status = "${stop#*:}" ] || fail "status $status, expected ${stop#*:} (SIG${stop%:*})"
    [ "$(snapshot)" = "$before" ] || fail "files changed by a run stopped before it started"
    release && end
  done
  begin "a run started with SIGINT ignored keeps ignoring it" "$prefix" && stalled
  ignore=INT stdout=pipe stop_signals && waiting_for banner && kill -INT $waiting && sleep 0.5
  kill -0 $waiting 2>/dev/null || fail "ended by the SIGINT it ignored"
  (timeout 60 cat "$dir/pipe" >/dev/null &) && wait $waiting
  status=$? && release && normal 2
  end
  # Two runs on the same names, the second opening as existing outputs the files that the
  # first created: a file that a run has open as its output is never removed by the other,
  # written or not. The first is stopped, or cannot start, while the second waits at its banner
  # or for its FIFO output's reader; the second then ends as a run into files.
  two_runs() { begin "$1" "$prefix" && stalled && stdout=pipe stop_signals && first=$waiting && waiting_for banner; }
  # second_ends: the second run ($waiting) ends with status 0, its outputs those of a run into files.
  second_ends() {
    wait $waiting
    status=$? && [ $status = 0 ] || fail "the second run ended with status $status"
    same_outputs "$work/reference" "$@"
  }
  two_runs "two runs wait at their banners; the first is stopped by SIGTERM"
  stdout=pipe stop_signals && waiting_for banner && kill -TERM $first && wait $first
  status=$? && [ $status = 143 ] || fail "the first run ended with status $status, expected 143 (SIGTERM)"
  (timeout 60 cat "$dir/pipe" >/dev/null &) && second_ends
  release && end
  for first_ends in stopped cannot_start; do
    two_runs "the first run ${first_ends/_/ } while the second waits for its FIFO output's reader" && mkfifo "$dir/second.gen"
    stop_signals -gen second.gen && waiting_for reader
    if [ $first_ends = stopped ]; then kill -TERM $first; else kill "$holder"; fi
    wait $first
    status=$? && [ $status = $([ $first_ends = stopped ] && echo 143 || echo 1) ] || fail "the first run ended with status $status"
    (cd "$dir" && timeout 60 cat second.gen >read.gen) &
    second_ends data fasta
    wait $! && cmp -s "$dir/read.gen" "$work/reference/in.gen" || fail "the FIFO did not get the .gen of a run into files"
    # What the first created and nobody else holds is still its own to remove.
    [ ! -e "$dir/in.gen" ] || fail "in.gen, created by the first run alone, is left"
    release && end
  done
  # The outputs are started as one step: SIGTERM, held open between the first output's start
  # and the next, ends a started run, all three outputs empty, never some emptied and others
  # removed.
  # shimmed VARIABLE=VALUE COMMAND...: COMMAND with VARIABLE set and preload_shim.c preloaded.
  shimmed() {
    [ -f "$work/shim.so" ] || ${CC:-cc} -shared -fPIC -o "$work/shim.so" "$cases/../preload_shim.c" -ldl ||
      fail "the preloaded shim does not build"
    ASAN_OPTIONS="$ASAN_OPTIONS:verify_asan_link_order=0" LD_PRELOAD=$work/shim.so "$@"
  }
  begin "SIGTERM between the starts of two outputs" "$prefix" && cp "$work/reference/in.gen" "$dir" && rm -f "$work/stalled"
  QUORLIN_STALL=$work/stalled shimmed stop_signals
  for _ in $(seq $((sanitized ? 800 : 100))); do [ -e "$work/stalled" ] && break; sleep 0.1; done
  kill -TERM $waiting && wait $waiting
  status=$? && [ $status = 143 ] || fail "status $status, expected 143 (SIGTERM)"
  for ext in gen data fasta; do [ -f "$dir/in.$ext" ] && [ ! -s "$dir/in.$ext" ] || fail "in.$ext is not started and empty"; done
  end
  # Where the file system takes no lock, a run goes on as any other, and one that cannot start
  # keeps the files it created rather than guess whether another run holds them.
  begin "a file system without locks: a run over the last run's files" "$prefix"
  for ext in gen data fasta; do echo "last run" >"$dir/in.$ext"; done
  QUORLIN_NO_LOCKS=1 shimmed run 60
  normal 2 && same_outputs "$work/reference"
  end
  begin "a file system without locks: a run that cannot start keeps what it created" "$prefix"
  QUORLIN_NO_LOCKS=1 stdout=/dev/full shimmed run 60
  error "cannot write to standard output: No space left on device"
  for ext in gen data fasta; do [ -f "$dir/in.$ext" ] && [ ! -s "$dir/in.$ext" ] || fail "in.$ext is not kept empty"; done
  end
  # A file-size limit of 40 KiB: the third contig's .gen block passes it.
  begin "file-size limit" "$work/six.alr"
  filesize=40 run 60
  error 'cannot write to output file "in.gen": File too large' && committed
  [ "$(wc -c <"$dir/in.gen")" = 40960 ] || fail ".gen is not cut at the limit"
  end
  # Standard output a pipe whose reader quits after 10 bytes, the console of 400 small contigs
  # more than a pipe holds.
  begin "standard output to a reader that quits" <(contigs 3 400 6)
  (cd "$dir" && timeout 60 "$binary" -alr in.alr -best 2>err | head -c 10 >/dev/null && exit "${PIPESTATUS[0]}")
  status=$? && error "cannot write to standard output: Broken pipe"
  end
  # Standard output a pipe that nobody reads any more: the run cannot start.
  begin "standard output to a closed pipe" "$prefix" && cp "$work"/reference/in.{gen,data,fasta} "$dir" && mkfifo "$dir/pipe"
  before=$(snapshot)
  (cd "$dir" && exec 3<>pipe 4>pipe 3<&- && timeout 60 "$binary" -alr in.alr -best >&4 2>err)
  status=$? && error "cannot write to standard output: Broken pipe"
  [ "$(snapshot)" = "$before" ] || fail "files changed by a run that could not start"
  end
fi

# long NAME EXPECTED TEXT: the prefix then TEXT, where '@' stands for 100 MB of 'x' and '#'
# for 100 MB of '1', in each place where a field is read; EXPECTED as for check. The reader
# holds the line and its fields; nothing may multiply them.
long() {
  begin "$1" "$prefix" <(python3 -c "import sys; sys.stdout.write(sys.argv[1].encode().decode('unicode_escape')
    .replace('@', 'x' * 10**8).replace('#', '1' * 10**8))" "$3")
  run 120
  if [ "$2" = 3 ]; then normal 3 && memory 64 12; else error "$2" && same_outputs "$work/reference" && memory 64 8; fi
  end
}
if wanted long_lines; then
  long long_count_line 'in.alr:14: read count "1111111111' '>long\nx\ty\tsp|a\nA\tM\t#\n'
  long long_label_line 'in.alr:14: label "xxxxxxxxxx' '>long\nx\ty\tsp|a\n@\tM\t3\n'
  long long_header_field 'in.alr:13: No more token in tokenizer.' '>long\nx\ty\t@\n'
  long long_individual_name 3 '>long\nx\ty\tsp|@\nA\tM\t3\nC\tP\t4[0/4/0/0]\n'
  # Every exported sequence name repeats the contig name: a long one is refused.
  long long_contig_name 'in.alr:12: contig name of 100000000 bytes, longer than the 4096' '>@\nx\ty\tsp|a\tsp|b\nA\tM\t3\t4\n'
  # 200,000 individuals, seven bytes of input each. Every individual costs its records: the
  # likelihood engine's scratch of 3 x 3 x 4 x 4 values (1152 bytes) in the contig's engine and
  # in the copy each fitted model holds, two exported sequences (about 190 bytes each), names
  # and per-position records: about 2.6 KiB, and nothing may cost more than that.
  begin wide_header <(python3 -c "n = 200000; print('>wide\nx\ty' + '\tsp|i' * n + '\nA\tM' + '\t1' * n)")
  run 120
  normal 1 && memory 64 450
  end
fi

if wanted long_contig; then
  begin contig_of_100000_positions <(contigs 100000 1 7)
  run 120
  normal 1 && memory 64 200 && [ "$(grep -c . "$dir/in.gen")" = 100002 ] || fail ".gen does not hold 100,000 positions"
  end
  # One contig in memory at a time per thread: three contigs take little more than one.
  if [ $sanitized -eq 0 ]; then
    begin one_contig_in_memory <(contigs 30000 3 11)
    contigs 30000 1 11 >"$dir/one.alr"
    OMP_NUM_THREADS=1 run 120 -alr one.alr && one_rss=$rss && [ "$status" = 0 ] || fail "one contig: status $status"
    OMP_NUM_THREADS=1 run 120 && normal 3
    [ $((rss * 100)) -le $((one_rss * 130)) ] || fail "three contigs take $rss KiB, one $one_rss KiB"
    end
  fi
fi

echo "run_bad_inputs: $((count - failures)) passed, $failures failed"
[ $failures -eq 0 ] && [ $count -gt 0 ]
