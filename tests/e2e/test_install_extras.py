"""The smaller steps of a silent installation: read-me and licence copies, the reboot
marker registered for deletion, the restore point's attempt in the log, and the launch
command started after a clean run."""

from __future__ import annotations

import shutil
import time

from package_tools import build_project

PROJECT = """
[product]
name = "Extras"
version = "3.1"
install_dir = "Extras Demo"

[options]
product_flags_low = ["uninstall_support", "keep_log"]
product_flags_high = ["copy_readme_texts", "copy_license_texts", "reboot_marker_file"]
setup_options = ["restore_point"]

[languages]
names = ["English", "Deutsch"]

[texts]
readme = ["readme-en.txt", "readme-de.txt"]
license = ["license.txt"]

[uninstall]
subdir = "uninst"

[[files]]
source = "payload.txt"
"""


def test_readme_licence_marker_restore_point_and_launch(wine, build_paths, engine, tmp_path):
    (tmp_path / "payload.txt").write_text("payload\n")
    (tmp_path / "readme-en.txt").write_text("Read me.\n")
    (tmp_path / "readme-de.txt").write_text("Lies mich.\n")
    (tmp_path / "license.txt").write_text("Licence.\n")
    (tmp_path / "project.toml").write_text(PROJECT)
    setup = tmp_path / "setup.exe"
    build_project(build_paths.build_dir, engine, tmp_path / "project.toml", setup)
    folder = build_paths.prefix / "drive_c" / "Extras Demo"
    shutil.rmtree(folder, ignore_errors=True)
    try:
        # The launch command writes a file in the installation directory, its working folder.
        launch = '/r:"cmd.exe /c echo launched> launched.txt"'
        assert wine.run(setup, f'/a /d:"C:\\Extras Demo" {launch}', timeout=120) == 1

        assert (folder / "readme1.txt").read_text() == "Read me.\n"
        assert (folder / "readme2.txt").read_text() == "Lies mich.\n"
        assert (folder / "eula.txt").read_text() == "Licence.\n"   # the only licence text
        assert (folder / "reboot.dat").read_bytes() == b""

        pending = wine.tool(["wine", "reg", "query",
                             r"HKLM\System\CurrentControlSet\Control\Session Manager",
                             "/v", "PendingFileRenameOperations"], check=False).stdout
        assert "Extras Demo\\reboot.dat" in pending

        log = (folder / "uninst" / "Install.LOG").read_bytes().decode("cp1252")
        assert "Creating restore point..." in log
        assert "Launch on exit: cmd.exe /c echo launched> launched.txt\r\n" in log
        data = (folder / "uninst" / "Uninstall.DAT").read_bytes().decode("cp1252").lower()
        for name in ("readme1.txt", "readme2.txt", "eula.txt"):
            assert f"extras demo\\{name}" in data

        deadline = time.monotonic() + 30
        while not (folder / "launched.txt").exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        assert (folder / "launched.txt").read_text().strip() == "launched"
    finally:
        shutil.rmtree(folder, ignore_errors=True)
