#!/bin/sh
# Runs every benchmark executable of a benchmark build, then the end-to-end benchmark scripts.
set -eu
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
for b in $(find "$build/bench" -type f -name 'bench_*' -perm -u+x | sort); do
  echo "== $(basename "$b")"
  "$b"
done
for s in "$root"/bench/*.sh; do
  [ "$(basename "$s")" = run_all.sh ] && continue
  echo "== $(basename "$s")"
  sh "$s" "$build"
done
