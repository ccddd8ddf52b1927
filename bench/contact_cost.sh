#!/usr/bin/env bash
# Cost of penalty contact over the whole exterior of a model, in whole runs
# of one process: each box (Johnson-Cook steel striking the rigid plane) is
# run with a "cont" block and without, best of REPEAT runs each; prints the
# exterior faces, the contact time per step and per face-step, and the
# contact share of a step (the extra time over the run without contact).
#
#   bench/contact_cost.sh [BUILD_DIR]      (default: build)
#   env: SIZES "NX,NY,NZ ..." (default: plates of 10^4, 10^5 and 10^6
#        exterior faces, then the 10^5-element block 50,50,40), STEPS
#        (default 200), REPEAT (default 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
sizes=${SIZES:-"70,70,1 220,220,1 700,700,1 50,50,40"}
steps=${STEPS:-200}
repeat=${REPEAT:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Element edge 1 mm; the step of such a mesh is about 1.1e-7 s.
mesh() {  # DIR NX NY NZ CONTACT
  mkdir -p "$1"
  (cd "$1" && "$build/hexdyn-mesh" box --nx "$2" --ny "$3" --nz "$4" \
    --lx "$(awk -v n="$2" 'BEGIN{print n/1000}')" --ly "$(awk -v n="$3" 'BEGIN{print n/1000}')" \
    --lz "$(awk -v n="$4" 'BEGIN{print n/1000}')" --endtime "$(awk -v s="$steps" 'BEGIN{print s*1.0e-7}')" \
    --outtime 1 --report 100000 --fields off --energy off \
    --material "john 7850 2e11 0.3 3.5e8 2.75e8 0.36 0.022" \
    --velocity 1,0,0,-200 --rigid 3,0 --comm >/dev/null)
  if [ "$5" = on ]; then sed -i 's/^endi$/cont\nendc\nendi/' "$1/a"; fi
}
comptime() {
  (cd "$1" && mpiexec.mpich -n 1 "$build/hexdyn") |
    awk '/Timefor computation/ {print $(NF-1)} /Step=/ {n++} END {}'
}
best() {  # DIR
  local b=1e30 t
  for _ in $(seq "$repeat"); do
    t=$(comptime "$1")
    b=$(awk -v a="$b" -v t="$t" 'BEGIN{print (t<a)?t:a}')
  done
  echo "$b"
}
printf "%-14s %10s %10s %12s %12s %14s %8s\n" size elements faces "off s" "on s" "us/face-step" share
for s in $sizes; do
  IFS=, read -r nx ny nz <<<"$s"
  mesh "$work/off" "$nx" "$ny" "$nz" off
  mesh "$work/on" "$nx" "$ny" "$nz" on
  off=$(best "$work/off")
  on=$(best "$work/on")
  faces=$((2 * (nx * ny + ny * nz + nx * nz)))
  awk -v s="$s" -v e=$((nx * ny * nz)) -v f="$faces" -v a="$off" -v b="$on" -v n="$steps" \
    'BEGIN{printf "%-14s %10d %10d %12.3f %12.3f %14.4f %7.1f%%\n", s, e, f, a, b, 1e6*(b-a)/(n*f), 100*(b-a)/a}'
  rm -rf "$work/off" "$work/on"
done
