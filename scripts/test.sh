#!/usr/bin/env bash
# The test command: installs what is missing, builds both presets and runs every test:
# native unit tests and fuzz-corpus replays (ASan+UBSan), Windows-side tests under
# Wine, and the end-to-end tests of real installers under Wine and Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh

echo "== host: which Windows programs Wine runs here"
source scripts/wine-env.sh
runs_win32=yes
why=$(host_runs_win32) || runs_win32=no
if [ $runs_win32 = yes ]; then
  echo "host: runs 32-bit Windows programs"
else
  echo "host: runs no 32-bit Windows programs: $why"
fi

echo "== native: build and unit tests (ASan+UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs"
ctest --preset native -j"$jobs"

echo "== win32: engine and Windows-side tests under Wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"
status=0
if [ $runs_win32 = yes ]; then
  ctest --preset win32 || status=$?
  timeout 120 wineserver -k 2>/dev/null || true
  echo "== end to end under Wine and Xvfb"
  /usr/bin/python3 -m pytest -q tests/e2e || status=$?
else
  echo "SKIPPED: the x86 engine's Windows-side and end-to-end tests were not run: this host runs no 32-bit Windows code ($why)"
fi
exit $status
