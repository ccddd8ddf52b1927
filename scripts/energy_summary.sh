#!/usr/bin/env bash
# The end of a run's energy balance in plain words, from the solver's
# energy.dat (written with "ebal on"):
#
#   energy_summary.sh [ENERGY_FILE]        (default ./energy.dat)
#
# Its columns: time kinetic internal hourglass [contact] [eroded]
# external_work plane_work total energy_error, found by the names of its
# header (the contact column only with "cont", the eroded one only with
# "fail"); the error is already relative to the initial kinetic energy plus
# the work of the loads. The last record is the end of the run.
set -euo pipefail
file="${1:-energy.dat}"
if [ ! -r "$file" ] || [ -d "$file" ]; then
    echo "energy_summary.sh: cannot read $file" >&2
    exit 1
fi
awk -v file="$file" '
# The header names the columns; a file without one has the 8 of a run
# without contact.
/^#/ && n == 0 && !named {
    for (c = 2; c <= NF; c++) col[$c] = c - 1
    named = 1; width = NF - 1
    next
}
/^#/ || NF == 0 { next }
{
    if (!named) {
        split("time kinetic internal hourglass external_work plane_work total energy_error", w, " ")
        for (c = 1; c <= 8; c++) col[w[c]] = c
        named = 1; width = 8
    }
    if (NF != width) { bad = FNR; badnf = NF; exit }
    k = $col["kinetic"]; i = $col["internal"]; h = $col["hourglass"]
    p = $col["plane_work"]; e = $col["energy_error"]; n++
    if (n == 1) k0 = k
    ref = k0 + $col["external_work"]; ref = ref < 0 ? -ref : ref
    if ("eroded" in col) { er = $col["eroded"]; ershare = ref > 0 ? er / ref * 100 : 0 }
    if ("contact" in col) {
        c = $col["contact"]; share = ref > 0 ? c / ref * 100 : 0
        if (n == 1 || (share < 0 ? -share : share) > (most < 0 ? -most : most)) { most = share; tmost = $1 }
        if (n == 1 || share < least) { least = share; tleast = $1 }
    }
}
END {
    if (bad) {
        printf "energy_summary.sh: %s:%d: a record has %d columns, this one %d\n", file, bad, width, badnf > "/dev/stderr"
        exit 1
    }
    if (n == 0) {
        printf "energy_summary.sh: %s holds no record\n", file > "/dev/stderr"
        exit 1
    }
    pe = e * 100; a = pe < 0 ? -pe : pe
    verdict = a < 1 ? "good (below 1 %)" : a < 5 ? "fair (1 to 5 %)" : "poor (above 5 %: do not trust the run)"
    # The contact column is part of the total: energy the contact forces
    # made does not show in the error, so it decides the verdict too.
    if (("contact" in col) && least < -0.5) verdict = "poor (the contact forces made energy, below: do not trust the run)"
    printf "energy error           %+.3f %% of the initial kinetic energy plus the work of the loads: %s\n", pe, verdict
    printf "                       (+ the run gained energy, - it lost energy)\n"
    if (i > 0) {
        # The column is what the element forces did not store as strain
        # energy; it may come out negative, and its size is what counts.
        ph = h / i * 100; a = ph < 0 ? -ph : ph
        verdict = a < 10 ? "small (size below 10 %)" : "large (size 10 % or more: the mesh deforms in its zero-energy modes)"
        printf "hourglass energy       %.2f %% of the internal energy: %s\n", ph, verdict
        printf "                       (work of the element forces not stored as strain energy)\n"
    } else {
        printf "hourglass energy       %s J, no internal energy to compare it with\n", h
    }
    if ("contact" in col) {
        # Minus the work of the contact forces: what the penalty springs
        # hold plus what friction has dissipated. Below zero the contact
        # forces have given the bodies more than they took.
        printf "contact energy         %+.2f %% of the initial kinetic energy plus the work of the loads at the end,\n", share
        printf "                       largest %+.2f %% (at t = %s s)\n", most, tmost
        if (least < -0.5)
            printf "                       made energy: the contact forces gave the bodies %.2f %% more than they took (at t = %s s); do not trust the contact results\n", -least, tleast
    }
    if ("eroded" in col) {
        printf "eroded energy          %.2f %% of the initial kinetic energy plus the work of the loads\n", ershare
        printf "                       (work the eroded elements had absorbed when removed: %s J)\n", er
    }
    printf "energies at the end    kinetic %s J, internal %s J, hourglass %s J, taken by the plane %s J\n", k, i, h, p
}' "$file"
