"""An Uninstall.DAT changed after the installation (it may lie where users who are not
administrators can write) does not make the elevated uninstaller delete a file outside
the product's folders: the registration keeps the file's digest, and a file that does
not match it is used only inside those folders."""

from __future__ import annotations

import hashlib
import time

from package_tools import build_project
from registration_tools import is_registered, registered, run_recorded
from test_components import host_path

PRODUCT = "Trust Demo"

PROJECT = """
[product]
name = "Trust Demo"
version = "1.0"
install_dir = "Trust Demo"

[options]
product_flags_low = ["uninstall_support"]

[[files]]
source = "readme.txt"
"""


def test_a_changed_uninstall_data_file_deletes_nothing_outside_the_product(wine, build_paths, engine, tmp_path):
    (tmp_path / "readme.txt").write_text("hello\n")
    (tmp_path / "project.toml").write_text(PROJECT)
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    sentinel = build_paths.prefix / "drive_c" / "Halvard Sentinel" / "keep.txt"
    sentinel.parent.mkdir(exist_ok=True)
    sentinel.write_text("must stay\n")
    try:
        assert wine.run(setup, "/a", timeout=120) == 1
        folder = host_path(build_paths.prefix, registered(wine, PRODUCT, "InstallLocation"))
        data_file = next(folder.rglob("Uninstall.DAT"))
        data = data_file.read_bytes()
        assert registered(wine, PRODUCT, "UninstallDataDigest") == hashlib.sha256(data).hexdigest()

        # A user adds a file of their choosing to the removal list.
        data_file.write_bytes(b"C:\\Halvard Sentinel\\keep.txt\r\n" + data)
        assert run_recorded(wine, PRODUCT) == 0
        assert sentinel.read_text() == "must stay\n"
        assert not (folder / "readme.txt").exists()
        # The run says so and keeps the product registered; the file it wrote back is its
        # own, so the next run finishes the removal.
        assert is_registered(wine, PRODUCT)
        assert run_recorded(wine, PRODUCT) == 0
        deadline = time.monotonic() + 30
        while is_registered(wine, PRODUCT) and time.monotonic() < deadline:
            time.sleep(0.5)
        assert not is_registered(wine, PRODUCT)
        assert sentinel.exists()
    finally:
        if is_registered(wine, PRODUCT):
            run_recorded(wine, PRODUCT)
        sentinel.unlink(missing_ok=True)
        sentinel.parent.rmdir()
