#!/usr/bin/env bash
# Holds the example sweeps kept in the repository to what the models make now,
# so that a change to a model remakes them (varnel-examples FOLDER).
# Usage: check_examples.sh VARNEL_EXAMPLES EXAMPLES_DIR
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$1" "$work" || { echo "FAIL: $1 $work"; exit 1; }
status=0
for made in "$work"/*; do
  kept=$2/$(basename "$made")
  cmp -s "$made" "$kept" || { echo "FAIL: $kept is not what the models make now; remake it with: varnel-examples $2"; status=1; }
done
[ "$(ls "$work" | wc -l)" -ge 5 ] || { echo "FAIL: fewer than five examples made"; status=1; }
[ $status -eq 0 ] && echo "examples current: $(ls "$work" | tr '\n' ' ')"
exit $status
