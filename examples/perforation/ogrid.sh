#!/usr/bin/env bash
# A quarter disc or cylinder, x >= 0 and y >= 0, meshed as an O-grid of
# hexahedra and written as a Gmsh 2.2 ASCII mesh for "hexdyn-mesh gmsh":
#
#   ogrid.sh --nc N --rim R --blend M [--blendat "F1 F2 ..."]
#            [--rings "R1 R2 ..."] --z "Z0 Z1 ..." [--name NAME] -o FILE.msh
#
# --nc N       elements along each side of the square core [0, R/2]^2 (the
#              quarter's arcs get 2 N elements, of equal angles)
# --rim R      radius the core is blended into
# --blend M    rings of elements from the core's edge out to the circle R
# --blendat "F1 F2 ... FM"
#              where the M blend rings lie, as increasing fractions of the
#              way from the core's edge to the circle, the last 1 (default
#              equal steps): rings crowded towards R grade the mesh there
# --rings "R1 R2 ..."
#              further circles beyond R, increasing (optional): a ring of
#              elements between each and the one before
# --z "Z0 Z1 ..."
#              the levels of the layers along the axis, increasing
# --name NAME  the physical volume, the material set's name (default body)
#
# Physical groups (components of hexdyn-mesh): the volume NAME, and the
# nodes of the planes "xsym" (x = 0), "ysym" (y = 0), of the outer lateral
# surface "outer", of the lowest level "bottom" and of the highest "top".
# Plain awk; coordinates in the units given.
set -euo pipefail

nc= rim= blend= blendat= rings= levels= name=body out=
while [ $# -gt 0 ]; do
    case "$1" in
        --nc) nc="$2"; shift 2 ;;
        --rim) rim="$2"; shift 2 ;;
        --blend) blend="$2"; shift 2 ;;
        --blendat) blendat="$2"; shift 2 ;;
        --rings) rings="$2"; shift 2 ;;
        --z) levels="$2"; shift 2 ;;
        --name) name="$2"; shift 2 ;;
        -o) out="$2"; shift 2 ;;
        -h|--help) sed -n '2,26p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "ogrid.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
if [ -z "$nc" ] || [ -z "$rim" ] || [ -z "$blend" ] || [ -z "$levels" ] || [ -z "$out" ]; then
    echo "ogrid.sh: --nc, --rim, --blend, --z and -o are required (--help)" >&2
    exit 2
fi

awk -v nc="$nc" -v rim="$rim" -v blend="$blend" -v blendat="$blendat" -v rings="$rings" \
    -v levels="$levels" -v name="$name" 'BEGIN {
    if (nc < 1 || blend < 1 || rim <= 0) { print "ogrid.sh: --nc and --blend must be at least 1, --rim positive" > "/dev/stderr"; exit 2 }
    nz = split(levels, z, " ")
    nr = split(rings, rr, " ")
    nf = split(blendat, bf, " ")
    if (nf == 0) for (j = 1; j <= blend; j++) bf[j] = j / blend
    else if (nf != blend || bf[nf] != 1) { print "ogrid.sh: --blendat needs --blend fractions, the last 1" > "/dev/stderr"; exit 2 }
    for (j = 2; j <= blend; j++) if (bf[j] <= bf[j - 1] || bf[1] <= 0) { print "ogrid.sh: --blendat must increase from above 0" > "/dev/stderr"; exit 2 }
    if (nz < 2) { print "ogrid.sh: --z needs at least two levels" > "/dev/stderr"; exit 2 }
    for (l = 2; l <= nz; l++) if (z[l] <= z[l - 1]) { print "ogrid.sh: --z must increase" > "/dev/stderr"; exit 2 }
    for (j = 1; j <= nr; j++) if (rr[j] <= (j == 1 ? rim : rr[j - 1])) { print "ogrid.sh: --rings must increase beyond --rim" > "/dev/stderr"; exit 2 }
    a = rim / 2; pi = atan2(0, -1); nk = 2 * nc; nring = blend + nr
    # Nodes of one level: the core (i, j), then ring by ring the 2 nc + 1
    # nodes k of equal angles (k = 0 on y = 0, k = 2 nc on x = 0).
    np = 0
    for (j = 0; j <= nc; j++) for (i = 0; i <= nc; i++) { np++; core[i, j] = np; px[np] = i * a / nc; py[np] = j * a / nc }
    for (k = 0; k <= nk; k++) {
        if (k <= nc) { bx = a; by = k * a / nc; edge[k] = core[nc, k] } else { bx = (nk - k) * a / nc; by = a; edge[k] = core[nk - k, nc] }
        th = k * pi / 2 / nk; c = cos(th); s = sin(th)
        if (k == nk) c = 0; if (k == 0) s = 0
        for (j = 1; j <= nring; j++) {
            if (j <= blend) { f = bf[j]; x = bx + f * (rim * c - bx); y = by + f * (rim * s - by) }
            else { x = rr[j - blend] * c; y = rr[j - blend] * s }
            np++; ring[j, k] = np; px[np] = x; py[np] = y
        }
        ring[0, k] = edge[k]
    }
    # Node numbers over the levels: level l (1..nz) adds (l - 1) np.
    printf "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n"
    printf "$PhysicalNames\n6\n3 1 \"%s\"\n0 2 \"xsym\"\n0 3 \"ysym\"\n0 4 \"outer\"\n0 5 \"bottom\"\n0 6 \"top\"\n$EndPhysicalNames\n", name
    printf "$Nodes\n%d\n", np * nz
    for (l = 1; l <= nz; l++) for (p = 1; p <= np; p++)
        printf "%d %.10g %.10g %.10g\n", (l - 1) * np + p, px[p], py[p], z[l]
    printf "$EndNodes\n"
    # Hexahedra: the core cells, then ring by ring.
    ne = 0
    for (j = 0; j < nc; j++) for (i = 0; i < nc; i++) { ne++; q1[ne] = core[i, j]; q2[ne] = core[i + 1, j]; q3[ne] = core[i + 1, j + 1]; q4[ne] = core[i, j + 1] }
    for (j = 1; j <= nring; j++) for (k = 0; k < nk; k++) { ne++; q1[ne] = ring[j - 1, k]; q2[ne] = ring[j, k]; q3[ne] = ring[j, k + 1]; q4[ne] = ring[j - 1, k + 1] }
    # Groups of nodes, one point element each.
    ng = 0
    for (p = 1; p <= np; p++) {
        if (px[p] == 0) for (l = 1; l <= nz; l++) { ng++; gt[ng] = 2; gn[ng] = (l - 1) * np + p }
        if (py[p] == 0) for (l = 1; l <= nz; l++) { ng++; gt[ng] = 3; gn[ng] = (l - 1) * np + p }
    }
    for (k = 0; k <= nk; k++) for (l = 1; l <= nz; l++) { ng++; gt[ng] = 4; gn[ng] = (l - 1) * np + ring[nring, k] }
    for (p = 1; p <= np; p++) { ng++; gt[ng] = 5; gn[ng] = p; ng++; gt[ng] = 6; gn[ng] = (nz - 1) * np + p }
    printf "$Elements\n%d\n", ng + ne * (nz - 1)
    for (g = 1; g <= ng; g++) printf "%d 15 2 %d 0 %d\n", g, gt[g], gn[g]
    id = ng
    for (l = 1; l < nz; l++) {
        lo = (l - 1) * np; hi = l * np
        for (e = 1; e <= ne; e++)
            printf "%d 5 2 1 1 %d %d %d %d %d %d %d %d\n", ++id, lo + q1[e], lo + q2[e], lo + q3[e], lo + q4[e], hi + q1[e], hi + q2[e], hi + q3[e], hi + q4[e]
    }
    printf "$EndElements\n"
    printf "ogrid.sh: %d nodes, %d hexahedra\n", np * nz, ne * (nz - 1) > "/dev/stderr"
}' >"$out"
