#!/bin/sh
# Checks that a shared library exports its public interface and nothing else: every defined dynamic symbol
# must be one of the classes or functions that the header marks BXA_API (their members, type information
# and tables included), and each of those must be there.
# usage: check_exports.sh LIBRARY HEADER
set -eu
library=$1
header=$2
names=$(sed -n -e 's/^class BXA_API \([A-Za-z_]*\).*/\1/p' \
               -e 's/^BXA_API [^(]* \([A-Za-z_]*\)(.*/\1/p' "$header" | sort -u)
[ -n "$names" ] || { echo "no BXA_API names in $header"; exit 1; }
symbols=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TtWwVvDdBbRru]$/ { print $3 }' | c++filt)
status=0
echo "$symbols" | while IFS= read -r symbol; do
  [ -z "$symbol" ] && continue
  ok=no
  for name in $names; do
    case "$symbol" in
      "bxa::$name("*|"bxa::$name::"*|"typeinfo for bxa::$name"*|"typeinfo name for bxa::$name"*|"vtable for bxa::$name"*) ok=yes ;;
    esac
  done
  if [ $ok = no ]; then echo "exported but not public: $symbol"; exit 1; fi
done || status=1
for name in $names; do
  echo "$symbols" | grep -q "^bxa::$name[(:]" || { echo "public but not exported: $name"; status=1; }
done
[ $status -eq 0 ] && echo "$library exports only its public interface: $(echo "$names" | tr '\n' ' ')"
exit $status
