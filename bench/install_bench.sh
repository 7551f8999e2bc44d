#!/usr/bin/env bash
# Install benchmark (not a test): our setup.exe against an NSIS installer (zlib) of the
# mixed corpus under Wine, median install time of 5 as a ratio, the same for removing it
# again with each one's uninstaller; then the engine's peak
# private memory installing a package over 1 GiB, in memory mode and with data on disk.
#   bench/install_bench.sh [install_bench.py options...]   e.g. --reps 3, --no-large, --keep
# HALVARD_BUILD=PATH uses that halvard-build instead of building the native-release one.
# Runs under its own Wine prefix (build/bench-wine) and, as the engine opens windows even
# when silent, under a private X server from xvfb-run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpora="$root/build/bench-corpora"

for tool in makensis wine xvfb-run; do
  command -v "$tool" >/dev/null || { echo "$tool not found: scripts/install-deps.sh installs it" >&2; exit 1; }
done
[ -d "$corpora/mixed" ] || "$root/bench/gather_corpora.sh" "$corpora"

builder=${HALVARD_BUILD:-}
if [ -z "$builder" ]; then
  cmake --preset native-release >/dev/null
  cmake --build --preset native-release -j2 --target halvard-build
  builder="$root/build/native-release/tools/builder/halvard-build"
fi
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2 --target halvard-engine
engine="$root/build/win32/src/halvard-engine.exe"

xvfb-run -a python3 "$root/bench/install_bench.py" --builder "$builder" --engine "$engine" \
  --corpora "$corpora" --work "$root/build/install-bench-work" --prefix "$root/build/bench-wine" "$@"
