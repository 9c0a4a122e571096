#!/usr/bin/env bash
# Installs what is missing, builds the demo host and runs it in build/demo-run/
# (texture files in build/demo-run/textures/, event log in build/demo-run/logs/, saved
# frames in build/demo-run/out/). LUMI_JOBS limits the parallel build jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "${LUMI_JOBS:-$(nproc)}" --target lumi_demo | { grep -v '^\[[0-9]*/[0-9]*\] ' || true; }
mkdir -p build/demo-run
cd build/demo-run
../demo/lumi_demo "$@"
