#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test. Prints a line per stage,
# the build's progress every tenth of its steps, its warnings and errors, the failing tests
# with their output, and ctest's summary.
#   scripts/test.sh            normal build in build/
#   scripts/test.sh sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   scripts/test.sh thread     ThreadSanitizer build in build-tsan/, the tests of threaded loading and rasterising only
# LUMI_JOBS limits the parallel build and test jobs (default: every core).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
mode=${1:-normal}
jobs=${LUMI_JOBS:-$(nproc)}

# Of ninja's line per step, one per tenth of the steps is shown; ctest's line per passing test
# is left out.
quiet_build() {
  cmake --build "$@" | awk '
    /^\[[0-9]+\/[0-9]+\] / {
      split(substr($1, 2, length($1) - 2), step, "/")
      if (step[2] != total) { total = step[2]; shown = 0 }  # a new count after CMake re-ran
      tenth = int(step[1] * 10 / step[2])
      if (tenth > shown) { shown = tenth; printf "  built %d%% (%d of %d steps)\n", tenth * 10, step[1], step[2]; fflush() }
      next
    }
    { print; fflush() }'
}
quiet_ctest() {
  ctest "$@" --output-on-failure |
    { grep -Ev '^ *Start +[0-9]+: |^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$|^$' || true; }
}

if [[ $mode == thread ]]; then
  echo "== configuring build-tsan/"
  cmake -S . -B build-tsan -G Ninja -DLUMI_SANITIZE_THREAD=ON -DLUMI_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
  echo "== building the tests of threaded loading and rasterising with $jobs jobs"
  quiet_build build-tsan -j "$jobs" --target engine_tests draw_tests d3d9_tests win32_tests particle_tests legacy_tests
  echo "== running them"
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  quiet_ctest --test-dir build-tsan -j "$jobs" -R 'Threaded'
  exit 0
fi
if [[ $mode == sanitize ]]; then
  dir=build-asan
  extra=(-DLUMI_SANITIZE=ON -DLUMI_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir=build
  extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi
echo "== configuring $dir/"
cmake -S . -B "$dir" -G Ninja "${extra[@]}" >/dev/null
echo "== building with $jobs jobs"
quiet_build "$dir" -j "$jobs"
echo "== running the tests"
quiet_ctest --test-dir "$dir" -j "$jobs"
