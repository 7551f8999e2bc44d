"""Installing onto a drive that fills up: the file that does not fit is a failure with
the system's text, the run goes on with the files after it, and nothing that was not
written is reported as installed. A drive that fills at a later phase (the uninstaller,
Uninstall.DAT, Install.LOG) is reported the same way, never leaves Uninstall.DAT cut
short, and leaves a product that can still be removed."""

from __future__ import annotations

import math
import os
import random
from pathlib import Path, PureWindowsPath

import pytest

from harness import wait_until
from package_tools import build_project
from registration_tools import is_registered, registered, run_recorded, uninstall_key

SEED = 7

PROJECT = """
[product]
name = "Full Drive"
version = "1.0"
install_dir = "Full Drive"

[options]
product_flags_low = ["uninstall_support", "keep_log", "detailed_log"]

[uninstall]
subdir = "uninst"

[[files]]
source = "files/**"
base = "files"

[build]
compression = "fast"
"""


def test_a_file_that_does_not_fit_fails_alone(wine, build_paths, engine, small_drive, tmp_path):
    rng = random.Random(SEED)
    files = tmp_path / "project" / "files"
    files.mkdir(parents=True)
    # Sorted names: two small files, one too large for the drive, two small after it.
    sizes = {"a-first.bin": 20_000, "b-second.bin": 30_000, "c-too-large.bin": 3 * 1024 * 1024,
             "d-after.bin": 25_000, "e-last.bin": 15_000}
    for name, size in sizes.items():
        (files / name).write_bytes(rng.randbytes(size))
    (tmp_path / "project" / "project.toml").write_text(PROJECT)
    setup = tmp_path / "setup.exe"
    build_project(build_paths.build_dir, engine, tmp_path / "project" / "project.toml", setup)

    assert wine.run(setup, '/a /d:"R:\\Full Drive"', timeout=300) == 1

    target = small_drive / "Full Drive"
    for name, size in sizes.items():
        path = target / name
        if name == "c-too-large.bin":
            assert not path.exists(), "a file that did not fit must not be left half-written"
        else:
            assert path.read_bytes() == (files / name).read_bytes(), name
    log = (target / "uninst" / "Install.LOG").read_bytes().decode("cp1252")
    summary = log[log.index("*** FAILURE SUMMARY ***"):]
    assert "R:\\Full Drive\\c-too-large.bin\r\n" in summary
    # The system's own text for ERROR_DISK_FULL (Wine words it shorter than Windows).
    assert "Disk full.\r\n" in summary or "There is not enough space on the disk." in summary
    installed_lines = [line for line in log.splitlines() if " >>> " in line]
    assert not [line for line in installed_lines if "c-too-large" in line]
    assert len(installed_lines) == 4
    # The removal list takes every destination before its write (so that a file
    # replaced at the next restart is removed too); the files after it are there.
    data = (target / "uninst" / "Uninstall.DAT").read_bytes().decode("cp1252")
    assert "d-after.bin" in data and "e-last.bin" in data

    # What was installed goes again, and the drive is as empty as before.
    assert run_recorded(wine, "Full Drive") == 0
    assert wait_until(lambda: not target.exists()), sorted(str(p) for p in target.rglob("*"))
    assert not is_registered(wine, "Full Drive")


PHASES_PROJECT = """
[product]
name = "Full Phases"
version = "1.0"
install_dir = "Full Phases"
installing_text = "{installing_text}"

[options]
product_flags_low = ["uninstall_support", "keep_log", "detailed_log"]
product_flags_high = ["errors_in_silent_mode"]

[uninstall]
subdir = "uninst"

[[files]]
source = "files/**"
base = "files"

[build]
compression = "fast"
"""

PAGE = 4096
# Many files with long names give a log longer than the removal list; the long text that
# Uninstall.DAT carries for the uninstaller makes it longer than the log.
FILE_COUNT = 120
FILE_SIZE = 4000


def pages(size: int) -> int:
    return math.ceil(size / PAGE)


def free_pages(drive: Path) -> int:
    found = os.statvfs(drive)
    return found.f_bavail * found.f_frsize // PAGE


def build_phases_package(build_paths, engine, work: Path) -> Path:
    rng = random.Random(SEED)
    files = work / "project" / "files"
    files.mkdir(parents=True)
    for n in range(FILE_COUNT):
        (files / f"a-file-named-at-some-length-{n:03}.bin").write_bytes(rng.randbytes(FILE_SIZE))
    text = PHASES_PROJECT.replace("{installing_text}", ("Please wait. " * 3000).strip())
    (work / "project" / "project.toml").write_text(text)
    return build_project(build_paths.build_dir, engine, work / "project" / "project.toml", work / "setup.exe")


@pytest.mark.parametrize("phase", ["uninstaller", "Uninstall.DAT", "Install.LOG"])
def test_a_drive_that_fills_at_a_later_phase(wine, ui, build_paths, engine, small_drive, tmp_path, phase):
    setup = build_phases_package(build_paths, engine, tmp_path)
    target = small_drive / "Full Phases"
    uninst = target / "uninst"
    install = f'/a /d:"R:\\Full Phases"'
    empty = free_pages(small_drive)
    try:
        # A first installation with room to spare measures what each phase takes.
        assert wine.run(setup, install, timeout=300) == 1
        uninstaller = PureWindowsPath(registered(wine, "Full Phases", "UninstallString").split('"')[1]).name
        data = (uninst / "Uninstall.DAT").read_bytes()
        size = {"files": sum(pages(p.stat().st_size) for p in target.glob("*.bin")),
                "uninstaller": pages((uninst / uninstaller).stat().st_size),
                "Uninstall.DAT": pages(len(data)),
                # The journal holds what Uninstall.DAT begins with, until that is written.
                "journal": pages(data.index(b"\r\n\r\n[Strings]") + 2),
                "Install.LOG": pages((uninst / "Install.LOG").stat().st_size)}
        assert size["journal"] < size["Install.LOG"] < size["Uninstall.DAT"], size
        assert run_recorded(wine, "Full Phases") == 0
        assert wait_until(lambda: not target.exists())
        assert free_pages(small_drive) == empty

        # Room for everything before the phase and for all of it but one page.
        needed = {"uninstaller": size["files"] + size["journal"] + size["uninstaller"],
                  "Uninstall.DAT": size["files"] + size["journal"] + size["uninstaller"] + size["Uninstall.DAT"],
                  "Install.LOG": size["files"] + size["uninstaller"] + size["Uninstall.DAT"] + size["Install.LOG"]}
        filler = small_drive / "filler.bin"
        filler.write_bytes(bytes((empty - needed[phase] + 1) * PAGE))
        assert free_pages(small_drive) == needed[phase] - 1

        process = wine.start(setup, install, timeout=300)
        if phase == "Install.LOG":
            # The log would have told; it cannot, so the run says so at once.
            shown = ui.answer_message_box(process, timeout=120)
            assert shown.text.startswith("Could not create R:\\Full Phases\\uninst\\Install.LOG\r\n"), shown.text
            assert shown.text.endswith(("Disk full.", "There is not enough space on the disk.")), shown.text
            assert shown.exit_code == 1
        else:
            assert process.wait() == 1
            failed = {"uninstaller": uninstaller, "Uninstall.DAT": "Uninstall.DAT"}[phase]
            log = (uninst / "Install.LOG").read_bytes().decode("cp1252")
            summary = log[log.index("*** FAILURE SUMMARY ***"):]
            assert f"R:\\Full Phases\\uninst\\{failed}\r\n" in summary, summary
            assert "Disk full.\r\n" in summary or "There is not enough space on the disk." in summary

        # Uninstall.DAT is whole or absent; no temporary is left.
        if phase == "Uninstall.DAT":
            assert not (uninst / "Uninstall.DAT").exists()
        else:
            assert (uninst / "Uninstall.DAT").read_bytes().endswith(b"Please wait.\r\n")
        assert sorted(p.name for p in uninst.iterdir() if p.suffix in (".tmp", ".hvpart")) == []

        if phase == "uninstaller":
            # There is no uninstaller to run: with room again, the same setup finishes the job.
            filler.unlink()
            assert wine.run(setup, install, timeout=300) == 1
        assert run_recorded(wine, "Full Phases") == 0
        assert wait_until(lambda: not target.exists()), sorted(str(p) for p in target.rglob("*"))
        assert not is_registered(wine, "Full Phases")
    finally:
        wine.tool(["wine", "reg", "delete", uninstall_key("Full Phases"), "/f"], check=False)
