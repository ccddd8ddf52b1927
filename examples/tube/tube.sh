#!/usr/bin/env bash
# The crushed tube of examples/tube from scratch in one command: meshes a
# thin-walled square steel tube with hexdyn-mesh (optionally dented near its
# top by trigger.sh), adds the rigid plate that crushes it (a finite plane
# wall moving at constant speed) and self-contact of its folds, divides the
# model over the processes, runs it under mpiexec.mpich and writes the
# plate's force against its travel, a plot of it and a summary: the mean
# crush force against the closed-form estimates of the folding theory, the
# peak force and the energy balance.
#
#   tube.sh [--nwall N] [--nside N] [--nalong N] [--speed V] [--crush D]
#           [--dent F] [--np N] [RUN_DIR]
#
# --nwall N    elements through the 1 mm wall (default 3)
# --nside N    elements along each 20 mm side (default 20)
# --nalong N   elements along the 50 mm length (default 50)
# --speed V    plate speed in m/s (default 15)
# --crush D    how far the plate travels, mm (default 36, 72 % of the length)
# --dent F     dent the top half-fold by F times the wall (trigger.sh), to
#              pick the symmetric folding mode (default 0: the straight tube)
# --np N       processes (default 2)
# RUN_DIR      default: run/tube-NWALL in the checkout
#
# The executables are taken from $HEXDYN_BIN, else from build/ of the
# checkout, which is configured and built (hexdyn and the tools) when they
# are missing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
bin="${HEXDYN_BIN:-$root/build}"
nwall=3
nside=20
nalong=50
speed=15
crush=36
nprocs=2
dent=0
run=
while [ $# -gt 0 ]; do
    case "$1" in
        --nwall) nwall="$2"; shift 2 ;;
        --nside) nside="$2"; shift 2 ;;
        --nalong) nalong="$2"; shift 2 ;;
        --speed) speed="$2"; shift 2 ;;
        --crush) crush="$2"; shift 2 ;;
        --np) nprocs="$2"; shift 2 ;;
        --dent) dent="$2"; shift 2 ;;
        -h|--help) sed -n '2,26p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "tube.sh: unknown option $1" >&2; exit 2 ;;
        *) run="$1"; shift ;;
    esac
done
whole() { # NAME VALUE LOW HIGH
    if ! [[ "$2" =~ ^[0-9]+$ ]] || [ "$2" -lt "$3" ] || [ "$2" -gt "$4" ]; then
        echo "tube.sh: --$1 takes a whole number from $3 to $4, not \"$2\"" >&2
        exit 2
    fi
}
real() { # NAME VALUE LOW HIGH
    if ! [[ "$2" =~ ^[0-9]+(\.[0-9]*)?$ ]] || ! awk -v v="$2" -v a="$3" -v b="$4" 'BEGIN { exit !(v >= a && v <= b) }'; then
        echo "tube.sh: --$1 takes a number from $3 to $4, not \"$2\"" >&2
        exit 2
    fi
}
whole nwall "$nwall" 1 8
whole nside "$nside" 2 100
whole nalong "$nalong" 4 400
whole np "$nprocs" 1 64
real speed "$speed" 1 100
real crush "$crush" 1 45
real dent "$dent" 0 0.5
run="${run:-$root/run/tube-$nwall}"

# Lengths in m: side C through the middle of the wall, wall t, length L;
# the plate starts 0.1 mm above the tube's top end.
side=0.02
wall=0.001
length=0.05
gap=0.0001
yield=2.5e8
endtime=$(awk -v d="$crush" -v g="$gap" -v v="$speed" 'BEGIN { printf "%.6g", (d / 1000 + g) / v }')
# The plate's force every 0.2 mm of travel, a field frame every 2 mm.
outtime=$(awk -v v="$speed" 'BEGIN { printf "%.6g", 0.0002 / v }')
fieldtime=$(awk -v v="$speed" 'BEGIN { printf "%.6g", 0.002 / v }')

missing=0
for tool in hexdyn hexdyn-mesh hexdyn-partition hexdyn-plot; do
    [ -x "$bin/$tool" ] || missing=1
done
if [ "$missing" -ne 0 ]; then
    echo "== build ($bin)"
    cmake -S "$root" -B "$bin" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$bin" -j 2 --target hexdyn hexdyn_tools
fi

echo "== mesh ($nwall x $nside x $nalong elements: wall, side, length) and partition"
# A run directory is replaced only when it holds an earlier run of this
# example (or nothing).
if [ -d "$run" ] && [ -n "$(ls -A "$run")" ] && [ ! -e "$run/tube.deck" ]; then
    echo "tube.sh: $run holds other files; give an empty or new directory" >&2
    exit 2
fi
rm -rf "$run"
mkdir -p "$run"
cd "$run"

# Mild steel taken elastic-perfectly plastic (pla1), so that the flow stress
# of the folding theory is the yield stress. The base is held; self-contact
# of the walls (every face against every one) keeps the folds apart.
# The plate: the plane z = L + gap, its normal down towards the tube, the
# square 40 x 40 mm about the axis (corner (-20, 20) mm, sides along x and
# along n x x = -y), moving down at the crush speed, Coulomb friction 0.3
# with the tube's end.
"$bin/hexdyn-mesh" tube --side "$side" --thickness "$wall" --length "$length" \
    --nwall "$nwall" --nside "$nside" --nalong "$nalong" \
    --material "pla1 7850 2.0e11 0.3 $yield" --fix bottom,xyz --contact on \
    --title "Square steel tube 20 x 1 mm crushed at $speed m/s" \
    --endtime "$endtime" --outtime "$outtime" --fields "$fieldtime" --report 1000 \
    --wall "plane,-0.02,0.02,$(awk -v l="$length" -v g="$gap" 'BEGIN { printf "%.6g", l + g }'),0,0,-1,edge=1,0,0,0.04,0.04,move=0,0,-$speed,fric=0.3" \
    -o straight.deck | tail -n 1
# With --dent, the dent of the symmetric folding mode over the top half-fold
# H = 0.99 t^(1/3) C^(2/3) (trigger.sh).
if awk -v f="$dent" 'BEGIN { exit !(f > 0) }'; then
    halffold=$(awk -v c="$side" -v t="$wall" 'BEGIN { printf "%.6g", 0.99 * t ^ (1 / 3) * c ^ (2 / 3) }')
    "$here/trigger.sh" straight.deck "$length" "$halffold" "$(awk -v t="$wall" -v f="$dent" 'BEGIN { printf "%.6g", f * t }')" >tube.deck
    rm straight.deck
else
    mv straight.deck tube.deck
fi
"$bin/hexdyn-partition" tube.deck "$nprocs" --dir . | tail -n 2

echo "== solve (progress every 5000 steps)"
. "$root/scripts/solve.sh"
runsolver "$nprocs" 5000
if [ "$status" -ne 0 ]; then
    echo "the solver stopped with status $status; see $run/solver.log" >&2
    exit "$status"
fi

echo "== force against travel"
# walls.dat: time, then the force the tube exerts on the plate (Fx Fy Fz,
# the mean over the interval since the record before) and the energy the
# plate has taken out of the model (negative: the plate does the work).
awk -v v="$speed" -v g="$gap" 'BEGIN {
        print "# travel_mm   force_kN   work_J   (plate travel beyond the first touch, force on the plate, work the plate has done)" }
    /^#/ { next }
    { d = $1 * v - g; if (d < 0) d = 0; printf "%10.4f %10.4f %10.4f\n", 1000 * d, $4 / 1000, -$5 }' walls.dat >force.dat
"$here/crush.sh" . "$side" "$wall" "$yield" | tee crush.txt
if command -v gnuplot >/dev/null; then
    mean=$(awk '/^mean crush force/ { print $4 }' crush.txt)
    wa=$(awk '/^Wierzbicki/ { print $(NF-1) }' crush.txt)
    aj=$(awk '/^Abramowicz/ { print $(NF-1) }' crush.txt)
    gnuplot <<EOF
set terminal pngcairo size 900,560 font ",11"
set output "force.png"
set title "Square steel tube 20 x 1 mm, crushed at $speed m/s ($nwall x $nside x $nalong elements)"
set xlabel "plate travel [mm]"
set ylabel "force on the plate [kN]"
set grid
set key top right
plot "force.dat" using 1:2 with lines lw 2 title "force", \
     $mean with lines dt 1 lc rgb "black" title "mean $mean kN", \
     $wa with lines dt 2 lc rgb "blue" title "Wierzbicki and Abramowicz 1983, $wa kN", \
     $aj with lines dt 3 lc rgb "red" title "Abramowicz and Jones 1984, $aj kN"
EOF
else
    echo "(gnuplot not found: no force.png; Debian package gnuplot-nox)"
fi
"$bin/hexdyn-plot" energy.dat -o energy.png --title "Crushed tube: energy balance" >/dev/null 2>&1 || true

echo
echo "== summary"
awk -v s="$start" -v e="$end" -v n="$nprocs" 'BEGIN { printf "wall time              %.1f s on %d processes\n", e - s, n }'
awk '/Step=/ { n = $0 } END { sub(/.*Step= */, "", n); sub(/ .*/, "", n); printf "steps                  %d\n", n }' solver.log
cat <<EOF
files                  $run/field.pvd (ParaView: the folds; colour by
                       plastic_strain), force.dat, force.png, crush.txt,
                       energy.dat, energy.png, walls.dat, solver.log
EOF
