#!/usr/bin/env bash
# Times every job of tessarin beside the plain tool a user would reach for instead (its
# yardstick), on the same table, in alternating runs (one untimed, then RUNS of each, default
# 3; the median counts), and prints seconds, peak memory and the ratio to the yardstick. The
# table has 12 columns and quoted fields, some with line breaks.
# Usage: bench/run.sh path/to/tessarin        (200 MB table)
#        BENCH_2GB=1 bench/run.sh ...         (the 200 MB table, then a 2 GB one)
#        BENCH_SIZES="50 200" bench/run.sh ...
#        BENCH_JOBS='^-nd' bench/run.sh ...    (only the jobs whose name matches)
source "$(dirname "$0")/common.sh"
tessarin="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
runs="${RUNS:-3}"
sizes="${BENCH_SIZES:-200}"
if [ "${BENCH_2GB:-0}" != 0 ]; then sizes="$sizes 2000"; fi

# Each job: name | target ratio | untimed preparation | tessarin command | yardstick name |
# yardstick command. Every timed run starts after a sync, so that no run pays for the system
# writing out what an earlier command wrote (a yardstick's output is still being written out
# when the next command starts; tessarin flushes the files it replaces within its own run).
# Commands run in the scratch folder; t.csv is the table (read only), u/ holds its column
# files, col.txt column 3 as -uc writes it, flat.csv the table without the second lines of its
# two-line records.
jobs() {
  cat <<'JOBS'
-u|5|rm -rf u|"$tessarin" -u u.csv|cp of the table|cp t.csv copy.csv
-u|0.1|rm -rf u|"$tessarin" -u u.csv|cut -f$i once per column|for i in $(seq 1 12); do cut -d, -f$i t.csv > cut_$i.txt; done
-p|0.5|cp t.csv p.csv|"$tessarin" -p p.csv|paste -d, of the 12 files|paste -d, $(for i in $(seq 0 11); do echo p/p_$i.txt; done) > pasted.csv
-uc 3|0.5|:|"$tessarin" -uc 3 t.csv col.txt|cut -d, -f4|cut -d, -f4 t.csv > cut.txt
-pc 3|0.3|cp t.csv pc.csv|"$tessarin" -pc 3 pc.csv col.txt|paste <(cut -f1-3) col <(cut -f5-)|paste -d, <(cut -d, -f1-3 t.csv) col.txt <(cut -d, -f5- t.csv) > pasted.csv
-s 1|0.3|cp t.csv s.csv|"$tessarin" -s 1 s.csv|LC_ALL=C sort -t, -k2,2 -V|LC_ALL=C sort -t, -k2,2 -V t.csv -o sorted.csv
-nd 1|0.5|cp t.csv d.csv|"$tessarin" -nd 1 d.csv|datamash -t, rmdup 2|datamash -t, rmdup 2 < flat.csv > rmdup.csv
-ndl 1|0.6|cp t.csv d.csv|"$tessarin" -ndl 1 d.csv|datamash -t, rmdup 2|datamash -t, rmdup 2 < flat.csv > rmdup.csv
JOBS
}

for size in $sizes; do
  table="$(bench_table "$size")"
  work="$(mktemp -d "$bench_data/run-XXXXXX")"
  trap 'rm -rf "$work"' EXIT
  cd "$work"
  ln -s "$table" t.csv
  # The column files pack reads and the text file pack column reads, made once.
  cp "$table" u.csv && "$tessarin" -u u.csv >/dev/null
  mkdir p && for f in u/u_*.txt; do b="${f##*/}"; cp "$f" "p/p_${b#u_}"; done
  "$tessarin" -uc 3 t.csv col.txt >/dev/null
  # datamash refuses the second lines of records that span two lines: it gets the table
  # without them.
  grep -E '^[0-9]|^id,' t.csv > flat.csv
  printf '%s\n' "table: $table ($(($(stat -L -c %s t.csv) / 1000000)) MB), $runs alternating runs each, median"
  printf '%-6s %8s %9s  %8s %-34s %7s %7s\n' job tessarin peak-MiB yardstick "" ratio target
  while IFS='|' read -r name target prepare ours yardname yard; do
    [[ "$name" =~ ${BENCH_JOBS:-.} ]] || continue
    : > ours.txt
    : > yard.txt
    # Run -1 is an untimed warm-up of both. On a virtual machine, memory the system has not
    # used for a while can cost far more the first time it is touched again: a job whose new
    # file needs room beside the old one paid for that most in its first runs.
    for ((run = -1; run < runs; run++)); do
      eval "$prepare"
      if ((run < 0)); then
        bash -c "tessarin='$tessarin'; $ours" >/dev/null
        bash -c "$yard" >/dev/null
        continue
      fi
      sync
      timed ours.txt bash -c "tessarin='$tessarin'; $ours"
      sync
      timed yard.txt bash -c "$yard"
    done
    read -r os ok < <(median ours.txt)
    read -r ys _ < <(median yard.txt)
    awk -v n="$name" -v os="$os" -v ok="$ok" -v yn="$yardname" -v ys="$ys" -v t="$target" 'BEGIN {
      r = os / (ys > 0 ? ys : 0.01)
      printf "%-6s %7.2fs %9.1f  %7.2fs %-34s %6.2fx %6sx%s\n", n, os, ok / 1024, ys, yn, r, t,
             (r <= t ? "" : "  (over)") }'
  done < <(jobs)
  cd - >/dev/null
  rm -rf "$work"
  trap - EXIT
done
