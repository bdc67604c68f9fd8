#!/usr/bin/env bash
# Installs the Debian packages the kernel needs, only when some are missing
# (apt-get update runs first in that case). `deps.sh demo` installs what
# building the g3 tool takes (compiler, CMake, GLU, libpng); without an
# argument it adds the test tool chain (clang, GoogleTest, Google Benchmark,
# ccache).
set -euo pipefail
packages=(cmake ninja-build g++ libglu1-mesa-dev libpng-dev)
if [ "${1:-}" != demo ]; then
  packages+=(clang libclang-rt-14-dev libgtest-dev libbenchmark-dev ccache)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
