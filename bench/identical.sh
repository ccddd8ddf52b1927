#!/usr/bin/env bash
# Checks that two builds of the element-pass benchmark give bit-identical
# results: for a matrix of materials, hourglass methods, spin switch and
# deformation rates, both binaries run the same block for the same number of
# steps and dump the final nodal accelerations, positions, velocities, masses,
# history records and step scalars; the dumps are compared byte for byte.
#
#   bench/identical.sh REFERENCE_BINARY CANDIDATE_BINARY [STEPS]
set -euo pipefail
ref=${1:?reference hexdyn_bench_element}
new=${2:?candidate hexdyn_bench_element}
steps=${3:-40}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
count=0
for mat in elastic pp lin jc jc+eos; do
  matopt=(--mat "${mat%+eos}")
  [[ $mat == *+eos ]] && matopt+=(--eos)
  for hg in 0 1 2; do
    for extra in "" "--nojaum" "--rate 5000" "--rate 30000 --shear 0.5"; do
      # shellcheck disable=SC2206
      args=(--size 9 8 7 "${matopt[@]}" --hg "$hg" --steps "$steps" --warmup 0 $extra)
      "$ref" "${args[@]}" --dump "$work/ref.bin" >/dev/null
      "$new" "${args[@]}" --dump "$work/new.bin" >/dev/null
      count=$((count + 1))
      if ! cmp -s "$work/ref.bin" "$work/new.bin"; then
        echo "DIFFERENT: ${args[*]}"
        fail=$((fail + 1))
      fi
    done
  done
done
echo "$((count - fail)) identical, $fail different (of $count configurations, $steps steps each)"
[[ $fail -eq 0 ]]
