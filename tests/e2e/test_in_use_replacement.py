"""A file that a running program holds open is replaced at the next restart: the new
data waits beside it, the replacement is registered with Windows and logged, and after
a restart the file holds the new bytes. A file that did not exist before is a failure
instead, unless the package asks for replacement of new files too."""

from __future__ import annotations

import os
import shutil
import time
from pathlib import Path

import pytest

from harness import IDNO, windows_path
from package_tools import build_project

PROJECT = """
[product]
name = "In Use"
version = "1.0"
install_dir = "In Use Demo"

[options]
product_flags_low = ["uninstall_support", "keep_log"{low_extra}]
# A registered replacement wants a restart, and a silent run restarts at once; Wine
# would carry out the rename while the test still holds the file. Asking first keeps
# the restart in the test's hands.
product_flags_high = ["reboot_question_in_silent_mode"]

[uninstall]
subdir = "uninst"

[[files]]
source = "app.dll"
kind = "{kind}"
"""


def build(build_paths, engine, folder: Path, data: bytes, kind="plain", low_extra="") -> Path:
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "app.dll").write_bytes(data)
    (folder / "project.toml").write_text(PROJECT.format(kind=kind, low_extra=low_extra))
    setup = folder / "setup.exe"
    build_project(build_paths.build_dir, engine, folder / "project.toml", setup)
    return setup


def hold(wine, build_paths, path: Path, tmp_path: Path):
    probe = build_paths.windows_dir / "tests" / "e2e" / "probes" / "hold_file.exe"
    marker = tmp_path / "held.marker"
    holder = wine.start(probe, f'"{windows_path(path)}" "{windows_path(marker)}" 60', timeout=90)
    deadline = time.monotonic() + 30
    while not marker.exists():
        assert time.monotonic() < deadline, "the file was never held"
        time.sleep(0.1)
    return holder


def pending_renames(wine) -> str:
    return wine.tool(["wine", "reg", "query", r"HKLM\System\CurrentControlSet\Control\Session Manager",
                      "/v", "PendingFileRenameOperations"], check=False).stdout


@pytest.fixture
def folder(build_paths):
    path = build_paths.prefix / "drive_c" / "In Use Demo"
    shutil.rmtree(path, ignore_errors=True)
    yield path
    shutil.rmtree(path, ignore_errors=True)


def test_a_held_file_is_replaced_at_the_next_restart(wine, ui, build_paths, engine, tmp_path, folder):
    old, new = b"MZ old version " * 100, b"MZ new version " * 120
    # The versioned kind compares with the file that is there: it existed before.
    first = build(build_paths, engine, tmp_path / "v1", old, kind="versioned")
    assert wine.run(first, '/a /d:"C:\\In Use Demo"', timeout=120) == 1
    assert (folder / "app.dll").read_bytes() == old
    os.utime(folder / "app.dll", (1_000_000_000, 1_000_000_000))   # older than the new file

    second = build(build_paths, engine, tmp_path / "v2", new, kind="versioned")
    holder = hold(wine, build_paths, folder / "app.dll", tmp_path)
    process = wine.start(second, '/a /d:"C:\\In Use Demo"', timeout=120)
    # The restart question, asked also in this silent run; No leaves the restart to us.
    assert ui.answer_message_box(process, IDNO, timeout=60).exit_code == 1
    holder.kill()

    assert (folder / "app.dll").read_bytes() == old
    log = (folder / "uninst" / "Install.LOG").read_bytes().decode("cp1252")
    assert "C:\\In Use Demo\\app.dll\" was successfully registered for replacement.\r\n" in log
    assert "In Use Demo\\app.dll" in pending_renames(wine)

    wine.tool(["wineboot", "-r"], timeout=120)
    assert (folder / "app.dll").read_bytes() == new


def test_a_held_file_that_is_new_to_the_package_is_a_failure(wine, build_paths, engine, tmp_path, folder):
    # A plain file counts as new even when something of its name is there; without the
    # package's permission to replace new files at restart, it ends in the failure summary.
    folder.mkdir(parents=True)
    (folder / "app.dll").write_bytes(b"someone else's file")
    setup = build(build_paths, engine, tmp_path / "plain", b"MZ package data", kind="plain")
    holder = hold(wine, build_paths, folder / "app.dll", tmp_path)
    assert wine.run(setup, '/a /d:"C:\\In Use Demo"', timeout=120) == 1
    holder.kill()
    log = (folder / "uninst" / "Install.LOG").read_bytes().decode("cp1252")
    summary = log[log.index("*** FAILURE SUMMARY ***"):]
    assert "C:\\In Use Demo\\app.dll" in summary
    assert "registered for replacement" not in log
    assert (folder / "app.dll").read_bytes() == b"someone else's file"
