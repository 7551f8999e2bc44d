#!/usr/bin/env bash
# The main job: build the engine and halvard-build, pack examples/hello into a
# setup.exe, install it silently under Wine and show what it did: the installed
# files, the installation log and the message boxes of a few command lines.
# Uses the x86 engine (the one halvard-build ships by default) where this host runs
# 32-bit Windows programs, and the x64 engine where it does not.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
bash scripts/install-deps.sh
source scripts/wine-env.sh
if why=$(host_runs_win32); then
  engine=x86 preset=win32
else
  engine=x64 preset=win64
  echo "demo: this host runs no 32-bit Windows programs ($why); showing the x64 engine instead"
fi
cmake --preset $preset >/dev/null
cmake --build --preset $preset -j"$jobs"
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j"$jobs" --target halvard-build
HALVARD_ENGINE=$engine exec /usr/bin/python3 scripts/demo.py
