#!/usr/bin/env bash
# Sets up, builds and runs the solver on a shipped example.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j "$jobs"
run="$root/run/cube"
rm -rf "$run" && mkdir -p "$run" && cp "$root/examples/cube/a" "$root/examples/cube/Comm" "$run/"
cd "$run"
mpiexec -n 1 "$root/build/hexdyn"
echo "results in $run"
