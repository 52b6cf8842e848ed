#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# then configures and builds in ./build (or in $MEDLANTIS_BUILD_DIR). Used by
# run.sh and test.sh; arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make pkg-config ccache
          qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins
          libsqlcipher-dev libxlsxwriter-dev libpq-dev libsodium-dev postgresql
          libgtest-dev libgmock-dev libbenchmark-dev
          poppler-utils unzip sqlcipher fonts-dejavu-core
          desktop-file-utils appstream dpkg-dev file openssl)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

build=${MEDLANTIS_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j2
