# Sourced by the example scripts: runsolver NPROCS EVERY [all] runs
# $bin/hexdyn on the decks of the current directory under mpiexec.mpich,
# its output in solver.log; the terminal gets every EVERY-th progress line
# and the warnings (with "all": every other line of the log too). Sets
# `status` to the solver's exit status and `start`, `end` to the wall clock
# around the run.
#
# A signal that stops the script (a timeout, ^C) takes the solver down with
# it: mpiexec's processes live in a process group of their own and would
# otherwise run on to the end without anyone reading their results.

# The processes below $1, deepest first.
descendants() {
    local c
    for c in $(pgrep -P "$1" || true); do
        descendants "$c"
        echo "$c"
    done
}

stopsolver() {
    local p
    for p in $(descendants "$solver") "$solver" "${tailer:-}"; do
        kill -KILL "$p" 2>/dev/null || true
    done
}

runsolver() {
    local nprocs=$1 every=$2 rest=${3:-warnings}
    start=$(date +%s.%N)
    mpiexec.mpich -n "$nprocs" "$bin/hexdyn" >solver.log 2>&1 &
    solver=$!
    tailer=
    trap 'stopsolver; exit 143' TERM INT HUP
    tail -f --pid="$solver" solver.log 2>/dev/null |
        awk -v every="$every" -v rest="$rest" '
            /Step=/ { n = $0; sub(/.*Step= */, "", n); sub(/ .*/, "", n)
                      if (n % every == 0 || n == 1) { print; fflush() } next }
            rest == "all" || /\*\*\*/ { print; fflush() }' &
    tailer=$!
    status=0
    wait "$solver" || status=$?
    trap - TERM INT HUP
    wait "$tailer" 2>/dev/null || true
    end=$(date +%s.%N)
}
