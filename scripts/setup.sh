#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need, when
# they are missing. Safe to run again.
set -euo pipefail

packages=(cmake ninja-build g++ make pkg-config mpich libmpich-dev googletest libgtest-dev
          libmetis-dev gnuplot-nox zlib1g-dev libdeflate-dev python3-meshio python3-vtk9)
if [[ "${1:-}" == "--extra" ]]; then
    # benchmarks, fuzzing, format and static checks
    packages+=(valgrind clang libclang-rt-14-dev clang-format clang-tidy)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo=""
    if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update
    $sudo apt-get install -y --no-install-recommends "${missing[@]}"
else
    echo "setup: all packages present"
fi

# ParaView and VTK switch Debian's "mpi" alternative (mpicc, mpi.h, mpiexec)
# to Open MPI; the build asks MPICH's own wrapper and the scripts launch with
# mpiexec.mpich, so that needs no change: say so rather than leave it a puzzle.
alt="$(readlink -f /etc/alternatives/mpi 2>/dev/null || true)"
if [[ -n "$alt" && "$alt" != *mpich* ]]; then
    echo "setup: the mpi alternative points at $alt; hexdyn builds with MPICH (mpicc.mpich) and runs with mpiexec.mpich all the same"
fi
