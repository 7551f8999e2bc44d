#!/usr/bin/env bash
# The largest package the format carries (a benchmark, not a test): one just below the
# 2 GiB limit built with data_on_disk and installed under Wine, one just past it
# refused by the builder. Needs about 5 GiB of free disk.
#   bench/package_limit.sh [package_limit.py options...]   e.g. --below-mib 32
# The x64 engine runs it on every host (Wine's 64-bit loader); HALVARD_BUILD=PATH uses that builder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/engine.sh"

choose_builder
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j2 --target halvard-engine >&2

xvfb-run -a python3 "$root/bench/package_limit.py" --builder "$builder" --wine64 "$wine64_loader" \
  --engine "$root/build/win64/src/halvard-engine-x64.exe" --work "$root/build/package-limit/work" \
  --prefix "$root/build/package-limit/wine" "$@"
