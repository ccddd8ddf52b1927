#!/usr/bin/env bash
# Instructions per element-cycle of the element pass, counted by callgrind.
#
# Runs the element-pass benchmark twice under callgrind on the same block
# (default: 20x20x20 Johnson-Cook steel with Flanagan-Belytschko hourglass
# control, no warm-up), for a short and a longer run; the difference of the
# two instruction totals divided by elements x extra steps is the cost of one
# element-cycle of the whole loop (element pass, exchange, node update, kinetic
# energy), free of start-up and model building.
#
# The element pass runs at the AVX2 width unless HEXDYN_SIMD says otherwise
# (valgrind cannot execute AVX-512; HEXDYN_SIMD=scalar counts the scalar
# path).
#
#   bench/callgrind.sh [BINARY] [-- extra benchmark options]
#   env: STEPS1 (5), STEPS2 (15), SIZE ("20 20 20"), MAT (jc), HG (2),
#        HEXDYN_SIMD (avx2),
#        KEEP=1 keeps the callgrind output of the longer run and prints the
#        path, for callgrind_annotate.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build-bench/bench/hexdyn_bench_element}
shift || true
[[ ${1:-} == -- ]] && shift
s1=${STEPS1:-5}
s2=${STEPS2:-15}
read -r nx ny nz <<<"${SIZE:-20 20 20}"
mat=${MAT:-jc}
hg=${HG:-2}
extra=("$@")
export HEXDYN_SIMD=${HEXDYN_SIMD:-avx2}
command -v valgrind >/dev/null || { echo "callgrind.sh: valgrind is not installed" >&2; exit 1; }
work=$(mktemp -d)
total() {
  local steps=$1 out=$work/cg.$1.out
  valgrind --tool=callgrind --callgrind-out-file="$out" "$bin" --size "$nx" "$ny" "$nz" \
    --mat "$mat" --hg "$hg" --steps "$steps" --warmup 0 "${extra[@]}" >/dev/null 2>"$work/log.$steps"
  awk '/^totals:/ {print $2}' "$out"
}
i1=$(total "$s1")
i2=$(total "$s2")
elements=$((nx * ny * nz))
awk -v a="$i1" -v b="$i2" -v e="$elements" -v d="$((s2 - s1))" -v s1="$s1" -v s2="$s2" \
  -v cfg="${nx}x${ny}x${nz} mat=$mat hg=$hg simd=$HEXDYN_SIMD" 'BEGIN {
    printf "callgrind %s: %d steps %d instructions, %d steps %d instructions\n", cfg, s1, a, s2, b
    printf "instructions_per_element_cycle=%.1f\n", (b - a) / (e * d)
  }'
if [[ ${KEEP:-0} == 1 ]]; then
  echo "callgrind output: $work/cg.$s2.out"
else
  rm -rf "$work"
fi
