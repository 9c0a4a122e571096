#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each briefly from seeds the library's own
# encoders write. FUZZ_SECONDS (default 10) is the time per target; findings stop the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh fuzz
seconds=${FUZZ_SECONDS:-10}
jobs=${LUMI_JOBS:-$(nproc)}
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMI_BUILD_FUZZ=ON -DLUMI_BUILD_TESTS=OFF \
      -DLUMI_BUILD_BENCH=OFF >/dev/null
targets=(make_seeds)
for src in fuzz/*_fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
cmake --build build-fuzz -j "$jobs" --target "${targets[@]}"
# Undefined behaviour is a finding like any other: it stops the target.
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
work=build-fuzz/fuzz-run
rm -rf "$work"
build-fuzz/fuzz/make_seeds "$work/seeds"
for target in "${targets[@]:1}"; do
  mkdir -p "$work/corpus/$target" "$work/seeds/$target"
  seeds=("seeds/$target")
  # The tests' particle scripts seed the compile targets, each build's its own dialect.
  [[ $target == particle_compile_fuzz ]] && seeds+=(../../tests/particle/scripts)
  [[ $target == particle_compile_legacy_fuzz ]] && seeds+=(../../tests/legacy/scripts)
  echo "-- $target (${seconds} s)"
  (cd "$work" && "../fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
     -print_final_stats=0 "corpus/$target" "${seeds[@]}" 2>"$target.log") ||
    { tail -n 40 "$work/$target.log"; echo "fuzz target $target found a fault"; exit 1; }
done
echo "fuzz targets clean: $(( ${#targets[@]} - 1 )), ${seconds} s each"
