#!/usr/bin/env bash
# The catalogues are complete and in step with the source: every entry has
# its translation, and lupdate run over a copy finds no new, changed or
# vanished text (the copy comes out byte for byte as it went in).
set -euo pipefail
root=$1
status=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for ts in "$root"/translations/*.ts; do
  if grep -n 'type="\(unfinished\|vanished\|obsolete\)"' "$ts"; then
    echo "FAIL: $ts has entries without a finished translation"
    status=1
  fi
  cp "$ts" "$scratch/"
done
"$root/tools/update-translations" "$scratch"/*.ts
for ts in "$root"/translations/*.ts; do
  if ! diff -u "$ts" "$scratch/$(basename "$ts")"; then
    echo "FAIL: $ts is not in step with the source (run tools/update-translations)"
    status=1
  fi
done
[ $status -eq 0 ] && echo "PASS: catalogues complete and in step"
exit $status
