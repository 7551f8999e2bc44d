#!/usr/bin/env bash
# Refreshes the README's pictures of the wizard from a real run: the end-to-end wizard
# test saves a screenshot of every page in every style, and the main ones are copied,
# scaled down, into docs/pictures/. Needs the x64 engine and the builder built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
HALVARD_ENGINE=x64 /usr/bin/python3 -m pytest -q tests/e2e/test_wizard.py -k "interactive"
shots=build/e2e-x64/screenshots/pages
mkdir -p docs/pictures
for page in side_picture-language side_picture-license-1 banner-directory banner-summary plain-start-menu; do
  convert "$shots/$page.png" -resize 640x -strip "docs/pictures/$page.png"
done
ls -l docs/pictures
