#!/usr/bin/env bash
# Speed of the decks hexdyn-mesh writes, as a user runs them: each case is
# meshed twice, once with the tool's defaults ("stab on", "midg on" and the
# rest of "corr on") and once plain ("stab off", "midg off"), and the real
# solver runs both on one process. For each it prints the steps taken and
# element-cycles (elements x steps) per CPU-second of the whole process
# (set-up and output included), the default beside the plain one, so that a
# default that gets slower shows at once.
#
#   bench/defaults.sh [BUILD_DIR]          (default: build/ of the checkout)
#   env: CASES   any of taylor-coarse taylor-fine block impact
#                (default: taylor-coarse taylor-fine impact)
#        RUNS    runs per deck, the median CPU time is taken (default 3)
#        SCALE   multiplies the end time of every deck (default 1; 0.25 runs
#                the first quarter of each, for a quick look)
#        REF     a reference hexdyn: each default deck is also run by it and
#                by BUILD_DIR's solver at every SIMD width the processor has,
#                and every file they write (the console log but for its
#                timing lines) is compared byte for byte
#
# taylor-coarse and taylor-fine are the meshes of examples/taylor (2560 and
# 20480 elements, Johnson-Cook copper), impact the joined plate and
# projectile of examples/impact (jcth, contact), block a 50 x 50 x 40 block
# of 10^5 Johnson-Cook steel elements on a fixed base struck at 200 m/s (run
# for about 100 steps).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
bin="$(cd "${1:-$root/build}" && pwd)"
runs=${RUNS:-3}
scale=${SCALE:-1}
for tool in hexdyn hexdyn-mesh; do
    [[ -x $bin/$tool ]] || { echo "defaults.sh: $bin/$tool not found (build it first)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# endtime of an options file times SCALE.
endtime() { awk -v s="$scale" '$1 == "endtime" { printf "%.6e\n", $2 * s }' "$1"; }

# Writes the deck of case $1 into directory $2 with the extra mesh options
# that follow ("--stable off --midg off" for the plain deck). Every deck
# reports every step, so that the log gives the number of steps.
makedeck() {
    local name=$1 dir=$2
    shift 2
    mkdir -p "$dir"
    local mesh="$bin/hexdyn-mesh"
    case $name in
        taylor-coarse | taylor-fine)
            local o=$root/examples/taylor/taylor.opts grid=(--ncore 4 --nlayers 3 --nalong 40)
            [[ $name == taylor-fine ]] && grid=(--ncore 8 --nlayers 6 --nalong 80)
            "$mesh" cylinder "${grid[@]}" --options "$o" --endtime "$(endtime "$o")" \
                --report 1 "$@" --comm -o "$dir/a" >/dev/null
            ;;
        block)
            cat >"$work/block.opts" <<'EOF'
title 10^5 Johnson-Cook elements on a fixed base
nx 50
ny 50
nz 40
lx 0.05
ly 0.05
lz 0.04
endtime 1.2e-5
material john 7850 2.0e11 0.3 3.5e8 2.75e8 0.36 0.022
velocity 1,0,0,-200
fix zmin,xyz
EOF
            "$mesh" box --options "$work/block.opts" --endtime "$(endtime "$work/block.opts")" \
                --report 1 "$@" --comm -o "$dir/a" >/dev/null
            ;;
        impact)
            local ex=$root/examples/impact t
            t=$(endtime "$ex/plate.opts")
            "$mesh" box --options "$ex/plate.opts" --endtime "$t" --report 1 "$@" \
                -o "$dir/plate.deck" >/dev/null
            "$mesh" cylinder --options "$ex/projectile.opts" --endtime "$t" "$@" \
                -o "$dir/projectile.deck" >/dev/null
            "$mesh" merge "$dir/plate.deck" "$dir/projectile.deck" --offset "2=0,0,0.0005" \
                --comm -o "$dir/a" >/dev/null
            ;;
        *) echo "defaults.sh: unknown case '$name'" >&2; exit 2 ;;
    esac
}

# Runs the solver $1 in directory $2 (HEXDYN_SIMD as the caller sets it);
# prints its CPU seconds (user + system).
cpurun() {
    (cd "$2" && /usr/bin/time -f "%U %S" -o time.txt "$1" >log 2>&1) ||
        { echo "defaults.sh: $1 failed in $2:" >&2; tail -5 "$2/log" >&2; exit 1; }
    awk '{ print $1 + $2 }' "$2/time.txt"
}

# Elements and steps of the run in directory $1, from its log.
elements() { awk '$1 == "nb_element" { print $3; exit }' "$1/log"; }
steps() { awk '$1 ~ /^Step=/ { n = $2 } END { print n }' "$1/log"; }

median() { sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

# The files two runs wrote, but for timing lines, compared byte for byte.
samefiles() {
    local a=$1 b=$2 f ok=0
    for f in $(cd "$a" && find . -type f ! -name time.txt ! -name log | sort); do
        cmp -s "$a/$f" "$b/$f" || { echo "  differs: $f"; ok=1; }
    done
    diff -q <(grep -v -i "time" "$a/log") <(grep -v -i "time" "$b/log") >/dev/null ||
        { echo "  differs: log"; ok=1; }
    return $ok
}

printf "%-14s %8s | %7s %10s | %7s %10s | %s\n" case elements steps "default" steps "plain" \
    "default/plain"
fail=0
for name in ${CASES:-taylor-coarse taylor-fine impact}; do
    makedeck "$name" "$work/$name-default"
    makedeck "$name" "$work/$name-plain" --stable off --midg off
    declare -A rate=() nsteps=()
    ne=0
    for v in default plain; do
        dir=$work/$name-$v
        cp -r "$dir" "$dir.clean"
        times=()
        for ((r = 0; r < runs; ++r)); do
            rm -rf "$dir" && cp -r "$dir.clean" "$dir"
            times+=("$(cpurun "$bin/hexdyn" "$dir")")
        done
        cpu=$(printf "%s\n" "${times[@]}" | median)
        ne=$(elements "$dir")
        nsteps[$v]=$(steps "$dir")
        rate[$v]=$(awk -v e="$ne" -v s="${nsteps[$v]}" -v c="$cpu" 'BEGIN { printf "%.3g", e * s / c }')
    done
    printf "%-14s %8s | %7s %10s | %7s %10s | %.3f\n" "$name" "$ne" "${nsteps[default]}" \
        "${rate[default]}" "${nsteps[plain]}" "${rate[plain]}" \
        "$(awk -v a="${rate[default]}" -v b="${rate[plain]}" 'BEGIN { print a / b }')"
    if [[ -n ${REF:-} ]]; then
        ref=$work/$name-ref
        rm -rf "$ref" && cp -r "$work/$name-default.clean" "$ref"
        HEXDYN_SIMD=scalar cpurun "$REF" "$ref" >/dev/null
        for w in scalar sse2 avx2 avx512; do
            new=$work/$name-$w
            rm -rf "$new" && cp -r "$work/$name-default.clean" "$new"
            if ! (cd "$new" && HEXDYN_SIMD=$w "$bin/hexdyn" >log 2>&1); then
                grep -q -i "simd\|width\|processor" "$new/log" &&
                    { echo "  $w: skipped (not supported here)"; continue; }
                echo "  $w: the run failed"; fail=1; continue
            fi
            if samefiles "$ref" "$new"; then echo "  $w: identical to the reference"; else
                echo "  $w: DIFFERENT from the reference"; fail=1; fi
        done
    fi
done
exit $fail
