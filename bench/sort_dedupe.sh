#!/usr/bin/env bash
# Times sort (-s 1) and duplicate removal (-nd 1, -ndl 1) on a generated ~200 MB table, each on a
# fresh copy, beside GNU sort and awk doing the same job on the same file and cp (the floor:
# reading and writing the bytes once). Prints seconds, MB/s, peak memory and the ratio of each
# tessarin mode to its yardstick and to cp. Usage: bench/sort_dedupe.sh path/to/tessarin [size-MB]
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

# best of 3: "seconds peak-KiB"; $PREPARE runs untimed before each run
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

report() {  # name seconds kib [yardstick-name yardstick-seconds]
  awk -v n="$1" -v s="$2" -v k="$3" -v y="${4:-}" -v ys="${5:-0}" -v f="$cp_s" -v b="$bytes" '
    BEGIN {
      if (s <= 0) s = 0.01;
      line = sprintf("%-18s %7.2f s %8.1f MB/s  peak %7.1f MB  %5.1fx cp", n, s, b / 1e6 / s,
                     k / 1024, s / f);
      if (y != "") line = line sprintf("  %5.2fx %s", s / ys, y);
      print line }'
}

read -r cp_s cp_k < <(measure cp "$table" copy.csv)
report "cp" "$cp_s" "$cp_k"
read -r sort_s sort_k < <(measure env LC_ALL=C sort -t, -k2,2 -V "$table" -o sorted.csv)
report "sort -k2,2 -V" "$sort_s" "$sort_k"
read -r awk_s awk_k < <(measure awk -F, '!seen[$2]++' "$table")
report "awk !seen[\$2]++" "$awk_s" "$awk_k"

for mode in "-s" "-nd" "-ndl"; do
  read -r s k < <(PREPARE='cp "$table" t.csv' measure "$tessarin" "$mode" 1 t.csv)
  if [ "$mode" = "-s" ]; then
    report "tessarin $mode 1" "$s" "$k" "sort" "$sort_s"
  else
    report "tessarin $mode 1" "$s" "$k" "awk" "$awk_s"
  fi
done
echo "table: $table ($((bytes / 1000000)) MB, $(wc -l < "$table") lines)"
