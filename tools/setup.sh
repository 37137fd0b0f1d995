#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks, then configures and builds
# Tandemix into build/. Safe to run again: it only installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make ccache qt6-base-dev qt6-base-dev-tools libgl-dev fonts-noto-cjk
          xvfb xdotool x11-utils imagemagick rsync desktop-file-utils dpkg-dev file appstream lintian
          pkg-config libfuse3-dev fuse3 exfat-fuse exfatprogs dex
          sshfs openssh-server dbus-daemon
          user-mode-linux kmod dosfstools time)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
