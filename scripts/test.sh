#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test.
#   scripts/test.sh            normal build in build/
#   scripts/test.sh sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   scripts/test.sh thread     ThreadSanitizer build in build-tsan/, the tests of threaded loading only
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
mode=${1:-normal}
if [[ $mode == thread ]]; then
  cmake -S . -B build-tsan -G Ninja -DLUMI_SANITIZE_THREAD=ON -DLUMI_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build-tsan -j "$(nproc)" --target engine_tests draw_tests d3d9_tests
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  ctest --test-dir build-tsan --output-on-failure -j "$(nproc)" -R 'Threaded'
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
cmake -S . -B "$dir" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
