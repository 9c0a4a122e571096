#!/usr/bin/env bash
# Installs the Debian packages the build needs; does nothing when they are all present.
set -euo pipefail
packages=(cmake ninja-build g++ zlib1g-dev libpng-dev libjpeg62-turbo-dev libfreetype-dev
          fonts-dejavu-core fonts-wqy-microhei libstb-dev libgtest-dev libbenchmark-dev libgif-dev)
# The fuzz targets need clang and its fuzzer runtime.
if [[ ${1:-} == fuzz ]]; then packages+=(clang libclang-rt-14-dev); fi
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi
echo "installing: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
