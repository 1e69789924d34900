#!/bin/sh
# Makes the seed corpora of the archive fuzz targets with bxa itself, from the example work directory:
# well-formed archives with every storage method and every model kind (archive_unpack, archive_update),
# and work directories to pack in the targets' input form (archive_pack).
#
# Usage: fuzz/archive/make_seed_corpus.sh path/to/bxa
set -eu
bxa=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
examples=$root/examples/work
unpack=$root/fuzz/corpus/archive_unpack
update=$root/fuzz/corpus/archive_update
pack=$root/fuzz/corpus/archive_pack
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$unpack" "$update" "$pack"

crlf() { printf '%s\r\n' "$@"; }

# pack_seed NAME "METHOD FILE" ...: packs the example files with the given methods into NAME.BXA.
pack_seed() {
  name=$1; shift
  rm -rf "$scratch/work" && mkdir "$scratch/work"
  : > "$scratch/work/catalog.dat"
  for line in "$@"; do
    set -- $line
    cp "$examples/$2" "$scratch/work/$2" 2>/dev/null || printf 'plain bytes %s\n' "$2" > "$scratch/work/$2"
    crlf "0 $1 $2" >> "$scratch/work/catalog.dat"
  done
  # bxa ends with status 1 after every command; the closing prompt is what tells a failure.
  if (cd "$scratch" && "$bxa" -p "$name.BXA" work < /dev/null) | grep -q 'Press any key'; then
    echo "packing seed $name failed" >&2
    exit 1
  fi
  cp "$scratch/$name.BXA" "$unpack/$name.BXA"
  cp "$scratch/$name.BXA" "$update/$name.BXA"
}

all="PRICES.CSV LEVEL.DAT CRATE.BMP PANEL.R7D BOAT.R7P BUSH.R7T"
pack_seed example "2 PRICES.CSV" "2 LEVEL.DAT" "1 CRATE.BMP" "1 PANEL.R7D" "1 BOAT.R7P" "1 BUSH.R7T"
for method in 0 1 2 3 5 4 -1; do
  set --
  for file in $all; do set -- "$@" "$method $file"; done
  pack_seed "all_method_$method" "$@"
done
for file in $all; do
  pack_seed "one_$file" "1 $file"
  pack_seed "stored_$file" "0 $file"
done
pack_seed empty
pack_seed mixed "0 CRATE.BMP" "1 PANEL.R7D" "2 BUSH.R7T" "5 BOAT.R7P" "3 LEVEL.DAT" "2 PRICES.CSV"
pack_seed other_names "2 a.DAT" "1 b.BIN" "0 c"

# Pack inputs: catalog.dat, then A.R7D, B.R7P, C.R7T, D.CSV, E.BMP, F.DAT and G, separated by "\n====\n".
pack_input() {
  out=$1; shift
  {
    for line in "$@"; do crlf "$line"; done
    for file in PANEL.R7D BOAT.R7P BUSH.R7T PRICES.CSV CRATE.BMP LEVEL.DAT; do
      printf '\n====\n'
      cat "$examples/$file"
    done
    printf '\n====\n'
    printf 'G: plain bytes\001\002\003'
  } > "$pack/$out"
}
pack_input all_kinds "0 1 A.R7D" "0 1 B.R7P" "0 1 C.R7T" "0 2 D.CSV" "0 1 E.BMP" "0 2 F.DAT" "0 1 G"
pack_input stored "0 0 A.R7D" "0 0 B.R7P" "0 0 C.R7T" "0 0 D.CSV" "0 5 E.BMP" "0 3 F.DAT" "0 -1 G"
pack_input ascii "0 2 A.R7D" "0 2 B.R7P" "0 2 C.R7T" "0 2 G"
pack_input models "0 1 A.R7D" "0 1 B.R7P" "0 1 C.R7T"
pack_input twice "0 1 D.CSV" "0 1 D.CSV"
pack_input missing "0 1 D.CSV" "0 1 Z.R7T"
pack_input blank "0 1 D.CSV" ""
pack_input empty
echo "seeds: $(ls "$unpack" | wc -l) archives, $(ls "$pack" | wc -l) pack inputs"
