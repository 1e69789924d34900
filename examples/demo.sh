#!/bin/sh
# The main job on the bundled example: pack the example work directory into an archive, unpack that
# archive into a fresh directory, and show that every file came back identical. Then list the bundled
# example archive with -t.
set -eu
# bxa ends with status 1 after every command it ran (-1 only for a malformed command line); a failure
# shows as the closing prompt and, here, as files that do not compare equal.
bxa=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$root/build/demo
rm -rf "$scratch"
mkdir -p "$scratch"
cp -r "$root/examples/work" "$scratch/work"
cd "$scratch"

echo "== bxa -p demo.BXA work"
"$bxa" -p demo.BXA work </dev/null || true
echo
echo "== bxa -u demo.BXA unpacked"
"$bxa" -u demo.BXA unpacked </dev/null || true
echo
echo "== comparing the unpacked files with the originals"
status=0
for name in $(tr -d '\r' < work/catalog.dat | awk '{print $3}'); do
  if cmp -s "work/$name" "unpacked/$name"; then
    echo "identical: $name"
  else
    echo "DIFFERENT: $name"; status=1
  fi
done
echo
echo "== bxa -t examples/example.BXA listing"
"$bxa" -t "$root/examples/example.BXA" listing </dev/null || true
echo
echo "listing/catalog.dat (original size, method, name):"
cat listing/catalog.dat
exit $status
