"""Installing onto a drive that fills up: the file that does not fit is a failure with
the system's text, the run goes on with the files after it, and nothing that was not
written is reported as installed."""

from __future__ import annotations

import random

from package_tools import build_project

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
