#!/usr/bin/env bash
# Sets up, builds and runs every test.
#   --sanitize  also builds and runs the whole suite under AddressSanitizer
#               and UndefinedBehaviorSanitizer (their run-time options and
#               suppressions are built into the executables)
#   --fuzz      also builds the readers' fuzz targets with clang and replays their corpora
#   --strict    warnings are errors, and the sources must pass
#               scripts/lint.sh (clang-format and clang-tidy)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"

sanitize=0
fuzz=0
strict=0
for arg in "$@"; do
    case "$arg" in
        --sanitize) sanitize=1 ;;
        --fuzz) fuzz=1 ;;
        --strict) strict=1 ;;
        *) echo "usage: scripts/test.sh [--sanitize] [--fuzz] [--strict]" >&2; exit 2 ;;
    esac
done

if ((fuzz || strict)); then
    "$root/scripts/setup.sh" --extra
else
    "$root/scripts/setup.sh"
fi

werror=(-DHEXDYN_WERROR=OFF)
((strict)) && werror=(-DHEXDYN_WERROR=ON)

run_suite() {
    local dir="$1"; shift
    cmake -S "$root" -B "$dir" -G Ninja "${werror[@]}" "$@"
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

echo "== optimised build and tests"
run_suite "$root/build" -DCMAKE_BUILD_TYPE=Release

if ((strict)); then
    echo "== format and static checks"
    "$root/scripts/lint.sh" "$root/build"
fi

if ((sanitize)); then
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
    run_suite "$root/build-sanitize" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHEXDYN_SANITIZE=ON -DHEXDYN_BENCH=OFF
fi

if ((fuzz)); then
    echo "== fuzz targets (clang, libFuzzer, sanitizers): build and corpus replay"
    dir="$root/build-fuzz"
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
          -DHEXDYN_FUZZ=ON -DHEXDYN_SANITIZE=ON -DHEXDYN_TOOLS=OFF -DHEXDYN_BENCH=OFF
    cmake --build "$dir" -j "$jobs" --target hexdyn_fuzzers
    (cd "$dir" && ctest --output-on-failure -L fuzz)
fi
echo "== all tests passed"
