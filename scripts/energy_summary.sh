#!/usr/bin/env bash
# The end of a run's energy balance in plain words, from the solver's
# energy.dat (written with "ebal on"):
#
#   energy_summary.sh [ENERGY_FILE]        (default ./energy.dat)
#
# Its columns: time kinetic internal hourglass external_work plane_work total
# energy_error; the error is already relative to the initial kinetic energy
# plus the work of the loads. The last record is the end of the run.
set -euo pipefail
file="${1:-energy.dat}"
if [ ! -r "$file" ] || [ -d "$file" ]; then
    echo "energy_summary.sh: cannot read $file" >&2
    exit 1
fi
awk -v file="$file" '
/^#/ || NF == 0 { next }
NF < 8 { bad = FNR; exit }
{ k = $2; i = $3; h = $4; p = $6; e = $8; n++ }
END {
    if (bad) {
        printf "energy_summary.sh: %s:%d: a record has 8 columns, this one %d\n", file, bad, NF > "/dev/stderr"
        exit 1
    }
    if (n == 0) {
        printf "energy_summary.sh: %s holds no record\n", file > "/dev/stderr"
        exit 1
    }
    pe = e * 100; a = pe < 0 ? -pe : pe
    verdict = a < 1 ? "good (below 1 %)" : a < 5 ? "fair (1 to 5 %)" : "poor (above 5 %: do not trust the run)"
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
    printf "energies at the end    kinetic %s J, internal %s J, hourglass %s J, taken by the plane %s J\n", k, i, h, p
}' "$file"
