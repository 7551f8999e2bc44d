"""A folder name full of the interpreter's special characters reaches the batches as
plain text: %InstallDir% holds exactly the name, and a command written into the name
never runs."""

from __future__ import annotations

import shutil

from package_tools import build_project

# Every character cmd.exe treats specially that a file name may hold ("|" may not), and
# a command that would create a folder if the name were ever read as a command line.
FOLDER = r"C:\Odd & mkdir injected (100%) ^x"

PROJECT = r"""
[product]
name = "Odd Demo"
version = "1.0"
install_dir = "Odd Demo"

# No uninstall support, so nothing to clean up but the folder.
[options]
product_flags_low = []

[batch]
# Delayed expansion reads the value after the line has been split into commands, so the
# batch itself runs nothing from it. ("%InstallDir%" would not do under Wine: its
# interpreter reads an expanded value again and drops a lone percent sign.)
pre_install = '''
setlocal EnableDelayedExpansion
echo !InstallDir!> pre.txt
set InstallDir> pre_set.txt
'''
post_install = '''
setlocal EnableDelayedExpansion
if exist payload.txt echo "!InstallDir!"> post.txt
'''

[[files]]
source = "payload.txt"
"""


def test_folder_name_with_special_characters(wine, build_paths, engine, tmp_path):
    (tmp_path / "payload.txt").write_text("payload\n")
    (tmp_path / "project.toml").write_text(PROJECT)
    setup = tmp_path / "setup.exe"
    build_project(build_paths.build_dir, engine, tmp_path / "project.toml", setup)
    drive_c = build_paths.prefix / "drive_c"
    folder = drive_c / FOLDER[3:]
    # Where the hidden command would have made its folder: the batch's working folder
    # (the installation folder), the drive's root, the interpreter's and setup's own.
    places = [folder, drive_c, drive_c / "windows" / "system32", tmp_path]
    shutil.rmtree(folder, ignore_errors=True)
    try:
        # The addition joins the pre-installation batch, after its setlocal.
        code = wine.run(setup, f'/a /d:"{FOLDER}" /b1:"echo !InstallDir!> b1.txt~~echo added> b1_more.txt"',
                        cwd=tmp_path, timeout=120)
        assert code == 1
        assert (folder / "payload.txt").read_text() == "payload\n"
        written = {name: (folder / name).read_bytes().decode("cp1252")
                   for name in ("pre.txt", "pre_set.txt", "post.txt", "b1.txt", "b1_more.txt")}
        assert written == {"pre.txt": FOLDER + "\r\n", "pre_set.txt": f"InstallDir={FOLDER}\r\n",
                           "post.txt": f'"{FOLDER}"\r\n', "b1.txt": FOLDER + "\r\n", "b1_more.txt": "added\r\n"}
        assert not (folder / "SETUPBAT.BAT").exists()
        leaked = [str(place / name) for place in places for name in ("injected", "INJECTED")
                  if (place / name).exists()]
        assert not leaked, leaked
    finally:
        shutil.rmtree(folder, ignore_errors=True)
        for place in (drive_c, drive_c / "windows" / "system32"):
            shutil.rmtree(place / "injected", ignore_errors=True)
