#!/usr/bin/env bash
# Installs what is missing, builds the demo host and runs it in build/demo-run/
# (event log in build/demo-run/logs/, saved frames in build/demo-run/out/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target lumi_demo
mkdir -p build/demo-run
cd build/demo-run
../demo/lumi_demo "$@"
