#!/usr/bin/env bash
# The figures of a crushed square tube from a run's force.dat (written by
# tube.sh from walls.dat) and energy.dat: the mean crush force over the
# plate's travel against two closed-form estimates of the folding theory,
# the peak force, and the energy balance with the contact's share.
#
#   crush.sh RUN_DIR SIDE WALL FLOW_STRESS
#
# SIDE and WALL in m (the side through the middle of the wall), the flow
# stress in Pa. Plain awk.
#
# Estimates, for a rigid-perfectly plastic tube of flow stress s0:
#   Wierzbicki and Abramowicz (1983), the super-folding element:
#     P = 9.56 s0 t^(5/3) C^(1/3), the mean force over a fold's length 2H,
#     H = 0.99 t^(1/3) C^(2/3)
#   Abramowicz and Jones (1984), with the effective crushing distance (a
#   fold flattens to 0.73 of 2H, the rest is the thickness of the folded
#   walls): P = 52.22 M0 (C/t)^(1/3), M0 = s0 t^2 / 4, i.e. 13.06 s0 t^(5/3) C^(1/3)
set -euo pipefail
dir="${1:-.}"
if [ $# -lt 4 ]; then
    echo "usage: crush.sh RUN_DIR SIDE WALL FLOW_STRESS" >&2
    exit 2
fi
side="$2"
wall="$3"
sigma="$4"
for f in force.dat energy.dat; do
    if [ ! -r "$dir/$f" ]; then
        echo "crush.sh: cannot read $dir/$f" >&2
        exit 1
    fi
done
awk -v c="$side" -v t="$wall" -v s="$sigma" '
    !/^#/ { d = $1; w = $3; if ($2 > peak) { peak = $2; at = $1 } }
    END {
        if (d <= 0) { print "crush.sh: the plate has not touched the tube" > "/dev/stderr"; exit 1 }
        mean = w / d
        wa = 9.56 * s * t ^ (5 / 3) * c ^ (1 / 3) / 1000
        aj = 52.22 * s * t * t / 4 * (c / t) ^ (1 / 3) / 1000
        h = 0.99 * t ^ (1 / 3) * c ^ (2 / 3)
        printf "crush distance         %.2f mm (plate travel after the first touch)\n", d
        printf "mean crush force       %.3f kN (work %.2f J over the travel)\n", mean, w
        printf "peak force             %.3f kN at %.2f mm (squash load s0 4 C t: %.3f kN)\n", peak, at, s * 4 * c * t / 1000
        printf "Wierzbicki & Abramowicz 1983, 9.56 s0 t^(5/3) C^(1/3):             %.3f kN\n", wa
        printf "Abramowicz & Jones 1984, effective crushing distance, 13.06 s0 ...: %.3f kN\n", aj
        printf "mean against them      %+.1f %% and %+.1f %%\n", 100 * (mean / wa - 1), 100 * (mean / aj - 1)
        printf "fold length 2H         %.2f mm (theory), %.2f mm of travel a fold with 0.73 of it\n", 2000 * h, 0.73 * 2000 * h
    }' "$dir/force.dat"
# The balance: with the tube at rest and no loads, the energy that went in is
# the work of the plate, -wall_work; the mismatch total + plane_work +
# wall_work is taken against it. The contact column (penalty energy held,
# stop and friction losses) at every record against the work done by then.
awk '
    /^#/ { for (i = 2; i <= NF; i++) col[$i] = i - 1; next }
    NF {
        work = -$col["wall_work"]
        if (!seen++) k0 = $col["kinetic"]
        miss = $col["total"] + $col["plane_work"] + $col["wall_work"] - k0 - $col["external_work"]
        if (work > 0 && (m = miss / work) * m > worst * worst) worst = m
        if (work > 0 && $col["contact"] / work < low) { low = $col["contact"] / work; lowat = work }
        last = miss; lastwork = work
        hg = $col["hourglass"]; ie = $col["internal"]; ct = $col["contact"]
    }
    END {
        printf "energy balance         %+.4f %% of the work done at the end, largest %+.4f %%\n", 100 * last / lastwork, 100 * worst
        printf "contact energy         %+.4f %% of the work done at the end, lowest %+.4f %%\n", 100 * ct / lastwork, 100 * low
        printf "hourglass energy       %.2f %% of the internal energy\n", 100 * hg / ie
    }' "$dir/energy.dat"
