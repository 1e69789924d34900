#!/bin/sh
# Runs every libFuzzer executable of a fuzz build with the given libFuzzer options, each on a scratch copy
# of its seed corpus (fuzz/corpus/NAME), and fails when any of them finds a crash.
set -eu
build=$(cd "$1" && pwd); shift
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/fuzz-out
mkdir -p "$out"
status=0
for target in $(find "$build/fuzz" -type f -name 'fuzz_*' -perm -u+x | sort); do
  name=$(basename "$target" | sed 's/^fuzz_//')
  work=$out/$name
  mkdir -p "$work/corpus"
  if [ -d "$root/fuzz/corpus/$name" ]; then cp -r "$root/fuzz/corpus/$name/." "$work/corpus/"; fi
  # A target may ask for fewer bounded runs than the default (fuzz/<dir>/<name>.runs holds the number).
  options="$*"
  runs_file=$(find "$root/fuzz" -name "$name.runs" | head -n 1)
  if [ -n "$runs_file" ]; then options=$(echo "$options" | sed "s/-runs=[0-9]*/-runs=$(cat "$runs_file")/"); fi
  echo "== fuzz $name $options"
  if ! (cd "$work" && "$target" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 $options corpus \
        > "$work/log.txt" 2>&1); then
    echo "fuzz target $name failed; see $work/log.txt"
    tail -n 40 "$work/log.txt"
    status=1
  fi
  grep -aE '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$work/log.txt" | tail -n 2 || true
  echo "corpus: $(ls "$work/corpus" | wc -l) inputs"
done
exit $status
