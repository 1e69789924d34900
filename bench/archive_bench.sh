#!/bin/sh
# End-to-end archive benchmarks, each against a yardstick measured in the same run:
#   bxa -u on a ~64 MB archive, one thread    vs  bxa_baseline expand (every record straight into its file)
#   bxa -p of its work directory, one thread  vs  bxa_baseline compress (every listed file into one file)
#   bxa -u and -p with 1, 2, 4, ... and all cores, against one thread, and two one-thread runs at once
#   bxa -p -f / -a -f of one small file in a ~256 MB archive  vs  cp of that archive (and cp + sync)
# The commands of one comparison run in turns, five rounds, and each is timed by its fastest run (wall
# time, with the CPU time (user + system) of that run beside it): a shared virtual machine has slow
# spells, which turns spread over every command alike. Peak memory is the largest resident set.
# usage: archive_bench.sh BUILD_DIR [SCRATCH_DIR]
set -eu
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=${2:-$build/archive-bench}
bxa=$build/src/driver/bxa
baseline=$build/bench/archive/bxa_baseline
gen=$root/bench/archive/make_workdir.py
rm -rf "$scratch"
mkdir -p "$scratch"
cd "$scratch"

# race NAME COMMAND [NAME COMMAND]...: runs every command once per round for Rounds rounds, in turn, so
# that a slow spell of the shared machine falls on all of them alike, and sets T_NAME, M_NAME and C_NAME to
# the wall seconds, peak KB (GNU time's %M) and CPU seconds (user + system) of each command's fastest run.
# Each COMMAND is a line of sh; its output is dropped and its exit status ignored.
Rounds=5
race() {
  round=1
  while [ "$round" -le "$Rounds" ]; do
    index=1
    while [ "$index" -lt $# ]; do
      eval "name=\${$index}"
      eval "command=\${$((index + 1))}"
      # Write back what earlier steps left dirty, so that it is not charged to this run.
      sync
      # Wall time to the millisecond from the clock (GNU time's own is in hundredths).
      start=$(date +%s%N)
      /usr/bin/time -f "%M %U %S" -o time.txt sh -c "$command" </dev/null >/dev/null 2>&1 || true
      stop=$(date +%s%N)
      t=$(awk "BEGIN { printf \"%.3f\", ($stop - $start) / 1e9 }")
      read -r m u k <<EOF_T
$(tail -n 1 time.txt)
EOF_T
      eval "best=\${T_$name:-}"
      if [ "$round" -eq 1 ] || awk "BEGIN { exit !($t < $best) }"; then
        eval "T_$name=$t M_$name=$m C_$name=$(awk "BEGIN { printf \"%.2f\", $u + $k }")"
      fi
      index=$((index + 2))
    done
    round=$((round + 1))
  done
}

ratio() { awk "BEGIN { printf \"%.2f\", $1 / ($2 > 0 ? $2 : 0.01) }"; }

report() { # name bxa_seconds bxa_kb base_name base_seconds [bxa_cpu base_cpu]
  printf '%-30s %5ss peak %5d KB  %-28s %5ss  ratio %s' "$1" "$2" "$3" "$4" "$5" "$(ratio "$2" "$5")"
  if [ $# -ge 7 ]; then printf '   cpu %5ss vs %5ss  ratio %s' "$6" "$7" "$(ratio "$6" "$7")"; fi
  printf '\n'
}

# Thread counts for the table: 1, 2, 4, ... and every processor.
cores=$(nproc)
counts=""; n=1
while [ "$n" -lt "$cores" ]; do counts="$counts $n"; n=$((n * 2)); done
counts="$counts $cores"

# thread_table DIR: bxa -u and -p of DIR/big.BXA and DIR/work with 1, 2, 4, ... and every processor, in
# turns (bxa takes the processors it may run on, so taskset sets its thread count); the ratios are
# against the one-thread row. On two processors or more, a last row runs two one-thread commands at once,
# one on each of two processors, each with an archive or directory of its own: the work of two threads
# with nothing shared, whose ratio (twice the one-thread time over the time of both) is what two of this
# machine's processors give at most.
thread_table() {
  dir=$1
  # Every timed unpack then replaces the files of an earlier one, as the later rounds always do.
  (cd "$dir" && "$bxa" -u big.BXA unpacked </dev/null >/dev/null 2>&1) || true
  set --
  for n in $counts; do
    set -- "$@" "u$n" "cd '$dir' && taskset -c 0-$((n - 1)) '$bxa' -u big.BXA unpacked" \
      "p$n" "cd '$dir' && taskset -c 0-$((n - 1)) '$bxa' -p packed.BXA work"
  done
  if [ "$cores" -ge 2 ]; then
    (cd "$dir" && "$bxa" -u big.BXA unpacked2 </dev/null >/dev/null 2>&1) || true
    set -- "$@" uboth "cd '$dir' && { taskset -c 0 '$bxa' -u big.BXA unpacked & taskset -c 1 '$bxa' -u big.BXA unpacked2; wait; }" \
      pboth "cd '$dir' && { taskset -c 0 '$bxa' -p packed.BXA work & taskset -c 1 '$bxa' -p packed2.BXA work; wait; }"
  fi
  race "$@"
  printf '%-10s %10s %10s %10s %10s %10s\n' threads "-u s" "-u x" "-p s" "-p x" "-p peak KB"
  for n in $counts; do
    eval "un_t=\$T_u$n pn_t=\$T_p$n pn_m=\$M_p$n"
    printf '%-10s %10s %10s %10s %10s %10s\n' "$n" "$un_t" "$(ratio "$T_u1" "$un_t")" "$pn_t" "$(ratio "$T_p1" "$pn_t")" "$pn_m"
  done
  if [ "$cores" -ge 2 ]; then
    printf '%-10s %10s %10s %10s %10s %10s\n' "1 + 1" "$T_uboth" "$(ratio "2 * $T_u1" "$T_uboth")" \
      "$T_pboth" "$(ratio "2 * $T_p1" "$T_pboth")" "(2 runs)"
  fi
  rm -rf "$dir/unpacked2" "$dir/packed2.BXA"
}

# The mixed corpus has R7T models, which bxa turns into text and back while the yardstick does not; the
# corpus without models compares the archive work alone.
for corpus in mixed no-models; do
  weight=10; [ "$corpus" = no-models ] && weight=0
  rm -rf work unpacked expanded compressed.bin packed.BXA big.BXA
  echo "generating a ~64 MB work directory ($corpus)..."
  python3 "$gen" work 64 7 $weight >/dev/null
  "$bxa" -p big.BXA work </dev/null >/dev/null || true
  echo "archive: $(stat -c %s big.BXA) bytes, $(wc -l < work/catalog.dat) records"

  # One thread against the single-threaded yardstick: the work per byte.
  race bxa "taskset -c 0 '$bxa' -u big.BXA unpacked" base "'$baseline' expand big.BXA expanded"
  report "bxa -u 1 thread (64 MB, $corpus)" "$T_bxa" "$M_bxa" "baseline expand" "$T_base" "$C_bxa" "$C_base"
  race bxa "taskset -c 0 '$bxa' -p packed.BXA work" base "'$baseline' compress work compressed.bin"
  report "bxa -p 1 thread (64 MB, $corpus)" "$T_bxa" "$M_bxa" "baseline compress" "$T_base" "$C_bxa" "$C_base"

  thread_table .
  # The same in memory (tmpfs), where no file system of the machine's disk limits how fast records are
  # put in place.
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    shm=$(mktemp -d /dev/shm/bxa-bench.XXXXXX)
    cp -r work big.BXA "$shm"
    echo "in memory (tmpfs):"
    thread_table "$shm"
    rm -rf "$shm"
  fi
  cmp -s packed.BXA big.BXA && echo "pack is repeatable: packed.BXA equals big.BXA"
done
rm -rf work unpacked expanded compressed.bin packed.BXA big.BXA
python3 "$gen" work 64 7 >/dev/null

echo "generating a ~256 MB archive..."
mkdir -p large
for copy in 0 1 2 3 4 5 6 7; do
  for f in work/F*; do ln "$f" "large/C$copy$(basename "$f")"; done
  tr -d '\r' < work/catalog.dat | awk -v c="C$copy" '{ printf "%s %s %s%s\r\n", $1, $2, c, $3 }' >> large/catalog.dat
done
"$bxa" -p large.BXA large </dev/null >/dev/null || true
echo "archive: $(stat -c %s large.BXA) bytes, $(wc -l < large/catalog.dat) records"
middle=$(tr -d '\r' < large/catalog.dat | awk '$3 ~ /CSV$/ { n[++k] = $3 } END { print n[int(k / 2)] }')
head -c 2000 "large/$middle" > edited && mv edited "large/$middle"

# Any atomic replacement pays for the rename over the old archive (ext4 allocates and starts writing the new
# file's blocks then, so that a crash cannot leave an empty archive); cp into a file and mv over shows it.
# A durable update flushes the new archive before its rename: cp followed by sync is the yardstick for that.
# Each add adds a file of its own (NEW1.CSV, NEW2.CSV, ...), counted in a file.
cp large.BXA target.BXA
race cp "cp large.BXA copy.BXA" cpmv "cp large.BXA copy.BXA && mv copy.BXA target.BXA" \
  cpsync "cp large.BXA copy.BXA && sync" replace "'$bxa' -p -f '$middle' large.BXA large"
for yardstick in "cp:cp of the archive" "cpmv:cp, then mv over the archive" "cpsync:cp, then sync"; do
  eval "y_t=\$T_${yardstick%%:*}"
  report "bxa -p -f (256 MB archive)" "$T_replace" "$M_replace" "${yardstick#*:}" "$y_t"
done
for n in $(seq 1 "$Rounds"); do printf 'id,name\r\n%d,new\r\n' "$n" > "large/NEW$n.CSV"; done
echo 0 > added
race cp "cp large.BXA copy.BXA" cpmv "cp large.BXA copy.BXA && mv copy.BXA target.BXA" \
  cpsync "cp large.BXA copy.BXA && sync" \
  add "n=\$((\$(cat added) + 1)); echo \$n > added; '$bxa' -a -f NEW\$n.CSV large.BXA large"
for yardstick in "cp:cp of the archive" "cpmv:cp, then mv over the archive" "cpsync:cp, then sync"; do
  eval "y_t=\$T_${yardstick%%:*}"
  report "bxa -a -f (256 MB archive)" "$T_add" "$M_add" "${yardstick#*:}" "$y_t"
done
cd / && rm -rf "$scratch"
