#!/usr/bin/env bash
# CI, Windows part (after the Linux tests, whose build folder is $1, default build-ci): the
# MinGW-w64 cross-build of the program and its tests, the tests run under Wine, the same jobs
# run by both builds must write the same files, and the .zip of the Windows build when the
# packaging knows it. Debian 12; installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build="${1:-build-ci}"
build=build-ci-win
started=$SECONDS

need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need+=(g++-mingw-w64-x86-64-posix)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
[ -d /usr/src/googletest ] || need+=(googletest)
[ -f /usr/share/i18n/locales/ja_JP ] || need+=(locales)
.ci/apt-install.sh ${need[@]+"${need[@]}"}
installed=$SECONDS

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DTESSARIN_WERROR=ON
cmake --build "$build" -j 2
built=$SECONDS
# A prefix of our own, its server kept up until the end (the trap): without it every test
# start costs seconds, and the first one can hang until the ctest timeout. Set up after the
# build, which runs nothing under Wine, so the server does not time out meanwhile.
export WINEPREFIX="${TMPDIR:-/tmp}/tessarin-ci-wineprefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
trap '/usr/lib/wine/wineserver64 -k 2>/dev/null || true' EXIT
/usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1
/usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1
# Wine stores Shift-JIS file names only when the Unix locale exists; made in a folder of our
# own (LOCPATH), the system's locales stay as they are.
export LOCPATH="${TMPDIR:-/tmp}/tessarin-ci-locales"
mkdir -p "$LOCPATH"
[ -d "$LOCPATH/ja_JP.UTF-8" ] || localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8"

ctest --test-dir "$build" --output-on-failure
tests/windows/compare_with_linux.sh "$linux_build/tessarin" "$build/tessarin.exe"

# The .zip for Windows users: tessarin.exe, the README and the license.
if grep -qs ZIP cmake/Packaging.cmake; then
  (cd "$build" && cpack -G ZIP)
  zip_file="$(ls "$build"/*.zip | head -n 1)"
  listing="$(cmake -E tar tf "$zip_file")"
  for wanted in tessarin.exe README LICENSE; do
    grep -q "$wanted" <<<"$listing" || { echo "$zip_file lacks $wanted"; exit 1; }
  done
  echo "$zip_file holds:"; echo "$listing"
else
  echo "no ZIP generator in cmake/Packaging.cmake yet: the Windows .zip is not built"
fi
echo "Windows part: $((SECONDS - started)) s (install $((installed - started)) s," \
  "cross-build $((built - installed)) s, tests and comparison $((SECONDS - built)) s)"
