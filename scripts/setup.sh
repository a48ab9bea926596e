#!/usr/bin/env bash
# Installs the Debian packages the project needs, when any is missing. Needs root to install;
# run as another user it prints the apt-get line to run and stops.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config clang-format libsamplerate0-dev
          libgtest-dev libgmock-dev libbenchmark-dev
          libsdl2-dev libcli11-dev nlohmann-json3-dev libsndfile1-dev libpng-dev libturbojpeg0-dev
          libwebp-dev
          xvfb xdotool x11-apps imagemagick twm desktop-file-utils shared-mime-info libglib2.0-bin
          dpkg-dev man-db
          g++-mingw-w64-x86-64 googletest wine wine64 pulseaudio
          gnome-backgrounds sound-theme-freedesktop)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

line="apt-get update && apt-get install -y ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run as root:  $line" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
