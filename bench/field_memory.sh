#!/usr/bin/env bash
# Resident memory the solver's field output adds: the same box (steel,
# Johnson-Cook, striking a rigid plane at 200 m/s) run for STEPS steps with a
# field frame every FEVERY steps and with none, on one process; prints the
# peak resident size of each run (/usr/bin/time's maximum RSS) in bytes per
# element and the difference, the field output's own cost.
#
#   bench/field_memory.sh [BUILD_DIR]      (default: build)
#   env: SIZE "NX NY NZ" (default "100 100 100", 10^6 elements), STEPS
#        (default 12), FEVERY (default 4), REPEAT (default 1; the smallest
#        peak of the runs is taken)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
read -r nx ny nz <<<"${SIZE:-100 100 100}"
steps=${STEPS:-12}
fevery=${FEVERY:-4}
repeat=${REPEAT:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Element edge 1 mm in every direction.
mesh() {  # DIR ENDTIME FIELDS
  mkdir -p "$1"
  (cd "$1" && "$build/hexdyn-mesh" box --nx "$nx" --ny "$ny" --nz "$nz" \
    --lx "$(awk -v n="$nx" 'BEGIN{print n/1000}')" --ly "$(awk -v n="$ny" 'BEGIN{print n/1000}')" \
    --lz "$(awk -v n="$nz" 'BEGIN{print n/1000}')" --endtime "$2" --outtime "$2" --report 100000 \
    --fields "$3" --energy off --material "john 7850 2e11 0.3 3.5e8 2.75e8 0.36 0.022" \
    --velocity 1,0,0,-200 --rigid 3,0 --comm >/dev/null)
}
# Peak resident size of one run in kB.
peak() {
  (cd "$1" && rm -rf field field.pvd &&
    /usr/bin/time -f "maxrss %M" -o time.txt mpiexec.mpich -n 1 "$build/hexdyn" >/dev/null)
  awk '/^maxrss/ {print $2}' "$1/time.txt"
}
minof() { awk -v a="$1" -v b="$2" 'BEGIN{print (a<b)?a:b}'; }

mesh "$work/probe" 1e-9 off
dt=$( (cd "$work/probe" && mpiexec.mpich -n 1 "$build/hexdyn") | awk '/Step=/ {for (i=1;i<=NF;i++) if ($i ~ /^DT=/) {sub("DT=","",$i); print $i; exit}}')
endt=$(awk -v d="$dt" -v s="$steps" 'BEGIN{printf "%.6e", d*(s-0.5)}')
fint=$(awk -v d="$dt" -v f="$fevery" 'BEGIN{printf "%.6e", d*(f-0.5)}')
mesh "$work/off" "$endt" off
mesh "$work/on" "$endt" "$fint"
off=1e30 on=1e30
for ((r = 0; r < repeat; ++r)); do
  off=$(minof "$(peak "$work/off")" "$off")
  on=$(minof "$(peak "$work/on")" "$on")
done
frames=$(ls "$work/on/field"/*.pvtu | wc -l)
awk -v a="$off" -v b="$on" -v n="$((nx * ny * nz))" -v f="$frames" -v s="$steps" 'BEGIN {
  printf "field_memory elements=%d steps=%d frames=%d off_kB=%d on_kB=%d", n, s, f, a, b
  printf " off_bytes_per_element=%.1f on_bytes_per_element=%.1f field_bytes_per_element=%.1f\n",
    1024 * a / n, 1024 * b / n, 1024 * (b - a) / n }'
