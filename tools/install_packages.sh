#!/bin/sh
# The Debian packages each job needs, in one place for make and CI: installs the missing ones with apt-get
# when running as root, otherwise prints the one command that installs them and stops.
#   install_packages.sh build   what make demo needs: the compiler and the build tools
#   install_packages.sh test    what make test and make test-windows need besides (the Windows cross
#                               compiler and Wine; assimp and Chromium for bxa-view's tests)
set -eu

build="cmake ninja-build g++ make python3"
test="$build libgtest-dev googletest libbenchmark-dev zlib1g-dev clang libclang-rt-14-dev groff-base strace
      pkg-config g++-mingw-w64-x86-64-posix wine wine64 assimp-utils chromium"
# bxa-view builds its page with Node.js and npm; a Node.js that came with its own npm is kept (Debian's npm
# package would conflict with it).
command -v npm >/dev/null 2>&1 || test="$test nodejs npm"

case "${1:-}" in
  build) wanted=$build ;;
  test) wanted=$test ;;
  *) echo "usage: $0 build|test" >&2; exit 2 ;;
esac

if ! command -v dpkg >/dev/null 2>&1; then
  echo "not a Debian system: make sure these (or their equivalents) are installed: $wanted" >&2
  exit 0
fi
missing=""
for p in $wanted; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
  echo "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $missing
else
  echo "missing packages; install them with:" >&2
  echo "  sudo apt-get install -y --no-install-recommends$missing" >&2
  exit 1
fi
