#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's private prefix, with a time-out.
# Used as CMake's cross-compiling emulator, so ctest runs Windows tests through it.
# `--64` runs a 64-bit program through Wine's 64-bit loader.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
ensure_wine_prefix
loader=wine
if [ "${1:-}" = --64 ]; then
  loader=$wine64_loader
  shift
fi
exec timeout --kill-after=10 "${HALVARD_WINE_TIMEOUT:-600}" "$loader" "$@"
