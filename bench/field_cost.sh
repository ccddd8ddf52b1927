#!/usr/bin/env bash
# Cost of the solver's field output in a whole run: the same box (steel,
# Johnson-Cook, striking a rigid plane) run with field output every 100 steps
# and without, best of REPEAT runs each, alternating; prints the computation
# times the solver reports, the CPU seconds of the runs and the slowdowns.
#
#   bench/field_cost.sh [BUILD_DIR]        (default: build)
#   env: SIZE "NX NY NZ" (default "50 50 40", 10^5 elements), STEPS (default
#        1000), REPEAT (default 3); one process
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
read -r nx ny nz <<<"${SIZE:-50 50 40}"
steps=${STEPS:-1000}
repeat=${REPEAT:-3}
np=1
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
# The computation time the solver prints (wall clock) and the CPU seconds of
# the whole run (user + system, start-up included: the same in both cases).
comptime() {
  (cd "$1" && /usr/bin/time -f "cpu %U %S" -o time.txt mpiexec.mpich -n "$np" "$build/hexdyn") |
    awk '/Timefor computation/ {printf "%s ", $(NF-1)}'
  awk '/^cpu/ {print $2 + $3}' "$1/time.txt"
}
minof() { awk -v a="$1" -v b="$2" 'BEGIN{print (a<b)?a:b}'; }

# The step of this mesh, from a run of one step.
mesh "$work/probe" 1e-9 off
dt=$( (cd "$work/probe" && mpiexec.mpich -n "$np" "$build/hexdyn") | awk '/Step=/ {for (i=1;i<=NF;i++) if ($i ~ /^DT=/) {sub("DT=","",$i); print $i; exit}}')
endt=$(awk -v d="$dt" -v s="$steps" 'BEGIN{printf "%.6e", d*s}')
fint=$(awk -v d="$dt" 'BEGIN{printf "%.6e", d*100}')
mesh "$work/off" "$endt" off
mesh "$work/on" "$endt" "$fint"
best_off=1e30 best_on=1e30 cpu_off=1e30 cpu_on=1e30
for ((r = 0; r < repeat; ++r)); do
  read -r t c <<<"$(comptime "$work/off")"
  best_off=$(minof "$t" "$best_off"); cpu_off=$(minof "$c" "$cpu_off")
  rm -rf "$work/on/field" "$work/on/field.pvd"
  read -r t c <<<"$(comptime "$work/on")"
  best_on=$(minof "$t" "$best_on"); cpu_on=$(minof "$c" "$cpu_on")
done
frames=$(ls "$work/on/field"/*.pvtu | wc -l)
bytes=$(du -cb "$work/on/field"/*.vtu | tail -1 | cut -f1)
awk -v a="$best_off" -v b="$best_on" -v ca="$cpu_off" -v cb="$cpu_on" -v n="$((nx * ny * nz))" \
  -v f="$frames" -v by="$bytes" -v s="$steps" -v dt="$dt" -v np="$np" 'BEGIN {
  printf "field_cost elements=%d processes=%d steps=%d dt=%s frames=%d bytes_per_element_frame=%.2f", n, np, s, dt, f, by / (n * f)
  printf " off_s=%.3f on_s=%.3f slowdown_pct=%.2f off_cpu_s=%.3f on_cpu_s=%.3f cpu_slowdown_pct=%.2f\n",
    a, b, 100 * (b - a) / a, ca, cb, 100 * (cb - ca) / ca }'
