#!/usr/bin/env bash
# Installs what is missing, builds the demo host and runs it in build/demo-run/
# (texture files in build/demo-run/textures/, event log in build/demo-run/logs/, saved
# frames in build/demo-run/out/). LUMI_JOBS limits the parallel build jobs.
#   scripts/demo.sh          the demo of the current library
#   scripts/demo.sh legacy   the demo of the legacy library, in build/demo-legacy-run/
set -euo pipefail
cd "$(dirname "$0")/.."
case ${1:-current} in
  current) target=lumi_demo run=demo-run ;;
  legacy) target=lumi_demo_legacy run=demo-legacy-run ;;
  *) echo "usage: scripts/demo.sh [legacy]" >&2; exit 2 ;;
esac
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "${LUMI_JOBS:-$(nproc)}" --target "$target" | { grep -v '^\[[0-9]*/[0-9]*\] ' || true; }
mkdir -p "build/$run"
cd "build/$run"
"../demo/$target"
