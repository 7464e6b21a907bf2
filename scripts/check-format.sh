#!/usr/bin/env bash
# Checks that every C++ source of the project follows .clang-format; with --fix, formats them
# in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find engine platform qiv tools tests fixtures bench fuzz \
                       -name build -prune -o \( -name '*.h' -o -name '*.cpp' \) -print | sort)
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
else
  clang-format --dry-run --Werror "${files[@]}"
fi
