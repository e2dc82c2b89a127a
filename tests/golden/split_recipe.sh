#!/usr/bin/env bash
# Runs the README's recipe for splitting a run by contigs, word for word, and checks that the
# joined files equal those of one run on the whole file, and that a chunk that fails leaves its
# message in its .log, a non-zero status and nothing joined.
#   split_recipe.sh QUORLIN_BINARY
set -euo pipefail
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quorlin-split.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/whole" "$work/split" "$work/failed"
ln -s "$binary" "$work/bin/quorlin"
export PATH=$work/bin:$PATH
block=$(awk '/<!-- split-recipe/ { on = 1; next } on && /^```sh/ { inside = 1; next }
             inside && /^```/ { exit } inside' "$here/../../README.md")
grep -q -- '-v n=500' <<<"$block" || { echo "split_recipe: no recipe in README.md" >&2; exit 1; }
# The recipe's chunks are 500 contigs: make them 4 so that the 13 contigs span four chunks.
recipe=$(sed 's/-v n=500/-v n=4/' <<<"$block")
# Without -sep the sharing rule cannot make the two runs differ.
cp "$here/threads_best/in.alr" "$work/whole/sample.alr"
cp "$here/threads_best/in.alr" "$work/split/sample.alr"
(cd "$work/whole" && quorlin -alr sample.alr -best >/dev/null)
(cd "$work/split" && bash -euo pipefail -c "$recipe")
[ "$(ls "$work/split"/chunk_*.alr | wc -l)" -eq 4 ] || { echo "split_recipe: expected 4 chunks" >&2; exit 1; }
for ext in gen data fasta; do
  cmp "$work/whole/sample.$ext" "$work/split/sample.$ext" || { echo "split_recipe: joined .$ext differs" >&2; exit 1; }
done
echo "split_recipe: joined files equal the whole run"

# A user pastes the block into a shell that does not stop at a failed command. One contig per
# chunk gives more chunks than the recipe runs at a time, so a chunk queued behind the failed
# one shows whether the run went on; the first contig fails at its first position line.
fail() { echo "split_recipe: failed chunk: $*" >&2; exit 1; }
awk 'NR == 3 { if ($2 != "P" || !sub(/\[[0-9]+/, "[-1")) exit 1 } { print }' FS='\t' \
  "$here/threads_best/in.alr" > "$work/failed/sample.alr" || fail "line 3 of the input is no P line"
status=0
(cd "$work/failed" && bash -c "$(sed 's/-v n=500/-v n=1/' <<<"$block")") >"$work/failed.out" 2>"$work/failed.err" ||
  status=$?
[ "$(ls "$work/failed"/chunk_*.alr | wc -l)" -eq 13 ] || fail "expected 13 chunks"
[ "$status" -ne 0 ] || fail "the block exited 0"
grep -Eq '^quorlin: chunk_0000\.alr:3: .' "$work/failed/chunk_0000.log" ||
  fail "the input error is not in chunk_0000.log"
! grep -q 'chunk_0000\.alr:3' "$work/failed.out" "$work/failed.err" ||
  fail "the input error reached the console instead of staying in chunk_0000.log"
for ext in gen data fasta; do
  [ ! -e "$work/failed/sample.$ext" ] || fail "sample.$ext was joined"
done
[ "$(ls "$work/failed"/chunk_*.log | wc -l)" -lt 13 ] || fail "every chunk ran after the failed one"
echo "split_recipe: a failed chunk stops the recipe with its message in its .log"
