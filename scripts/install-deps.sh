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
  # fonts the renderer uses by default, and the families the page offers (preview and export
  # draw the same font files)
  fonts-dejavu-core fonts-liberation fonts-noto-color-emoji
  fonts-open-sans fonts-roboto-unhinted fonts-lato fonts-bebas-neue fonts-comic-neue
  # <video> playback inside the page
  gstreamer1.0-libav gstreamer1.0-plugins-good gstreamer1.0-plugins-base gstreamer1.0-plugins-bad
  # tests
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev ffmpeg xvfb xauth xdotool
  chromium nodejs
  # page tests in WebKitGTK through its WebDriver (WebKitWebDriver + MiniBrowser)
  webkit2gtk-driver
  # batch rendering: a one-node Slurm cluster and GNU parallel in the deploy/ tests
  slurm-wlm munge parallel
  # benchmarks: wall time and peak memory
  time
  # make lint: the C++ formatting check
  clang-format
  # the Hungarian locale the program and the tests run under
  locales
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# Some machines carry a nodejs build that bundles npm and conflicts with Debian's npm package.
if ! command -v npm >/dev/null 2>&1; then missing+=(npm); fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: nothing was missing."
else
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
  echo "install-deps: done."
fi

# The tests run under hu_HU.UTF-8, as a Hungarian desktop does: generate it once.
available_locales=$(locale -a 2>/dev/null || true)
if ! grep -qix 'hu_HU.utf8' <<<"$available_locales"; then
  echo "install-deps: generating the hu_HU.UTF-8 locale"
  if ! grep -qx 'hu_HU.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'hu_HU.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >/dev/null
fi
