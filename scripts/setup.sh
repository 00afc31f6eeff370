#!/usr/bin/env bash
# Installs the Debian packages the program needs; idempotent.
#   setup.sh run    what building and running the program needs
#   setup.sh test   that plus what the test suites need
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
          libgl-dev fonts-liberation)
if [[ "${1:-run}" == test ]]; then
    packages+=(xvfb xauth xdotool x11-utils imagemagick libgif-dev googletest libgtest-dev
               libgmock-dev libbenchmark-dev clang-14 libclang-rt-14-dev python3)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
