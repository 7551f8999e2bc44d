#!/usr/bin/env bash
# The main job: build the engine and halvard-build, pack examples/hello into a
# setup.exe, install it silently under Wine and show what it did: the installed
# files, the installation log and the message boxes of a few command lines.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
bash scripts/install-deps.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j"$jobs" --target halvard-build
exec /usr/bin/python3 scripts/demo.py
