#!/usr/bin/env bash
# Lists the tracked C and C++ files that .clang-format would change, and fails when there is
# any. Nothing here is vendored: minizip and GoogleTest are fetched into the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

formatter="${CLANG_FORMAT:-clang-format-14}"
command -v "$formatter" >/dev/null || { echo "check-format.sh: $formatter not found (scripts/setup.sh installs it)" >&2; exit 2; }

unformatted=0
while IFS= read -r -d '' file; do
  if ! "$formatter" --dry-run --Werror "$file" >/dev/null 2>&1; then
    echo "$file"
    unformatted=$((unformatted + 1))
  fi
done < <(git ls-files -z -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')

if [ "$unformatted" -gt 0 ]; then
  echo "check-format.sh: $unformatted file(s) need clang-format" >&2
  exit 1
fi
