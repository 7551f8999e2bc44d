"""Shortcuts of every kind from a real package: a desktop folder with its icon, Start-menu
links with a sub-folder and with "~"" arguments, Startup, a custom folder, the
uninstaller's and the log's links; then removed again with everything, except the link
the package keeps."""

from __future__ import annotations

import re
import time
from pathlib import Path

import snapshots
from package_tools import build_project, package_messages
from registration_tools import is_registered, run_recorded

PRODUCT = "Shortcut Demo"

PROJECT = r"""
[product]
name = "Shortcut Demo"
version = "1.0"
install_dir = "Shortcut Demo"
start_menu = "Halvard Demos\\Shortcut Demo"

[options]
product_flags_low = ["uninstall_support", "keep_log", "detailed_log", "uninstaller_start_menu_shortcut"]
product_flags_high = ["log_start_menu_shortcut", "uninstaller_data_folder_shortcut"]

[desktop]
folder_name = "Shortcut Demo Folder"
icon = "demo.ico"

[[shortcuts]]
target = '%InstallDir%\demo.exe'
name = "Demo"
arguments = "/start"
desktop = true
start_menu = true
startup = true
custom_folder = '%InstallDir%\Links'

[[shortcuts]]
target = "unused.exe"
name = 'Tools\Demo Help'
arguments = '~"%InstallDir%\demo.exe" /help'
start_menu = true

[[shortcuts]]
target = '%InstallDir%\demo.exe'
name = "Kept Demo"
start_menu = true
keep = true

[[files]]
source = "demo.exe"
"""


def host_path(prefix: Path, windows: str) -> Path:
    assert windows[:3].upper() == "C:\\", windows
    return prefix / "drive_c" / Path(*windows[3:].split("\\"))


def test_shortcuts_round_trip(wine, build_paths, engine, tmp_path):
    (tmp_path / "demo.exe").write_bytes(b"MZ demo")
    (tmp_path / "demo.ico").write_bytes(b"\0\0\1\0icon")
    (tmp_path / "project.toml").write_text(PROJECT)
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    messages = {n: t.replace("<product>", PRODUCT) for n, t in package_messages(build_paths.build_dir, setup).items()}
    prefix = build_paths.prefix
    folder = prefix / "drive_c" / "Program Files (x86)" / PRODUCT
    before = snapshots.take(wine, prefix, tmp_path)
    try:
        process = wine.start(setup, "/a", timeout=120)
        assert process.wait() == 1, process.stderr
        log = (folder / "Uninstall" / "Install.LOG").read_bytes().decode("cp1252")
        links = dict(re.findall(r"^(.*?) >>> (.*?)\r$", log, re.M))
        kinds = ["Desktop Folder Shortcut(Demo)", "Start Menu Shortcut(Demo)", "Startup Shortcut(Demo)",
                 "Shortcut(Demo)", "Start Menu Shortcut(Tools\\Demo Help)", "Start Menu Shortcut(Kept Demo)",
                 f"Start Menu Shortcut({messages[86]})", "Uninstaller Shortcut"]
        for kind in kinds:
            assert kind in links, (kind, sorted(links))
            assert host_path(prefix, links[kind]).is_file(), links[kind]
        assert "\\Shortcut Demo Folder\\Demo.LNK" in links["Desktop Folder Shortcut(Demo)"]
        assert links["Shortcut(Demo)"] == "C:\\Program Files (x86)\\Shortcut Demo\\Links\\Demo.LNK"
        assert links["Start Menu Shortcut(Tools\\Demo Help)"].endswith(
            "\\Halvard Demos\\Shortcut Demo\\Tools\\Demo Help.LNK")
        assert (folder / "Uninstall" / f"{messages[33]}.LNK").is_file()
        assert (folder / "Uninstall" / "Desktop Icon.ico").read_bytes() == b"\0\0\1\0icon"
        desktop_folder = host_path(prefix, links["Desktop Folder Shortcut(Demo)"]).parent
        ini = (desktop_folder / "Desktop.ini").read_bytes().decode("cp1252")
        assert "[.ShellClassInfo]" in ini and "IconFile=C:\\Program Files (x86)\\Shortcut Demo\\Uninstall\\" \
                                                  "Desktop Icon.ico" in ini and "IconIndex=0" in ini
        kept = host_path(prefix, links["Start Menu Shortcut(Kept Demo)"])

        assert run_recorded(wine, PRODUCT) == 0
        deadline = time.monotonic() + 30
        while folder.exists() and time.monotonic() < deadline:
            time.sleep(0.5)
        assert not desktop_folder.exists()
        assert kept.is_file()
        after = snapshots.take(wine, prefix, tmp_path)
        left = snapshots.differences(before, after)
        # Only the kept link and the folders that hold it.
        assert all("Halvard Demos" in line for line in left), "\n".join(left)
        assert any(line.endswith("Kept Demo.LNK") for line in left), "\n".join(left)
    finally:
        if is_registered(wine, PRODUCT):
            run_recorded(wine, PRODUCT)
        for path in prefix.glob("drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Halvard Demos"):
            for child in sorted(path.rglob("*"), reverse=True):
                child.unlink() if child.is_file() else child.rmdir()
            path.rmdir()


ROOT_PROJECT = r"""
[product]
name = "Root Demo"
version = "1.0"
install_dir = "Root Demo"

[options]
product_flags_low = ["uninstall_support", "keep_log", "detailed_log"]

[root_shortcut]
name = "Start Root Demo"
target = '%InstallDir%\demo.exe'

[[files]]
source = "demo.exe"
"""


def test_no_root_shortcut_off_the_usb_bus(wine, build_paths, engine, small_drive, tmp_path):
    """R: is a removable drive here (the prefix gives it the "floppy" type), but Wine
    answers the storage query with the SCSI bus, so no root shortcut is made there; nor
    on C:, a fixed disk. (Wine has no USB bus to show the link being made; the decision
    itself has its table test.)"""
    (tmp_path / "demo.exe").write_bytes(b"MZ demo")
    (tmp_path / "project.toml").write_text(ROOT_PROJECT)
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    try:
        for folder, host in ((r"R:\Root Demo", small_drive), (r"C:\Root Demo", build_paths.prefix / "drive_c")):
            process = wine.start(setup, f'/a /d:"{folder}"', timeout=120)
            assert process.wait() == 1, process.stderr
            log = (host / "Root Demo" / "Uninstall" / "Install.LOG").read_bytes().decode("cp1252")
            assert "demo.exe >>> " in log and "Root Shortcut" not in log, log
            assert not list(host.glob("Start Root Demo*"))
            assert run_recorded(wine, "Root Demo") == 0
    finally:
        if is_registered(wine, "Root Demo"):
            run_recorded(wine, "Root Demo")
