#!/usr/bin/env bash
# Builds everything and runs every test: the unit and vector tests in build/, then the fuzz
# target's short run in build-fuzz/, built with clang and the sanitizers. Both suites run even
# when the first fails; the exit status is non-zero if either did.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

failed=()
total_passed=0
total_failed=0

# Runs one CTest tree, echoing its output, and adds its counts to the totals.
run_ctest() {
  local tree=$1 log status summary
  log=$(mktemp)
  set +e
  ctest --test-dir "$tree" --output-on-failure -j2 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  set -e
  # "100% tests passed, 0 tests failed out of 189"
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  rm -f "$log"
  if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    total_failed=$((total_failed + BASH_REMATCH[1]))
    total_passed=$((total_passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
  ((status == 0)) || failed+=("$tree/ tests")
}

run_ctest build

if [[ -f fuzz/CMakeLists.txt ]]; then
  if [[ -f build-fuzz/CMakeCache.txt ]]; then
    cmake -S . -B build-fuzz
  else
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_COMPILER=clang++ -DORVET_FUZZ=ON
  fi
  cmake --build build-fuzz --parallel "$(nproc)"
  run_ctest build-fuzz
else
  echo "test: no fuzz/CMakeLists.txt yet, fuzz build skipped"
fi

echo "${total_passed} passed, ${total_failed} failed"
if ((${#failed[@]} > 0)); then
  echo "test: FAILED: ${failed[*]}" >&2
  exit 1
fi
