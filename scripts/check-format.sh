#!/usr/bin/env bash
# Checks that every tracked C++ source is formatted as .clang-format says.
# Fix with: git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
