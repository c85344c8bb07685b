#!/usr/bin/env bash
# Runs the same jobs with the Linux build and the Windows build (under Wine) on copies of the
# examples and checks that both write the same files and exit alike. Needs the MinGW-w64 and
# Wine packages (g++-mingw-w64-x86-64-posix wine64); not part of `make test`.
# .ci/windows.sh runs it; by hand:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DTESSARIN_TESTS=OFF
#   cmake --build build-win && tests/windows/compare_with_linux.sh build/tessarin build-win/tessarin.exe
set -euo pipefail
linux="$(realpath "$1")"
windows="$(realpath "$2")"
examples="$(cd "$(dirname "$0")/../../examples" && pwd)"
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/tessarin-wineprefix}" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wine=/usr/lib/wine/wine64
"$wine" wineboot --init </dev/null >/dev/null 2>&1
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/linux" "$work/windows"
for side in linux windows; do
  cp "$examples"/*.csv "$examples"/*.txt "$work/$side/"
  printf 'x;1\r\n"y\r\nz";2\r\nx;3\r\n' > "$work/$side/multi.csv"
  printf 'Berlin\r\n\r\nOslo\r\n' > "$work/$side/cities.txt"
done
# Every mode, every option family (delimiter, quote, quoting, column count, escape styles,
# header names, clear-empty, names of files), the argument errors and a missing table.
jobs=("-u products.csv" "-p products.csv" "-u -ncfld0 contacts.csv" "-p -ncfld0 contacts.csv"
      "-u inventory.txt" "-p -qopt inventory.txt" "-ucn name -ncfld0 products.csv n.txt"
      "-pcn name -ncfld0 -qopt products.csv n.txt" "-s 0 inventory.txt" "-ndl 0 multi.csv"
      "-u -fehex -qopt multi.csv" "-u PRODUCTS.CSV" "-u missing.csv" "-s x multi.csv"
      "-u -feda -c 2 -namefiles part contacts.csv cols" "-p -feda -namefiles part contacts.csv cols"
      "-u -fehlm -ncfl products.csv byname" "-p -fehlm -ncfl -qopt products.csv byname"
      "-u -fenone -d ; -q ' multi.csv plain" "-uc 3 products.csv c3.txt"
      "-pc 1 -ce products.csv c3.txt" "-ucn NOTES contacts.csv" "-pcn city contacts.csv cities.txt"
      "-s 2 -ncfl contacts.csv" "-nd 1 multi.csv" "-ndl 2 -ncfld0 products.csv" "-s -1 products.csv"
      "-c x -u products.csv" "-d" "--version" "-uc 0 - out.txt")
failed=0
ran=0
for job in "${jobs[@]}"; do
  # shellcheck disable=SC2086
  l=0; (cd "$work/linux" && "$linux" $job </dev/null >/dev/null 2>&1) || l=$?
  w=0; (cd "$work/windows" && "$wine" "$windows" $job </dev/null >/dev/null 2>&1) || w=$?
  if [ "$l" != "$w" ]; then echo "exit codes differ ($l, $w): $job"; failed=1; fi
  ran=$((ran + 1))
done
if ! diff -r "$work/linux" "$work/windows"; then failed=1; fi
[ "$failed" = 0 ] && echo "$ran jobs: the Windows build wrote the same files as the Linux build"
exit "$failed"
