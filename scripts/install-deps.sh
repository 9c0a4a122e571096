#!/usr/bin/env bash
# Installs the Debian packages the build needs and the locale the tests need; does nothing
# when they are all present.
set -euo pipefail
packages=(cmake ninja-build g++ zlib1g-dev libpng-dev libjpeg62-turbo-dev libfreetype-dev
          fonts-dejavu-core fonts-wqy-microhei libstb-dev libgtest-dev libbenchmark-dev libgif-dev
          pkgconf locales)
# The fuzz targets need clang and its fuzzer runtime.
if [[ ${1:-} == fuzz ]]; then packages+=(clang libclang-rt-14-dev); fi
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} > 0)); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# A locale whose decimal separator is a comma: the text formatters must not follow it.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "generating the locale de_DE.UTF-8"
  "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
