"""When the uninstaller cannot finish: it says why, keeps the registration and leaves an
Uninstall.DAT with exactly what is left, so that a later run completes the job."""

from __future__ import annotations

import re
import shutil
import time

from harness import IDYES, windows_path
from package_tools import build_project, package_messages
from registration_tools import is_registered, record_uninstall_data, registered, start_recorded, uninstall_key

KEY = uninstall_key("Held Product")

PROJECT = r"""
[product]
name = "Held Product"
version = "1.0"
install_dir = "Held Product"

[options]
product_flags_low = ["uninstall_support"]
setup_options = ["uninstaller_without_package"]

[[files]]
source = "files/**"
base = "files"
"""


def file_lines(uninstall_data: str) -> list[str]:
    """The file lines: those before the first section, without the folder lines."""
    lines = []
    for line in uninstall_data.split("\r\n"):
        if line.startswith("["):
            break
        if line and not line.startswith("~"):
            lines.append(line)
    return lines


def test_a_held_file_keeps_the_product_registered_until_a_later_run(wine, ui, build_paths, engine, tmp_path):
    (tmp_path / "files" / "docs").mkdir(parents=True)
    (tmp_path / "files" / "free.txt").write_text("free\n")
    (tmp_path / "files" / "docs" / "held.txt").write_text("held\n")
    (tmp_path / "project.toml").write_text(PROJECT)
    setup = tmp_path / "setup.exe"
    build_project(build_paths.build_dir, engine, tmp_path / "project.toml", setup)
    folder = build_paths.prefix / "drive_c" / "Held Product"
    held = folder / "docs" / "held.txt"
    probe = build_paths.windows_dir / "tests" / "e2e" / "probes" / "hold_file.exe"
    try:
        assert wine.run(setup, '/a /d:"C:\\Held Product"', timeout=120) == 1
        marker = tmp_path / "held.marker"
        holder = wine.start(probe, f'"{windows_path(held)}" "{windows_path(marker)}" 60', timeout=90)
        deadline = time.monotonic() + 30
        while not marker.exists():
            assert time.monotonic() < deadline, "the file was never held"
            time.sleep(0.1)

        process = start_recorded(wine, "Held Product", "UninstallString")
        ui.press(ui.message_box(process).hwnd, IDYES)
        summary = ui.answer_message_box(process)
        assert "C:\\Held Product\\docs\\held.txt" in summary.text
        assert summary.exit_code == 0

        assert registered(wine, "Held Product", "InstallLocation") == "C:\\Held Product"
        assert not (folder / "free.txt").exists()
        left = (folder / "Uninstall" / "Uninstall.DAT").read_bytes().decode("latin-1")
        assert file_lines(left) == ["C:\\Held Product\\docs\\held.txt"]

        holder.kill()
        # The second run, interactive too, finishes the job and says so.
        process = start_recorded(wine, "Held Product", "UninstallString")
        ui.press(ui.message_box(process).hwnd, IDYES)
        done = ui.answer_message_box(process)
        shown = {n: text.replace("<product>", "Held Product")
                 for n, text in package_messages(build_paths.build_dir, setup).items()}
        assert (done.caption, done.text, done.exit_code) == (shown[15], shown[34], 0)
        assert not is_registered(wine, "Held Product")
        deadline = time.monotonic() + 60
        while folder.exists():
            assert time.monotonic() < deadline, sorted(str(p) for p in folder.rglob("*"))
            time.sleep(0.5)
    finally:
        wine.tool(["wine", "reg", "delete", KEY, "/f"], check=False)
        shutil.rmtree(folder, ignore_errors=True)


def test_a_registration_without_its_folder_is_reported_corrupt(wine, ui, engine):
    key = uninstall_key("Half Registered")
    try:
        wine.tool(["wine", "reg", "add", key, "/v", "DisplayName", "/d", "Half Product", "/f"])
        answered = ui.answer_message_box(wine.start(engine, '/a /u:"Half Registered"'))
        # Shown also in a silent run: nothing was removed, and the caller must learn why.
        assert (answered.caption, answered.text) == (
            "Error", "The uninstall information for Half Product is corrupt.\r\n\r\n"
                     "The uninstallation cannot be performed.")
        assert answered.exit_code == 0
        assert wine.tool(["wine", "reg", "query", key], check=False).returncode == 0
    finally:
        wine.tool(["wine", "reg", "delete", key, "/f"], check=False)


def test_a_failed_msi_removal_is_reported_and_kept(wine, ui, build_paths, engine, tmp_path):
    (tmp_path / "files").mkdir()
    (tmp_path / "files" / "free.txt").write_text("free\n")
    (tmp_path / "project.toml").write_text(PROJECT)
    setup = tmp_path / "setup.exe"
    build_project(build_paths.build_dir, engine, tmp_path / "project.toml", setup)
    folder = build_paths.prefix / "drive_c" / "Held Product"
    data = folder / "Uninstall" / "Uninstall.DAT"
    msi_line = '"C:\\Halvard Missing\\gone.msi",2'
    try:
        assert wine.run(setup, '/a /d:"C:\\Held Product"', timeout=120) == 1
        with open(data, "ab") as file:
            file.write(f"\r\n[MSI]\r\n{msi_line}\r\n".encode())
        record_uninstall_data(wine, "Held Product", data)
        process = start_recorded(wine, "Held Product", "UninstallString")
        ui.press(ui.message_box(process).hwnd, IDYES)
        summary = ui.answer_message_box(process)
        assert re.search(r"Failed to uninstall gone\.msi, code \d+: ", summary.text), summary.text
        assert summary.exit_code == 0
        assert not (folder / "free.txt").exists()
        assert registered(wine, "Held Product", "InstallLocation") == "C:\\Held Product"
        left = data.read_bytes().decode("latin-1")
        assert file_lines(left) == []
        assert f"[MSI]\r\n{msi_line}\r\n" in left
    finally:
        wine.tool(["wine", "reg", "delete", KEY, "/f"], check=False)
        shutil.rmtree(folder, ignore_errors=True)
