#!/usr/bin/env bash
# The impact of examples/impact from scratch in one command: meshes the
# plate and the projectile, joins them with contact on, divides the model
# over 2 processes, runs it under mpiexec.mpich, merges the results for
# ParaView, draws the curves and prints a summary: the projectile's final
# velocity, the interpenetration, the plate's deflection and the energy
# balance with its contact share.
#
#   impact.sh [RUN_DIR]      (default: run/impact in the checkout)
#
# The executables are taken from $HEXDYN_BIN, else from build/ of the
# checkout, which is configured and built (hexdyn and the tools) when they
# are missing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
bin="${HEXDYN_BIN:-$root/build}"
run="${1:-$root/run/impact}"
nprocs=2
# The projectile's struck face starts 0.5 mm above the plate.
gap=0.0005

missing=0
for tool in hexdyn hexdyn-mesh hexdyn-partition hexdyn-export hexdyn-plot; do
    [ -x "$bin/$tool" ] || missing=1
done
if [ "$missing" -ne 0 ]; then
    echo "== build ($bin)"
    cmake -S "$root" -B "$bin" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$bin" -j 2 --target hexdyn hexdyn_tools
fi

echo "== mesh, join and partition"
# A run directory is replaced only when it holds an earlier run of this
# example (or nothing).
if [ -d "$run" ] && [ -n "$(ls -A "$run")" ] && [ ! -e "$run/impact.deck" ]; then
    echo "impact.sh: $run holds other files; give an empty or new directory" >&2
    exit 2
fi
rm -rf "$run"
mkdir -p "$run"
cd "$run"
"$bin/hexdyn-mesh" box --options "$here/plate.opts" -o plate.deck
"$bin/hexdyn-mesh" cylinder --options "$here/projectile.opts" -o projectile.deck
"$bin/hexdyn-mesh" merge plate.deck projectile.deck --offset "2=0,0,$gap" -o impact.deck
"$bin/hexdyn-partition" impact.deck "$nprocs" --dir .

echo "== solve (progress every 200 steps)"
. "$root/scripts/solve.sh"
runsolver "$nprocs" 200
if [ "$status" -ne 0 ]; then
    echo "the solver stopped with status $status; see $run/solver.log" >&2
    exit "$status"
fi

echo "== export and plot"
"$bin/hexdyn-export" --dir . --out impact | tail -n 3
"$bin/hexdyn-plot" impact.csv -o impact_curves.png --title "Steel projectile on an aluminium plate, 300 m/s"

echo
echo "== summary"
awk -v s="$start" -v e="$end" 'BEGIN { printf "wall time              %.1f s on %d processes\n", e - s, '"$nprocs"' }'
# The rear face's centre as the curve file gives it at the last output time.
awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) if ($i ~ /^vz@node/) c = i; next }
    c { t = $1; v = $c }
    END { if (c) printf "rear face of the projectile  %+.1f m/s along z at t = %.3g s (curve vz)\n", v, t }' impact.csv
"$here/measure.sh" . | sed 's/^/  /'
"$root/scripts/energy_summary.sh" energy.dat
cat <<EOF
files                  $run/field.pvd (ParaView: the solver's field output; colour
                       by plastic_strain, or by material to tell plate and projectile
                       apart), impact.pvd (the animation files merged), energy.dat,
                       impact.csv, impact_curves.png, solver.log
EOF
