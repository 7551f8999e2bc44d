"""Building setup.exe files with halvard-build for the end-to-end tests, and finding
and changing their bytes the way a damaged download would."""

from __future__ import annotations

import json
import shutil
import struct
import subprocess
from dataclasses import dataclass
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
EXAMPLE = REPO / "examples" / "hello"


def halvard_build(build_dir: Path) -> Path:
    for preset in ("native", "native-release"):
        tool = build_dir / preset / "tools" / "builder" / "halvard-build"
        if tool.exists():
            return tool
    raise FileNotFoundError("halvard-build is not built (cmake --build --preset native)")


def build_project(build_dir: Path, engine: Path, project: Path, output: Path) -> Path:
    """Builds the project file with the given engine into `output`."""
    subprocess.run([str(halvard_build(build_dir)), "build", str(project), "-o", str(output), "--engine", str(engine)],
                   check=True, capture_output=True, timeout=300)
    return output


def build_example(build_dir: Path, engine: Path, work: Path, name: str = "setup.exe") -> Path:
    """Builds examples/hello with the given engine into work/name."""
    project = work / "project"
    if not project.exists():
        shutil.copytree(EXAMPLE, project, ignore=shutil.ignore_patterns("setup.exe"))
    output = work / name
    subprocess.run([str(halvard_build(build_dir)), "build", str(project / "project.toml"),
                    "-o", str(output), "--engine", str(engine)],
                   check=True, capture_output=True, timeout=300)
    return output


def package_messages(build_dir: Path, setup: Path, language: str = "English") -> dict[int, str]:
    """The package's message table in one language, as halvard-build inspect reads it."""
    done = subprocess.run([str(halvard_build(build_dir)), "inspect", str(setup), "--json"],
                          check=True, capture_output=True, timeout=120)
    return {row["number"]: row[language] for row in json.loads(done.stdout)["messages"]}


@dataclass
class SetupSection:
    entry: int          # file offset of its section-table entry
    raw_offset: int     # PointerToRawData
    raw_size: int
    e_lfanew: int
    size_of_headers: int


def setup_section(data: bytes) -> SetupSection:
    e_lfanew = struct.unpack_from("<I", data, 60)[0]
    count = struct.unpack_from("<H", data, e_lfanew + 6)[0]
    optional_size = struct.unpack_from("<H", data, e_lfanew + 20)[0]
    size_of_headers = struct.unpack_from("<I", data, e_lfanew + 24 + 60)[0]
    table = e_lfanew + 24 + optional_size
    for i in range(count):
        entry = table + 40 * i
        if data[entry:entry + 8] == b".setup\0\0":
            raw_size, raw_offset = struct.unpack_from("<II", data, entry + 16)
            return SetupSection(entry, raw_offset, raw_size, e_lfanew, size_of_headers)
    raise ValueError("no .setup section")


def patched(source: Path, target: Path, changes: dict[int, bytes]) -> Path:
    """A copy of source with bytes replaced at the given file offsets."""
    data = bytearray(source.read_bytes())
    for offset, value in changes.items():
        data[offset:offset + len(value)] = value
    target.write_bytes(bytes(data))
    return target
