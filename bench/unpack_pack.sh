#!/usr/bin/env bash
# Times unpack, pack, unpack column and pack column on a generated ~200 MB table, beside cp of
# the same file (the floor: reading and writing the bytes once). Prints seconds, MB/s, peak
# memory and the ratio to cp. Usage: bench/unpack_pack.sh path/to/tessarin [size-MB]
set -euo pipefail
tessarin="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
size_mb="${2:-200}"
here="$(cd "$(dirname "$0")" && pwd)"
data="$here/data"
mkdir -p "$data"
table="$data/table_${size_mb}mb.csv"
[ -f "$table" ] || python3 "$here/gen_table.py" "$table" "$size_mb"
bytes=$(stat -c %s "$table")
work="$(mktemp -d "$data/run-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

# best of 3: "seconds peak-KiB"
measure() {
  local best="" rss=0
  for _ in 1 2 3; do
    [ -n "${PREPARE:-}" ] && eval "$PREPARE"
    /usr/bin/time -f "%e %M" -o time.txt "$@" >/dev/null
    read -r secs kib < time.txt
    if [ -z "$best" ] || awk "BEGIN{exit !($secs < $best)}"; then best=$secs; rss=$kib; fi
  done
  echo "$best $rss"
}

report() {  # name seconds kib floor-seconds
  awk -v n="$1" -v s="$2" -v k="$3" -v f="$4" -v b="$bytes" 'BEGIN {
    if (s <= 0) s = 0.01;
    printf "%-16s %7.2f s %8.1f MB/s  peak %7.1f MB  %5.1fx cp\n", n, s, b / 1e6 / s, k / 1024, s / f }'
}

cp "$table" t.csv
read -r cp_s cp_k < <(measure cp "$table" copy.csv)
report "cp" "$cp_s" "$cp_k" "$cp_s"
read -r s k < <(measure "$tessarin" -u t.csv)
report "unpack -u" "$s" "$k" "$cp_s"
read -r s k < <(PREPARE='cp "$table" t.csv' measure "$tessarin" -p t.csv)
report "pack -p" "$s" "$k" "$cp_s"
read -r s k < <(measure "$tessarin" -uc 2 t.csv)
report "unpack col -uc" "$s" "$k" "$cp_s"
read -r s k < <(measure "$tessarin" -pc 2 t.csv)
report "pack col -pc" "$s" "$k" "$cp_s"
echo "table: $table ($((bytes / 1000000)) MB)"
