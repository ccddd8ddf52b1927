#!/usr/bin/env bash
# Checks that two builds of the element-pass benchmark give bit-identical
# results: for a matrix of materials (each also with the Gruneisen equation of
# state), hourglass methods (none, standard, Flanagan-Belytschko, and a
# coefficient at the threshold that turns the control off), spin switch,
# deformation rates and bulk viscosity (off and on), and a smaller matrix with
# the strain increment from the mid-step geometry (--midg), one with the
# step of "stab on" (--stab) and one with the von Mises stress and the
# Johnson-Cook return onto its curve (--vmis --cons), one with the solver's
# own pow, log and exp (--math), both binaries run the
# same block for the same number of steps and dump the final nodal
# accelerations, positions, velocities, masses, history records and step
# scalars; the dumps are compared byte for byte.
#
# The reference runs the scalar element pass (HEXDYN_SIMD=scalar; a build
# older than the batched pass ignores the variable), the candidate runs once
# per width of the batched pass. The block has 441 elements, so every width
# also takes a remainder element the scalar way.
#
# A material model or option the reference build does not know (a model or
# the mid-step increment added since) is compared with the candidate's own
# scalar path instead, with a note: the rest is still compared with the
# reference.
#
#   bench/identical.sh REFERENCE_BINARY CANDIDATE_BINARY [STEPS]
#   env: WIDTHS  widths of the candidate (default: scalar sse2 avx2 avx512,
#                those the processor lacks are skipped with a note)
set -euo pipefail
ref=${1:?reference hexdyn_bench_element}
new=${2:?candidate hexdyn_bench_element}
steps=${3:-40}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
widths=()
for w in ${WIDTHS:-scalar sse2 avx2 avx512}; do
  if HEXDYN_SIMD=$w "$new" --size 2 2 2 --steps 1 --warmup 0 >/dev/null 2>&1; then
    widths+=("$w")
  else
    echo "skipped width $w: not supported by this processor or this build"
  fi
done
[[ ${#widths[@]} -gt 0 ]] || { echo "no width to check"; exit 1; }
declare -A same total
fail=0
# Runs one configuration on the reference binary $1 (scalar) and on the
# candidate at every width, and compares the dumps.
compare() {
  local refbin=$1 w
  shift
  HEXDYN_SIMD=scalar "$refbin" "$@" --dump "$work/ref.bin" >/dev/null
  for w in "${widths[@]}"; do
    HEXDYN_SIMD=$w "$new" "$@" --dump "$work/new.bin" >/dev/null
    total[$w]=$((${total[$w]:-0} + 1))
    if cmp -s "$work/ref.bin" "$work/new.bin"; then
      same[$w]=$((${same[$w]:-0} + 1))
    else
      echo "DIFFERENT ($w): $*"
      fail=$((fail + 1))
    fi
  done
}
# The reference binary for configurations with these options: the reference
# build when it knows them, else the candidate's own scalar path (with a note).
referencefor() {
  if HEXDYN_SIMD=scalar "$ref" --size 2 2 2 --steps 1 --warmup 0 "$@" >/dev/null 2>&1; then
    echo "$ref"
  else
    echo "$*: the reference does not know it, its configurations are checked against the candidate's scalar path" >&2
    echo "$new"
  fi
}
for mat in elastic pp lin jc jcth plaw voce; do
  matref=$(referencefor --mat "$mat")
  for eos in "" --eos; do
    for hg in 0 1 2 2-off; do
      hgopt=(--hg "${hg%-off}")
      [[ $hg == *-off ]] && hgopt+=(--hgcoef 1e-6)
      for extra in "" "--nojaum" "--rate 5000" "--rate 30000 --shear 0.5" \
        "--bulk" "--bulk --nojaum" "--bulk --rate 5000" "--bulk --rate 30000 --shear 0.5"; do
        # shellcheck disable=SC2086
        compare "$matref" --size 9 7 7 --mat "$mat" $eos "${hgopt[@]}" --steps "$steps" \
          --warmup 0 $extra
      done
    done
  done
done
# The mid-step strain increment ("midg on", --midg).
midgref=$(referencefor --midg)
for mat in elastic pp lin jc; do
  for eos in "" --eos; do
    for hg in 0 1 2; do
      for extra in "" "--rate 30000 --shear 0.5" "--bulk --nojaum --rate 5000"; do
        # shellcheck disable=SC2086
        compare "$midgref" --size 9 7 7 --mat "$mat" $eos --hg "$hg" --steps "$steps" \
          --warmup 0 --midg $extra
      done
    done
  done
done
# The step bounded by the free element's highest frequency ("stab on"), with
# the bulk and hourglass viscosities in it, for every material.
stabref=$(referencefor --stab)
for mat in elastic pp lin jc jcth plaw voce; do
  for eos in "" --eos; do
    for hg in 0 1 2; do
      for extra in "" "--bulk" "--bulk --rate 30000 --shear 0.5" "--bulk --midg --nojaum"; do
        # shellcheck disable=SC2086
        compare "$stabref" --size 9 7 7 --mat "$mat" $eos --hg "$hg" --steps "$steps" \
          --warmup 0 --stab $extra
      done
    done
  done
done
# The von Mises equivalent stress and the Johnson-Cook return onto its curve
# ("vmis on", "cons on").
corrref=$(referencefor --vmis --cons)
for mat in elastic pp lin jc; do
  for eos in "" --eos; do
    for extra in "" "--rate 30000 --shear 0.5" "--bulk --nojaum --rate 5000" "--midg --rate 5000"; do
      # shellcheck disable=SC2086
      compare "$corrref" --size 9 7 7 --mat "$mat" $eos --hg 2 --steps "$steps" \
        --warmup 0 --vmis --cons $extra
    done
  done
done
# The solver's own pow, log and exp ("math on", --math), every model that
# calls them, with and without the corrected formulation.
mathref=$(referencefor --math)
for mat in jc jcth plaw voce; do
  for hg in 0 1 2; do
    for extra in "" "--rate 30000 --shear 0.5" "--vmis --cons" "--vmis --cons --stab --midg --eos"; do
      # shellcheck disable=SC2086
      compare "$mathref" --size 9 7 7 --mat "$mat" --hg "$hg" --steps "$steps" \
        --warmup 0 --math $extra
    done
  done
done
for w in "${widths[@]}"; do
  echo "$w: ${same[$w]:-0} identical of ${total[$w]} configurations ($steps steps each)"
done
echo "$fail different"
[[ $fail -eq 0 ]]
