#!/usr/bin/env bash
# Installs every system package the project needs. Idempotent: when everything is
# present it checks and returns in well under a second.
set -euo pipefail

packages=(
  cmake make g++ ninja-build
  mingw-w64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
  wine wine32:i386 wine64 xvfb xauth
  googletest libgtest-dev
  python3 python3-pytest
  clang libclang-rt-14-dev llvm
  imagemagick
  zlib1g-dev liblz4-dev libzstd-dev liblzma-dev pkg-config libz-mingw-w64
  libtomlplusplus-dev
  nsis
  msitools wixl mingw-w64-tools fonts-dejavu-core
  osslsigncode openssl
  python3-jsonschema
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  missing=("${packages[@]}")
else
  for p in "${packages[@]}"; do
    st=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$st" = installed ] || missing+=("$p")
  done
fi
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo dpkg --add-architecture i386
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
