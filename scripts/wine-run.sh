#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's private prefix, with a time-out.
# Used as CMake's cross-compiling emulator, so ctest runs Windows tests through it.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
ensure_wine_prefix
exec timeout --kill-after=10 "${HALVARD_WINE_TIMEOUT:-600}" wine "$@"
