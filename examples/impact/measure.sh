#!/usr/bin/env bash
# Interpenetration and deflection of a run of examples/impact, from one zone
# of the animation files of the processes (default the last), the map
# hexdyn.map and the joined deck of the whole model:
#
#   measure.sh [RUN_DIR] [--deck FILE] [--zone N]
#
# RUN_DIR      the run (default .), holding hexdyn.map and ?result_anim.dat
# --deck FILE  the deck of the whole model (default RUN_DIR/impact.deck): its
#              elements and their material sets
# --zone N     the zone (output time) to measure, 1 the first (default last)
#
# Every node is tested against every element of the other material sets:
# a node lying inside such an element has passed through the contact
# surface. Its depth is the distance to the nearest face of that element
# (along the element's own directions). Printed: the nodes inside an element
# of another body and the deepest of them, the lowest point of the plate
# (material set 1) and of the projectile (set 2) in mm, and the velocity of
# the projectile: the mean height of its nodes from the zone before to this
# one over the time between them. Plain bash and awk; coordinates carry the
# animation file's 5 digits (a few um here).
set -euo pipefail

dir=.
deck=
zone=0
while [ $# -gt 0 ]; do
    case "$1" in
        --deck) deck="$2"; shift 2 ;;
        --zone) zone="$2"; shift 2 ;;
        -h|--help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "measure.sh: unknown option $1" >&2; exit 2 ;;
        *) dir="$1"; shift ;;
    esac
done
deck="${deck:-$dir/impact.deck}"
for f in "$dir/hexdyn.map" "$deck"; do
    if [ ! -r "$f" ]; then
        echo "measure.sh: cannot read $f" >&2
        exit 1
    fi
done
names=$(awk '$1 == "proc" { print $4 }' "$dir/hexdyn.map")
anims=()
for d in $names; do anims+=("$dir/${d}result_anim.dat"); done

awk -v zone="$zone" -v mapfile="$dir/hexdyn.map" -v deckfile="$deck" '
# The map: global number of every local node, per deck name.
FILENAME == mapfile {
    if ($1 == "proc") { d = $4; left = $6; k = 0; skip = $8; next }
    if (left > 0) { glob[d, ++k] = $1; left--; next }
    next
}
# The joined deck: connectivity and material set of every element.
FILENAME == deckfile {
    if ($1 == "elem") { inelem = 1; next }
    if (inelem && $1 !~ /^[0-9]/) inelem = 0
    if (inelem && NF >= 10) {
        e = $1 + 0; mat[e] = $2 + 0
        for (c = 1; c <= 8; c++) { conn[e, c] = $(c + 2) + 0; nodemat[conn[e, c]] = mat[e] }
        if (e > ne) ne = e
    }
    next
}
# The animation files: coordinates of the zone asked for (or the last).
FNR == 1 { d = FILENAME; sub(/.*\//, "", d); sub(/result_anim\.dat$/, "", d); z = 0; left = 0 }
/^ZONE/ {
    z++; n = $0; sub(/.*N=[ ]*/, "", n); sub(/[^0-9].*/, "", n)
    left = n + 0; k = 0
    if (z > zones) zones = z
    t = $0; sub(/.*Time =[ ]*/, "", t); sub(/".*/, "", t)
    ztime[z] = t + 0
    if (zone == 0 || z == zone) time = t
    next
}
left > 0 {
    k++; left--; g = glob[d, k]
    if (zone == 0 || z == zone) { x[g] = $1 + 0; y[g] = $2 + 0; zz[g] = $3 + 0; seen[g] = 1 }
    # Heights of the projectile (set 2) at every zone, for its velocity.
    if (nodemat[g] == 2) pz[z, g] = $3 + 0
    next
}
function abs(v) { return v < 0 ? -v : v }
# Natural coordinates (r1, r2, r3) of point (px, py, pz) in element e by
# Newton from the centre; sets jl[1..3], the lengths of the half-axes.
function natural(e, px, py, pz,    it, a, b, c, N, i, j, f, J, det, m, dk, cc, cn, dN, M, dr) {
    r[1] = r[2] = r[3] = 0
    for (it = 0; it < 12; it++) {
        f[1] = -px; f[2] = -py; f[3] = -pz
        for (i = 1; i <= 3; i++) for (j = 1; j <= 3; j++) J[i, j] = 0
        for (c = 1; c <= 8; c++) {
            a = 1 + sg[c, 1] * r[1]; b = 1 + sg[c, 2] * r[2]; cc = 1 + sg[c, 3] * r[3]
            N = a * b * cc / 8; cn = conn[e, c]
            dN[1] = sg[c, 1] * b * cc / 8; dN[2] = sg[c, 2] * a * cc / 8; dN[3] = sg[c, 3] * a * b / 8
            f[1] += N * x[cn]; f[2] += N * y[cn]; f[3] += N * zz[cn]
            for (j = 1; j <= 3; j++) { J[1, j] += dN[j] * x[cn]; J[2, j] += dN[j] * y[cn]; J[3, j] += dN[j] * zz[cn] }
        }
        det = J[1,1] * (J[2,2] * J[3,3] - J[2,3] * J[3,2]) - J[1,2] * (J[2,1] * J[3,3] - J[2,3] * J[3,1]) + J[1,3] * (J[2,1] * J[3,2] - J[2,2] * J[3,1])
        if (det == 0) return 0
        # Cramer: the Newton step J dr = f.
        for (m = 1; m <= 3; m++) {
            for (i = 1; i <= 3; i++) for (j = 1; j <= 3; j++) M[i, j] = (j == m) ? f[i] : J[i, j]
            dk = M[1,1] * (M[2,2] * M[3,3] - M[2,3] * M[3,2]) - M[1,2] * (M[2,1] * M[3,3] - M[2,3] * M[3,1]) + M[1,3] * (M[2,1] * M[3,2] - M[2,2] * M[3,1])
            dr[m] = dk / det
        }
        for (m = 1; m <= 3; m++) r[m] -= dr[m]
    }
    for (j = 1; j <= 3; j++) jl[j] = sqrt(J[1, j] ^ 2 + J[2, j] ^ 2 + J[3, j] ^ 2)
    return 1
}
END {
    split("-1 -1 -1  1 -1 -1  1 1 -1  -1 1 -1  -1 -1 1  1 -1 1  1 1 1  -1 1 1", s, " ")
    for (c = 1; c <= 8; c++) for (i = 1; i <= 3; i++) sg[c, i] = s[3 * (c - 1) + i] + 0
    if (ne == 0) { print "measure.sh: no elements in " deckfile > "/dev/stderr"; exit 1 }
    if (zone > zones) { printf "measure.sh: zone %d asked, the files hold %d\n", zone, zones > "/dev/stderr"; exit 1 }
    # Bounding boxes of the elements, binned on a grid of the largest element size.
    h = 0
    for (e = 1; e <= ne; e++) {
        for (c = 1; c <= 8; c++) {
            nd = conn[e, c]
            if (!(nd in seen)) { printf "measure.sh: node %d of element %d is in no animation file\n", nd, e > "/dev/stderr"; exit 1 }
            if (c == 1 || x[nd] < x0[e]) x0[e] = x[nd]; if (c == 1 || x[nd] > x1[e]) x1[e] = x[nd]
            if (c == 1 || y[nd] < y0[e]) y0[e] = y[nd]; if (c == 1 || y[nd] > y1[e]) y1[e] = y[nd]
            if (c == 1 || zz[nd] < z0[e]) z0[e] = zz[nd]; if (c == 1 || zz[nd] > z1[e]) z1[e] = zz[nd]
            nodemat[nd] = mat[e]
        }
        if (x1[e] - x0[e] > h) h = x1[e] - x0[e]; if (y1[e] - y0[e] > h) h = y1[e] - y0[e]; if (z1[e] - z0[e] > h) h = z1[e] - z0[e]
    }
    for (e = 1; e <= ne; e++)
        for (i = int(x0[e] / h + 1e6); i <= int(x1[e] / h + 1e6); i++)
            for (j = int(y0[e] / h + 1e6); j <= int(y1[e] / h + 1e6); j++)
                for (k = int(z0[e] / h + 1e6); k <= int(z1[e] / h + 1e6); k++) bin[i, j, k] = bin[i, j, k] " " e
    inside = 0; deepest = 0
    for (nd in nodemat) {
        key = int(x[nd] / h + 1e6) SUBSEP int(y[nd] / h + 1e6) SUBSEP int(zz[nd] / h + 1e6)
        if (!(key in bin)) continue
        nc = split(bin[key], cand, " "); depth = 0
        for (q = 1; q <= nc; q++) {
            e = cand[q] + 0
            if (mat[e] == nodemat[nd]) continue
            if (x[nd] < x0[e] || x[nd] > x1[e] || y[nd] < y0[e] || y[nd] > y1[e] || zz[nd] < z0[e] || zz[nd] > z1[e]) continue
            if (!natural(e, x[nd], y[nd], zz[nd])) continue
            if (abs(r[1]) >= 1 || abs(r[2]) >= 1 || abs(r[3]) >= 1) continue
            dd = 1e300
            for (m = 1; m <= 3; m++) if ((1 - abs(r[m])) * jl[m] < dd) dd = (1 - abs(r[m])) * jl[m]
            if (dd > depth) { depth = dd; de = e }
        }
        if (depth > 0) {
            inside++
            if (depth > deepest) { deepest = depth; dnode = nd; delem = de }
        }
    }
    # Velocity of the projectile: the mean height of its nodes, from the
    # zone before to this one.
    zl = zone == 0 ? zones : zone; vel = ""
    if (zl > 1) {
        sum = 0; np = 0
        for (nd in nodemat) if (nodemat[nd] == 2) { sum += pz[zl, nd] - pz[zl - 1, nd]; np++ }
        if (np > 0 && ztime[zl] > ztime[zl - 1]) vel = sprintf("%+.1f", sum / np / (ztime[zl] - ztime[zl - 1]))
    }
    low[1] = low[2] = 1e300
    for (nd in nodemat) if (nodemat[nd] <= 2 && zz[nd] < low[nodemat[nd]]) low[nodemat[nd]] = zz[nd]
    printf "zone %d of %d, time %s s\n", zone == 0 ? zones : zone, zones, time
    if (inside == 0)
        printf "interpenetration:  no node inside an element of the other body\n"
    else
        printf "interpenetration:  %d node(s) inside an element of the other body, the deepest %.3f mm (node %d in element %d)\n", inside, deepest * 1000, dnode, delem
    printf "lowest point:      plate %.3f mm, projectile %.3f mm (z; the plate was 0 to -6 mm)\n", low[1] * 1000, low[2] * 1000
    if (vel != "")
        printf "projectile:        %s m/s along z (mean over its nodes since the zone before; + away from the plate)\n", vel
}' "$dir/hexdyn.map" "$deck" "${anims[@]}"
