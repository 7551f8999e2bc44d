#!/usr/bin/env bash
# Install benchmark (not a test): our setup.exe against an NSIS installer (zlib) of the
# mixed corpus under Wine, median install time of 5 as a ratio, the same for removing it
# again with each one's uninstaller; then the engine's peak
# private memory installing a package over 1 GiB, in memory mode and with data on disk.
#   bench/install_bench.sh [install_bench.py options...]   e.g. --reps 3, --no-large, --keep
# HALVARD_BUILD=PATH uses that halvard-build instead of building the native-release one.
# Times the x86 engine where this host runs 32-bit Windows programs and the x64 engine
# through Wine's 64-bit loader where it cannot; HALVARD_ENGINE=x86|x64 chooses. NSIS
# installers are 32-bit: on a host without 32-bit support their runs are reported as not
# run, and ours are still timed.
# Runs under its own Wine prefix (build/bench-wine) and, as the engine opens windows even
# when silent, under a private X server from xvfb-run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpora="$root/build/bench-corpora"
source "$root/bench/engine.sh"

for tool in makensis wineserver xvfb-run; do
  command -v "$tool" >/dev/null || { echo "$tool not found: scripts/install-deps.sh installs it" >&2; exit 1; }
done
[ -x "$wine64_loader" ] || command -v "$wine64_loader" >/dev/null ||
  { echo "Wine's 64-bit loader not found: scripts/install-deps.sh installs wine64" >&2; exit 1; }
choose_engine bench/install_bench.sh yes
probe_host
peers=()
if [ "$host_win32" = no ]; then
  echo "bench/install_bench.sh: NSIS installers are 32-bit and this host runs none ($host_why): only ours are timed"
  peers=(--no-win32)
fi
[ -d "$corpora/mixed" ] || "$root/bench/gather_corpora.sh" "$corpora"

choose_builder
cmake --preset $preset >/dev/null
cmake --build --preset $preset -j2 --target halvard-engine

xvfb-run -a python3 "$root/bench/install_bench.py" --builder "$builder" --engine "$engine_exe" \
  --wine64 "$wine64_loader" "${peers[@]}" \
  --corpora "$corpora" --work "$root/build/install-bench-work" --prefix "$root/build/bench-wine" "$@"
