#!/usr/bin/env python3
"""Engine size benchmark (not a test): the stripped size of each engine and, from a link
map, where its bytes come from (our code, libstdc++, C runtime, winpthreads, unwinder, ...),
split by kind of section (code, data, exception tables, resources).

    bench/engine_size.py [--engine x86|x64|both] [--no-build] [--map-dir DIR]

It builds the engine with the usual preset, then repeats the engine's own link command
with -Wl,-Map added (into a scratch file, so the built engine is untouched) and reads
the map. Sizes are the sections' sizes before the linker pads them to file alignment,
so the columns add up to a little less than the file.
"""

from __future__ import annotations

import argparse
import collections
import os
import re
import shlex
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
ENGINES = {
    "x86": ("win32", "src/halvard-engine.exe"),
    "x64": ("win64", "src/halvard-engine-x64.exe"),
}

# Component of an input file, by the archive or object it came from.
COMPONENTS = [
    ("our code", re.compile(r"libhv_(core|win)\.a|/CMakeFiles/|\.ltrans\d*\.ltrans\.o|ltrans[^/]*\.o$|\.res$|\.rc\.")),
    ("libstdc++", re.compile(r"libstdc\+\+\.a|libsupc\+\+\.a")),
    ("winpthreads", re.compile(r"libwinpthread\.a|libpthread\.a")),
    ("unwinder", re.compile(r"libgcc_eh\.a|libgcc_s")),
    ("libgcc", re.compile(r"libgcc\.a")),
    ("C runtime", re.compile(r"libmingw32\.a|libmingwex\.a|libmsvcrt[^/]*\.a|libucrt[^/]*\.a|libmoldname\.a|crt2\.o|crt1\.o|crtbegin\.o|crtend\.o|dllcrt2\.o")),
    ("import stubs", re.compile(r"/lib[a-z0-9_]+\.a\(")),
]

# Kind of output section.
def section_kind(name: str) -> str:
    if name == ".text":
        return "code"
    if name == ".eh_frame":
        return ".eh_frame"
    if name in (".pdata", ".xdata"):
        return ".pdata/.xdata"
    if name == ".rsrc":
        return "resources"
    if name == ".idata":
        return "imports"
    return "data"


KINDS = ["code", "data", ".eh_frame", ".pdata/.xdata", "imports", "resources"]


def component(origin: str) -> str:
    for name, pattern in COMPONENTS:
        if pattern.search(origin):
            return name
    return "other (linker)"


INPUT_LINE = re.compile(r"^ (\S+)?\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(\S.*)$")
OUTPUT_LINE = re.compile(r"^(\.\S+|\S+)\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)")


def read_map(path: Path) -> dict[str, dict[str, int]]:
    """Sizes of input sections, by component and kind of output section."""
    table: dict[str, dict[str, int]] = collections.defaultdict(lambda: collections.defaultdict(int))
    in_memory_map = False
    output = None
    pending_name = None
    for raw in path.read_text(errors="replace").splitlines():
        if raw.startswith("Linker script and memory map"):
            in_memory_map = True
            continue
        if not in_memory_map or not raw.strip():
            continue
        if not raw.startswith(" "):
            match = OUTPUT_LINE.match(raw)
            name = raw.split()[0]
            if name.startswith(".") or name.startswith("/DISCARD/"):
                # .bss takes no room in the file.
                output = None if name.startswith("/DISCARD/") or name == ".bss" else name
                # Sections with no address (debug, discarded) or of no size are left out.
                if match and int(match.group(2), 16) == 0:
                    output = None
            pending_name = None
            continue
        if output is None:
            continue
        stripped = raw.strip()
        # A long input section name stands alone; its address, size and file follow.
        if re.fullmatch(r"\S+", stripped) and not stripped.startswith("0x") and raw.startswith(" ."):
            pending_name = stripped
            continue
        match = INPUT_LINE.match(raw)
        if not match:
            continue
        name = match.group(1) or pending_name
        pending_name = None
        if name is None or name.startswith("*") or not name.startswith("."):
            continue
        size = int(match.group(3), 16)
        if size == 0:
            continue
        origin = "base relocations" if output == ".reloc" else component(match.group(4))
        table[origin][section_kind(output)] += size
    return table


def link_command(build: Path, target: str) -> list[str]:
    """The engine's link command as ninja would run it."""
    text = subprocess.run(["ninja", "-C", str(build), "-t", "commands", target], check=True,
                          capture_output=True, text=True).stdout.strip().splitlines()[-1]
    # Ninja wraps it as ": && <link> && :" (with pre- or post-link steps in between).
    step = next(part for part in text.split(" && ") if " -o " in part)
    words = shlex.split(step)
    # No import library: the scratch link must not rewrite the build's files.
    return [w for w in words if not w.startswith("-Wl,--out-implib")]


def measure(engine: str, build_first: bool, map_dir: Path) -> None:
    preset, target = ENGINES[engine]
    build = ROOT / "build" / preset
    if build_first:
        subprocess.run(["cmake", "--preset", preset], check=True, stdout=subprocess.DEVNULL, cwd=ROOT)
        subprocess.run(["cmake", "--build", "--preset", preset, "-j2", "--target", "halvard-engine"],
                       check=True, stdout=subprocess.DEVNULL, cwd=ROOT)
    exe = build / target
    command = link_command(build, target)
    map_dir.mkdir(parents=True, exist_ok=True)
    scratch = map_dir / f"engine-{engine}.exe"
    map_path = map_dir / f"engine-{engine}.map"
    out = command.index("-o")
    command[out + 1] = str(scratch)
    # The launcher (if any) and the compiler driver stay as the build has them.
    command.append(f"-Wl,-Map={map_path}")
    subprocess.run(command, check=True, cwd=build)
    table = read_map(map_path)

    print(f"\n{engine} engine: {exe.relative_to(ROOT)}  {exe.stat().st_size:,} bytes stripped"
          f" (relinked with a map: {scratch.stat().st_size:,})")
    names = [name for name, _ in COMPONENTS] + ["base relocations", "other (linker)"]
    rows = [(name, table.get(name, {})) for name in names if table.get(name)]
    width = max(len(name) for name, _ in rows)
    print(f"  {'component':<{width}}  " + "  ".join(f"{k:>13}" for k in KINDS) + f"  {'total':>9}")
    totals = collections.defaultdict(int)
    for name, sizes in rows:
        for kind in KINDS:
            totals[kind] += sizes.get(kind, 0)
        print(f"  {name:<{width}}  " + "  ".join(f"{sizes.get(k, 0):>13,}" for k in KINDS) +
              f"  {sum(sizes.values()):>9,}")
    print(f"  {'all':<{width}}  " + "  ".join(f"{totals[k]:>13,}" for k in KINDS) +
          f"  {sum(totals.values()):>9,}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--engine", choices=["x86", "x64", "both"], default="both")
    parser.add_argument("--no-build", action="store_true", help="measure the engines as built")
    parser.add_argument("--map-dir", type=Path, default=ROOT / "build" / "engine-size")
    args = parser.parse_args()
    engines = ["x86", "x64"] if args.engine == "both" else [args.engine]
    for engine in engines:
        measure(engine, not args.no_build, args.map_dir)
    return 0


if __name__ == "__main__":
    sys.exit(main())
