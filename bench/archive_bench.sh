#!/bin/sh
# End-to-end archive benchmarks, each against a yardstick measured in the same run:
#   bxa -u on a ~64 MB archive, one thread    vs  bxa_baseline expand (every record straight into its file)
#   bxa -p of its work directory, one thread  vs  bxa_baseline compress (every listed file into one file)
#   bxa -u and -p with 1, 2, 4, ... and all cores, against one thread
#   bxa -p -f / -a -f of one small file in a ~256 MB archive  vs  cp of that archive (and cp + sync)
# Wall time is the best of three runs, with the CPU time (user + system) of that run beside it: the disk of
# a shared virtual machine makes wall time noisy, CPU time much less so. Peak memory is the largest
# resident set (GNU time's %M).
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

# best_of3 COMMAND...: prints "seconds peak_kb cpu_seconds" of the fastest of three runs.
best_of3() {
  best=""
  for i in 1 2 3; do
    # Write back what earlier steps left dirty, so that it is not charged to this run.
    sync
    /usr/bin/time -f "%e %M %U %S" -o time.txt "$@" </dev/null >/dev/null 2>&1 || true
    read -r t m u k <<EOF_T
$(tail -n 1 time.txt)
EOF_T
    if [ -z "$best" ] || awk "BEGIN { exit !($t < $best) }"; then
      best=$t; peak=$m; cpu=$(awk "BEGIN { printf \"%.2f\", $u + $k }")
    fi
  done
  echo "$best $peak $cpu"
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
  set -- $(best_of3 taskset -c 0 "$bxa" -u big.BXA unpacked); u_t=$1; u_m=$2; u_c=$3
  set -- $(best_of3 "$baseline" expand big.BXA expanded); b_t=$1; b_c=$3
  report "bxa -u 1 thread (64 MB, $corpus)" "$u_t" "$u_m" "baseline expand" "$b_t" "$u_c" "$b_c"

  set -- $(best_of3 taskset -c 0 "$bxa" -p packed.BXA work); p_t=$1; p_m=$2; p_c=$3
  set -- $(best_of3 "$baseline" compress work compressed.bin); c_t=$1; c_c=$3
  report "bxa -p 1 thread (64 MB, $corpus)" "$p_t" "$p_m" "baseline compress" "$c_t" "$p_c" "$c_c"

  # Every core: bxa takes the processors it may run on, so taskset sets its thread count.
  printf '%-10s %10s %10s %10s %10s %10s\n' threads "-u s" "-u x" "-p s" "-p x" "-p peak KB"
  for n in $counts; do
    set -- $(best_of3 taskset -c "0-$((n - 1))" "$bxa" -u big.BXA unpacked); un_t=$1
    set -- $(best_of3 taskset -c "0-$((n - 1))" "$bxa" -p packed.BXA work); pn_t=$1; pn_m=$2
    printf '%-10s %10s %10s %10s %10s %10s\n' "$n" "$un_t" "$(ratio "$u_t" "$un_t")" "$pn_t" "$(ratio "$p_t" "$pn_t")" "$pn_m"
  done
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
printf 'id,name\r\n1,new\r\n' > large/NEWFILE.CSV

set -- $(best_of3 cp large.BXA copy.BXA); cp_t=$1
# Any atomic replacement pays for the rename over the old archive (ext4 allocates and starts writing the new
# file's blocks then, so that a crash cannot leave an empty archive); cp into a file and mv over shows it.
cp large.BXA target.BXA
set -- $(best_of3 sh -c 'cp large.BXA copy.BXA && mv copy.BXA target.BXA'); cpmv_t=$1
# A durable update flushes the new archive before its rename: cp followed by sync is the yardstick for that.
set -- $(best_of3 sh -c 'cp large.BXA copy.BXA && sync'); cpsync_t=$1
set -- $(best_of3 "$bxa" -p -f "$middle" large.BXA large); r_t=$1; r_m=$2
report "bxa -p -f (256 MB archive)" "$r_t" "$r_m" "cp of the archive" "$cp_t"
report "bxa -p -f (256 MB archive)" "$r_t" "$r_m" "cp, then mv over the archive" "$cpmv_t"
report "bxa -p -f (256 MB archive)" "$r_t" "$r_m" "cp, then sync" "$cpsync_t"
cp large.BXA before-add.BXA
a_best=""
for i in 1 2 3; do
  cp before-add.BXA large.BXA
  sync
  /usr/bin/time -f "%e %M" -o time.txt "$bxa" -a -f NEWFILE.CSV large.BXA large </dev/null >/dev/null 2>&1 || true
  read -r t m <<EOF_T
$(tail -n 1 time.txt)
EOF_T
  if [ -z "$a_best" ] || awk "BEGIN { exit !($t < $a_best) }"; then a_best=$t; a_m=$m; fi
done
report "bxa -a -f (256 MB archive)" "$a_best" "$a_m" "cp of the archive" "$cp_t"
report "bxa -a -f (256 MB archive)" "$a_best" "$a_m" "cp, then mv over the archive" "$cpmv_t"
report "bxa -a -f (256 MB archive)" "$a_best" "$a_m" "cp, then sync" "$cpsync_t"
cd / && rm -rf "$scratch"
