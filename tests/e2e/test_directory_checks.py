"""The directory page refuses each kind of unusable folder with its own message and shows
itself again, asks before a drive that is too small and before a folder it would take,
creates a new folder (which the removal takes away again) and never leaves its probe
file behind."""

from __future__ import annotations

import random
import re
import subprocess
import time
from pathlib import Path

from harness import IDNO, IDOK, IDYES, UiError
from package_tools import build_project, package_messages
from registration_tools import is_registered, run_recorded, uninstall_key

OK, EDIT, SPACE_NEEDED = 1001, 1015, 1036

PROJECT = r"""
[product]
name = "Folder Checks"
version = "1.0"
install_dir = "Folder Checks"

[options]
product_flags_low = ["uninstall_support", "directory_page", "confirm_directory"]
product_flags_high = ["refuse_network_directory", "no_greeting"]

[[files]]
source = "files/**"
base = "files"
"""


def fill(template: str, *values: str) -> str:
    """A message with its conversions filled in order, as the engine fills them."""
    it = iter(values)
    return re.sub(r"%[%scdu]", lambda m: "%" if m.group(0) == "%%" else next(it), template)


def wait_page(ui, process, timeout: float = 30.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for window in ui.windows(pid=process, cls="#32770"):
            try:
                if any(c.id == SPACE_NEEDED for c in ui.controls(window)):
                    return window
            except UiError:
                continue  # gone meanwhile
        time.sleep(0.1)
    raise AssertionError("the directory page did not come back")


def immutable(path: Path, on: bool) -> bool:
    return subprocess.run(["chattr", "+i" if on else "-i", str(path)], capture_output=True).returncode == 0


def missing_drive_letter(prefix: Path) -> str:
    taken = {p.name[0].upper() for p in (prefix / "dosdevices").iterdir() if p.name[1:] == ":"}
    return next(letter for letter in "QPOLKJIHGFBA" if letter not in taken)


def test_directory_page_checks(wine, ui, build_paths, engine, small_drive, tmp_path):
    files = tmp_path / "files"
    files.mkdir()
    (files / "program.txt").write_text("program\n")
    # More than the small drive holds, so that its free space falls short.
    (files / "data.bin").write_bytes(random.Random(3).randbytes(3 * 1024 * 1024))
    (tmp_path / "project.toml").write_text(PROJECT)
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    messages = {n: t.replace("<product>", "Folder Checks")
                for n, t in package_messages(build_paths.build_dir, setup).items()}
    drive_c = build_paths.prefix / "drive_c"
    existing = drive_c / "Folder Checks Existing"
    existing.mkdir(exist_ok=True)
    locked = drive_c / "Folder Checks Locked"
    locked.mkdir(exist_ok=True)
    locked_works = immutable(locked, True)
    missing = missing_drive_letter(build_paths.prefix)

    refusals = [  # (typed text, the error box's text)
        ("C:\\", messages[17]),
        ("C:\\Program Files\\", fill(messages[18], "C:\\Program Files")),
        (f"{missing}:\\App", fill(messages[16], missing)),
        ("\\\\server\\share\\App", messages[66]),
        ("C:\\Bad|Name", messages[14] + "\r\n\r\nC:\\Bad|Name"),
        ("  C:\\Apps\\..\\Windows \t", messages[14] + "\r\n\r\nC:\\Apps\\..\\Windows"),
    ]
    locked_text = "C:\\Folder Checks Locked"
    if locked_works:
        refusals.append((locked_text, fill(messages[73], locked_text)))

    process = wine.start(setup, timeout=300)
    try:
        for typed, text in refusals:
            page = wait_page(ui, process)
            ui.set_text(page, typed, EDIT)
            ui.press(page, OK)
            if typed == locked_text:  # it exists, and is confirmed before it is tried
                confirm = ui.message_box(process, caption=messages[24], timeout=30)
                assert confirm.text == fill(messages[22], locked_text)
                ui.press(confirm, IDYES)
            box = ui.message_box(process, caption=messages[21], timeout=30)
            assert box.text == text, typed
            ui.press(box, IDOK)

        # Too little space on R: is a question; Yes goes on to the confirmation, whose
        # No shows the page again before anything was made there.
        page = wait_page(ui, process)
        ui.set_text(page, "R:\\App", EDIT)
        ui.press(page, OK)
        low_space = ui.message_box(process, caption=messages[20], timeout=30)
        pattern = re.escape(messages[19]).replace("%s", ".+").replace("%c", "R")
        assert re.fullmatch(pattern, low_space.text, re.S), low_space.text
        ui.press(low_space, IDYES)
        confirm = ui.message_box(process, caption=messages[24], timeout=30)
        assert confirm.text == fill(messages[23], "R:\\App")
        ui.press(confirm, IDNO)

        page = wait_page(ui, process)
        ui.set_text(page, str("C:\\Folder Checks Existing"), EDIT)
        ui.press(page, OK)
        confirm = ui.message_box(process, caption=messages[24], timeout=30)
        assert confirm.text == fill(messages[22], "C:\\Folder Checks Existing")
        ui.press(confirm, IDNO)

        page = wait_page(ui, process)
        ui.set_text(page, "C:\\Folder Checks New\\Sub", EDIT)
        ui.press(page, OK)
        confirm = ui.message_box(process, caption=messages[24], timeout=30)
        assert confirm.text == fill(messages[23], "C:\\Folder Checks New\\Sub")
        ui.press(confirm, IDYES)
        done = ui.message_box(process, caption=messages[43], timeout=120)
        ui.press(done, IDOK)
        assert process.wait(60) == 1

        target = drive_c / "Folder Checks New" / "Sub"
        assert (target / "program.txt").read_text() == "program\n"
        for folder in (target, existing, small_drive, locked):
            assert not list(folder.glob("FKT*")), f"a probe file remained in {folder}"
        assert not (small_drive / "App").exists()

        # The folders the page made belong to the product and go with it.
        assert run_recorded(wine, "Folder Checks") == 0
        deadline = time.monotonic() + 30
        while (drive_c / "Folder Checks New").exists() and time.monotonic() < deadline:
            time.sleep(0.5)
        assert not (drive_c / "Folder Checks New").exists()
        assert existing.exists()
    finally:
        if locked_works:
            immutable(locked, False)
        locked.rmdir()
        existing.rmdir()
        if is_registered(wine, "Folder Checks"):
            run_recorded(wine, "Folder Checks")
            wine.tool(["wine", "reg", "delete", uninstall_key("Folder Checks"), "/f"], check=False)
