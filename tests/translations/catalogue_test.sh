#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: catalogue_test.sh LUPDATE SOURCE_LIST [LUPDATE_OPTIONS...] -- TS_FILE...
# Each catalogue is what lupdate makes of the sources (the same options the build's
# update_translations target uses): no text of the sources is missing from it, none it
# holds has gone, nothing is obsolete. And every entry is finished.
set -euo pipefail
lupdate=$1 list=$2
shift 2
options=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do options+=("$1"); shift; done
shift
[ $# -gt 0 ] || { echo "no catalogue given" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for ts in "$@"; do
  name=$(basename "$ts")
  cp "$ts" "$work/$name"
  "$lupdate" -silent "${options[@]}" "@$list" -ts "$work/$name" >"$work/lupdate.out" 2>&1 ||
    { cat "$work/lupdate.out" >&2; echo "FAIL $name: lupdate failed" >&2; status=1; continue; }
  if ! diff -u "$ts" "$work/$name" >"$work/diff"; then
    echo "FAIL $name: not current with the sources (run the target update_translations):" >&2
    cat "$work/diff" >&2
    status=1
  fi
  for kind in unfinished obsolete vanished; do
    if grep -q "type=\"$kind\"" "$ts"; then
      echo "FAIL $name: $kind entries:" >&2
      grep -B2 "type=\"$kind\"" "$ts" | grep '<source>' >&2 || true
      status=1
    fi
  done
  messages=$(grep -c '<message' "$ts")
  echo "$name: $messages entries, all translated and current"
done
exit $status
