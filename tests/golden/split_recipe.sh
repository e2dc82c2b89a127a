#!/usr/bin/env bash
# Runs the README's recipe for splitting a run by contigs, with its chunk size changed, and
# checks that the joined files equal those of one run on the whole file, also for a second,
# smaller split in the same folder; that the join follows chunk order past chunk 9999 (step 2
# played by a loop); that an input that makes no chunk, a chunk that fails, a chunk stopped by
# -for and a chunk killed by a signal end the block with a non-zero status and leave the last
# joined files as they were; and that the chunks running when one fails run to their end.
#   split_recipe.sh QUORLIN_BINARY
set -euo pipefail
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quorlin-split.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/whole" "$work/split" "$work/many" "$work/failed" "$work/killed"
ln -s "$binary" "$work/bin/quorlin"
export PATH=$work/bin:$PATH
fail() { echo "split_recipe: $*" >&2; exit 1; }
block=$(awk '/<!-- split-recipe/ { on = 1; next } on && /^```sh/ { inside = 1; next }
             inside && /^```/ { exit } inside' "$here/../../README.md")
grep -q -- '-v n=500' <<<"$block" || fail "no recipe in README.md"
# recipe N: the block with chunks of N contigs.
recipe() { sed "s/-v n=500/-v n=$1/" <<<"$block"; }
# joined DIR CASE: the joined files in DIR are those of the whole run of CASE.
joined() {
  for ext in gen data fasta; do
    cmp "$work/whole/$2.$ext" "$1/sample.$ext" || fail "$2: joined .$ext differs"
  done
}
# untouched DIR: the joined files of the last good split in DIR are as they were.
untouched() {
  for ext in gen data fasta; do
    cmp -s "$1/sample.$ext" "$1/last.$ext" || fail "$1: sample.$ext changed by a split that failed"
  done
}
# keep DIR: joined files of an earlier split in DIR, and a copy of each.
keep() {
  for ext in gen data fasta; do echo "earlier $ext" >"$1/sample.$ext" && cp "$1/sample.$ext" "$1/last.$ext"; done
}

# Without -sep the sharing rule cannot make the two runs differ. The second split is smaller:
# the first five contigs, two chunks where the first made four.
cp "$here/threads_best/in.alr" "$work/whole/all.alr"
awk '/^>/ && ++c > 5 { exit } { print }' "$work/whole/all.alr" >"$work/whole/first5.alr"
for name in all first5; do (cd "$work/whole" && quorlin -alr $name.alr -best >/dev/null); done
cp "$work/whole/all.alr" "$work/split/sample.alr"
(cd "$work/split" && bash -euo pipefail -c "$(recipe 4)")
[ "$(cat "$work/split"/split.*/chunks.txt | wc -l)" -eq 4 ] || fail "expected 4 chunks"
joined "$work/split" all
cp "$work/whole/first5.alr" "$work/split/sample.alr"
(cd "$work/split" && bash -euo pipefail -c "$(recipe 4)")
joined "$work/split" first5
echo "split_recipe: joined files equal the whole run, also for a smaller split in the same folder"

# Past chunk 9999 the names sort out of chunk order (chunk_10000 before chunk_1001). Steps 1
# and 3 as written; step 2 is played by writing each chunk's name into its three outputs.
play='while read -r c; do for e in gen data fasta; do echo "${c%.alr}" >"${c%.alr}.$e"; done; done <"$d/chunks.txt" &&'
steps=$(awk -v play="$play" '/^# 2\./ { skip = 1 } /^# 3\./ { skip = 0; print play } !skip' <<<"$(recipe 1)")
python3 -c 'print("".join(">c%d\nx\ty\ts|a\nA\tM\t1\n" % i for i in range(10001)), end="")' >"$work/many/sample.alr"
(cd "$work/many" && bash -euo pipefail -c "$steps")
for ext in gen data fasta; do
  sed 's/.*chunk_//' "$work/many/sample.$ext" | awk '$1 + 0 != NR - 1 { bad = 1 } END { exit bad || NR != 10001 }' ||
    fail "sample.$ext does not join 10,001 chunks in chunk order"
done
echo "split_recipe: chunks joined in chunk order past chunk 9999"

# An input that makes no chunk stops the block before anything is run or joined.
for first in "" "contig_1\n"; do
  keep "$work/failed" && printf "$first" >"$work/failed/sample.alr"
  ! (cd "$work/failed" && bash -c "$block") >/dev/null 2>"$work/failed.err" || fail "no chunk: the block exited 0"
  grep -q "no contig line first" "$work/failed.err" || fail "no chunk: no message"
  untouched "$work/failed"
done
rm -rf "$work/failed"/split.*
echo "split_recipe: an input that makes no chunk stops the block"

# A user pastes the block into a shell that does not stop at a failed command. One contig per
# chunk gives more chunks than the recipe runs at a time, so a chunk queued behind the failed
# one shows whether the run went on; the first contig fails at its first position line.
awk 'NR == 3 { if ($2 != "P" || !sub(/\[[0-9]+/, "[-1")) exit 1 } { print }' FS='\t' \
  "$here/threads_best/in.alr" >"$work/failed/sample.alr" || fail "line 3 of the input is no P line"
keep "$work/failed"
status=0
(cd "$work/failed" && bash -c "$(recipe 1)") >"$work/failed.out" 2>"$work/failed.err" || status=$?
split=$(cd "$work/failed" && echo split.*)
[ "$(wc -l <"$work/failed/$split/chunks.txt")" -eq 13 ] || fail "failed chunk: expected 13 chunks"
[ "$status" -ne 0 ] || fail "failed chunk: the block exited 0"
grep -Eq "^quorlin: $split/chunk_0000\.alr:3: ." "$work/failed/$split/chunk_0000.log" ||
  fail "failed chunk: the input error is not in chunk_0000.log"
! grep -q 'chunk_0000\.alr:3' "$work/failed.out" "$work/failed.err" ||
  fail "failed chunk: the input error reached the console instead of staying in chunk_0000.log"
untouched "$work/failed"
[ "$(ls "$work/failed/$split"/chunk_*.log | wc -l)" -lt 13 ] || fail "failed chunk: every chunk ran after the failed one"
echo "split_recipe: a failed chunk stops the recipe with its message in its .log"

# With -for in its command, a chunk with a third allele at a position stops there and fails:
# the block fails and joins nothing. The second of four chunks holds such a position.
mkdir "$work/forbidden" && cp "$here/threads_forbidden/in.alr" "$work/forbidden/sample.alr" && keep "$work/forbidden"
with_for=$(recipe 4 | sed 's/quorlin -alr {} -best/& -for/')
[ "$with_for" != "$(recipe 4)" ] || fail "-for: no quorlin command in the recipe"
! (cd "$work/forbidden" && bash -c "$with_for") >/dev/null 2>&1 || fail "-for: the block exited 0"
untouched "$work/forbidden"
grep -Eq '^quorlin: split\.[^/]*/chunk_0001\.alr:131: .*-for stops the run here' "$work/forbidden"/split.*/chunk_0001.log ||
  fail "-for: the stop is not in chunk_0001.log"
echo "split_recipe: a chunk stopped by -for stops the recipe"

# The chunks already running when one fails run to their end; only chunks not yet started are
# skipped. chunk_0000 starts first and is still running, three seconds long, when chunk_0001
# fails at once.
mkdir "$work/running" "$work/slow" && printf '#!/bin/sh\ncase "$*" in *chunk_0000.alr*) sleep 3 ;; *chunk_0001.alr*) exit 1 ;; esac\nexec "%s" "$@"\n' \
  "$binary" >"$work/slow/quorlin" && chmod +x "$work/slow/quorlin"
cp "$here/threads_best/in.alr" "$work/running/sample.alr" && keep "$work/running"
! (cd "$work/running" && PATH=$work/slow:$PATH bash -c "$(recipe 1)") >/dev/null 2>&1 || fail "running chunks: the block exited 0"
untouched "$work/running"
grep -q "End of execution" "$work/running"/split.*/chunk_0000.log || fail "running chunks: chunk_0000 was stopped"
awk -F'\t' '$9 ~ /chunk_0000\.alr/ && $7 == 0 && $8 == 0 { found = 1 } END { exit !found }' "$work/running"/split.*/jobs.txt ||
  fail "running chunks: jobs.txt does not give chunk_0000 as ended well"
[ "$(ls "$work/running"/split.*/chunk_*.log | wc -l)" -le 4 ] || fail "running chunks: chunks started after the failed one"
echo "split_recipe: the chunks running when one fails run to their end, and no other starts"

# A chunk killed by a signal: its .log is cut short, jobs.txt names the signal, nothing is joined.
mkdir "$work/killer" && printf '#!/bin/sh\ncase "$*" in *chunk_0001.alr*) kill -KILL $$ ;; esac\nexec "%s" "$@"\n' \
  "$binary" >"$work/killer/quorlin" && chmod +x "$work/killer/quorlin"
cp "$here/threads_best/in.alr" "$work/killed/sample.alr" && keep "$work/killed"
! (cd "$work/killed" && PATH=$work/killer:$PATH bash -c "$(recipe 4)") >/dev/null 2>&1 || fail "killed chunk: the block exited 0"
untouched "$work/killed"
# The shell parallel starts reports the signal as status 128 + 9, or parallel sees it itself.
awk -F'\t' '$9 ~ /chunk_0001\.alr/ && ($7 == 137 || $8 == 9) { found = 1 } END { exit !found }' "$work/killed"/split.*/jobs.txt ||
  fail "killed chunk: jobs.txt does not give SIGKILL for chunk_0001"
! grep -q "End of execution" "$work/killed"/split.*/chunk_0001.log || fail "killed chunk: its .log is complete"
echo "split_recipe: a killed chunk stops the recipe, named in jobs.txt"
