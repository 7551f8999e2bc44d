#!/usr/bin/env bash
# Profile of one silent installation under Wine (not a test): where the CPU time of the
# engine and the Wine server goes, and the system calls per file. Needs perf and strace.
#   bench/install_profile.sh [corpus folder, default build/bench-corpora/mixed] [install_profile.py options...]
# The x64 engine runs it on every host (Wine's 64-bit loader); HALVARD_BUILD=PATH uses that builder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/engine.sh"
corpus=${1:-$root/build/bench-corpora/mixed}
shift || true
[ -d "$corpus" ] || "$root/bench/gather_corpora.sh" "$root/build/bench-corpora"

choose_builder
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j2 --target halvard-engine

xvfb-run -a python3 "$root/bench/install_profile.py" --builder "$builder" --wine64 "$wine64_loader" \
  --engine "$root/build/win64/src/halvard-engine-x64.exe" --corpus "$corpus" \
  --work "$root/build/install-profile/work" --prefix "$root/build/install-profile/wine" "$@"
