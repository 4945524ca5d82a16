#!/usr/bin/env bash
# Times tallyer over a generated tree of 200,000 files, side by side with
# `find DIR -type f | sort` over the same tree. Best of five runs each, warm cache.
#   bench/tallyer_bench.sh [build dir] [files]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
files=${2:-200000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/bench_generate" tree "$work/tree" "$files" >/dev/null
mkdir -p "$work/out"

best() { # command...
  local best=999999 t0 t1 ms
  for _ in 1 2 3 4 5; do
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s%N)
    ms=$(((t1 - t0) / 1000000))
    ((ms < best)) && best=$ms
  done
  echo "$best"
}

find_sort() { find "$work/tree" -type f | LC_ALL=C sort >/dev/null; }
run_tallyer() { (cd "$work/out" && XDG_RUNTIME_DIR="$work" "$build/src/builder/tool/tallyer" "BASEDIR=$work/tree/" LABEL=Bench); }

run_tallyer
tallyer_ms=$(best run_tallyer)
find_ms=$(best find_sort)
echo "files:            $files"
echo "lines written:    $(($(wc -l <"$work/out/Bench.cd") - 4))"
echo "tallyer:          ${tallyer_ms} ms"
echo "find | sort:      ${find_ms} ms"
awk -v a="$tallyer_ms" -v b="$find_ms" 'BEGIN { printf "ratio:            %.2f\n", a / (b ? b : 1) }'
