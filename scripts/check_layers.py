#!/usr/bin/env python3
"""Fails when a file of the engine includes one from a layer above its own, or from
another folder of its own layer: the installer and the uninstaller never include each
other, and what both need lives below them.

    crash  <  foundation  <  package  <  ui, records  <  variables  <  machine
           <  installer, uninstall  <  engine
"""

from __future__ import annotations

import re
import sys
from pathlib import Path

LAYERS = {
    "crash": 0,          # the fatal-error path, under everything
    "foundation": 1,     # files, registry access, restart-time operations, system facts
    "package": 2,        # the package and its settings
    "ui": 3,             # the background window, the pages and the message boxes
    "records": 3,        # Install.LOG, Uninstall.DAT, the uninstall registration's values
    "variables": 4,      # directory variables, batch files
    "machine": 5,        # changes both sides make: closing applications, firewall, PATH
    "installer": 6,
    "uninstall": 6,
    "engine": 7,         # the entry point and the run-mode dispatch
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.M)


def violations(src: Path) -> list[str]:
    found = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        own = path.relative_to(src).parts[0]
        if own not in LAYERS:
            found.append(f"{path.relative_to(src)}: folder {own!r} has no layer; add it to {Path(__file__).name}")
            continue
        for line_number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match or match.group(1) == own:
                continue
            target = match.group(1)
            if target not in LAYERS:
                found.append(f"{path.relative_to(src)}:{line_number}: includes from unknown folder {target!r}")
            elif LAYERS[target] >= LAYERS[own]:
                where = "above" if LAYERS[target] > LAYERS[own] else "beside"
                found.append(f"{path.relative_to(src)}:{line_number}: {own} includes {line.split()[-1]}, "
                             f"a layer {where} its own")
    return found


def main() -> int:
    src = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "src"
    found = violations(src)
    for line in found:
        print(line)
    print(f"layers: {len(found)} include(s) point the wrong way" if found else "layers: every include points down")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
