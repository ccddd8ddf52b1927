#!/usr/bin/env bash
# Figures of the elastic bar run of bar.opts, next to the 1-D theory:
# plateau stress halfway up the bar, contact time, rebound speed.
#
#   measure.sh [RUN_DIR]
#
# Reads aresult_curv.dat (curves in the order of bar.opts: seqv and sm of
# element 81, seqv of element 1, engk, engs) and aresult_anim.dat of a
# one-process run.
set -euo pipefail
dir="${1:-.}"
E=2.0e11 rho=7850 L=0.1 A=1.0e-4 v0=10 N=40

awk -v E=$E -v rho=$rho -v L=$L -v A=$A -v v0=$v0 -v N=$N '
function num(s) { gsub(/D/, "E", s); return s + 0 }
BEGIN {
    c = sqrt(E / rho); sigma = rho * c * v0; tc = 2 * L / c
    lo = 0.5 * L / c + 2e-6; hi = 1.5 * L / c - 2e-6
}
# curve file: time, seqv(81), sm(81), seqv(1), engk, engs
FILENAME ~ /curv/ && FNR > 3 && NF >= 6 {
    t = num($1)
    if (t >= lo && t <= hi) { s += num($2); m += num($3); n++ }
    if (t >= 45e-6 && t <= 60e-6) { k += num($5); nk++ }
    next
}
# animation file: the struck face is the set of nodes at z <= 0 in the
# first zone; contact ends at the first zone (after L/c) where all are above 0
FILENAME ~ /anim/ {
    if ($1 == "ZONE") {
        zone++; node = 0
        zt = $0; sub(/.*Time =[ ]*/, "", zt); sub(/".*/, "", zt); zt = num(zt)
        next
    }
    if (zone == 0 || NF != 3 || $1 !~ /^-?[0-9]/) next
    node++
    if (zone == 1 && num($3) <= 0) face[node] = 1
    if (zone > 1 && (node in face)) { if (num($3) <= 0) down[zone] = 1; seen[zone] = zt }
    next
}
END {
    for (z = 2; z <= zone; z++) if (seen[z] > L / c && !(z in down)) { lift = seen[z]; break }
    vke = sqrt(2 * (k / nk) / (rho * L * A))
    printf "plateau seqv, element 81:   %8.1f MPa   theory rho c v0         %8.1f MPa\n", s / n / 1e6, sigma / 1e6
    printf "plateau -3 sm, element 81:  %8.1f MPa\n", -3 * m / n / 1e6
    printf "contact time:               %8.2f us    theory 2L/c             %8.2f us\n", lift * 1e6, tc * 1e6
    printf "rebound speed from engk:    %8.3f m/s   theory v0 sqrt(1-1/2N)  %8.3f m/s\n", vke, v0 * sqrt(1 - 1 / (2 * N))
}' "$dir/aresult_curv.dat" "$dir/aresult_anim.dat"
