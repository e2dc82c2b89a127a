#!/usr/bin/env bash
# Runs the README's recipe for splitting a run by contigs, word for word, and checks that the
# joined files equal those of one run on the whole file.
#   split_recipe.sh QUORLIN_BINARY
set -euo pipefail
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quorlin-split.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/whole" "$work/split"
ln -s "$binary" "$work/bin/quorlin"
export PATH=$work/bin:$PATH
# The recipe's chunks are 500 contigs: make them 4 so that the 13 contigs span four chunks.
recipe=$(awk '/<!-- split-recipe/ { on = 1; next } on && /^```sh/ { inside = 1; next }
              inside && /^```/ { exit } inside' "$here/../../README.md" | sed 's/-v n=500/-v n=4/')
[ -n "$recipe" ] || { echo "split_recipe: no recipe in README.md" >&2; exit 1; }
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
