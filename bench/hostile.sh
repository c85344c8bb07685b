#!/usr/bin/env bash
# Times the inputs that once made runs crawl: the sort of keys rising then falling ("organ pipe")
# and a table of very many columns and two rows through every mode, each run on a fresh copy of
# its table. Each run is capped, so a slow binary reports "> CAP s" instead of holding the
# machine. Usage: bench/hostile.sh path/to/tessarin [rows] [columns] [cap-seconds]
set -euo pipefail
tessarin="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
rows="${2:-200000}"
columns="${3:-200000}"
cap="${4:-60}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
mkdir -p "$here/data"
work="$(mktemp -d "$here/data/hostile-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$here/gen_hostile.py" organ organ.csv "$rows"
python3 "$here/gen_hostile.py" wide w.csv "$columns"  # also w/w_N.txt and w/cN.txt for pack
cp w.csv wide.csv
last=$((columns - 1))
printf 'v%s\r\n' "$last" > col.txt

# time_run label table-copy command...: copies the table fresh, then one run under the cap;
# prints the wall-clock seconds and the processor seconds (user + system) of the run.
time_run() {
  local label="$1" source="$2" code=0
  shift 2
  cp "$source" t.csv
  cp "$source" w.csv
  /usr/bin/time -f "%e %U %S" -o time.txt timeout "$cap" "$@" >/dev/null 2>&1 || code=$?
  if [ "$code" -eq 124 ]; then
    printf '%-28s  > %s s\n' "$label" "$cap"
  else
    read -r wall user sys < <(tail -n 1 time.txt)
    printf '%-28s %6.2f s  (cpu %6.2f s, exit %s)\n' "$label" "$wall" \
      "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" "$code"
  fi
}

echo "organ-pipe sort, $rows rows ($(stat -c %s organ.csv) bytes):"
time_run "-s 0" organ.csv "$tessarin" -s 0 t.csv
echo "wide table, $columns columns x 2 rows ($(stat -c %s wide.csv) bytes):"
printf '%-28s %6.2f s  (the file system'"'"'s floor for unpack)\n' "write $columns small files" \
  "$(python3 "$here/gen_hostile.py" floor floor "$columns")"
rm -rf floor
time_run "-u (new folder)" wide.csv "$tessarin" -u w.csv out1/
time_run "-u -ncfl (new folder)" wide.csv "$tessarin" -u -ncfl w.csv out2/
time_run "-p" wide.csv "$tessarin" -p w.csv
time_run "-p -ncfl" wide.csv "$tessarin" -p -ncfl w.csv
time_run "-uc $last" wide.csv "$tessarin" -uc "$last" w.csv out.txt
time_run "-ucn c$last" wide.csv "$tessarin" -ucn "c$last" w.csv out.txt
time_run "-ucn (not in header)" wide.csv "$tessarin" -ucn nosuch w.csv out.txt
time_run "-pc $last" wide.csv "$tessarin" -pc "$last" w.csv col.txt
time_run "-pcn c$last" wide.csv "$tessarin" -pcn "c$last" w.csv col.txt
time_run "-pcn (not in header)" wide.csv "$tessarin" -pcn nosuch w.csv col.txt
time_run "-s $last" wide.csv "$tessarin" -s "$last" w.csv
time_run "-nd $last" wide.csv "$tessarin" -nd "$last" w.csv
time_run "-ndl $last" wide.csv "$tessarin" -ndl "$last" w.csv
