#!/usr/bin/env bash
# Unpacks each bundled example table into its column files, shows them, packs them back and
# checks that a second round gives the same bytes. Works on copies in a scratch folder.
set -euo pipefail
tessarin="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
examples="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/tessarin-demo-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

for table in products.csv contacts.csv inventory.txt; do
  cp "$examples/$table" .
  base="${table%.*}"
  echo "=== $table"
  "$tessarin" -u "$table"
  for file in "$base"/*.txt; do
    echo "--- $file"
    # The UTF-16 table's files hold UTF-8 text; every line ends in CR LF.
    tr -d '\r' < "$file" | sed 's/^/    /'
  done
  "$tessarin" -p "$table"
  first="$(mktemp)"
  cp "$table" "$first"
  "$tessarin" -u "$table" && "$tessarin" -p "$table"
  if cmp -s "$table" "$first"; then
    echo "round trip: unpack -> pack -> unpack -> pack gives the same bytes"
  else
    echo "round trip: MISMATCH" >&2
    exit 1
  fi
  rm -f "$first"
done

echo "=== one column through a text file: translate the names of products.csv"
cp "$examples/products.csv" .
"$tessarin" -ucn name -ncfld0 -qopt products.csv names.txt
tr -d '\r' < names.txt | sed 's/^/    /'
printf 'Apples\r\nCreme brulee\r\nDumplings\r\nTea\r\n' > names.txt
"$tessarin" -pcn name -ncfld0 -qopt products.csv names.txt
tr -d '\r' < products.csv | sed 's/^/    /'
