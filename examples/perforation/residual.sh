#!/usr/bin/env bash
# Velocity of the projectile (material set 2) and of the plug of a run of
# examples/perforation, from the animation files of the processes, the map
# hexdyn.map and the joined deck of the whole model:
#
#   residual.sh [RUN_DIR] [--deck FILE] [--window T]
#
# RUN_DIR      the run (default .), holding hexdyn.map and ?result_anim.dat
# --deck FILE  the deck of the whole model (default RUN_DIR/perforation.deck)
# --window T   the residual velocity is taken over the last T seconds of the
#              run (default 20e-6), to average out the projectile's ringing
#
# A body's velocity is its momentum over its mass: every element's mean node
# velocity weighted by its volume in the deck (its mass, the density being
# one per body), as the lumped masses give it. The node velocities come from
# the positions of two output times (the animation file's 5 digits: a few
# tenths of a m/s over 5 us, much less in the mean). Printed: a line per
# output time (the projectile's velocity, the plate's elements moving down
# faster than 100 m/s, the plug, with their mass and velocity), then the
# projectile's residual velocity. Velocities along z, negative downwards
# (through the plate). Plain bash and awk.
set -euo pipefail

dir=.
deck=
window=20e-6
while [ $# -gt 0 ]; do
    case "$1" in
        --deck) deck="$2"; shift 2 ;;
        --window) window="$2"; shift 2 ;;
        -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "residual.sh: unknown option $1" >&2; exit 2 ;;
        *) dir="$1"; shift ;;
    esac
done
deck="${deck:-$dir/perforation.deck}"
for f in "$dir/hexdyn.map" "$deck"; do
    if [ ! -r "$f" ]; then
        echo "residual.sh: cannot read $f" >&2
        exit 1
    fi
done
names=$(awk '$1 == "proc" { print $4 }' "$dir/hexdyn.map")
anims=()
for d in $names; do anims+=("$dir/${d}result_anim.dat"); done

awk -v window="$window" -v mapfile="$dir/hexdyn.map" -v deckfile="$deck" '
function abs(v) { return v < 0 ? -v : v }
# Signed volume of the tetrahedron of nodes a, b, c, d (deck coordinates).
function tet(a, b, c, d,    ux, uy, uz, vx, vy, vz, wx, wy, wz) {
    ux = X[b] - X[a]; uy = Y[b] - Y[a]; uz = Z[b] - Z[a]
    vx = X[c] - X[a]; vy = Y[c] - Y[a]; vz = Z[c] - Z[a]
    wx = X[d] - X[a]; wy = Y[d] - Y[a]; wz = Z[d] - Z[a]
    return (ux * (vy * wz - vz * wy) - uy * (vx * wz - vz * wx) + uz * (vx * wy - vy * wx)) / 6
}
FILENAME == mapfile {
    if ($1 == "proc") { d = $4; left = $6; k = 0; next }
    if (left > 0) { glob[d, ++k] = $1; left--; next }
    next
}
FILENAME == deckfile {
    w = tolower(substr($1, 1, 4))
    if (w == "part") { sect = 1; next }
    if (w == "elem") { sect = 2; next }
    if ($1 !~ /^[0-9]+$/) { sect = 0; next }
    if (sect == 1) { X[$1] = $3; Y[$1] = $4; Z[$1] = $5 }
    if (sect == 2 && NF >= 10) {
        e = $1 + 0; mat[e] = $2 + 0
        for (c = 1; c <= 8; c++) conn[e, c] = $(c + 2) + 0
        if (e > ne) ne = e
    }
    next
}
FNR == 1 { d = FILENAME; sub(/.*\//, "", d); sub(/result_anim\.dat$/, "", d); z = 0; left = 0 }
/^ZONE/ {
    z++; n = $0; sub(/.*N=[ ]*/, "", n); sub(/[^0-9].*/, "", n)
    left = n + 0; k = 0
    if (z > zones) zones = z
    t = $0; sub(/.*Time =[ ]*/, "", t); sub(/".*/, "", t); time[z] = t + 0
    next
}
left > 0 { k++; left--; h[z, glob[d, k]] = $3 + 0; next }
# Mean height of element e at zone q.
function height(e, q,    c, s) { s = 0; for (c = 1; c <= 8; c++) s += h[q, conn[e, c]]; return s / 8 }
END {
    if (ne == 0) { print "residual.sh: no elements in " deckfile > "/dev/stderr"; exit 1 }
    if (zones < 2) { print "residual.sh: fewer than two output times in the animation files" > "/dev/stderr"; exit 1 }
    # Volumes from the deck: six tetrahedra about the diagonal 1-7.
    for (e = 1; e <= ne; e++) {
        v = 0
        split("2 3 3 4 4 8 8 5 5 6 6 2", p, " ")
        for (i = 1; i <= 12; i += 2) v += tet(conn[e, 1], conn[e, p[i]], conn[e, p[i + 1]], conn[e, 7])
        vol[e] = abs(v); mass[mat[e]] += vol[e]
    }
    printf "%12s %14s %26s\n", "time (us)", "projectile", "plate faster than 100 m/s"
    for (q = 2; q <= zones; q++) {
        dt = time[q] - time[q - 1]
        pp = 0; pv = 0; gm = 0
        for (e = 1; e <= ne; e++) {
            ve = (height(e, q) - height(e, q - 1)) / dt
            if (mat[e] == 2) pp += vol[e] * ve
            else if (ve < -100) { gm += vol[e]; pv += vol[e] * ve }
        }
        if (gm > 0) plug = sprintf("%5.1f %% of its volume at %+7.1f m/s", 100 * gm / mass[1], pv / gm)
        else plug = "none"
        printf "%12.1f %+10.1f m/s   %s\n", 1e6 * (time[q - 1] + time[q]) / 2, pp / mass[2], plug
    }
    # The residual velocity over the last window of the run.
    q0 = zones
    while (q0 > 1 && time[zones] - time[q0 - 1] <= window * (1 + 1e-6)) q0--
    if (q0 == zones) q0 = zones - 1
    pp = 0
    for (e = 1; e <= ne; e++) if (mat[e] == 2) pp += vol[e] * (height(e, zones) - height(e, q0))
    printf "residual velocity of the projectile: %+.1f m/s (its mean from %.1f to %.1f us)\n",
        pp / mass[2] / (time[zones] - time[q0]), 1e6 * time[q0], 1e6 * time[zones]
}' "$dir/hexdyn.map" "$deck" "${anims[@]}"
