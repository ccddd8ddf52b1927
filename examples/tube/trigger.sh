#!/usr/bin/env bash
# Writes a tube deck of hexdyn-mesh tube with a small dent near its top end
# to standard output: the tube as meshed is symmetric under a quarter turn,
# and so is a crush by a flat plate, so nothing would pick the symmetric
# folding mode (two opposite sides folding out, the other two in) over the
# extensional one (all four out together); rounding never breaks the
# symmetry of an explicit run. The dent is that mode's shape over the top
# half-fold: the sides x = +-h move out and the sides y = +-h in by
# A sin(pi (L - z) / H) cos(pi s / (2 h)), s the position along the side from
# its middle (nothing at the corners and at the end), over L - H < z <= L.
#
#   trigger.sh DECK LENGTH HALFFOLD AMPLITUDE     (metres)
set -euo pipefail
if [ $# -ne 4 ]; then
    echo "usage: trigger.sh DECK LENGTH HALFFOLD AMPLITUDE" >&2
    exit 2
fi
awk -v L="$2" -v H="$3" -v A="$4" '
    function abs(v) { return v < 0 ? -v : v }
    /^[a-z]/ { part = ($1 == "part") }
    part && NF == 5 && $1 ~ /^[0-9]+$/ {
        x = $3; y = $4; z = $5
        if (z > L - H) {
            w = A * sin(3.141592653589793 * (L - z) / H)
            h = abs(x) > abs(y) ? abs(x) : abs(y)
            if (abs(x) >= abs(y)) x += (x < 0 ? -1 : 1) * w * cos(3.141592653589793 * y / (2 * h))
            else y -= (y < 0 ? -1 : 1) * w * cos(3.141592653589793 * x / (2 * h))
            printf "%s %s %.9g %.9g %s\n", $1, $2, x, y, $5
            next
        }
    }
    { print }' "$1"
