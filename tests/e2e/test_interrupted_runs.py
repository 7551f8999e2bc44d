"""An installation or a removal ended from outside half-way, as a task manager or a
power cut ends it: what it left is never a torn file under a product's name, the next
run of the same program finishes the job, and the product then removes to the state
before the first attempt.

The runs are ended with TerminateProcess from the Windows side, at points chosen by
watching the product's folder from here: files landed, files gone, or the temporary of
Uninstall.DAT appearing."""

from __future__ import annotations

import random
import shutil
import time
from pathlib import Path

import pytest

from harness import wait_until
import snapshots
from package_tools import build_project
from registration_tools import is_registered, run_recorded, start_recorded, uninstall_key

SEED = 19
PRODUCT = "Interrupted"

PROJECT = r"""
[product]
name = "Interrupted"
version = "1.0"
install_dir = "Interrupted"
registry_key = "Halvard Interrupted"
{installing_text}

[options]
product_flags_low = ["uninstall_support", "keep_log", "detailed_log"]

[uninstall]
subdir = "uninst"

[[registration_values]]
name = "\\HKLM\\Software\\Halvard Interrupted\\Edition"
type = 4
value = "3"

[[files]]
source = "files/**"
base = "files"
"""

# Enough files in nested folders that a run is still at work when the kill arrives.
FOLDERS = ("", "docs", "docs/deeper", "data", "data/sets/one")
FILES_PER_FOLDER = 30
FILE_SIZE = 6_000


def build_package(build_paths, engine, work: Path, installing_text: str = "") -> tuple[Path, dict[str, bytes]]:
    rng = random.Random(SEED)
    files = {}
    for folder in FOLDERS:
        for n in range(FILES_PER_FOLDER):
            relative = f"{folder}/file-{n:03}.bin".lstrip("/")
            files[relative] = rng.randbytes(FILE_SIZE)
    for relative, data in files.items():
        path = work / "files" / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    text = f'installing_text = "{installing_text}"' if installing_text else ""
    (work / "project.toml").write_text(PROJECT.replace("{installing_text}", text))
    return build_project(build_paths.build_dir, engine, work / "project.toml", work / "setup.exe"), files


def landed(folder: Path, files: dict[str, bytes]) -> int:
    return sum(1 for relative in files if (folder / relative).exists())


def kill_when(wine, ui, process, condition, timeout: float = 60) -> None:
    """Ends the program from the Windows side as soon as the condition holds."""
    deadline = time.monotonic() + timeout
    while not condition():
        assert process.running(), "the run ended before the chosen point"
        assert time.monotonic() < deadline, "the chosen point never came"
    ui.terminate(process)
    process.wait(30)


def torn(folder: Path, files: dict[str, bytes]) -> list[str]:
    return [relative for relative, data in files.items()
            if (folder / relative).exists() and (folder / relative).read_bytes() != data]


def no_leftovers(folder: Path) -> list[str]:
    """Temporaries and journals that a finished run must not leave."""
    return sorted(str(p) for p in folder.rglob("*")
                  if p.name.endswith((".hvpart", ".tmp")) or p.name == "Uninstall.JNL")


def removed_to(wine, build_paths, tmp_path, before, folder: Path) -> list[str]:
    """Removes the product with the command Windows records and lists what differs from `before`."""
    assert run_recorded(wine, PRODUCT) == 0
    # The self-deleting batch outlives the uninstaller and takes its file and folders.
    users = build_paths.prefix / "drive_c" / "users"
    assert wait_until(lambda: not folder.parent.exists() and not list(users.glob("*/Temp/delunins.bat"))), \
        [str(p) for p in [folder.parent, *sorted(folder.parent.rglob("*"))] if p.exists()]
    return snapshots.differences(before, snapshots.take(wine, build_paths.prefix, tmp_path))


def clean_up(wine, folder: Path) -> None:
    wine.tool(["wine", "reg", "delete", uninstall_key(PRODUCT), "/f"], check=False)
    wine.tool(["wine", "reg", "delete", r"HKLM\Software\Halvard Interrupted", "/f", "/reg:64"], check=False)
    wine.tool(["wine", "reg", "delete", r"HKLM\Software\Wow6432Node\Halvard Interrupted", "/f", "/reg:64"],
              check=False)
    shutil.rmtree(folder.parent, ignore_errors=True)


TOTAL = len(FOLDERS) * FILES_PER_FOLDER
# The first run makes both folders; a later run finds them there.
OUTER = "Halvard Interrupted"
INSTALL = f'/a /d:"C:\\{OUTER}\\{PRODUCT}"'
# A text of a megabyte in Uninstall.DAT keeps the file's write (and its flush to the
# disk) going long enough to be caught.
LONG_TEXT = ("Please wait. " * 80_000).strip()


@pytest.mark.parametrize("point, installing_text", [
    ("first file", ""),
    ("half the files", ""),
    ("last files", ""),
    ("Uninstall.DAT", LONG_TEXT),
], ids=["first file", "half the files", "last files", "Uninstall.DAT"])
def test_a_killed_installation_is_finished_by_the_next_run(wine, ui, build_paths, engine, tmp_path, point,
                                                          installing_text):
    setup, files = build_package(build_paths, engine, tmp_path, installing_text)
    folder = build_paths.prefix / "drive_c" / OUTER / PRODUCT
    data_file = folder / "uninst" / "Uninstall.DAT"
    chosen = {
        "first file": lambda: landed(folder, files) >= 1,
        "half the files": lambda: landed(folder, files) >= TOTAL // 2,
        "last files": lambda: landed(folder, files) >= TOTAL - 10,
        "Uninstall.DAT": lambda: (folder / "uninst" / "Uninstall.DAT.tmp").exists(),
    }[point]
    before = snapshots.take(wine, build_paths.prefix, tmp_path)
    try:
        kill_when(wine, ui, wine.start(setup, INSTALL, timeout=120), chosen)
        assert torn(folder, files) == []
        if point == "Uninstall.DAT":
            # Either the file whole or no file: never a part.
            if data_file.exists():
                assert data_file.read_bytes().decode("cp1252").endswith(installing_text + "\r\n")
        else:
            assert landed(folder, files) < TOTAL, "the kill came after the file phase"

        assert wine.run(setup, INSTALL, timeout=120) == 1
        assert torn(folder, files) == [] and landed(folder, files) == TOTAL
        assert no_leftovers(folder) == []
        assert removed_to(wine, build_paths, tmp_path, before, folder) == []
    finally:
        clean_up(wine, folder)


@pytest.mark.parametrize("gone", [1, TOTAL // 2], ids=["first file", "half the files"])
def test_a_killed_removal_is_finished_by_the_next_run(wine, ui, build_paths, engine, tmp_path, gone):
    setup, files = build_package(build_paths, engine, tmp_path)
    folder = build_paths.prefix / "drive_c" / OUTER / PRODUCT
    before = snapshots.take(wine, build_paths.prefix, tmp_path)
    try:
        assert wine.run(setup, INSTALL, timeout=120) == 1
        kill_when(wine, ui, start_recorded(wine, PRODUCT), lambda: landed(folder, files) <= TOTAL - gone)
        assert 0 < landed(folder, files) < TOTAL and is_registered(wine, PRODUCT)
        assert removed_to(wine, build_paths, tmp_path, before, folder) == []
    finally:
        clean_up(wine, folder)
