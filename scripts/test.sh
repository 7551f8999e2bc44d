#!/usr/bin/env bash
# The test command: installs what is missing, builds everything and runs every test:
# native unit tests and fuzz-corpus replays (ASan+UBSan), then for each engine the
# Windows-side tests under Wine and the end-to-end tests of real installers under Wine
# and Xvfb, and the Debian package's installation. Both engines are built everywhere;
# the x86 engine's Windows suites run only where this host runs 32-bit Windows
# programs, and the run says so when it cannot.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh

echo "== host: which Windows programs Wine runs here"
source scripts/wine-env.sh
if why=$(host_runs_win32); then
  engines=(x86 x64)
  echo "host: runs 32-bit and 64-bit Windows programs: testing both engines"
else
  engines=(x64)
  echo "host: runs 64-bit Windows programs only: testing the x64 engine"
fi

echo "== native: build and unit tests (ASan+UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs"
ctest --preset native -j"$jobs"

for preset in win32 win64; do
  echo "== $preset: build"
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset -j"$jobs"
done

status=0
echo "== Debian package: build it, install it into a fresh root, build with the installed builder"
deb=$(bash scripts/package-deb.sh | tail -1)
HALVARD_DEB="$deb" /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/package || status=$?

for engine in "${engines[@]}"; do
  preset=$([ $engine = x86 ] && echo win32 || echo win64)
  echo "== $engine engine: Windows-side tests under Wine"
  ctest --preset $preset || status=$?
  timeout 120 wineserver -k 2>/dev/null || true
  echo "== $engine engine: end to end under Wine and Xvfb"
  HALVARD_ENGINE=$engine HALVARD_ENGINES="${engines[*]}" /usr/bin/python3 -m pytest -q tests/e2e || status=$?
done

if [ ${#engines[@]} -eq 1 ]; then
  echo "NOT RUN: the x86 engine's Windows-side and end-to-end tests: this host runs no 32-bit Windows code ($why)"
fi
exit $status
