#!/usr/bin/env bash
# Times unpack, pack, unpack column and pack column on a generated ~200 MB table, beside cp of
# the same file (the floor: reading and writing the bytes once) and cat (the same through user
# space). Usage: bench/unpack_pack.sh path/to/tessarin [size-MB]
source "$(dirname "$0")/common.sh"

read -r cp_s cp_k < <(measure cp "$table" copy.csv)
report "cp" "$cp_s" "$cp_k"
read -r s k < <(measure sh -c 'cat "$1" > copy.csv' sh "$table")
report "cat" "$s" "$k"
cp "$table" t.csv
read -r s k < <(measure "$tessarin" -u t.csv)
report "tessarin -u" "$s" "$k"
read -r s k < <(measure "$tessarin" -p t.csv)
report "tessarin -p" "$s" "$k"
read -r s k < <(measure "$tessarin" -uc 2 t.csv)
report "tessarin -uc 2" "$s" "$k"
read -r s k < <(measure "$tessarin" -pc 2 t.csv)
report "tessarin -pc 2" "$s" "$k"
echo "table: $table ($((bytes / 1000000)) MB, $(wc -l < "$table") lines)"
