#!/bin/sh
# Runs the Wine test build: prepares its private Wine prefix once, keeps one Wine server up for the
# whole run (starting one per process would dominate the time), then runs ctest.
#   sh tests/windows/run_wine_tests.sh BUILD_DIR [ctest arguments...]
set -eu
build=$(cd "$1" && pwd)
shift
WINEPREFIX="$build/wineprefix"
WINEDEBUG=-all
WINEDLLOVERRIDES='mscoree,mshtml='
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
if [ ! -f "$WINEPREFIX/.prepared" ]; then
  echo "preparing the Wine prefix $WINEPREFIX"
  # Only the 64-bit half of Wine is installed, so wineboot reports the 32-bit tools it cannot start; the
  # prefix serves 64-bit programs all the same, and the tests below show whether it does.
  WINEARCH=win64 wineboot -i >"$build/wineboot.log" 2>&1 || true
  wineserver -w
  touch "$WINEPREFIX/.prepared"
fi
wineserver -p30
status=0
(cd "$build" && ctest --output-on-failure "$@") || status=$?
wineserver -k || true
exit $status
