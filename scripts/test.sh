#!/usr/bin/env bash
# Builds everything and runs every test: the unit and vector tests in build/, then the fuzz
# target's short run in build-fuzz/, built with clang and the sanitizers. Both suites run even
# when the first fails; the exit status is non-zero if either did.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

failed=()
ctest --test-dir build --output-on-failure -j2 || failed+=("build/ tests")

if [[ -f fuzz/CMakeLists.txt ]]; then
  if [[ -f build-fuzz/CMakeCache.txt ]]; then
    cmake -S . -B build-fuzz
  else
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_COMPILER=clang++ -DORVET_FUZZ=ON
  fi
  cmake --build build-fuzz --parallel "$(nproc)"
  ctest --test-dir build-fuzz --output-on-failure -j2 || failed+=("build-fuzz/ tests")
else
  echo "test: no fuzz/CMakeLists.txt yet, fuzz build skipped"
fi

if ((${#failed[@]} > 0)); then
  echo "test: FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "test: all passed"
