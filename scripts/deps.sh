#!/usr/bin/env bash
# Installs what the build needs and is missing on this machine (Debian packages);
# "deps.sh fuzz" adds what the fuzzing build needs.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config ccache
          libgtest-dev libgmock-dev libbenchmark-dev
          zlib1g-dev libpng-dev libosmesa6-dev libglu1-mesa-dev
          time)
# scripts/fuzz.sh builds the fuzz harnesses with clang and its libFuzzer runtime.
if [ "${1:-}" = fuzz ]; then
  packages+=(clang libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
