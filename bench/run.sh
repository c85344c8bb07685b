#!/usr/bin/env bash
# All benchmarks: the table modes, then sort and duplicate removal.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/unpack_pack.sh" "$@"
"$here/sort_dedupe.sh" "$@"
