#!/usr/bin/env bash
# Unpacks each bundled example table into its column files, shows them, packs them back and
# compares the result with the ORIGINAL table: what differs is shown, with the options that
# keep it. Works on copies in a scratch folder.
set -euo pipefail
tessarin="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
examples="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/tessarin-demo-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

# Shows a file's lines indented, without their CR LF line ends.
show() { tr -d '\r' < "$1" | sed 's/^/    /'; }

# The text of a table as UTF-8 lines ending in LF: a UTF-16 table (FF FE or FE FF first) is
# converted, so that a comparison shows characters rather than bytes.
text_of() {
  case "$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')" in
    fffe | feff) iconv -f UTF-16 -t UTF-8 "$1" ;;
    *) cat "$1" ;;
  esac | sed 's/\r$//'
}

# Unpacks and packs a copy of the table with the options given, then compares it with the
# original; prints the changed lines when there are any.
round_trip() {
  local table="$1"
  shift
  cp "$examples/$table" "original-$table"
  cp "$examples/$table" "$table"
  "$tessarin" "$@" -u "$table" >/dev/null
  "$tessarin" "$@" -p "$table" >/dev/null
  if cmp -s "$table" "original-$table"; then
    echo "  -u then -p${*:+ with $*}: the same bytes as the original"
  else
    echo "  -u then -p${*:+ with $*}: differs from the original (original <, packed >):"
    diff <(text_of "original-$table") <(text_of "$table") | grep '^[<>]' | sed 's/^/      /' ||
      true
    if [ "$(text_of "original-$table" | md5sum)" = "$(text_of "$table" | md5sum)" ]; then
      echo "      (the same text: only the line ends or the byte-order mark differ)"
    fi
  fi
  rm -rf "${table%.*}" "original-$table"
}

for table in products.csv contacts.csv inventory.txt; do
  cp "$examples/$table" .
  base="${table%.*}"
  echo "=== $table"
  "$tessarin" -u "$table"
  for file in "$base"/*.txt; do
    echo "--- $file"
    show "$file"  # the UTF-16 table's files hold UTF-8 text
  done
  rm -rf "$base" "$table"
  echo "--- back into a table, compared with the original"
  round_trip "$table"
  round_trip "$table" -qopt
done
cat <<'TEXT'

What comes back:
  - By default every value comes back, but a line break inside a quoted field is stored as the
    token \r\n, and every field of a quoted table is enclosed in quotes.
  - With -qopt the table's own line breaks and its minimal quoting are kept. Text in a value
    that reads like a token (\t, \n, \x0D, ...) would come back as the byte it names; unpack
    says so on standard error when a table holds such text.
TEXT

echo
echo "=== one column through a text file: translate the names of products.csv"
cp "$examples/products.csv" .
"$tessarin" -ucn name -ncfld0 -qopt products.csv names.txt
show names.txt
printf 'Apples\r\nCreme brulee\r\nDumplings\r\nTea\r\n' > names.txt
"$tessarin" -pcn name -ncfld0 -qopt products.csv names.txt
show products.csv

echo
echo "=== the same through a pipe: the city column of contacts.csv in capitals"
cp "$examples/contacts.csv" .
"$tessarin" -uc 2 contacts.csv - | tr '[:lower:]' '[:upper:]' | "$tessarin" -qopt -pc 2 contacts.csv -
show contacts.csv
