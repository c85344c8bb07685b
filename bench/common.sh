# Shared by the benchmark scripts (sourced): settles the binary, generates the ~SIZE MB table once
# into bench/data/ (ignored by git), enters a scratch folder beside it, and defines measure (best
# of 3, "seconds peak-KiB"; $PREPARE runs untimed before each run) and report.
# Arguments of the sourcing script: path/to/tessarin [size-MB]
set -euo pipefail
tessarin="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
size_mb="${2:-200}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
data="$here/data"
mkdir -p "$data"
table="$data/table_${size_mb}mb.csv"
[ -f "$table" ] || python3 "$here/gen_table.py" "$table" "$size_mb"
bytes=$(stat -c %s "$table")
work="$(mktemp -d "$data/run-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

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

# report name seconds kib [yardstick-name yardstick-seconds]; needs $cp_s (the floor) first
report() {
  awk -v n="$1" -v s="$2" -v k="$3" -v y="${4:-}" -v ys="${5:-0}" -v f="${cp_s:-$2}" -v b="$bytes" '
    BEGIN {
      if (s <= 0) s = 0.01;
      line = sprintf("%-18s %7.2f s %8.1f MB/s  peak %7.1f MB  %5.1fx cp", n, s, b / 1e6 / s,
                     k / 1024, s / f);
      if (y != "") line = line sprintf("  %5.2fx %s", s / ys, y);
      print line }'
}
