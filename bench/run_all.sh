#!/bin/sh
# Runs every benchmark executable of a benchmark build, then the end-to-end benchmark scripts.
set -eu
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
# Some distributions build their Google Benchmark library without NDEBUG, and each benchmark then warns that
# the "Library was built as DEBUG". That library is only the harness: the code measured is this build's.
echo "(a warning that the benchmark library was built as DEBUG concerns the harness; bxa here is a $(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt") build)"
for b in $(find "$build/bench" -type f -name 'bench_*' -perm -u+x | sort); do
  echo "== $(basename "$b")"
  "$b"
done
for s in "$root"/bench/*.sh; do
  [ "$(basename "$s")" = run_all.sh ] && continue
  echo "== $(basename "$s")"
  sh "$s" "$build"
done
