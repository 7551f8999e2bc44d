#!/usr/bin/env bash
# The test command: installs what is missing, builds both presets and runs every test:
# native unit tests and fuzz-corpus replays (ASan+UBSan), Windows-side tests under
# Wine, and the end-to-end tests of real installers under Wine and Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh

echo "== native: build and unit tests (ASan+UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs"
ctest --preset native -j"$jobs"

echo "== win32: engine and Windows-side tests under Wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"
source scripts/wine-env.sh
ensure_wine_prefix
status=0
ctest --preset win32 || status=$?
timeout 120 wineserver -k 2>/dev/null || true

echo "== end to end under Wine and Xvfb"
/usr/bin/python3 -m pytest -q tests/e2e || status=$?
exit $status
