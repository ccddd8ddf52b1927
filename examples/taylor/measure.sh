#!/usr/bin/env bash
# Final length and foot diameter of an impacted rod, from the last zone of the
# animation files of a run ("aresult_anim.dat", "bresult_anim.dat", ...).
#
#   measure.sh [RUN_DIR] [--tol T] [--scale S] [--unit U]
#
# length   = max z - min z over the nodes of all processes
# diameter = 2 x the largest distance from the rod axis (x = y = 0) among the
#            nodes lying within T of the lowest node (the face on the plane)
# T defaults to 5e-3 of the final length. Coordinates are multiplied by S
# (default 1000: a deck in metres, figures in millimetres) and printed with
# the unit name U (default mm).
set -euo pipefail

dir=.
tol=
scale=1000
unit=mm
while [ $# -gt 0 ]; do
    case "$1" in
        --tol) tol="$2"; shift 2 ;;
        --scale) scale="$2"; shift 2 ;;
        --unit) unit="$2"; shift 2 ;;
        -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "measure.sh: unknown option $1" >&2; exit 2 ;;
        *) dir="$1"; shift ;;
    esac
done

shopt -s nullglob
files=("$dir"/*result_anim.dat)
if [ ${#files[@]} -eq 0 ]; then
    echo "measure.sh: no *result_anim.dat in $dir" >&2
    exit 1
fi

# Pass 1 keeps, per file, the node coordinates of its last zone; the END
# block then works on the union of those nodes.
awk -v tol="$tol" -v scale="$scale" -v unit="$unit" '
FNR == 1 { nfile++; left = 0 }
/^ZONE/ {
    n = $0; sub(/.*N=[ ]*/, "", n); sub(/[^0-9].*/, "", n)
    left = n + 0; cnt[nfile] = 0; zones[nfile]++
    next
}
left > 0 {
    k = ++cnt[nfile]
    x[nfile, k] = $1 + 0; y[nfile, k] = $2 + 0; z[nfile, k] = $3 + 0
    left--
    next
}
END {
    zmin = 1e300; zmax = -1e300; total = 0
    for (f = 1; f <= nfile; f++) {
        if (zones[f] == 0) { print "measure.sh: a file holds no zone" > "/dev/stderr"; exit 1 }
        for (k = 1; k <= cnt[f]; k++) {
            if (z[f, k] < zmin) zmin = z[f, k]
            if (z[f, k] > zmax) zmax = z[f, k]
            total++
        }
    }
    if (total == 0) { print "measure.sh: no nodes" > "/dev/stderr"; exit 1 }
    len = zmax - zmin
    t = (tol == "") ? 5e-3 * len : tol + 0
    rmax = 0; nfoot = 0
    for (f = 1; f <= nfile; f++)
        for (k = 1; k <= cnt[f]; k++)
            if (z[f, k] <= zmin + t) {
                r = sqrt(x[f, k] ^ 2 + y[f, k] ^ 2)
                if (r > rmax) rmax = r
                nfoot++
            }
    printf "final length:  %.3f %s\n", len * scale, unit
    printf "foot diameter: %.3f %s\n", 2 * rmax * scale, unit
    printf "(%d nodes in %d files, %d on the foot face, lowest node at z = %.4g)\n", total, nfile, nfoot, zmin
}' "${files[@]}"
