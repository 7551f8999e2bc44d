"""The package's batches run around the installation with the variables set, the
command line's additions appended, pause lines dropped in a silent run, and the output
of a logged batch in the installation log under its label."""

from __future__ import annotations

import shutil

from package_tools import build_project

PROJECT = r"""
[product]
name = "Batch Demo"
version = "4.2"
install_dir = "Batch Demo"

[options]
product_flags_low = ["uninstall_support", "keep_log"]
setup_options = ["log_pre_install_batch"]

[batch]
pre_install = '''
pause
echo %InstallDir% %Version%> pre.txt
echo seen by the log
'''
post_install = "if exist payload.txt echo files were there> post.txt"
exit = "echo exit batch ran> exit.txt"

[[files]]
source = "payload.txt"
"""


def test_batches_run_around_the_files(wine, build_paths, engine, tmp_path):
    (tmp_path / "payload.txt").write_text("payload\n")
    (tmp_path / "project.toml").write_text(PROJECT)
    setup = tmp_path / "setup.exe"
    build_project(build_paths.build_dir, engine, tmp_path / "project.toml", setup)
    folder = build_paths.prefix / "drive_c" / "Batch Demo"
    shutil.rmtree(folder, ignore_errors=True)
    try:
        # A pause left in would hang the hidden interpreter until the time-out.
        code = wine.run(setup, '/a /d:"C:\\Batch Demo" /b1:"echo added~~echo second> b1.txt"', timeout=120)
        assert code == 1
        assert (folder / "pre.txt").read_text().strip() == "C:\\Batch Demo 4.2"
        assert (folder / "b1.txt").read_text().strip() == "second"
        assert (folder / "post.txt").read_text().strip() == "files were there"
        assert (folder / "exit.txt").read_text().strip() == "exit batch ran"
        assert not (folder / "SETUPBAT.BAT").exists()
        log = (folder / "Uninstall" / "Install.LOG").read_bytes().decode("cp1252")
        assert "\r\nRunning Pre-Installation Batch...\r\nseen by the log\r\nadded\r\n" in log, log
    finally:
        shutil.rmtree(folder, ignore_errors=True)
