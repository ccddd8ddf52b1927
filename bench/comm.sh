#!/usr/bin/env bash
# The shared-node exchange, dense table against sparse.
#
#   bench/comm.sh [BUILD]      (BUILD: a Release build tree, default build/)
#   env: N        elements along each edge of the cube (default 47: 103823 elements)
#        PARTS    process counts (default "2 8 64")
#        SCRATCH  directory for the partitions (default: system temp)
#        RUN64=0  skip the 64-process run
#
# 1. Meshes a cube of N^3 elements, divides it among each count of PARTS and
#    prints per process the bytes sent per step and the bytes of the table,
#    dense against sparse (hexdyn_bench_comm).
# 2. Runs a small impact on 64 processes twice, with the sparse and with the
#    dense table of the same partition, prints both wall times and compares
#    every result file. 64 processes on a machine with fewer cores are slow
#    (MPICH polls while it waits), hence the small mesh and the few steps.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
n=${N:-47}
parts=${PARTS:-"2 8 64"}
scratch=$(mktemp -d "${SCRATCH:-${TMPDIR:-/tmp}}/hexdyn-comm.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cmake --build "$build" --target hexdyn hexdyn-mesh hexdyn-partition hexdyn_bench_comm >/dev/null

echo "== cube of $n^3 elements"
cd "$scratch"
"$build/hexdyn-mesh" box --nx "$n" --ny "$n" --nz "$n" --lx 1 --ly 1 --lz 1 \
  --material "elas 7800 2.1e11 0.3" --endtime 1e-6 -o cube >/dev/null
dirs=()
for p in $parts; do
  "$build/hexdyn-partition" cube "$p" --dir "p$p" | head -n 1
  dirs+=("p$p")
done
"$build/bench/hexdyn_bench_comm" "${dirs[@]}"
rm -rf "${dirs[@]}" cube

[[ ${RUN64:-1} == 0 ]] && exit 0
echo "== 64 processes on $(nproc) cores: sparse and dense table of one partition"
"$build/hexdyn-mesh" box --nx 8 --ny 8 --nz 4 --lx 0.02 --ly 0.02 --lz 0.01 \
  --origin 0,0,0.0001 --material "pla2 7800 2.1e11 0.3 3e8 1e9" --velocity 1,0,0,-100 \
  --rigid 3,0 --time 0,0,5e-6,1,1,1 --endtime 4e-6 --outtime 1e-6 --curve engk -o small >/dev/null
"$build/hexdyn-partition" small 64 --dir sparse | head -n 1
"$build/hexdyn-partition" small 64 --dir dense --dense >/dev/null
for t in sparse dense; do
  start=$(date +%s.%N)
  (cd "$t" && mpiexec.mpich -n 64 "$build/hexdyn" >stdout.txt 2>&1)
  end=$(date +%s.%N)
  printf '%-6s table: %6.1f s wall, Comm %s bytes\n' "$t" \
    "$(echo "$end - $start" | bc)" "$(stat -c %s "$t/Comm")"
done
same=0 differ=0
for f in sparse/*result_*.dat; do
  if cmp -s "$f" "dense/${f#sparse/}"; then same=$((same + 1)); else differ=$((differ + 1)); fi
done
echo "result files identical: $same, different: $differ"
