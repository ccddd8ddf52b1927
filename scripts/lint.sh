#!/usr/bin/env bash
# Checks that every C++ source is formatted by .clang-format and that
# clang-tidy (.clang-tidy) finds nothing. Needs a configured build folder for
# its compile commands (default build/).
#   scripts/lint.sh [BUILD_DIR]
#   scripts/lint.sh --fix      # reformat in place instead of checking
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

format=clang-format
command -v clang-format-14 >/dev/null && format=clang-format-14
tidy=run-clang-tidy
command -v run-clang-tidy-14 >/dev/null && tidy=run-clang-tidy-14

mapfile -t files < <(git ls-files '*.cpp' '*.hpp')

if [[ "${1:-}" == "--fix" ]]; then
    "$format" -i "${files[@]}"
    exit 0
fi
build="${1:-$root/build}"

echo "== clang-format"
"$format" --dry-run --Werror "${files[@]}"
echo "== clang-tidy"
"$tidy" -p "$build" -quiet "$root/(src|tools|tests|bench)/" >"$build/clang-tidy.log" 2>&1 || {
    grep -E "(warning|error):" "$build/clang-tidy.log" | sort -u
    echo "clang-tidy found problems (full log: $build/clang-tidy.log)"
    exit 1
}
echo "lint: format and clang-tidy clean"
