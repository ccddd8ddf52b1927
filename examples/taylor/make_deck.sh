#!/usr/bin/env bash
# Writes the decks of the Taylor impact of examples/taylor into a run directory.
#
#   make_deck.sh [coarse|fine] [RUN_DIR] [NPROCS]
#
# coarse  O-grid of 4 x 4 core elements and 3 rings, 40 elements along the
#         rod: 2560 elements, a few seconds on one core
# fine    8 x 8 core, 6 rings, 80 along: 20480 elements, about 16 times the
#         work of the coarse mesh
# RUN_DIR defaults to ./taylor-<density>; NPROCS (default 1) > 1 divides the
# model with hexdyn-partition. The tools are taken from $HEXDYN_BIN, else from
# the build directory of this checkout.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bin="${HEXDYN_BIN:-$here/../../build}"

density="${1:-coarse}"
run="${2:-taylor-$density}"
nprocs="${3:-1}"
case "$density" in
    coarse) mesh=(--ncore 4 --nlayers 3 --nalong 40) ;;
    fine) mesh=(--ncore 8 --nlayers 6 --nalong 80) ;;
    *) echo "make_deck.sh: density is coarse or fine, not '$density'" >&2; exit 2 ;;
esac
for tool in hexdyn-mesh hexdyn-partition; do
    if [ ! -x "$bin/$tool" ]; then
        echo "make_deck.sh: $bin/$tool not found (build first, or set HEXDYN_BIN)" >&2
        exit 1
    fi
done

mkdir -p "$run"
deck="$run/a"
[ "$nprocs" -gt 1 ] && deck="$run/taylor.deck"
"$bin/hexdyn-mesh" cylinder "${mesh[@]}" --options "$here/taylor.opts" --comm -o "$deck"
if [ "$nprocs" -gt 1 ]; then
    rm -f "$run/Comm"
    "$bin/hexdyn-partition" "$deck" "$nprocs" --dir "$run"
fi
echo "run it with:  cd $run && mpiexec.mpich -n $nprocs $bin/hexdyn && $here/measure.sh"
