"""Silent installation of a package made by halvard-build: every file lands with its
bytes, date and attributes, the log and the uninstall data describe what was done,
and a damaged package writes nothing."""

from __future__ import annotations

import os
import random
import re
import shutil
import struct
import subprocess
from pathlib import Path

import pytest

from package_tools import halvard_build, patched, setup_section

SEED = 20261210
# 2021-03-04 05:06:08 UTC, an even second: the package keeps whole seconds.
FILE_TIME = 1614834368

PROJECT = """
[product]
name = "Silent Demo"
publisher = "Halvard Tests"
version = "2.5"
install_dir = "Silent Demo"

[options]
product_flags_low = ["uninstall_support", "keep_log", "detailed_log"]
product_flags_high = ["verify_checksums"]

[uninstall]
subdir = "uninst"

[[files]]
source = "files/**"
base = "files"

[[files]]
source = "extra/settings.default"
destination = "config\\\\settings.ini"

[[files]]
source = "extra/shared.txt"
destination = "%InstallDir%\\\\by-variable\\\\"

[[files]]
source = "extra/notes.txt"
flags = ["uninstall_dir"]

[[files]]
source = "extra/launcher.exe"
kind = "shortcut"

[[files]]
source = "extra/engine.dll"
kind = "versioned"
version = "1.2.3"

[[files]]
source = "extra/readonly.txt"
attributes = ["read_only"]

[build]
block_size = 65536
"""


def make_tree(root: Path) -> dict[str, bytes]:
    """The package's source files and the installed names they must end up as."""
    rng = random.Random(SEED)
    print(f"seed {SEED}")
    expected: dict[str, bytes] = {}
    for i in range(42):
        folder = ["", "bin", "bin/plugins", "docs", "docs/en/html", "data/a/b/c"][i % 6]
        name = f"{folder}/file{i:02d}.{'bin' if i % 3 else 'txt'}".lstrip("/")
        if i % 3:
            data = bytes(rng.getrandbits(8) for _ in range(rng.randrange(0, 70000)))
        else:
            data = (f"line {i}\r\n" * rng.randrange(1, 3000)).encode()
        path = root / "files" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        expected[name.replace("/", "\\")] = data
    extras = {
        "settings.default": ("config\\settings.ini", b"[settings]\r\nmode=1\r\n"),
        "shared.txt": ("by-variable\\shared.txt", b"placed through a variable\r\n"),
        "notes.txt": ("uninst\\notes.txt", b"kept with the uninstall data\r\n"),
        "launcher.exe": ("launcher.exe", b"MZ" + bytes(100)),
        "engine.dll": ("engine.dll", b"MZ" + bytes(range(256)) * 8),
        "readonly.txt": ("readonly.txt", b"do not change me\r\n"),
    }
    (root / "extra").mkdir()
    for source, (installed, data) in extras.items():
        (root / "extra" / source).write_bytes(data)
        expected[installed] = data
    for path in root.rglob("*"):
        if path.is_file():
            os.utime(path, (FILE_TIME, FILE_TIME))
    (root / "project.toml").write_text(PROJECT)
    return expected


@pytest.fixture(scope="module")
def package(build_paths, engine, tmp_path_factory):
    root = tmp_path_factory.mktemp("silent")
    expected = make_tree(root / "project")
    setup = root / "setup.exe"
    subprocess.run([str(halvard_build(build_paths.build_dir)), "build", str(root / "project" / "project.toml"),
                    "-o", str(setup), "--engine", str(engine)], check=True, capture_output=True, timeout=600)
    return setup, expected


def unix_path(drive_c: Path, windows: str) -> Path:
    assert windows[:3].upper() == "C:\\", windows
    return drive_c / windows[3:].replace("\\", "/")


def check_installed(folder: Path, expected: dict[str, bytes]) -> None:
    for name, data in expected.items():
        path = folder / name.replace("\\", "/")
        assert path.read_bytes() == data, name
        assert int(path.stat().st_mtime) == FILE_TIME, name
    assert not os.access(folder / "readonly.txt", os.W_OK) or os.geteuid() == 0
    assert (folder / "readonly.txt").stat().st_mode & 0o222 == 0


@pytest.mark.parametrize("args, folder", [
    ("/a", "Program Files (x86)/Silent Demo"),
    ('/a /d:"C:\\Other Place\\Demo"', "Other Place/Demo"),
])
def test_silent_install_writes_every_file(wine, build_paths, package, args, folder):
    setup, expected = package
    drive_c = build_paths.prefix / "drive_c"
    target = drive_c / folder
    shutil.rmtree(target, ignore_errors=True)
    assert wine.run(setup, args, timeout=300) == 1
    check_installed(target, expected)

    log = (target / "uninst" / "Install.LOG").read_bytes().decode("cp1252")
    install_dir = "C:\\" + folder.replace("/", "\\")
    assert log.startswith("Installation log for: Silent Demo\r\nInstall date: ")
    assert re.search(r"\r\nInstall date: \d{1,2}-[A-Z][a-z]{2}-\d{4} \d{1,2}:\d\d:\d\d[ap]\r\n", log)
    assert f"\r\nInstall location: {install_dir}\r\nInstaller version: 26.1\r\nProduct version: 2.5\r\n" in log
    assert "\r\nOperating system: " in log

    data = (target / "uninst" / "Uninstall.DAT").read_bytes().decode("cp1252")
    for name in expected:
        assert f"{install_dir}\\{name}".lower() in data.lower(), name
    for sub in ("bin", "bin\\plugins", "docs\\en\\html", "data\\a\\b\\c", "uninst"):
        assert f"{install_dir}\\{sub}".lower() in data.lower(), sub
    shutil.rmtree(target)


def region_bounds(data: bytes) -> tuple[int, int]:
    """File offsets of the start and end of the file-data region (in the section)."""
    start = setup_section(data).raw_offset
    stream_size, = struct.unpack_from("<i", data, start + 8)
    file_count, data_size = struct.unpack_from("<ii", data, start + 24)
    region = start + 36 + 4 * file_count + stream_size
    return region, region + data_size


@pytest.mark.parametrize("where", ["block length", "block data", "late file data"])
def test_damaged_region_is_refused_before_any_file(wine, ui, build_paths, package, tmp_path, where):
    setup, expected = package
    data = setup.read_bytes()
    region, end = region_bounds(data)
    offset = {"block length": region, "block data": region + 20, "late file data": end - 10}[where]
    exe = patched(setup, tmp_path / "setup.exe", {offset: bytes([data[offset] ^ 0x10])})
    target = build_paths.prefix / "drive_c" / "Damaged Demo"
    answered = ui.answer_message_box(wine.start(exe, '/a /d:"C:\\Damaged Demo"'), timeout=60)
    assert answered.text.endswith("Error code: 55")
    assert answered.exit_code == 1
    assert not [p for p in target.rglob("*") if p.is_file()] if target.exists() else True
    shutil.rmtree(target, ignore_errors=True)
