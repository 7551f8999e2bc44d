"""Deleting the whole installation directory (ProductFlags low bit 10) takes only what
the product owns: never a drive root, a profile, a shell folder or a folder that held
the user's files before, and never what a link inside the folder points at."""

from __future__ import annotations

import os
import shutil

import pytest

from package_tools import build_project
from registration_tools import is_registered, run_recorded, uninstall_key

UNINSTALL_KEY = uninstall_key("Whole Folder")

PROJECT = r"""
[product]
name = "Whole Folder"
version = "1.0"
install_dir = "Whole Folder"

[options]
product_flags_low = ["uninstall_support", "remove_install_dir"]
setup_options = ["uninstaller_without_package"]

[[files]]
source = "product.txt"
"""


@pytest.fixture
def whole_folder_setup(build_paths, engine, tmp_path):
    (tmp_path / "product.txt").write_text("the product\n")
    (tmp_path / "project.toml").write_text(PROJECT)
    setup = tmp_path / "setup.exe"
    build_project(build_paths.build_dir, engine, tmp_path / "project.toml", setup)
    return setup


@pytest.fixture
def drive_s(build_paths, tmp_path):
    """A folder of the test seen by Wine as the root of drive S:."""
    root = tmp_path / "drive_s"
    root.mkdir()
    letter = build_paths.prefix / "dosdevices" / "s:"
    if letter.is_symlink():
        letter.unlink()
    letter.symlink_to(root)
    yield root
    letter.unlink()


def install_and_uninstall(wine, setup, folder: str) -> None:
    assert wine.run(setup, f'/a /d:"{folder}"', timeout=120) == 1
    assert run_recorded(wine, "Whole Folder") == 0
    assert not is_registered(wine, "Whole Folder")


def plant(unix_folder, outside):
    """A sentinel file of the user's and a link to a folder outside, with its file."""
    unix_folder.mkdir(parents=True, exist_ok=True)
    (unix_folder / "sentinel.txt").write_text("the user's\n")
    outside.mkdir(parents=True, exist_ok=True)
    (outside / "target.txt").write_text("elsewhere\n")
    link = unix_folder / "outside link"
    if link.is_symlink():
        link.unlink()
    link.symlink_to(outside, target_is_directory=True)
    return link


def test_protected_and_occupied_folders_survive(wine, build_paths, whole_folder_setup, drive_s, tmp_path):
    drive_c = build_paths.prefix / "drive_c"
    user = os.environ.get("USER") or "root"
    cases = {
        "drive root": ("S:\\", drive_s),
        "profile": (f"C:\\users\\{user}", drive_c / "users" / user),
        "desktop": (f"C:\\users\\{user}\\Desktop", drive_c / "users" / user / "Desktop"),
        "folder with the user's files": ("C:\\Halvard Occupied", drive_c / "Halvard Occupied"),
    }
    try:
        for name, (folder, unix_folder) in cases.items():
            outside = tmp_path / ("outside " + name)
            link = plant(unix_folder, outside)
            install_and_uninstall(wine, whole_folder_setup, folder)
            assert (unix_folder / "sentinel.txt").exists(), name
            assert (outside / "target.txt").exists(), name
            assert link.is_symlink(), name
            # What the product brought went the ordinary way.
            assert not (unix_folder / "product.txt").exists(), name
            link.unlink()
            (unix_folder / "sentinel.txt").unlink()
    finally:
        wine.tool(["wine", "reg", "delete", UNINSTALL_KEY, "/f"], check=False)
        shutil.rmtree(drive_c / "Halvard Occupied", ignore_errors=True)


def test_own_folder_goes_but_not_what_a_link_in_it_points_at(wine, build_paths, whole_folder_setup, tmp_path):
    folder = build_paths.prefix / "drive_c" / "Halvard Own"
    shutil.rmtree(folder, ignore_errors=True)
    try:
        assert wine.run(whole_folder_setup, '/a /d:"C:\\Halvard Own"', timeout=120) == 1
        # Left by the product while it ran: its own files and a link to the user's data.
        (folder / "cache" / "deep").mkdir(parents=True)
        (folder / "cache" / "deep" / "made later.txt").write_text("made later\n")
        outside = tmp_path / "user data"
        outside.mkdir()
        (outside / "target.txt").write_text("the user's\n")
        (folder / "cache" / "data link").symlink_to(outside, target_is_directory=True)
        assert run_recorded(wine, "Whole Folder") == 0
        assert (outside / "target.txt").exists()
        assert not (folder / "product.txt").exists()
        assert not (folder / "cache" / "deep").exists()
        # Wine 8 cannot remove a link to a Unix folder that holds files (Windows removes
        # the link alone), so under Wine the link and the folders above it stay; the
        # uninstaller itself is left to the self-deleting batch.
        left = {str(p.relative_to(folder)) for p in folder.rglob("*")}
        assert left <= {"cache", "cache/data link", "Uninstall", "Uninstall/Uninstall.exe"}, left
    finally:
        wine.tool(["wine", "reg", "delete", UNINSTALL_KEY, "/f"], check=False)
        shutil.rmtree(folder, ignore_errors=True)


SHELL_FOLDER_PROJECT = r"""
[product]
name = "Whole Folder"
version = "1.0"
install_dir = "Whole Folder"

[options]
product_flags_low = ["uninstall_support"]
setup_options = ["uninstaller_without_package"]

[[files]]
source = "product.txt"
destination = '%FavoritesDir%\Halvard Links\'
"""


def test_emptied_folders_go_but_never_a_shell_folder(wine, build_paths, engine, tmp_path):
    (tmp_path / "product.txt").write_text("among the favourites\n")
    (tmp_path / "project.toml").write_text(SHELL_FOLDER_PROJECT)
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    favorites = build_paths.prefix / "drive_c" / "users" / (os.environ.get("USER") or "root") / "Favorites"
    assert favorites.is_dir() and not any(favorites.iterdir()), "the test needs an empty Favorites folder"
    try:
        assert wine.run(setup, "/a", timeout=120) == 1
        assert (favorites / "Halvard Links" / "product.txt").exists()
        assert run_recorded(wine, "Whole Folder") == 0
        # The product's folder goes with its file, and its parents while empty, but the
        # walk upward stops at the user's Favorites folder, empty as it is.
        assert not (favorites / "Halvard Links").exists()
        assert favorites.is_dir()
    finally:
        wine.tool(["wine", "reg", "delete", UNINSTALL_KEY, "/f"], check=False)
        shutil.rmtree(favorites / "Halvard Links", ignore_errors=True)
