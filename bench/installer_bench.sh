#!/usr/bin/env bash
# Installer benchmark (not a test): halvard-build against makensis (zlib, solid lzma) on
# the codec benchmark's corpora, sizes and build times as ratios; then a large payload
# (a file near 1 GiB, a region over 1 GiB, data on disk) with the builder's peak memory.
#   bench/installer_bench.sh [scale 0..1 of the corpora, default 1] [installer_bench.py options...]
# e.g. --reps 1, --corpus docs, --large, --no-corpora --large, --keep.
# HALVARD_BUILD=PATH uses that halvard-build instead of building the native-release one.
# Our installers carry the x86 engine where this host runs 32-bit Windows programs and the
# x64 engine where it cannot; HALVARD_ENGINE=x86|x64 chooses. Nothing here runs under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scale=${1:-1}
shift || true
corpora="$root/build/bench-corpora"
source "$root/bench/engine.sh"
choose_engine bench/installer_bench.sh no

command -v makensis >/dev/null || { echo "makensis not found: scripts/install-deps.sh installs nsis" >&2; exit 1; }
[ -d "$corpora/winbin" ] || "$root/bench/gather_corpora.sh" "$corpora" "$scale"

choose_builder
cmake --preset $preset >/dev/null
cmake --build --preset $preset -j2 --target halvard-engine

python3 "$root/bench/installer_bench.py" --builder "$builder" --engine "$engine_exe" \
  --corpora "$corpora" --work "$root/build/installer-bench-work" "$@"
