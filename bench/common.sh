# Shared by the benchmark scripts (sourced): the table of a given size, generated once into
# bench/data/ (ignored by git), and timing helpers.
set -euo pipefail
bench_here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bench_data="$bench_here/data"
mkdir -p "$bench_data"

# bench_table SIZE_MB: prints the path of the table of about that size, making it first. Tables
# above 200 MB repeat the rows of the 200 MB one (its header once), so they take seconds to make.
bench_table() {
  local size_mb="$1" table="$bench_data/table_${1}mb.csv"
  if [ ! -f "$table" ]; then
    if [ "$size_mb" -le 200 ]; then
      python3 "$bench_here/gen_table.py" "$table.part" "$size_mb"
    else
      local base copies i
      base="$(bench_table 200)"
      copies=$(( (size_mb + 199) / 200 ))
      { cat "$base"; for ((i = 1; i < copies; i++)); do tail -n +2 "$base"; done; } > "$table.part"
    fi
    mv "$table.part" "$table"
  fi
  echo "$table"
}

# timed OUT-FILE CMD...: runs the command once (stdout dropped) and appends "seconds KiB".
timed() {
  local out="$1"
  shift
  /usr/bin/time -f "%e %M" -o time.txt "$@" >/dev/null
  cat time.txt >> "$out"
}

# median FILE: the median seconds and the largest peak KiB of the runs in the file.
median() {
  sort -n -k1,1 "$1" | awk '{ s[NR] = $1; if ($2 > k) k = $2 }
    END { m = (NR % 2) ? s[(NR + 1) / 2] : (s[NR / 2] + s[NR / 2 + 1]) / 2; print m, k }'
}
