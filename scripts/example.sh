#!/usr/bin/env bash
# Builds the library, installs it into a fresh prefix (build/example-prefix), then builds the
# example host of examples/ against the installed package, as a separate CMake project, once
# for each renderer library and once more through pkg-config for each, and runs each build in
# its own folder (build/example-run/<library>/ and build/example-run/pkg-config/<library>/,
# where it writes frame.png and logs/lumiscriber.log).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=${LUMI_JOBS:-$(nproc)}
root=$PWD/build
prefix=$root/example-prefix
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs" --target lumiscriber lumiscriber_legacy | { grep -v '^\[[0-9]*/[0-9]*\] ' || true; }
rm -rf "$prefix" "$root/example-build" "$root/example-run"
cmake --install build --prefix "$prefix" >/dev/null

for library in lumiscriber lumiscriber_legacy; do
  echo "== example host against the installed $library =="
  cmake -S examples -B "$root/example-build/$library" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
        -DLUMI_EXAMPLE_LIBRARY="$library" >/dev/null
  cmake --build "$root/example-build/$library" | { grep -v '^\[[0-9]*/[0-9]*\] ' || true; }
  mkdir -p "$root/example-run/$library"
  (cd "$root/example-run/$library" && "$root/example-build/$library/lumi_example")
done

for library in lumiscriber lumiscriber_legacy; do
  echo "== example host through pkg-config, $library =="
  mkdir -p "$root/example-build/pkg-config/$library" "$root/example-run/pkg-config/$library"
  # shellcheck disable=SC2046
  g++ -std=c++20 -o "$root/example-build/pkg-config/$library/lumi_example" examples/host.cpp \
      $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs "$library")
  (cd "$root/example-run/pkg-config/$library" && "$root/example-build/pkg-config/$library/lumi_example")
done
