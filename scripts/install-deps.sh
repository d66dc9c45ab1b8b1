#!/usr/bin/env bash
# Installs the Debian packages TamoVideoEditor needs to build, run and test.
# Idempotent: on a ready machine it only checks and says that nothing was missing.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake pkg-config
  # GUI: GTK 4 and the web view
  libgtk-4-dev libwebkitgtk-6.0-dev
  # media
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavfilter-dev libavutil-dev libx264-dev
  # drawing, pictures, text
  libcairo2-dev libpango1.0-dev libgdk-pixbuf-2.0-dev webp-pixbuf-loader libicu-dev
  # network, JSON
  libcurl4-openssl-dev nlohmann-json3-dev
  # fonts the renderer uses by default
  fonts-dejavu-core fonts-liberation fonts-noto-color-emoji
  # <video> playback inside the page
  gstreamer1.0-libav gstreamer1.0-plugins-good gstreamer1.0-plugins-base gstreamer1.0-plugins-bad
  # tests
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev ffmpeg xvfb xauth xdotool
  chromium nodejs
  # batch rendering: a one-node Slurm cluster and GNU parallel in the deploy/ tests
  slurm-wlm munge parallel
  # benchmarks: wall time and peak memory
  time
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# Some machines carry a nodejs build that bundles npm and conflicts with Debian's npm package.
if ! command -v npm >/dev/null 2>&1; then missing+=(npm); fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: nothing was missing."
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
echo "install-deps: done."
