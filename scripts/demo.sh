#!/usr/bin/env bash
# The main job: build the engine and run it under Wine the way a user would, printing
# what each run shows and leaving screenshots under build/e2e/demo/.
# (Packing and installing an example joins here once the builder can make packages.)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc)"
exec /usr/bin/python3 scripts/demo.py
