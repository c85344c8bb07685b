#!/usr/bin/env bash
# Times sort (-s 1) and duplicate removal (-nd 1, -ndl 1) on a generated ~200 MB table, each on a
# fresh copy, beside GNU sort and awk doing the same job on the same file and cp (the floor:
# reading and writing the bytes once). Prints seconds, MB/s, peak memory and the ratio of each
# tessarin mode to its yardstick and to cp. Usage: bench/sort_dedupe.sh path/to/tessarin [size-MB]
source "$(dirname "$0")/common.sh"

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
