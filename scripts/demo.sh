#!/usr/bin/env bash
# Installs what is missing, builds the demo host and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [[ -x build/demo/lumi_demo ]]; then
  mkdir -p build/demo-run/logs
  (cd build/demo-run && ../demo/lumi_demo "$@")
else
  echo "The demo host is not built yet: it arrives with the renderer object."
fi
