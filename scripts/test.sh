#!/usr/bin/env bash
# Sets up, builds and runs every test. With --sanitize the suite is built and
# run a second time under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"

"$root/scripts/setup.sh"

run_suite() {
    local dir="$1"; shift
    cmake -S "$root" -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

echo "== optimised build and tests"
run_suite "$root/build" -DCMAKE_BUILD_TYPE=Release

if [[ "${1:-}" == "--sanitize" ]]; then
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
    run_suite "$root/build-sanitize" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHEXDYN_SANITIZE=ON -DHEXDYN_BENCH=OFF
fi
echo "== all tests passed"
